#!/bin/sh
# Formatting and static analysis. Needs the host build's compile_commands.json.
set -eu
cd "$(dirname "$0")/.."
sources=$(git ls-files -co --exclude-standard '*.cpp' '*.h')
# shellcheck disable=SC2086
clang-format --dry-run -Werror $sources
# The product, the simulated device and the tools; tests are left to the compilers' warnings.
analysed=$(git ls-files -co --exclude-standard 'support/*.cpp' 'setup/*.cpp' 'close/*.cpp' 'platform/src/*.cpp' 'tools/*.cpp' 'tools/**/*.cpp')
# shellcheck disable=SC2086
clang-tidy --quiet -p build/host $analysed
