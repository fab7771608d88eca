#!/bin/sh
# Every test tier, from a fresh Debian machine: installs what is missing, then builds and runs
# the host tests, the lint, the same under AddressSanitizer and UndefinedBehaviorSanitizer, the
# device build with its checks, the package made of it with its checks, the host tests and the
# device's files on an emulated XScale (armel under qemu-arm), the fuzz targets, and the Windows
# build under Wine.
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"

step() { printf '\n=== %s (%s)\n' "$1" "$(date +%H:%M:%S)"; }

step "dependencies"
scripts/install-deps.sh

step "host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

step "lint"
scripts/lint.sh

step "host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan
ctest --preset host-asan

step "device build (Windows CE 3.0 on ARM) and its checks"
# The CE binutils are built once per machine (minutes) and kept outside the work tree.
scripts/ce-binutils.sh >/dev/null
cmake --preset device >/dev/null
cmake --build --preset device
ctest --preset device

step "the package Korvessa.cab from the device build's files, and its checks"
cmake --preset package >/dev/null
cmake --build --preset package
ctest --preset package

step "host tests on armel under qemu-arm, an emulated XScale PXA250"
cmake --preset arm >/dev/null
cmake --build --preset arm
ctest --preset arm

step "fuzz targets (libFuzzer, ${FUZZ_SECONDS:-30}s each)"
scripts/fuzz.sh

step "Windows build (x86_64) and its tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows
scripts/wine-session.sh start build/windows
trap 'scripts/wine-session.sh stop "$root/build/windows"' EXIT
ctest --test-dir build/windows --output-on-failure
scripts/wine-session.sh stop build/windows
trap - EXIT

step "all tiers passed"
