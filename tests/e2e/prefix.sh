# shellcheck shell=bash
# Wine prefixes and the virtual display for the end-to-end tests; sourced by
# run-e2e.sh. A template prefix is made once per work folder, and every
# scenario gets its own copy, so no scenario sees another's registrations,
# settings file or clean-up log.
#
# Needs: E2E_WORK (the work folder). Sets: WINEPREFIX for the current scenario.

export WINEDEBUG=-all
# No Mono or Gecko: the program needs neither, and their set-up dialogs
# would wait for an answer nobody gives.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Where the kernel cannot run i386 code itself, 32-bit Wine runs under
# qemu-user. Debian 12's qemu 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then
# probes its address space 64 KiB at a time on every start (about a minute
# each); with no reserved guest address space qemu hands the request to the
# kernel, which honours it.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -z "${QEMU_RESERVED_VA+set}" ]; then
  export QEMU_RESERVED_VA=0
fi

# Fails unless `seconds` pass with `command` succeeding; says what it waited for.
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "timed out after ${seconds}s waiting for $what" >&2
      return 1
    fi
    sleep 0.1
  done
}

# A Unix path as Wine's Z: drive names it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# ---------------------------------------------------------------- display

E2E_XVFB_PID=
E2E_XVFB_FILES=

display_file_ready() { [ -s "$E2E_XVFB_FILES.display" ]; }

# One virtual display for the whole run. Xvfb picks a free display number
# itself (-displayfd), so runs side by side do not collide.
start_display() {
  if [ -n "${DISPLAY:-}" ]; then
    echo "using display $DISPLAY"
    return 0
  fi
  E2E_XVFB_FILES="$E2E_WORK/xvfb.$$"
  rm -f "$E2E_XVFB_FILES.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$E2E_XVFB_FILES.display" \
    </dev/null >"$E2E_XVFB_FILES.log" 2>&1 &
  E2E_XVFB_PID=$!
  if ! wait_until 30 "Xvfb to report its display number" display_file_ready; then
    cat "$E2E_XVFB_FILES.log" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$E2E_XVFB_FILES.display")"
  export DISPLAY
  echo "started Xvfb on display $DISPLAY"
}

stop_display() {
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=
    rm -f "$E2E_XVFB_FILES.display" "$E2E_XVFB_FILES.log"
  fi
}

# ---------------------------------------------------------------- prefixes

# Ends the wineserver of a prefix and everything running in it.
end_prefix() {
  local prefix=$1
  WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1 || true
}

template_ready() { [ -f "$E2E_WORK/template/.qm-e2e-ready" ] && [ "$(cat "$E2E_WORK/template/.qm-e2e-ready")" = "$(wine --version)" ]; }

# The template: a fresh 64-bit prefix (a 32-bit program in it sees the
# 32-bit registry view, as on 64-bit Windows) with
#  - Managed=N: with no window manager on the display, a managed window
#    waits about 2 s for one at every close;
#  - no crash dialog, which would stay open and stall the run.
# It holds nothing a scenario sets up itself. A lock keeps runs started side
# by side (ctest -j) from making it twice.
ensure_template() {
  mkdir -p "$E2E_WORK"
  (
    flock -w 600 9 || { echo "timed out after 600s waiting for the template prefix lock" >&2; exit 1; }
    if template_ready; then exit 0; fi
    local t="$E2E_WORK/template"
    echo "making the template prefix (once per work folder)"
    rm -rf "$t"
    if ! WINEPREFIX=$t timeout 600 wineboot -i >"$E2E_WORK/template.log" 2>&1; then
      echo "wineboot -i failed or took over 600s; see $E2E_WORK/template.log" >&2
      exit 1
    fi
    if ! WINEPREFIX=$t timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >>"$E2E_WORK/template.log" 2>&1 ||
      ! WINEPREFIX=$t timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$E2E_WORK/template.log" 2>&1; then
      echo "cannot set up the template's registry; see $E2E_WORK/template.log" >&2
      exit 1
    fi
    end_prefix "$t"
    wine --version >"$t/.qm-e2e-ready"
  ) 9>"$E2E_WORK/template.lock"
}

# A scenario's own prefix: the big read-only system folders are hard links
# into the template (a copy takes a fraction of a second), everything Wine
# or a scenario may change is copied.
new_prefix() {
  local prefix=$1
  local t="$E2E_WORK/template"
  rm -rf "$prefix"
  mkdir -p "$prefix/drive_c/windows"
  local entry
  for entry in "$t"/* "$t"/.update-timestamp; do
    [ "$(basename "$entry")" = drive_c ] && continue
    cp -a "$entry" "$prefix/"
  done
  for entry in "$t"/drive_c/*; do
    [ "$(basename "$entry")" = windows ] && continue
    cp -a "$entry" "$prefix/drive_c/"
  done
  for entry in "$t"/drive_c/windows/*; do
    case "$(basename "$entry")" in
      system32 | syswow64 | winsxs) cp -al "$entry" "$prefix/drive_c/windows/" ;;
      *) cp -a "$entry" "$prefix/drive_c/windows/" ;;
    esac
  done
  export WINEPREFIX=$prefix
}
