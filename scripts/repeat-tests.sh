#!/bin/sh
# Runs test suites N times in a row to find the tests that fail only now and then, and prints
# per suite the runs, the passes and the tests that failed (with how often).
#
# Usage: scripts/repeat-tests.sh [-n RUNS] [-b] [-p PRESET] [-d BUILD] [SUITE...]
#   -n RUNS    runs of each suite (default 20)
#   -b         keep both processor cores busy meanwhile, with two busy loops this script starts
#              and always stops
#   -p PRESET  windows (default, under Wine), host, host-asan or arm (under qemu-arm); build
#              it first
#   -d BUILD   the build folder, if not build/PRESET
#   SUITE      suite names such as theme_tests (default: every suite of the preset)
# Each run of a suite is one process running all its tests (CTest runs the host cases one per
# process; a suite that only passes that way has a fault worth finding). Under Wine the script
# uses the build's running Wine session, or starts one and stops it at the end. A run that does not
# end within 10 minutes (CTest's limit) is ended and counted as failed in the test it was in.
# Logs of failed runs are kept in BUILD/repeat-logs.
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"

runs=20
busy=0
preset=windows
build=""
while getopts n:bp:d: option; do
    case "$option" in
    n) runs="$OPTARG" ;;
    b) busy=1 ;;
    p) preset="$OPTARG" ;;
    d) build="$(cd "$OPTARG" && pwd)" ;;
    *) sed -n '/^# Usage/,/^[^#]/s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

[ -n "$build" ] || build="$root/build/$preset"
case "$preset" in
windows) suffix=.exe ;;
host | host-asan | arm) suffix= ;;
*) echo "unknown preset $preset (windows, host, host-asan or arm)" >&2; exit 2 ;;
esac
if [ ! -d "$build/tests" ]; then
    echo "no build in $build: run cmake --preset $preset && cmake --build --preset $preset" >&2
    exit 1
fi
if [ "$#" -eq 0 ]; then
    set -- $(cd "$build/tests" && for program in *_tests$suffix; do
        [ -f "$program" ] && echo "${program%"$suffix"}"
    done)
fi
for suite in "$@"; do
    if [ ! -x "$build/tests/$suite$suffix" ]; then
        echo "no suite $suite in $build/tests (build it first)" >&2
        exit 1
    fi
done

loads=""
started_session=0
cleanup() {
    for load in $loads; do
        kill "$load" 2>/dev/null || true
    done
    if [ "$started_session" -eq 1 ]; then
        cmake/wine-session.sh stop "$build"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$preset" = windows ]; then
    if [ -f "$build/xvfb.pid" ] && kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null &&
        [ -f "$build/wine-display" ]; then
        echo "using the running Wine session of $build"
    else
        echo "starting a Wine session for $build"
        started_session=1
        cmake/wine-session.sh start "$build"
    fi
fi
if [ "$busy" -eq 1 ]; then
    # Each loop ends by itself once this script is gone, even when it is killed outright and
    # its trap never runs.
    for core in 1 2; do
        sh -c 'while kill -0 "$1" 2>/dev/null; do
                   i=0; while [ "$i" -lt 100000 ]; do i=$((i + 1)); done
               done' loop $$ &
        loads="$loads $!"
    done
    echo "both cores kept busy by processes$loads"
fi

logs="$build/repeat-logs"
mkdir -p "$logs"
table="$(mktemp)"
for suite in "$@"; do
    passes=0
    failures="$(mktemp)"
    run=1
    while [ "$run" -le "$runs" ]; do
        log="$logs/$suite.$run.log"
        started="$(date +%s)"
        if [ "$preset" = windows ]; then
            set +e
            (cd "$build/tests" && timeout 600 "$build/wine-run.sh" "$build/tests/$suite.exe") \
                >"$log" 2>&1 </dev/null
            status=$?
            set -e
        elif [ "$preset" = arm ]; then
            # As the arm preset's toolchain file runs them.
            set +e
            (cd "$build/tests" &&
                timeout 600 qemu-arm -cpu pxa250 -L /usr/arm-linux-gnueabi "./$suite") \
                >"$log" 2>&1 </dev/null
            status=$?
            set -e
        else
            set +e
            (cd "$build/tests" && timeout 600 "./$suite") >"$log" 2>&1 </dev/null
            status=$?
            set -e
        fi
        seconds=$(($(date +%s) - started))
        if [ "$status" -eq 0 ]; then
            passes=$((passes + 1))
            rm -f "$log"
            printf '%s run %d: passed (%ds)\n' "$suite" "$run" "$seconds"
        else
            failed="$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/]*\.[A-Za-z0-9_/]*\).*/\1/p' "$log" |
                sort -u)"
            if [ -z "$failed" ]; then
                # No verdict: the suite crashed or hung (the time-out ended it) in the test it
                # started last.
                last="$(sed -n 's/^\[ RUN      \] \(.*\)$/\1/p' "$log" | tail -1)"
                if [ -n "$last" ] && ! grep -q "^\[       OK \] $last " "$log"; then
                    failed="$last (did not finish, exit $status)"
                else
                    failed="(exit $status, no test named)"
                fi
            fi
            echo "$failed" >>"$failures"
            printf '%s run %d: FAILED (%ds), log %s: %s\n' "$suite" "$run" "$seconds" "$log" \
                "$(echo "$failed" | tr '\n' ' ')"
        fi
        run=$((run + 1))
    done
    names="$(sort "$failures" | uniq -c | awk '{ n = $1; $1 = ""; printf "%s%s x%d", sep, substr($0, 2), n; sep = ", " }')"
    printf '%s\t%d\t%d\t%s\n' "$suite" "$runs" "$passes" "$names" >>"$table"
    rm -f "$failures"
done

printf '\n%-16s %5s %7s  %s\n' suite runs passes "failed tests"
while IFS="$(printf '\t')" read -r suite count passes names; do
    printf '%-16s %5s %7s  %s\n' "$suite" "$count" "$passes" "$names"
done <"$table"
if awk -F '\t' '$2 != $3 { bad = 1 } END { exit bad ? 0 : 1 }' "$table"; then
    rm -f "$table"
    exit 1
fi
rm -f "$table"
