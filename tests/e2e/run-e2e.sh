#!/usr/bin/env bash
# Runs the real QMUninstallKeysOnly.exe under 32-bit Wine on a virtual
# display and checks what a person would see and what the program leaves on
# the machine. Scenarios are in scenarios.sh.
#
#   run-e2e.sh PROGRAM.exe UIDRIVER.exe MSIZAP.exe WORKDIR [LABEL...]
#   run-e2e.sh --list
#
# With labels, only those scenarios run (one label per ctest test, say).
# Prints PASS or FAIL per scenario and closes with "N passed, M failed";
# exits 1 if any failed, 2 if it could not run at all. Everything it makes
# goes under WORKDIR: the template prefix (kept between runs), per-scenario
# logs (scenarios/LABEL/) and the screenshot qm-window.png.
# Set E2E_KEEP_PREFIXES=1 to keep the prefixes of passing scenarios too.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_SOURCE=$(cd "$here/../.." && pwd)
# shellcheck source=prefix.sh
source "$here/prefix.sh"
# shellcheck source=fixtures.sh
source "$here/fixtures.sh"
# shellcheck source=scenarios.sh
source "$here/scenarios.sh"

# Each uidriver wait gives up after this many seconds; a whole driver run
# after E2E_DRIVE_LIMIT. Emulated i386 code is slow, so both are generous.
E2E_STEP_TIMEOUT=${E2E_STEP_TIMEOUT:-20}
E2E_DRIVE_LIMIT=${E2E_DRIVE_LIMIT:-300}

usage() {
  echo "usage: $0 PROGRAM.exe UIDRIVER.exe MSIZAP.exe WORKDIR [LABEL...]" >&2
  echo "       $0 --list" >&2
  exit 2
}

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${SCENARIOS[@]}"
  exit 0
fi
[ $# -ge 4 ] || usage

for f in "$1" "$2" "$3"; do
  [ -f "$f" ] || { echo "no such file: $f" >&2; exit 2; }
done
E2E_PROGRAM=$(realpath "$1")
E2E_UIDRIVER=$(realpath "$2")
E2E_MSIZAP=$(realpath "$3")
mkdir -p "$4" || exit 2
E2E_WORK=$(realpath "$4")
shift 4

labels=("$@")
[ ${#labels[@]} -gt 0 ] || labels=("${SCENARIOS[@]}")
for label in "${labels[@]}"; do
  grep -qxF "$label" <<<"$(printf '%s\n' "${SCENARIOS[@]}")" || { echo "unknown scenario: $label (see --list)" >&2; exit 2; }
done

for tool in wine wineboot wineserver wixl Xvfb import identify flock timeout md5sum; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
if ! wine --version >/dev/null 2>&1; then
  echo "32-bit Wine cannot start here; where the kernel runs no i386 code, qemu-user must be registered for it" >&2
  exit 2
fi

export TMPDIR="$E2E_WORK/tmp"
mkdir -p "$TMPDIR"
load_catalogue || exit 2

# Whatever ends the run, the scenario's Wine processes and the display go.
SCENARIO_DIR=
cleanup() {
  [ -z "$SCENARIO_DIR" ] || end_prefix "$SCENARIO_DIR/prefix"
  stop_display
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
start_display || exit 2
ensure_template || exit 2

# Runs the driver with the steps on standard input; NAME names its files in
# the scenario folder. Checkpoints the driver reaches are answered by the
# scenario's checkpoint_NAME function while it waits.
drive() {
  local name=$1
  local steps="$SCENARIO_DIR/$name.steps" log="$SCENARIO_DIR/$name.log"
  cat >"$steps"
  rm -f "$SCENARIO_DIR"/*.ready "$SCENARIO_DIR"/*.done "$SCENARIO_DIR/checkpoint-failed"
  echo "driving the program: $name"
  timeout --kill-after=10 "$E2E_DRIVE_LIMIT" wine "$E2E_UIDRIVER" \
    --exe "$(winpath "$E2E_PROGRAM")" --log "$(winpath "$log")" --timeout "$E2E_STEP_TIMEOUT" \
    --sync "$(winpath "$SCENARIO_DIR")" "$(winpath "$steps")" </dev/null >"$SCENARIO_DIR/$name.out" 2>&1 &
  local pid=$! ready cp
  while kill -0 "$pid" 2>/dev/null; do
    for ready in "$SCENARIO_DIR"/*.ready; do
      [ -e "$ready" ] || continue
      cp=$(basename "$ready" .ready)
      if ! "checkpoint_$cp" "$(cat "$ready")"; then
        echo "checkpoint $cp failed"
        : >"$SCENARIO_DIR/checkpoint-failed"
      fi
      mv "$ready" "$ready.answered"
      : >"$SCENARIO_DIR/$cp.done"
    done
    sleep 0.1
  done
  local rc=0
  wait "$pid" || rc=$?
  [ -f "$log" ] && sed 's/^/  | /' "$log"
  if [ $rc -ne 0 ]; then
    [ $rc -eq 124 ] && echo "the driver was stopped after ${E2E_DRIVE_LIMIT}s"
    [ -f "$log" ] || sed 's/^/  > /' "$SCENARIO_DIR/$name.out"
    echo "driver run $name failed (exit code $rc)"
    return 1
  fi
  [ ! -f "$SCENARIO_DIR/checkpoint-failed" ]
}

# Runs one scenario in a subshell with errexit, so any failing command fails
# it. Bash ignores errexit inside anything run as a condition, so call this
# as a plain command, never in `if`, `||`, `&&` or `!`.
run_scenario() {
  local label=$1 started=$SECONDS rc
  SCENARIO_DIR="$E2E_WORK/scenarios/$label"
  rm -rf "$SCENARIO_DIR"
  mkdir -p "$SCENARIO_DIR"
  (
    set -e
    new_prefix "$SCENARIO_DIR/prefix"
    "scenario_${label//-/_}"
  ) >"$SCENARIO_DIR/scenario.log" 2>&1
  rc=$?
  end_prefix "$SCENARIO_DIR/prefix"
  if [ $rc -eq 0 ]; then
    echo "PASS $label ($((SECONDS - started))s)"
    [ "${E2E_KEEP_PREFIXES:-0}" = 1 ] || rm -rf "$SCENARIO_DIR/prefix"
    return 0
  fi
  echo "FAIL $label ($((SECONDS - started))s); from $SCENARIO_DIR/scenario.log:"
  tail -n 60 "$SCENARIO_DIR/scenario.log" | sed 's/^/    /'
  return 1
}

passed=0
failed=0
for label in "${labels[@]}"; do
  run_scenario "$label"
  # shellcheck disable=SC2181 # see run_scenario
  if [ $? -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
