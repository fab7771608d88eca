#!/bin/sh
# Builds the host build and runs every benchmark program, printing its figures.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
# Large blocks on huge pages: in a virtual machine the first touch of each 4 KiB page can cost
# microseconds, which would swamp the code measured in any result of tens of megabytes.
export GLIBC_TUNABLES="${GLIBC_TUNABLES:-glibc.malloc.hugetlb=1}"
for program in build/host/bench/*_benchmark; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" "$@"
done
