#!/usr/bin/env bash
# Installs what building and testing QMUninstallKeysOnly need on Debian 12,
# and nothing that is there already. Runs without a terminal (CI); needs root
# or sudo for what is missing.
set -euo pipefail

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake make g++ libgtest-dev libgmock-dev          # native build and tests
  g++-mingw-w64-i686 binutils-mingw-w64-i686        # the product
  wine wine32:i386 wine64 xvfb xauth x11-utils      # running it, as a user would
  wixl imagemagick bc                               # real installer packages, screenshots
  clang clang-tidy cppcheck libclang-rt-14-dev      # sanitizers, fuzzing, static analysis
)

updated=no
apt_update() { [ "$updated" = yes ] || { as_root apt-get update -qq; updated=yes; }; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Wine needs a CPU that runs i386 Linux code. Where the kernel cannot
# (no IA-32 emulation, as on some virtual machines), it runs under
# qemu-user; Debian 12's qemu 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then
# probes the whole address space 64 KiB at a time before every start (about
# two minutes each). qemu 8 and later do not, so take it from backports and
# register it for i386 programs.
i386_runs_natively() {
  [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
qemu_major() { qemu-i386-static --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -n1; }
if ! i386_runs_natively; then
  if [ "$(qemu_major || true)" = "" ] || [ "$(qemu_major)" -lt 8 ]; then
    echo "setup: this kernel does not run i386 code; installing a newer qemu-user-static for 32-bit Wine"
    echo 'deb http://deb.debian.org/debian bookworm-backports main' |
      as_root tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    as_root apt-get update -qq
    updated=yes
    as_root apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
  fi
  # The "F" flag pins the interpreter file when it is registered, and which
  # file that was cannot be read back: register again every time, so that
  # the new qemu, not an old one still held open, runs i386 programs.
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo -1 | as_root tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
  fi
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
