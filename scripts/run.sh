#!/usr/bin/env bash
# Builds QMUninstallKeysOnly.exe and opens it under Wine, in a demo prefix
# under build-demo/ with:
#   - two Quillmar releases registered by real Windows Installer packages
#     (built with wixl, installed with Wine's msiexec): real registrations;
#   - Quillmar's settings file C:\windows\qm.ini naming its directory;
#   - a stand-in for Microsoft's msizap (not available here) that logs its
#     arguments to C:\msizap-standin.log and deletes the release's uninstall
#     key, as the real tool would erase its registration.
# On a machine without a display the window opens on a virtual one (Xvfb):
# a screenshot is saved and the program is ended after a few seconds.
# Delete the folder build-demo/prefix to start over.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc 2>/dev/null || echo 2)"

E2E_SOURCE=$root
E2E_WORK=$root/build-demo
E2E_MSIZAP=$root/build-win32/msizap.exe
mkdir -p "$E2E_WORK/tmp"
export TMPDIR=$E2E_WORK/tmp
# shellcheck source=../tests/e2e/prefix.sh
source tests/e2e/prefix.sh
# shellcheck source=../tests/e2e/fixtures.sh
source tests/e2e/fixtures.sh

headless=no
if [ -z "${DISPLAY:-}" ]; then
  headless=yes
  echo "No display: the window opens on a virtual display (Xvfb), and a screenshot is saved."
fi
trap stop_display EXIT
start_display
ensure_template
load_catalogue

prefix=$E2E_WORK/prefix
if [ ! -f "$prefix/.qm-demo-ready" ]; then
  echo "Making the demo prefix in $prefix"
  new_prefix "$prefix"
  SCENARIO_DIR=$E2E_WORK
  install_release "${CODES[1]}" "Quillmar 7.2" 7.2.0
  install_release "${CODES[4]}" "Quillmar 8.0" 8.0.0
  write_settings "[Program]" "Directory=C:\\Program Files\\Quillmar"
  provide_msizap
  : >"$prefix/.qm-demo-ready"
fi
export WINEPREFIX=$prefix

echo "Starting QMUninstallKeysOnly.exe under Wine"
if [ "$headless" = no ]; then
  rc=0
  wine "$root/build-win32/QMUninstallKeysOnly.exe" || rc=$?
  echo "The program ended with exit code $rc. Stand-in msizap log so far:"
  msizap_log
else
  wine "$root/build-win32/QMUninstallKeysOnly.exe" &
  window_shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Uninstall Keys Only"'; }
  wait_until 120 "the window \"Uninstall Keys Only\"" window_shown
  sleep 2  # the list fills about 10 ms after the window shows; Wine paints a little later
  import -window root "$E2E_WORK/demo.png"
  echo "Screenshot of the window: $E2E_WORK/demo.png"
  end_prefix "$prefix"
fi
