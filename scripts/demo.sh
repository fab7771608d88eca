#!/bin/sh
# The main job: builds Korvessa.cab (the device build's files, packaged) and the host build, and
# plays the package's life on the simulated device, installed and removed by the stand-in CE
# installer, printing what the installer and each hook did. Arguments pick scenarios (--list
# names them). With --wine first, the same life is played with the real programs (Korvessa.cab
# of the Windows build's Wrenfold.dll and CloseKorvessa.exe, the stand-in application) under
# Wine; with --device first, with the device's own Wrenfold.dll and CloseKorvessa.exe from the
# package, run by the CE loader on an emulated XScale.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset device >/dev/null
cmake --build --preset device >/dev/null
cmake --preset host >/dev/null
cmake --build --preset package >/dev/null
if [ "${1:-}" = "--wine" ]; then
    shift
    # The Windows build checks its demo against the host's.
    cmake --build --preset host --target demo >/dev/null
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target wine_demo >/dev/null
    cmake/wine-session.sh start build/windows
    trap 'cmake/wine-session.sh stop build/windows' EXIT
    build/windows/wine-run.sh "$(pwd)/build/windows/tools/wine_demo.exe" "$@"
    exit
fi
if [ "${1:-}" = "--device" ]; then
    shift
    cmake --preset arm >/dev/null
    cmake --build --preset arm --target device_demo >/dev/null
    exec qemu-arm -cpu pxa250 -L /usr/arm-linux-gnueabi build/arm/tools/device_demo "$@"
fi
cmake --build --preset host --target demo >/dev/null
exec build/host/tools/demo "$@"
