#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and UBSan) and runs each
# from its seed corpus for a bounded time: FUZZ_SECONDS each (default 30), or the first argument;
# as many at once as the machine has processors. New inputs go to a scratch corpus under
# build/fuzz; the seeds in fuzz/corpus stay as they are. Fails when a target finds a failure; its
# reproducer is in build/fuzz/findings.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-${FUZZ_SECONDS:-30}}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings="build/fuzz/findings"
logs="build/fuzz/logs"
mkdir -p "$findings" "$logs"
rm -f "$logs"/*

fuzz() {
    target="$1"
    corpus="build/fuzz/corpus/$target"
    mkdir -p "$corpus"
    "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" \
        "fuzz/corpus/$target/" >"$logs/$target.log" 2>&1 || true
}

# The targets run in batches of one per processor; each batch takes `seconds`.
batch=0
for seeds in fuzz/corpus/*/; do
    fuzz "$(basename "$seeds")" &
    batch=$((batch + 1))
    if [ "$batch" -ge "$(nproc)" ]; then
        wait
        batch=0
    fi
done
wait

# libFuzzer times a unit by the wall clock, so a step of the machine's clock (or a pause of the
# machine) during one leaves it behind as slow-unit- or timeout-, as if the input were slow. Such
# a unit is a finding only if it is slow again alone, under the same timeout; else it goes to the
# logs, named.
recheck() {
    target="$1"
    for unit in "$findings/$target-slow-unit-"* "$findings/$target-timeout-"*; do
        [ -e "$unit" ] || continue
        if "build/fuzz/fuzz/$target" -timeout=10 "$unit" >"$logs/$target.again.log" 2>&1; then
            echo "$target: $(basename "$unit") was not slow alone" \
                "($(grep -o "in [0-9]* ms" "$logs/$target.again.log")): the clock stepped or" \
                "the machine paused during it; kept in $logs"
            mv "$unit" "$logs/"
        fi
    done
}

# The fuzzer's own status is hidden behind its log; a finding leaves a reproducer behind.
found=""
for seeds in fuzz/corpus/*/; do
    target="$(basename "$seeds")"
    echo "== $target (${seconds}s)"
    grep -E "^(stat::number_of_executed_units|Done|==[0-9]+==|SUMMARY|Slowest unit|.*property broken)" \
        "$logs/$target.log" || true
    recheck "$target"
    if ls "$findings/$target-"* >/dev/null 2>&1; then
        echo "$target: failure found, reproduce with build/fuzz/fuzz/$target $findings/$target-*"
        found="$found $target"
    fi
done
if [ -n "$found" ]; then
    exit 1
fi
echo "every fuzz target ran ${seconds}s without a finding"
