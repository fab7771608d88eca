#!/bin/sh
# The device's files must tell the same story as the product compiled in: plays every scenario
# the device demo offers on both demos and compares the transcripts line for line, apart from
# the first line, which names the world.
# Usage: compare-demos.sh "EMULATOR" DEMO DEVICE_DEMO   (EMULATOR a command, words separated by
# spaces or by CMake's ';')
set -eu
emulator=$(echo "$1" | tr ';' ' ')
demo="$2"
device_demo="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2086
scenarios=$($emulator "$device_demo" --list | cut -d' ' -f1)
[ -n "$scenarios" ] || { echo "FAIL: the device demo offers no scenario" >&2; exit 1; }
# shellcheck disable=SC2086
$emulator "$demo" $scenarios | tail -n +2 >"$work/demo"
# shellcheck disable=SC2086
$emulator "$device_demo" $scenarios | tail -n +2 >"$work/device"
diff -u "$work/demo" "$work/device"
echo "the device's files played $(echo $scenarios | wc -w) scenarios, $(wc -l <"$work/device") lines, as the product compiled in"
