#!/bin/sh
# Proves that the device checks catch what they are there for. Links Wrenfold.dll again from its
# own objects with one fault planted at a time (an extra export, an import from KERNEL32.dll, the
# desktop's GUI subsystem, a BX instruction) and expects check-artefacts.sh to refuse each file,
# saying why; the unplanted link must pass.
# Usage: check-artefacts-faults.sh TOOLS "LINK FLAGS" COREDLL.def HOOKS.def "OBJECTS" "LIBRARIES"
#        CloseKorvessa.exe ICON    (OBJECTS and LIBRARIES are CMake lists, separated by ';')
set -eu
tools="$1"
link_flags="$2"
imports_list="$3"
exports_list="$4"
objects=$(echo "$5" | tr ';' ' ')
libraries=$(echo "$6" | tr ';' ' ')
program="$7"
icon="$8"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Links the library from the objects, with extra arguments before the libraries, so that an
# extra import library is searched before COREDLL's.
link() {
    output="$1"
    shift
    # shellcheck disable=SC2086
    "$tools/arm-mingw32ce-ld" --shared $link_flags --entry=DllMain -o "$output" $objects "$@" \
        $libraries
}
# Expects the checks to refuse `library` with a message containing `reason`.
expect_refused() {
    library="$1"
    reason="$2"
    if sh "$here/check-artefacts.sh" --device "$imports_list" "$tools/arm-mingw32ce-objdump" \
        "$library" "$program" "$icon" >"$work/out" 2>&1; then
        echo "FAIL: the checks passed $(basename "$library") ($reason)" >&2
        exit 1
    fi
    grep -q "$reason" "$work/out" || {
        echo "FAIL: $(basename "$library") was refused for another reason than: $reason" >&2
        cat "$work/out" >&2
        exit 1
    }
    echo "refused as it should be: $(grep FAIL "$work/out")"
}

link "$work/clean.dll" "$exports_list"
sh "$here/check-artefacts.sh" --device "$imports_list" "$tools/arm-mingw32ce-objdump" \
    "$work/clean.dll" "$program" "$icon" >/dev/null

# A fifth export: the library's entry.
{ cat "$exports_list"; echo "    DllMain"; } >"$work/five.def"
link "$work/export.dll" "$work/five.def"
expect_refused "$work/export.dll" "does not export exactly the four hooks"

# Sleep imported from KERNEL32.dll, whose import library comes before COREDLL's.
printf 'LIBRARY KERNEL32.dll\nEXPORTS\nSleep\n' >"$work/kernel32.def"
"$tools/arm-mingw32ce-dlltool" -m arm-wince --input-def "$work/kernel32.def" \
    --dllname KERNEL32.dll --output-lib "$work/libkernel32.a"
link "$work/kernel32.dll" "$exports_list" "$work/libkernel32.a"
expect_refused "$work/kernel32.dll" "KERNEL32.dll rather than COREDLL.dll alone"

# The desktop's GUI subsystem; the later option wins.
link "$work/subsystem.dll" "$exports_list" --subsystem windows:4.0
expect_refused "$work/subsystem.dll" "subsystem (9)"

# One function that returns with BX, which ARMv4 lacks (ARMv4T has it).
printf '\t.text\n\t.global\treturn_by_bx\nreturn_by_bx:\n\tbx\tlr\n' |
    "$tools/arm-mingw32ce-as" -march=armv4t -o "$work/bx.o"
link "$work/bx.dll" "$exports_list" "$work/bx.o"
expect_refused "$work/bx.dll" "instructions that ARMv4 lacks"
