#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and UBSan) and runs each
# from its seed corpus for a bounded time: FUZZ_SECONDS each (default 30), or the first argument.
# New inputs go to a scratch corpus under build/fuzz; the seeds in fuzz/corpus stay as they are.
# Stops at the first target that finds a failure; its reproducer is in build/fuzz/findings.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-${FUZZ_SECONDS:-30}}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings="build/fuzz/findings"
mkdir -p "$findings"
for seeds in fuzz/corpus/*/; do
    target="$(basename "$seeds")"
    corpus="build/fuzz/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target (${seconds}s)"
    "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" "$seeds" 2>&1 |
        grep -E "^(stat::number_of_executed_units|Done|==[0-9]+==|SUMMARY|.*property broken)" ||
        true
    # The pipe hides the fuzzer's own status; a finding leaves a reproducer behind.
    if ls "$findings/$target-"* >/dev/null 2>&1; then
        echo "$target: failure found, reproduce with build/fuzz/fuzz/$target $findings/$target-*"
        exit 1
    fi
done
echo "every fuzz target ran ${seconds}s without a finding"
