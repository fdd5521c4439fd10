#!/usr/bin/env bash
# Builds both presets and runs every test: the native tests against the
# simulated Windows (plain and under the sanitizers), checks of the built
# exe, the end-to-end suite on the real exe under 32-bit Wine, the fuzzers
# briefly, and the static analysers. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

stage() { printf '\n=== %s\n' "$*"; }

stage "set-up"
bash scripts/setup.sh

stage "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native

if grep -q '"name": "asan"' CMakePresets.json; then
  stage "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j"$jobs"
  ctest --preset asan
fi

stage "the product: QMUninstallKeysOnly.exe"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
exe=$root/build-win32/QMUninstallKeysOnly.exe

if [ -f tests/pe/check-exe.sh ]; then
  stage "the exe's headers, imports and resources"
  bash tests/pe/check-exe.sh "$exe"
fi

if [ -f scripts/check-reproducible.sh ]; then
  stage "reproducible build"
  bash scripts/check-reproducible.sh
fi

if [ -f tests/e2e/run-e2e.sh ]; then
  stage "end to end under Wine"
  bash tests/e2e/run-e2e.sh "$exe" "$root/build-win32/uidriver.exe" "$root/build-win32/msizap.exe" "$root/build-e2e"
fi

if [ -f fuzz/run-fuzz.sh ]; then
  stage "fuzzing, briefly"
  bash fuzz/run-fuzz.sh "${QM_FUZZ_SECONDS:-20}"
fi

if [ -f scripts/analyze.sh ]; then
  stage "static analysis"
  bash scripts/analyze.sh
fi

stage "all tests passed"
