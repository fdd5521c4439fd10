# shellcheck shell=bash
# The end-to-end scenarios; sourced by run-e2e.sh. Each runs in a fresh copy
# of the template prefix: it sets up the machine, drives the real program
# with uidriver (steps on standard input, see uidriver.cpp), then checks what
# the program left behind. Any failing command fails the scenario.

# shellcheck disable=SC2034 # read by run-e2e.sh
SCENARIOS=(
  nothing-registered
  window-layout
  selection-stays-whole
  delete-then-no
  delete-then-yes
  no-install-directory
  no-settings-file
  msizap-missing
  uninstall-key-missing
  release-without-display-name
  ending-the-program
  display-name-types
  display-name-sizes
  settings-file-variants
  tool-faults
  command-interpreter
)

# Display names of the releases the scenarios install, by catalogue index.
# They sort differently from the catalogue, so a sorted list shows up.
release_name() {
  case $1 in
    1) echo "Quillmar 6.1" ;;
    2) echo "Quillmar 7.2" ;;
    5) echo "Quillmar 8.0" ;;
    10) echo "Quillmar 10.1" ;;
    12) echo "Quillmar 11.0" ;;
  esac
}

# Installs catalogue releases by index, in the order given.
install_releases() {
  local i name
  for i in "$@"; do
    name=$(release_name "$i")
    install_release "${CODES[$i]}" "$name" "${name#Quillmar }.0"
  done
}

# An unrelated product with a Quillmar-like name and a code that differs
# from a catalogued one only in its last digits.
install_near_miss() { install_release "$(near_miss_code)" "Quillmar Viewer 1.0" 1.0.0; }

with_install_directory() { write_settings "[Program]" "Version=7.2" 'Directory=C:\Quillmar'; }

# A table row's own prefix, so no row sees what another left behind.
fresh_prefix() {
  end_prefix "$SCENARIO_DIR/prefix"
  new_prefix "$SCENARIO_DIR/prefix"
}

# Runs one table row (the rest of the arguments: a command) in a subshell
# and names the row if it fails. Errexit must hold in the row, and bash
# drops it in anything tested with || or if, so the status is taken with
# errexit off around a plain subshell.
row() {
  local label=$1 rc
  shift
  echo "---- row $label"
  set +e
  (
    set -e
    "$@"
  )
  rc=$?
  set -e
  [ $rc -eq 0 ] || { echo "---- row $label FAILED"; return $rc; }
}

# Fails the scenario unless the clean-up log holds exactly these lines.
expect_msizap_log() {
  local expected="" actual
  [ $# -eq 0 ] || expected=$(printf '%s\n' "$@")
  actual=$(msizap_log)
  if [ "$actual" != "$expected" ]; then
    echo "clean-up commands run: ${actual:-(none)}"
    echo "expected: ${expected:-(none)}"
    return 1
  fi
  echo "clean-up commands run as expected: ${actual:-(none)}"
}

expect_registered() {
  local i rc
  for i in "$@"; do
    rc=0
    is_registered "${CODES[$i]}" || rc=$?
    [ $rc -eq 1 ] && echo "release $i (${CODES[$i]}) is no longer registered"
    [ $rc -eq 0 ] || return 1
  done
}

expect_unregistered() {
  local i rc
  for i in "$@"; do
    rc=0
    is_registered "${CODES[$i]}" || rc=$?
    [ $rc -eq 0 ] && echo "release $i (${CODES[$i]}) is still registered"
    [ $rc -eq 1 ] || return 1
  done
}

# Driver steps shared by several scenarios.
MAIN_WINDOW='start
wait-window "Uninstall Keys Only"'

CONFIRMATION='click Delete
wait-box
expect-box-modal
expect-box-caption Warning
expect-box-text "Korvath takes no responsibility for this potentially damaging decision.\nWould you like to proceed?"
expect-box-buttons Yes No'

# The box that closes a removal, read and answered, and the program's end.
DONE_BOX='wait-box
expect-box-caption ""
expect-box-text "Done with removal.\nPlease restart your computer."
answer-box OK
wait-exit 0'

STOPPED_BOX='wait-box
expect-box-caption Warning!
expect-box-text "Removal stopped: Quillmar'"'"'s settings file records no installation directory.\nReleases not removed yet are still registered."
answer-box OK
wait-exit 0'

TOOL_NOT_RUN_BOX='wait-box
expect-box-caption Warning!
expect-box-text "The clean-up tool msizap could not be run.\nReleases it could not reach are still registered."
answer-box OK
wait-exit 0'

NOT_INSTALLED='start
wait-box
wait-window "Uninstall Keys Only"
expect-box-modal
expect-box-caption Warning!
expect-box-text "Quillmar doesn'"'"'t appear to be installed"
expect-box-buttons OK
answer-box OK
wait-exit 0'

# ---------------------------------------------------------------- scenarios

# Only an unrelated product is installed: the program says so and ends.
scenario_nothing_registered() {
  install_near_miss
  drive run <<<"$NOT_INSTALLED"
}

# Two releases installed in reverse catalogue order beside an unrelated
# product: the list shows the two in catalogue order, all selected, in the
# window as laid out; the screenshot is taken here.
scenario_window_layout() {
  install_releases 10 2
  install_near_miss
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 10.1"
expect-selected all
checkpoint window_shot
expect-client-size 617 222
expect-window-origin 84 123
expect-text class=Static#1 "Delete the following programs from the Windows registry:"
expect-control class=Static#1 16 8 >=266 >=13
expect-control id=100 8 40 601 137
expect-class id=100 ListBox
expect-style id=100 LBS_EXTENDEDSEL WS_TABSTOP !LBS_SORT
expect-control id=101 144 184 75 25
expect-text id=101 Delete
expect-control id=2 224 184 75 25
expect-text id=2 Cancel
expect-tab-order id=100 id=101 id=2
# Tab walks the controls in that order and wraps; a click puts the focus
# in the list first.
click-line 0
expect-focus id=100
key tab
expect-focus id=101
key tab
expect-focus id=2
key tab
expect-focus id=100
key shift+tab
expect-focus id=2
expect-selected all
click Cancel
wait-exit 0
EOF
}

checkpoint_window_shot() {
  local x y w h size
  read -r x y w h <<<"$1"
  import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$E2E_WORK/qm-window.png"
  size=$(identify -format '%wx%h' "$E2E_WORK/qm-window.png")
  [ "$size" = "${w}x${h}" ] || { echo "screenshot is $size, the window ${w}x${h}"; return 1; }
  echo "screenshot of the window saved as $E2E_WORK/qm-window.png"
}

# Every way a person can narrow the selection ends with all lines selected
# again. In a plain list, the plain and ctrl-clicks and the plain arrow,
# Home and End keys each leave fewer lines selected; the shift forms do so
# unless the program's re-selection has left the list's anchor at one end.
scenario_selection_stays_whole() {
  install_releases 2 5 10
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 8.0" "Quillmar 10.1"
expect-selected all
# mouse: a plain click keeps only its line, a ctrl-click drops its line
click-line 1
expect-selected all
click-line 2 shift
expect-selected all
click-line 0 ctrl
expect-selected all
# keyboard, with the focus in the list after the clicks
key down
expect-selected all
key shift+down
expect-selected all
key up
expect-selected all
key shift+up
expect-selected all
key end
expect-selected all
key home
expect-selected all
expect-no-box
click Cancel
wait-exit 0
EOF
}

# Declining the confirmation changes nothing: no clean-up runs and the
# window stays as it was.
scenario_delete_then_no() {
  install_releases 2 10
  with_install_directory
  provide_msizap
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 10.1"
$CONFIRMATION
answer-box No
expect-alive 500
expect-no-box
expect-lines "Quillmar 7.2" "Quillmar 10.1"
expect-selected all
click Cancel
wait-exit 0
EOF
  expect_msizap_log
  expect_registered 2 10
}

# Confirming runs the clean-up tool once per registered release, in
# catalogue order, then says it is done; the next run finds nothing.
scenario_delete_then_yes() {
  install_releases 10 2
  install_near_miss
  with_install_directory
  provide_msizap
  drive first-run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 10.1"
$CONFIRMATION
answer-box Yes
wait-box
expect-box-modal
expect-box-caption ""
expect-box-text "Done with removal.\nPlease restart your computer."
expect-box-buttons OK
answer-box OK
wait-exit 0
EOF
  expect_msizap_log "TW ${CODES[2]}" "TW ${CODES[10]}"
  expect_unregistered 2 10
  is_registered "$(near_miss_code)" || { echo "the unrelated product is no longer registered"; return 1; }
  drive second-run <<<"$NOT_INSTALLED"
}

# The settings file records no installation directory (only another
# section has one): removal stops before any command, and says so.
scenario_no_install_directory() {
  install_releases 2 10
  write_settings "[Program]" "Version=7.2" "[Backup]" 'Directory=C:\Quillmar'
  provide_msizap
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 10.1"
$CONFIRMATION
answer-box Yes
wait-box
expect-box-caption Warning!
expect-box-text "Removal stopped: Quillmar's settings file records no installation directory.\nReleases not removed yet are still registered."
expect-box-buttons OK
answer-box OK
wait-exit 0
EOF
  expect_msizap_log
  expect_registered 2 10
}

# With no settings file at all the program behaves as with one that records
# no directory.
scenario_no_settings_file() {
  install_releases 5
  provide_msizap
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 8.0"
$CONFIRMATION
answer-box Yes
$STOPPED_BOX
EOF
  expect_msizap_log
  expect_registered 5
}

# The clean-up tool is not on the PATH: the command interpreter reports
# 9009, the program warns instead of claiming success, and the releases are
# still there for the next run.
scenario_msizap_missing() {
  install_releases 2 10
  with_install_directory
  drive first-run <<EOF
$MAIN_WINDOW
$CONFIRMATION
answer-box Yes
wait-box
expect-box-caption Warning!
expect-box-text "The clean-up tool msizap could not be run.\nReleases it could not reach are still registered."
expect-box-buttons OK
answer-box OK
wait-exit 0
EOF
  expect_registered 2 10
  drive second-run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2" "Quillmar 10.1"
expect-selected all
click Cancel
wait-exit 0
EOF
}

# Without the Uninstall key itself the program reports it and stays open,
# with nothing listed.
scenario_uninstall_key_missing() {
  remove_uninstall_key
  drive run <<EOF
start
wait-box
expect-box-caption Qmuninstallkeysonly
expect-box-text "Missing uninstall key."
expect-box-icon error
expect-box-buttons OK
answer-box OK
wait-window "Uninstall Keys Only"
expect-alive 500
expect-no-box
expect-lines
click Cancel
wait-exit 0
EOF
}

# A catalogued key without a DisplayName still counts as installed and
# shows as an empty line; the first and last codes of the catalogue are
# found too.
scenario_release_without_display_name() {
  install_release "${CODES[-1]}" "Quillmar 12.0" 12.0.0
  install_release "${CODES[0]}" "Quillmar 5.0" 5.0.0
  register_nameless "${CODES[9]}"
  drive run <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 5.0" "" "Quillmar 12.0"
expect-selected all
expect-no-box
click Cancel
wait-exit 0
EOF
}

# Each way of closing the window ends the program with exit code 0.
scenario_ending_the_program() {
  install_releases 2
  local how
  for how in "key esc" "click Cancel" "close"; do
    drive "${how// /-}" <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2"
$how
wait-exit 0
EOF
  done
}

# ---------------------------------------------------------------- bad input and faults

# A release whose DisplayName is not text, between two good ones: the program
# reports the bad entry, keeps what it listed before it, unselected, and
# stays open. An error text gets a full stop only after a character above
# "."; this one ends in a quote, which lies below. Nothing here changes the
# machine, so the rows share one prefix and rewrite the entry in turn.
scenario_display_name_types() {
  install_releases 1 12
  local label type data
  while read -r label type data; do
    row "$label" display_name_type_row "$label" "$type" "$data"
  done <<'EOF'
dword     REG_DWORD     7
qword     REG_QWORD     7
binary    REG_BINARY    5175696C6C6D6172
multi-sz  REG_MULTI_SZ  Quillmar 9.0\0Quillmar 9.1
EOF
}

display_name_type_row() {
  register_display_name "${CODES[6]}" "$2" "$3"
  drive "$1" <<EOF
start
wait-box
expect-box-caption Qmuninstallkeysonly
expect-box-text "Invalid data type for 'DisplayName'"
expect-box-icon error
expect-box-buttons OK
wait-window "Uninstall Keys Only"
expect-box-modal
expect-lines "Quillmar 6.1"
expect-selected none
answer-box OK
expect-alive 500
expect-no-box
expect-lines "Quillmar 6.1"
expect-selected none
click Cancel
wait-exit 0
EOF
}

# A DisplayName shows whole whatever its length, as one line: an empty one
# still counts as installed, long ones are neither cut short nor split (the
# release after it is the very next line). The rows share one prefix.
scenario_display_name_sizes() {
  install_releases 12
  local label count
  while read -r label count; do
    row "$label" display_name_size_row "$label" "$count"
  done <<'EOF'
empty   0
64KiB   65536
1MiB    1048576
EOF
}

display_name_size_row() {
  register_long_name "${CODES[6]}" "$2" "Quillmar "
  drive "$1" <<EOF
$MAIN_WINDOW
expect-line-of 0 $2 "Quillmar "
expect-line-of 1 13 "Quillmar 11.0"
expect-selected all
expect-no-box
click Cancel
wait-exit 0
EOF
}

# Settings files a person or a crash may leave: without a usable
# installation directory removal stops before any command; a long
# directory or a file saved as UTF-16 still leads to the clean-up.
scenario_settings_file_variants() {
  local label outcome
  while read -r label outcome; do
    row "$label" settings_variant_row "$label" "$outcome"
  done <<'EOF'
no-section          stopped
empty-directory     stopped
binary-garbage      stopped
300-char-directory  done
utf16-with-bom      done
EOF
}

# After a row's removal: release 2 handed to the tool and gone ("done"), or
# nothing run and release 2 still registered.
expect_removal_of_release_2() {
  if [ "$1" = "done" ]; then
    expect_msizap_log "TW ${CODES[2]}"
    expect_unregistered 2
  else
    expect_msizap_log
    expect_registered 2
  fi
}

settings_variant_row() {
  local label=$1 outcome=$2 file byte
  fresh_prefix
  install_releases 2
  provide_msizap
  file="$WINEPREFIX/drive_c/windows/qm.ini"
  case $label in
    no-section) write_settings "Version=7.2" 'Directory=C:\Quillmar' ;;
    empty-directory) write_settings "[Program]" "Version=7.2" "Directory=" ;;
    binary-garbage)
      # Every byte value, over and over, line ends and "=" among them.
      : >"$file"
      for _ in 1 2 3 4; do
        for byte in $(seq 0 255); do printf '%b' "\\0$(printf '%03o' "$byte")" >>"$file"; done
      done
      ;;
    300-char-directory) write_settings "[Program]" "Directory=C:\\$(printf 'd%.0s' $(seq 297))" ;;
    utf16-with-bom)
      { printf '\xff\xfe'; printf '[Program]\r\nDirectory=C:\\Quillmar\r\n' | iconv -f UTF-8 -t UTF-16LE; } >"$file"
      ;;
  esac
  local box=$STOPPED_BOX
  if [ "$outcome" = "done" ]; then box=$DONE_BOX; fi
  drive "$label" <<EOF
$MAIN_WINDOW
expect-lines "Quillmar 7.2"
$CONFIRMATION
answer-box Yes
$box
EOF
  expect_removal_of_release_2 "$outcome"
}

# A clean-up tool that fails, crashes or floods its output does not stop
# the walk: every release is still handed to it and the program finishes.
# The switches reach the stand-in through the program's environment.
scenario_tool_faults() {
  local label setting still
  while read -r label setting still; do
    row "$label" tool_fault_row "$label" "$setting" "$still"
  done <<'EOF'
exit-code-3   QM_STANDIN_EXIT=3           unregistered
crash         QM_STANDIN_CRASH=1          registered
1MB-output    QM_STANDIN_FLOOD=1048576    unregistered
EOF
}

tool_fault_row() {
  local label=$1 setting=$2 still=$3
  fresh_prefix
  install_releases 2 10
  with_install_directory
  provide_msizap
  export "${setting?}"
  drive "$label" <<EOF
$MAIN_WINDOW
$CONFIRMATION
answer-box Yes
$DONE_BOX
EOF
  expect_msizap_log "TW ${CODES[2]}" "TW ${CODES[10]}"
  "expect_$still" 2 10
}

# How the program finds the command interpreter: COMSPEC as given (even a
# missing file, which it must report, or a path with blanks), else CMD.EXE
# along PATH. The rows change the system environment, so each has its own
# prefix.
scenario_command_interpreter() {
  local label outcome
  while read -r label outcome; do
    row "$label" interpreter_row "$label" "$outcome"
  done <<'EOF'
comspec-missing-file     not-run
comspec-with-blanks      done
no-comspec-found-on-path done
no-comspec-no-path       not-run
EOF
}

interpreter_row() {
  local label=$1 outcome=$2
  fresh_prefix
  install_releases 2
  with_install_directory
  provide_msizap
  case $label in
    comspec-missing-file) set_system_variable ComSpec 'C:\nowhere\cmd.exe' ;;
    comspec-with-blanks) set_system_variable ComSpec "$(copy_interpreter_to_spaced_folder)" ;;
    no-comspec-found-on-path) unset_system_variable ComSpec ;;
    no-comspec-no-path)
      unset_system_variable ComSpec
      unset_system_variable PATH
      ;;
  esac
  local box=$TOOL_NOT_RUN_BOX
  if [ "$outcome" = "done" ]; then box=$DONE_BOX; fi
  drive "$label" <<EOF
$MAIN_WINDOW
$CONFIRMATION
answer-box Yes
$box
EOF
  expect_removal_of_release_2 "$outcome"
}
