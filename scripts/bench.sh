#!/bin/sh
# Builds the host build and runs every benchmark program, printing its figures; then the text
# benchmark built for the device's processor family (the arm preset) and run under qemu-arm as an
# XScale PXA250, where time stands for the instructions run. Arguments go to every program (e.g.
# --benchmark_filter=Unescape). The figures are processor time, yet other work on the machine
# still disturbs them: its load is printed before and after each program.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
cmake --preset arm >/dev/null
cmake --build --preset arm --target text_benchmark >/dev/null
# The default allocator, as callers have it: no tuning through GLIBC_TUNABLES or the like.
unset GLIBC_TUNABLES
load() {
    echo "-- load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
}
for program in build/host/bench/*_benchmark; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program") ($(uname -m))"
    load
    "$program" "$@"
    load
done
echo "== text_benchmark (armel, under qemu-arm -cpu pxa250)"
load
qemu-arm -cpu pxa250 -L /usr/arm-linux-gnueabi build/arm/bench/text_benchmark "$@"
load
