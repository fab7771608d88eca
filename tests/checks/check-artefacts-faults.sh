#!/bin/sh
# Proves that the device checks catch what they are there for. Links Wrenfold.dll again from its
# own objects with one fault planted at a time (an extra export, an import from KERNEL32.dll, the
# desktop's GUI subsystem, writable data, each of BX, BLX, BXNE and LDRDEQ) and expects check-artefacts.sh to
# refuse each file, saying why; the unplanted link must pass.
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

# A word of writable data: state, or constants the compile put in the wrong section.
printf '\t.data\n\t.global\tstate\nstate:\n\t.word\t0\n' |
    "$tools/arm-mingw32ce-as" -o "$work/state.o"
link "$work/state.dll" "$exports_list" "$work/state.o" -u state
expect_refused "$work/state.dll" "writable sections: .data"

# One function with an instruction that ARMv4 lacks, assembled for the processor that has it,
# and kept in the library (the linker drops what nothing reaches).
plant() {
    function="$1"
    processor="$2"
    shift 2
    { printf '\t.syntax unified\n\t.text\n\t.global\t%s\n%s:\n' "$function" "$function"
      printf '\t%s\n' "$@"; } | "$tools/arm-mingw32ce-as" -march="$processor" -o "$work/$function.o"
    link "$work/$function.dll" "$exports_list" "$work/$function.o" -u "$function"
    expect_refused "$work/$function.dll" "instructions that ARMv4 lacks"
}
# The interworking return and call (ARMv4T and ARMv5), and the same in conditional forms, as
# GCC writes them after a comparison.
plant return_by_bx armv4t "bx lr"
plant call_by_blx armv5te "push {lr}" "blx r3" "pop {pc}"
plant return_by_bxne armv4t "cmp r0, #0" "bxne lr" "mov pc, lr"
plant load_by_ldrdeq armv5te "cmp r0, #0" "ldrdeq r2, r3, [r1]" "mov pc, lr"
