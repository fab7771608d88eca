#!/bin/sh
# Formatting and static analysis: scripts/lint.sh [format|tidy], both when neither is named.
# The analysis needs the host build's compile_commands.json; it runs one file a run, as many runs
# at once as the machine has processors, and any finding fails.
set -eu
cd "$(dirname "$0")/.."
what="${1:-all}"
if [ "$what" != tidy ]; then
    sources=$(git ls-files -co --exclude-standard '*.cpp' '*.h')
    # shellcheck disable=SC2086
    clang-format --dry-run -Werror $sources
fi
if [ "$what" != format ]; then
    # The product, the simulated device, the package's room and the tools, as the host build
    # compiles them (programs built only for Windows are left to the compilers' warnings there, as
    # are the tests).
    analysed=""
    for file in $(git ls-files -co --exclude-standard 'support/*.cpp' 'setup/*.cpp' 'close/*.cpp' \
            'platform/sim/*.cpp' 'package/*.cpp' 'package/**/*.cpp' 'tools/*.cpp' \
            'tools/**/*.cpp'); do
        grep -q "\"file\": \"$(pwd)/$file\"" build/host/compile_commands.json &&
            analysed="$analysed $file"
    done
    # shellcheck disable=SC2086
    printf '%s\n' $analysed | xargs -P "$(nproc)" -n 1 clang-tidy --quiet -p build/host
fi
