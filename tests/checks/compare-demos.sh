#!/bin/sh
# Another world must tell the same story as the reference demo: plays every scenario DEMO offers
# on both and compares the transcripts line for line, apart from the first line, which names the
# world, and DEMO's "    took N.N s" lines, which say how long a step took by the wall clock.
# Usage: compare-demos.sh "REFERENCE_RUNNER" REFERENCE "RUNNER" DEMO   (a runner is a command,
# words separated by spaces or by CMake's ';', that runs the program after it; empty for none)
set -eu
reference_runner=$(echo "$1" | tr ';' ' ')
reference="$2"
runner=$(echo "$3" | tr ';' ' ')
demo="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Wine writes line ends as \r\n.
# shellcheck disable=SC2086
scenarios=$($runner "$demo" --list | tr -d '\r' | cut -d' ' -f1)
[ -n "$scenarios" ] || { echo "FAIL: $(basename "$demo") offers no scenario" >&2; exit 1; }
# shellcheck disable=SC2086
$reference_runner "$reference" $scenarios | tr -d '\r' | tail -n +2 >"$work/reference"
# shellcheck disable=SC2086
$runner "$demo" $scenarios | tr -d '\r' | tail -n +2 >"$work/played"
grep -Ev '^    took [0-9]+\.[0-9] s$' "$work/played" >"$work/story" || true
diff -u "$work/reference" "$work/story"
lines=$(wc -l <"$work/story")
timing=$(($(wc -l <"$work/played") - lines))
echo "$(basename "$demo") played $(echo "$scenarios" | wc -w) scenarios, $lines lines, as" \
    "$(basename "$reference") does ($timing timing lines aside)"
