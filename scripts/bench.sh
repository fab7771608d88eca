#!/bin/sh
# Builds the host build and runs every benchmark program, printing its figures.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
# The default allocator, as callers have it: no tuning through GLIBC_TUNABLES or the like.
unset GLIBC_TUNABLES
for program in build/host/bench/*_benchmark; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" "$@"
done
