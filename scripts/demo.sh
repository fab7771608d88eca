#!/bin/sh
# The main job: builds the host build and plays the Korvessa package's life on the simulated
# device, printing what each hook did. Arguments pick scenarios (--list names them).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --host-only
cmake --preset host >/dev/null
cmake --build --preset host --target demo >/dev/null
exec build/host/demo "$@"
