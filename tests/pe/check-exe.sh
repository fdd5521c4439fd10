#!/usr/bin/env bash
# Checks the built QMUninstallKeysOnly.exe as Windows will see it: a 32-bit
# GUI program with a reproducible header, that loads nothing but Windows'
# own DLLs and carries its icon, version information and manifest.
#
#   tests/pe/check-exe.sh build-win32/QMUninstallKeysOnly.exe
#
# Prints PASS or FAIL per check and "N passed, M failed" last; exits 1 when
# any check failed, 2 when it cannot run at all.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
pe=("${PYTHON:-python3}" "$here/pe_resources.py")

if [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "usage: $0 path/to/QMUninstallKeysOnly.exe" >&2
  exit 2
fi
command -v "$objdump" >/dev/null || { echo "check-exe: $objdump not found (Debian: binutils-mingw-w64-i686)" >&2; exit 2; }

passed=0
failed=0
check() {  # check NAME CONDITION-RESULT DETAIL
  if [ "$2" = 0 ]; then
    echo "PASS  $1"
    passed=$((passed + 1))
  else
    echo "FAIL  $1${3:+: $3}"
    failed=$((failed + 1))
  fi
}
holds() { "$@" >/dev/null 2>&1; echo $?; }
value_of() { sed -n "s/^$1=//p" <<<"$2" | head -n1; }

headers=$("$objdump" -p "$exe" 2>&1) || { echo "check-exe: $objdump cannot read $exe" >&2; exit 2; }
header=$("${pe[@]}" header "$exe" 2>&1) || header=""
resources=$("${pe[@]}" resources "$exe" 2>&1) || resources=""
version=$("${pe[@]}" version "$exe" 2>&1) || version=""
manifest=$("${pe[@]}" manifest-facts "$exe" 2>&1) || manifest=""

# Header.
format=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$headers" | head -n1)
magic=$(awk '$1 == "Magic" {print $2}' <<<"$headers")
check "i386 machine, PE32 image" \
  "$([ "$format" = pei-i386 ] && [ "$magic" = 010b ] && [ "$(value_of machine "$header")" = 0x14c ]; echo $?)" \
  "objdump: format '$format', magic '$magic'; header: $(value_of machine "$header")"

subsystem=$(sed -n 's/^Subsystem[[:space:]]*\([0-9a-f]*\).*/\1/p' <<<"$headers")
check "GUI subsystem" \
  "$([ "$((16#${subsystem:-0}))" = 2 ] && [ "$(value_of subsystem "$header")" = 2 ]; echo $?)" \
  "subsystem ${subsystem:-missing} ($(sed -n 's/^Subsystem.*(\(.*\))/\1/p' <<<"$headers"))"

stamp=$(value_of timestamp "$header")
check "no link timestamp (TimeDateStamp 0)" "$([ "$stamp" = 0 ]; echo $?)" \
  "TimeDateStamp ${stamp:-unreadable} ($(awk -F'\t+' '/^Time\/Date/ {print $2}' <<<"$headers"))"

# Imports: a static build must need nothing that a bare Windows lacks.
allowed='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt)\.dll$'
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
others=$(grep -Eiv "$allowed" <<<"$dlls" | grep -v '^$' | tr '\n' ' ')
check "imports only Windows system DLLs" \
  "$([ -n "$dlls" ] && [ -z "$others" ]; echo $?)" \
  "$(if [ -z "$dlls" ]; then echo "no imports found"; else echo "also imports: $others"; fi)"

# Resources.
icons=$("${pe[@]}" icons "$exe" 2>/dev/null | grep '^"MAINICON" ')
check "icon group \"MAINICON\" with all its icons" \
  "$([ -n "$icons" ] && grep -q 'missing=-$' <<<"$icons" && ! grep -q 'icons=-' <<<"$icons"; echo $?)" \
  "${icons:-no RT_GROUP_ICON named MAINICON}"

missing_strings=""
for key in ProductName FileDescription FileVersion LegalCopyright; do
  [ -n "$(value_of "$key" "$version")" ] || missing_strings+="$key "
done
check "version resource with ProductName, FileDescription, FileVersion, LegalCopyright" \
  "$([ -n "$version" ] && [ -z "$missing_strings" ]; echo $?)" \
  "${missing_strings:+missing or empty: $missing_strings}"

check "manifest (RT_MANIFEST 1), well-formed" \
  "$(grep -qx 'RT_MANIFEST 1 [0-9]* [0-9]*' <<<"$resources" && [ "$(value_of well_formed "$manifest")" = yes ]; echo $?)" \
  "${manifest:-no RT_MANIFEST resource 1}"
check "manifest requests requireAdministrator" \
  "$([ "$(value_of execution_level "$manifest")" = requireAdministrator ]; echo $?)" \
  "requestedExecutionLevel: $(value_of execution_level "$manifest")"
check "manifest depends on Common Controls 6.0.0.0" \
  "$([ "$(value_of common_controls "$manifest")" = 6.0.0.0 ]; echo $?)" \
  "Common-Controls version: $(value_of common_controls "$manifest")"
check "manifest names a supported OS" \
  "$([ "$(value_of supported_os "$manifest")" -ge 1 ] 2>/dev/null; echo $?)" \
  "supportedOS entries: $(value_of supported_os "$manifest")"
check "manifest declares dpiAware true" \
  "$(value_of dpi_aware "$manifest" | tr '[:upper:]' '[:lower:]' | grep -Eqx 'true(/pm)?'; echo $?)" \
  "dpiAware: $(value_of dpi_aware "$manifest")"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
