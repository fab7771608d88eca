#!/bin/sh
# Formatting and static analysis. Needs the host build's compile_commands.json.
set -eu
cd "$(dirname "$0")/.."
sources=$(git ls-files -co --exclude-standard '*.cpp' '*.h')
# shellcheck disable=SC2086
clang-format --dry-run -Werror $sources
# The product, the simulated device and the tools, as the host build compiles them (programs
# built only for Windows are left to the compilers' warnings there, as are the tests).
analysed=""
for file in $(git ls-files -co --exclude-standard 'support/*.cpp' 'setup/*.cpp' 'close/*.cpp' \
        'platform/sim/*.cpp' 'package/*.cpp' 'package/**/*.cpp' 'tools/*.cpp' 'tools/**/*.cpp'); do
    grep -q "\"file\": \"$(pwd)/$file\"" build/host/compile_commands.json && analysed="$analysed $file"
done
# One file to a run, as many runs at once as the machine has processors; any finding fails.
# shellcheck disable=SC2086
printf '%s\n' $analysed | xargs -P "$(nproc)" -n 1 clang-tidy --quiet -p build/host
