#!/bin/sh
# Every test tier, from a fresh Debian machine: installs what is missing, then builds and runs
# the device build with its checks, the packages made of it with their checks, the host tests
# (every install and removal playing those packages), the formatting check, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the host tests and the device's files on an
# emulated XScale (armel under qemu-arm), the fuzz targets, and the Windows build with its tests
# under Wine, the static analysis beside them.
set -eu
cd "$(dirname "$0")/.."

step() { printf '\n=== %s (%s)\n' "$1" "$(date +%H:%M:%S)"; }
# A preset's tier: configure, build, run its tests.
tier() {
    step "$2"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
    ctest --preset "$1"
}

step "dependencies"
scripts/install-deps.sh

# The device's files first: every later tier installs the packages made of them. The host build
# makes the packages, and its package tier builds and checks them before the rest of it is built.
tier device "device build (Windows CE 3.0 on ARM) and its checks"
step "the packages (Korvessa.cab of the device build's files, the themes) and their checks"
cmake --preset host >/dev/null
cmake --build --preset package
ctest --preset package
step "host build and tests"
cmake --build --preset host
ctest --preset host
step "lint: formatting (the static analysis runs beside the Windows tests)"
scripts/lint.sh format
tier host-asan "host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
tier arm "host tests and the device's files on armel under qemu-arm, an emulated XScale PXA250"
step "fuzz targets (libFuzzer, ${FUZZ_SECONDS:-30}s each)"
scripts/fuzz.sh
step "Windows build (x86_64)"
cmake --preset windows >/dev/null
cmake --build --preset windows
# The Windows tests share one Xvfb and one wineserver for the whole run. They spend most of it
# waiting (the hooks' pauses, programs starting under Wine), so the lint's static analysis runs
# beside them, at the lowest priority: the tests get the processors whenever they want them.
step "Windows tests under Wine, and beside them the lint's static analysis"
cmake/wine-session.sh start build/windows
analysis_log=build/clang-tidy.log
nice -n 19 scripts/lint.sh tidy >"$analysis_log" 2>&1 &
analysis=$!
trap 'kill "$analysis" 2>/dev/null || true; cmake/wine-session.sh stop build/windows' EXIT
windows=0
ctest --preset windows || windows=$?
step "lint: static analysis (clang-tidy)"
analysed=0
wait "$analysis" || analysed=$?
grep -v -E '^[0-9]+ warnings? generated\.$' "$analysis_log" || true
[ "$analysed" -eq 0 ] || { echo "clang-tidy found faults (above)"; exit 1; }
[ "$windows" -eq 0 ] || exit 1

step "all tiers passed"
