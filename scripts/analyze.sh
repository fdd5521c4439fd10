#!/usr/bin/env bash
# Static analysis of our own code: clang-tidy with the checks in .clang-tidy,
# and cppcheck. Exits 1 on any finding, 2 when the analysis cannot run.
#
#   scripts/analyze.sh [--with-tests] [--no-win32]
#
# Covered: the program's logic (top-level sources and Util/), platform/common
# and the simulated Windows (platform/sim), read with the native build's
# compile database (build-native/compile_commands.json; configured with the
# native preset when missing). The logic, platform/common and platform/win32
# are read a second time as the product is built: clang-tidy aimed at
# i686-w64-mingw32 with MinGW-w64's headers and a compile database that
# build-tidy-win32 gets from configuring (not building) the win32 toolchain,
# so that 32-bit sizes and <windows.h> are what the analysis sees.
# --with-tests adds tests/native.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
with_tests=no
with_win32=yes
for arg in "$@"; do
  case $arg in
    --with-tests) with_tests=yes ;;
    --no-win32) with_win32=no ;;
    *) echo "usage: $0 [--with-tests] [--no-win32]" >&2; exit 2 ;;
  esac
done

tidy=${CLANG_TIDY:-clang-tidy}
cppcheck=${CPPCHECK:-cppcheck}
mingw_cxx=${MINGW_CXX:-i686-w64-mingw32-g++-win32}
jobs=$(nproc)
for tool in "$tidy" "$cppcheck" python3; do
  command -v "$tool" >/dev/null || { echo "analyze: $tool not found (Debian: clang-tidy, cppcheck)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-analyze.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The sources of a compile database that lie directly in the given folders
# of ours ("." is the top level).
ours_in() {  # ours_in DATABASE-DIR FOLDER...
  python3 - "$root" "$@" <<'PY'
import json, os, sys
root, db, folders = sys.argv[1], sys.argv[2], set(sys.argv[3:])
seen = set()
for entry in json.load(open(os.path.join(db, "compile_commands.json"))):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    folder = os.path.dirname(os.path.relpath(path, root)) or "."
    if folder in folders and path.endswith(".cpp") and path not in seen:
        seen.add(path)
        print(path)
PY
}

native_db=$root/build-native
if [ ! -f "$native_db/compile_commands.json" ]; then
  echo "== configuring the native preset for its compile database"
  (cd "$root" && cmake --preset native >"$work/native-configure.log" 2>&1) ||
    { cat "$work/native-configure.log" >&2; exit 2; }
fi
native_patterns=(. Util platform/common platform/sim)
[ "$with_tests" = yes ] && native_patterns+=(tests/native)
mapfile -t native_files < <(ours_in "$native_db" "${native_patterns[@]}")
[ ${#native_files[@]} -gt 0 ] || { echo "analyze: no sources of ours in $native_db/compile_commands.json" >&2; exit 2; }

# Headers of ours are reported, anything else is not.
escaped_root=$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$root")
header_filter="^$escaped_root/([^/]+\\.h|Util/.*|platform/.*|tests/.*)\$"

run_tidy() {  # run_tidy DATABASE-DIR OUTPUT-PREFIX EXTRA-ARGS... -- FILES...
  local db=$1 prefix=$2
  shift 2
  local extra=()
  while [ "$1" != -- ]; do extra+=("$1"); shift; done
  shift
  # shellcheck disable=SC2016 # expanded by the inner shell, per file
  printf '%s\0' "$@" | xargs -0 -P "$jobs" -I{} sh -c '
    prefix=$1 tidy=$2 db=$3 file=$4 filter=$5
    shift 5
    out="$prefix.$(echo "$file" | md5sum | cut -c1-12)"
    "$tidy" -p "$db" --quiet --header-filter="$filter" "$@" "$file" >"$out.log" 2>&1
    echo $? >"$out.rc"' \
    sh "$prefix" "$tidy" "$db" {} "$header_filter" "${extra[@]}"
}

echo "== clang-tidy, native (${#native_files[@]} files)"
run_tidy "$native_db" "$work/tidy-native" -- "${native_files[@]}"

win32_files=()
if [ "$with_win32" = yes ]; then
  win32_db=$root/build-tidy-win32
  if ! command -v "$mingw_cxx" >/dev/null; then
    echo "analyze: $mingw_cxx not found (Debian: g++-mingw-w64-i686)" >&2; exit 2
  fi
  (cmake -S "$root" -B "$win32_db" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
     -DCMAKE_BUILD_TYPE=Release >"$work/win32-configure.log" 2>&1) ||
    { cat "$work/win32-configure.log" >&2; exit 2; }
  mapfile -t win32_files < <(ours_in "$win32_db" . Util platform/common platform/win32)
  # Clang's own MinGW driver would take the build machine's libstdc++ and
  # system headers: keep only clang's builtin headers and name the cross
  # compiler's search path instead.
  mingw_args=(--extra-arg-before=--target=i686-w64-mingw32 --extra-arg=-nostdlibinc)
  while read -r dir; do
    case $dir in
      */include/c++* | */i686-w64-mingw32/include) mingw_args+=("--extra-arg=-isystem$(realpath "$dir")") ;;
    esac
  done < <("$mingw_cxx" -E -x c++ - -v </dev/null 2>&1 | sed -n '/#include <...> search starts/,/End of search/p' | sed 's/^ //')
  echo "== clang-tidy, win32 (${#win32_files[@]} files, i686-w64-mingw32)"
  run_tidy "$win32_db" "$work/tidy-win32" "${mingw_args[@]}" -- "${win32_files[@]}"
fi

# Each finding once, however many translation units include its header.
tidy_findings=$(cat "$work"/tidy-*.log 2>/dev/null |
  grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error): ' | sed "s|^$root/||" | sort -u)
tidy_crashes=$(for f in "$work"/tidy-*.rc; do [ "$(cat "$f")" -gt 1 ] && echo "${f%.rc}.log"; done)

echo "== cppcheck"
# shellcheck disable=SC2054 # the commas belong to cppcheck's option
cppcheck_common=(--enable=warning,performance,portability --inline-suppr --error-exitcode=1 --std=c++20
                 --language=c++ -q -j "$jobs" -I "$root"
                 "--template={file}:{line}:{column}: {severity}: {message} [{id}]")
# GoogleTest's macros, when the tests are in, are known to cppcheck from its
# own description of the library rather than from the headers.
cppcheck_native=(--platform=unix64)
[ "$with_tests" = yes ] && cppcheck_native+=(--library=googletest)
"$cppcheck" "${cppcheck_common[@]}" "${cppcheck_native[@]}" "${native_files[@]}" >"$work/cppcheck.log" 2>&1
cppcheck_status=$?
if [ "$with_win32" = yes ]; then
  mapfile -t win32_only < <(printf '%s\n' "${win32_files[@]}" | grep '/platform/win32/')
  "$cppcheck" "${cppcheck_common[@]}" --platform=win32A --library=windows -D_WIN32 -D__MINGW32__ \
    -DWIN32_LEAN_AND_MEAN -DNOMINMAX -DSTRICT -D_WIN32_WINNT=0x0601 "${win32_only[@]}" >>"$work/cppcheck.log" 2>&1 ||
    cppcheck_status=1
fi
cppcheck_findings=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: ' "$work/cppcheck.log" | sed "s|^$root/||" | sort -u)

echo "== findings"
count=0
if [ -n "$tidy_findings" ]; then
  echo "$tidy_findings"
  count=$((count + $(wc -l <<<"$tidy_findings")))
fi
if [ -n "$tidy_crashes" ]; then
  echo "clang-tidy could not analyse some files:"; for f in $tidy_crashes; do cat "$f"; done
  count=$((count + 1))
fi
if [ -n "$cppcheck_findings" ]; then
  echo "$cppcheck_findings"
  count=$((count + $(wc -l <<<"$cppcheck_findings")))
elif [ "$cppcheck_status" != 0 ]; then
  echo "cppcheck failed:"; cat "$work/cppcheck.log"
  count=$((count + 1))
fi
echo "$count finding(s)"
[ "$count" = 0 ]
