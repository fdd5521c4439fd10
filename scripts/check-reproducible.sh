#!/usr/bin/env bash
# Builds QMUninstallKeysOnly.exe twice from the same sources, in two folders
# of different names and at different times, and checks that both are the
# same bytes: whoever rebuilds a release must be able to show that it is the
# one that was shipped.
#
#   scripts/check-reproducible.sh [--working-tree] [REV] [-- CMAKE-ARGS...]
#
# REV (default HEAD) is exported with git archive; --working-tree copies the
# files git would see now instead (tracked and new, not ignored), uncommitted
# changes included.
# CMAKE-ARGS go to both configure steps, to try flags without editing the
# build (e.g. -- -DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp).
# Exits 0 when the two are identical, 1 when they differ, 2 on a build error.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rev=HEAD
from_tree=no
cmake_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --working-tree) from_tree=yes ;;
    --) shift; cmake_args=("$@"); break ;;
    -h | --help) sed -n '/^set /q;2,$p' "$0"; exit 0 ;;
    *) rev=$1 ;;
  esac
  shift
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qm-repro.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# Different lengths as well as different names: a path that leaks into the
# image then also shifts everything after it.
first=$scratch/a
second=$scratch/second-copy-in-a-longer-folder

export_sources() {
  mkdir -p "$1"
  if [ "$from_tree" = yes ]; then
    # Tracked and new files as they are now; a tracked file deleted in the
    # working tree stays deleted.
    # shellcheck disable=SC2016 # expanded by the inner shell, per file
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
      xargs -0 sh -c 'for f; do [ ! -e "$f" ] || cp --parents -- "$f" "$0"; done' "$1")
  else
    git -C "$root" archive --format=tar "$rev" | tar -x -C "$1"
  fi
  # Build folders that slipped into the index are outputs, not sources.
  rm -rf "$1"/build-*
}

build() {
  local dir=$1 log=$1.log
  echo "== building in $dir"
  if ! (cd "$dir" && cmake --preset win32 "${cmake_args[@]}" && cmake --build --preset win32 -j"$(nproc)") \
      >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "check-reproducible: the build in $dir failed" >&2
    exit 2
  fi
}

if [ "$from_tree" = yes ]; then
  echo "sources: the working tree of $root"
else
  echo "sources: $(git -C "$root" rev-parse --short "$rev") ($rev)"
fi
export_sources "$first"
export_sources "$second"
build "$first"
# Make sure the clock has moved on between the two links.
sleep 2
build "$second"

a=$first/build-win32/QMUninstallKeysOnly.exe
b=$second/build-win32/QMUninstallKeysOnly.exe
sha256sum "$a" "$b" | sed "s|$scratch/||"
if cmp -s "$a" "$b"; then
  echo "REPRODUCIBLE: both builds are byte for byte the same"
  exit 0
fi

echo "NOT REPRODUCIBLE: $(cmp -l "$a" "$b" | wc -l) byte(s) differ; the first, with where they lie:"
python3 - "$a" "$b" <<'PY'
import struct, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
pe = struct.unpack_from("<I", a, 0x3C)[0]
count, optional_size = struct.unpack_from("<H", a, pe + 6)[0], struct.unpack_from("<H", a, pe + 20)[0]
table = pe + 24 + optional_size
sections = []
for i in range(count):
    name, _, _, raw_size, raw_offset = struct.unpack_from("<8sIIII", a, table + 40 * i)
    sections.append((name.rstrip(b"\0").decode(), raw_offset, raw_size))
named = {pe + 8: "COFF TimeDateStamp", pe + 24 + 64: "CheckSum"}
def where(offset):
    for start, what in named.items():
        if start <= offset < start + 4:
            return what
    for name, start, size in sections:
        if start <= offset < start + size:
            return "%s+0x%x" % (name, offset - start)
    return "headers" if offset < table + 40 * count else "after the sections"
diffs = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
if len(a) != len(b):
    print("  sizes differ: %d and %d bytes" % (len(a), len(b)))
for offset in diffs[:12]:
    print("  0x%06x %-28s %02x %02x  %r | %r" % (offset, where(offset), a[offset], b[offset],
          a[max(0, offset - 8):offset + 8], b[max(0, offset - 8):offset + 8]))
PY
exit 1
