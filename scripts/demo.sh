#!/bin/sh
# The main job: builds the host build and plays the Korvessa package's life on the simulated
# device, printing what each hook did. Arguments pick scenarios (--list names them). With --wine
# first, the same life is played with the real programs (Wrenfold.dll, CloseKorvessa.exe, the
# stand-in installer and application) under Wine.
set -eu
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--wine" ]; then
    shift
    scripts/install-deps.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target wine_demo >/dev/null
    scripts/wine-session.sh start build/windows
    trap 'scripts/wine-session.sh stop build/windows' EXIT
    build/windows/wine-run.sh "$(pwd)/build/windows/wine_demo.exe" "$@"
    exit
fi
scripts/install-deps.sh --host-only
cmake --preset host >/dev/null
cmake --build --preset host --target demo >/dev/null
exec build/host/demo "$@"
