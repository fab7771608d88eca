#!/bin/sh
# The main job: builds the host build and plays the Korvessa package's life on the simulated
# device, printing what each hook did. Arguments pick scenarios (--list names them). With --wine
# first, the same life is played with the real programs (Wrenfold.dll, CloseKorvessa.exe, the
# stand-in installer and application) under Wine; with --device first, with the device's own
# Wrenfold.dll and CloseKorvessa.exe, run by the CE loader on an emulated XScale.
set -eu
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--wine" ]; then
    shift
    scripts/install-deps.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target wine_demo >/dev/null
    cmake/wine-session.sh start build/windows
    trap 'cmake/wine-session.sh stop build/windows' EXIT
    build/windows/wine-run.sh "$(pwd)/build/windows/tools/wine_demo.exe" "$@"
    exit
fi
if [ "${1:-}" = "--device" ]; then
    shift
    scripts/install-deps.sh
    cmake --preset device >/dev/null
    cmake --build --preset device >/dev/null
    cmake --preset arm >/dev/null
    cmake --build --preset arm --target device_demo >/dev/null
    exec qemu-arm -cpu pxa250 -L /usr/arm-linux-gnueabi build/arm/tools/device_demo "$@"
fi
scripts/install-deps.sh --host-only
cmake --preset host >/dev/null
cmake --build --preset host --target demo >/dev/null
exec build/host/tools/demo "$@"
