#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time, beginning with
# the committed starting inputs in fuzz/corpus/<target>/. New inputs go to a
# scratch corpus, so the committed ones stay few and only change by hand.
#
#   fuzz/run-fuzz.sh [seconds-per-target] [target...]
#
# Prints executions and findings per target; exits 1 when any target found
# something (the input is kept in build-fuzz/findings/<target>/), 2 when the
# build fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
all_targets=(registry_read_string safe_str_cat profile_string)
targets=("${@:-${all_targets[@]}}")
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${FUZZ_CXX:-clang++}

case $seconds in '' | *[!0-9]*) echo "run-fuzz: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;; esac

echo "== building fuzz targets with $cxx in $build"
if ! { cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null &&
       cmake --build "$build" -j"$(nproc)" >/dev/null; }; then
  echo "run-fuzz: build failed" >&2
  exit 2
fi

# A finding must stop the run with its report, whatever the sanitizer; leaks
# count as findings too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}

failed=0
summary=()
for target in "${targets[@]}"; do
  exe=$build/fuzz_$target
  starts=$root/fuzz/corpus/$target
  [ -x "$exe" ] || { echo "run-fuzz: no target '$target'" >&2; exit 2; }
  [ -d "$starts" ] || { echo "run-fuzz: no starting corpus $starts" >&2; exit 2; }
  work=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/$target.log
  rm -rf "$findings"
  mkdir -p "$work" "$findings"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096
        -print_final_stats=1 -artifact_prefix="$findings/")
  [ -f "$root/fuzz/$target.dict" ] && args+=(-dict="$root/fuzz/$target.dict")

  echo "== $target: ${seconds}s"
  status=0
  "$exe" "${args[@]}" "$work" "$starts" >"$log" 2>&1 || status=$?

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  found=$(find "$findings" -type f | wc -l)
  # A run that ends badly without leaving an input behind is still a finding.
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
  line="$target: ${execs:-?} executions (${rate:-?}/s), $found finding(s)"
  summary+=("$line")
  echo "$line"
  if [ "$found" -ne 0 ]; then
    failed=1
    echo "-- $target log ($log), last lines:"
    tail -n 40 "$log"
    find "$findings" -type f -printf '   kept: %p\n'
  fi
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
