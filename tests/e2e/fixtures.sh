# shellcheck shell=bash
# What a scenario puts on the simulated machine before the program runs;
# sourced by run-e2e.sh. Releases are registered the way Windows does it, by
# installing real Windows Installer packages; only data no installer would
# write (a DisplayName of the wrong type, a key without one) is written to
# the registry directly.
#
# Needs: E2E_SOURCE (the repository), E2E_WORK, E2E_MSIZAP, WINEPREFIX.

UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
MANUFACTURER=Korvath

# The catalogue's product codes, in the program's own table order, read from
# its source so the tests follow the catalogue and never restate it.
CODES=()
load_catalogue() {
  local file="$E2E_SOURCE/Forceuninstallqm.cpp"
  [ -f "$file" ] || { echo "cannot read the catalogue: $file is missing" >&2; return 1; }
  mapfile -t CODES < <(grep -oE '"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}"' "$file" | tr -d '"')
  if [ "${#CODES[@]}" -lt 13 ]; then
    echo "found ${#CODES[@]} product codes in $file; the scenarios use the first 13" >&2
    return 1
  fi
}

# A product code that is none of the catalogue's but differs from one only
# in its last digits: a program matching codes loosely would list it.
near_miss_code() {
  local base=${CODES[0]%??\}} suffix
  for suffix in FF FE FD EE; do
    local code="$base$suffix}"
    if ! grep -qixF "$code" <<<"$(printf '%s\n' "${CODES[@]}")"; then
      echo "$code"
      return 0
    fi
  done
  echo "no near-miss product code is free" >&2
  return 1
}

# A stable GUID derived from a text, for the codes a package needs besides
# its product code.
guid_from() {
  local h
  h=$(printf '%s' "$1" | md5sum | tr 'a-f' 'A-F')
  printf '{%s-%s-%s-%s-%s}' "${h:0:8}" "${h:8:4}" "${h:12:4}" "${h:16:4}" "${h:20:12}"
}

# Builds (once per work folder) an x86 package for one release.
build_msi() {
  local code=$1 name=$2 version=$3
  local dir="$E2E_WORK/msi"
  local msi="$dir/${code//[\{\}]/}-${version}.msi"
  mkdir -p "$dir"
  if [ ! -s "$msi" ]; then
    local wxs="${msi%.msi}.$$.wxs"
    sed -e "s|@PRODUCT_CODE@|$code|g" -e "s|@NAME@|$name|g" -e "s|@VERSION@|$version|g" \
      -e "s|@MANUFACTURER@|$MANUFACTURER|g" -e "s|@FOLDER@|$name|g" \
      -e "s|@UPGRADE_CODE@|$(guid_from "upgrade $code")|g" \
      -e "s|@COMPONENT_CODE@|$(guid_from "component $code")|g" \
      "$E2E_SOURCE/tests/e2e/product.wxs.in" >"$wxs"
    # Built under a name of its own and renamed: runs side by side may build
    # the same package.
    wixl -a x86 -o "$msi.$$.tmp" "$wxs" >"$msi.$$.log" 2>&1 || { cat "$msi.$$.log" >&2; return 1; }
    mv "$msi.$$.tmp" "$msi"
    rm -f "$msi.$$.log"
  fi
  echo "$msi"
}

# Prints the 32-bit view's entry for one product code. Status 0: there;
# 1: not there; 2: reg failed otherwise. Through a file, not a pipe: Wine
# services started by this command would inherit a pipe and hold it open
# long after reg has ended.
query_release() {
  local out="$SCENARIO_DIR/reg-query.out" rc=0
  timeout 120 wine reg query "$UNINSTALL_KEY\\$1" /reg:32 >"$out" 2>&1 || rc=$?
  case $rc in
    0) tr -d '\r' <"$out" ;;
    1) return 1 ;;
    *)
      echo "reg query for $1 failed with exit code $rc: $(tr -d '\r' <"$out")" >&2
      return 2
      ;;
  esac
}

is_registered() { query_release "$1" >/dev/null; }

# Installs one release with the Windows Installer, as a real installation
# would register it, and makes sure it did.
install_release() {
  local code=$1 name=$2 version=$3 msi
  msi=$(build_msi "$code" "$name" "$version") || return 1
  echo "installing $name ($code)"
  timeout 300 wine msiexec /i "$(winpath "$msi")" /qn >>"$SCENARIO_DIR/fixtures.log" 2>&1 ||
    { echo "msiexec failed to install $msi" >&2; return 1; }
  local entry
  entry=$(query_release "$code") || true
  if ! grep -qE "^ +DisplayName +REG_SZ +$name\$" <<<"$entry"; then
    echo "after installing $msi the 32-bit view has no DisplayName \"$name\" for $code:" >&2
    echo "$entry" >&2
    return 1
  fi
}

# An uninstall entry with a value but no DisplayName, as a broken or
# hand-made registration may leave it.
register_nameless() {
  local code=$1
  echo "registering $code without a DisplayName"
  timeout 120 wine reg add "$UNINSTALL_KEY\\$code" /v Publisher /d "$MANUFACTURER" /f /reg:32 \
    >>"$SCENARIO_DIR/fixtures.log" 2>&1 || { echo "cannot write the entry for $code" >&2; return 1; }
}

# The whole Uninstall key gone from the 32-bit view.
remove_uninstall_key() {
  echo "removing the Uninstall key"
  timeout 120 wine reg delete "$UNINSTALL_KEY" /f /reg:32 >>"$SCENARIO_DIR/fixtures.log" 2>&1 ||
    { echo "cannot remove $UNINSTALL_KEY" >&2; return 1; }
  if timeout 120 wine reg query "$UNINSTALL_KEY" /reg:32 >/dev/null 2>&1; then
    echo "$UNINSTALL_KEY is still there" >&2
    return 1
  fi
}

# Quillmar's settings file in the Windows directory; the lines are given
# as arguments and written with Windows line ends.
write_settings() {
  local file="$WINEPREFIX/drive_c/windows/qm.ini"
  : >"$file"
  local line
  for line in "$@"; do printf '%s\r\n' "$line" >>"$file"; done
}

# The clean-up tool on the PATH (the Windows directory is on it).
provide_msizap() { cp "$E2E_MSIZAP" "$WINEPREFIX/drive_c/windows/msizap.exe"; }

msizap_log() {
  local file="$WINEPREFIX/drive_c/msizap-standin.log"
  [ -f "$file" ] && tr -d '\r' <"$file"
  return 0
}

# A DisplayName of any type reg knows, written over whatever was there, for
# entries no installer would make. DATA is in reg's own notation.
register_display_name() {
  local code=$1 type=$2 data=$3
  echo "registering $code with a $type DisplayName"
  timeout 120 wine reg add "$UNINSTALL_KEY\\$code" /v DisplayName /t "$type" /d "$data" /f /reg:32 \
    >>"$SCENARIO_DIR/fixtures.log" 2>&1 || { echo "cannot write the $type DisplayName for $code" >&2; return 1; }
}

# A text DisplayName of COUNT characters, TEXT over and over; through a
# .reg file, as no command line holds that much.
register_long_name() {
  local code=$1 count=$2 text=$3
  local file="$SCENARIO_DIR/long-name.reg" unit=$text
  echo "registering $code with a DisplayName of $count characters"
  while [ "${#unit}" -lt "$count" ]; do unit+=$unit; done
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\%s\\%s]\r\n' "${UNINSTALL_KEY#HKLM\\}" "$code"
    printf '"DisplayName"="%s"\r\n' "${unit:0:count}"
  } >"$file"
  timeout 120 wine reg import "$(winpath "$file")" /reg:32 >>"$SCENARIO_DIR/fixtures.log" 2>&1 ||
    { echo "cannot import $file" >&2; return 1; }
}

# The system environment every program started afterwards gets; Wine builds
# it from this key, over what the Unix shell exports.
SYSTEM_ENVIRONMENT='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'

set_system_variable() {
  echo "system environment: $1=$2"
  timeout 120 wine reg add "$SYSTEM_ENVIRONMENT" /v "$1" /t REG_EXPAND_SZ /d "$2" /f \
    >>"$SCENARIO_DIR/fixtures.log" 2>&1 || { echo "cannot set $1 in the system environment" >&2; return 1; }
}

unset_system_variable() {
  echo "system environment: no $1"
  timeout 120 wine reg delete "$SYSTEM_ENVIRONMENT" /v "$1" /f \
    >>"$SCENARIO_DIR/fixtures.log" 2>&1 || { echo "cannot remove $1 from the system environment" >&2; return 1; }
}

# Wine's 32-bit command interpreter copied to a folder whose path has
# blanks; prints the copy's Windows path.
copy_interpreter_to_spaced_folder() {
  local dir="$WINEPREFIX/drive_c/Program Files/Shell Copy"
  mkdir -p "$dir"
  cp "$WINEPREFIX/drive_c/windows/syswow64/cmd.exe" "$dir/cmd.exe"
  printf '%s' 'C:\Program Files\Shell Copy\cmd.exe'
}
