#!/bin/sh
# Checks the deliverables as the platform sees them. On every build: Wrenfold.dll exports exactly
# the four hooks, undecorated, and CloseKorvessa.exe carries icon group 101 in English (United
# Kingdom) with a 32 x 32 and a 16 x 16 image at 8 bits per pixel, read from the program's own
# resources, each the committed icon's image. Windows: the program is a desktop GUI program. The
# device (--device, with COREDLL.dll's import list): both files are PE32 for ARM, subsystem Windows CE
# GUI (9) version 3.0, with base relocations, importing only from COREDLL.dll and only names on
# the list, with no instruction that ARMv4 lacks; and the list names nothing neither imports.
# Usage: check-artefacts.sh [--device coredll.def] OBJDUMP Wrenfold.dll CloseKorvessa.exe ICON
set -eu
imports_list=""
if [ "$1" = "--device" ]; then
    imports_list="$2"
    shift 2
fi
objdump="$1"
library="$2"
program="$3"
icon="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$objdump" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort >"$work/exports"
printf '%s\n' Install_Exit Install_Init Uninstall_Exit Uninstall_Init >"$work/expected"
diff -u "$work/expected" "$work/exports" || fail "Wrenfold.dll does not export exactly the four hooks"

if [ -z "$imports_list" ]; then
    "$objdump" -p "$program" | grep -q '^Subsystem[[:space:]]*00000002' ||
        fail "CloseKorvessa.exe is not a GUI program"
else
    # The names the import library may give, as the device's COREDLL.dll knows them.
    sed -e 's/;.*//' -e '/^[[:space:]]*$/d' -e '/^LIBRARY/d' -e '/^EXPORTS/d' \
        -e 's/.*==[[:space:]]*//' -e 's/[[:space:]]//g' "$imports_list" | sort >"$work/allowed"
    # A field of the optional header as objdump prints it.
    field() { sed -n "s/^$1[[:space:]]\{1,\}//p" "$work/headers"; }
    for file in "$library" "$program"; do
        name=$(basename "$file")
        "$objdump" -p "$file" >"$work/headers"
        # objdump names ARM and Thumb images alike; the CE loader, which runs both files on the
        # arm build, refuses any machine but ARM's (0x1C0).
        grep -q 'file format pei-arm-wince-little$' "$work/headers" ||
            fail "$name is not a PE file for ARM"
        field Magic | grep -q '^010b' || fail "$name is not PE32"
        field Subsystem | grep -q '^00000009' || fail "$name is not for the Windows CE GUI subsystem (9)"
        [ "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" = "3.0" ] ||
            fail "$name does not ask for subsystem version 3.0"
        # CE maps a library wherever there is room, and must relocate it.
        grep -q '^Entry 5 [0-9a-f]\{8\} 0*[1-9a-f][0-9a-f]* Base Relocation' "$work/headers" ||
            fail "$name has no base relocations"
        sed -n 's/^[[:space:]]*DLL Name: //p' "$work/headers" | sort -u >"$work/libraries"
        [ "$(cat "$work/libraries")" = "COREDLL.dll" ] ||
            fail "$name imports from $(tr '\n' ' ' <"$work/libraries")rather than COREDLL.dll alone"
        sed -n '/DLL Name:/,/^$/s/^[[:space:]]*[0-9a-f]\{1,\}[[:space:]]\{1,\}[0-9]\{1,\}[[:space:]]\{1,\}//p' \
            "$work/headers" | sort -u >"$work/imported"
        comm -23 "$work/imported" "$work/allowed" >"$work/unlisted"
        [ ! -s "$work/unlisted" ] || fail "$name imports names not on the list: $(tr '\n' ' ' <"$work/unlisted")"
        cat "$work/imported" >>"$work/all-imported"

        # The words that pc-relative loads read are data (literal pools), not instructions.
        "$objdump" -d --no-show-raw-insn "$file" | awk '
            { lines[NR] = $0 }
            /\[pc/ && match($0, /@ (0x)?[0-9a-f]+/) {
                target = substr($0, RSTART + 2, RLENGTH - 2); sub(/^0x/, "", target); data[target] = 1
            }
            END {
                for (i = 1; i <= NR; i++) {
                    line = lines[i]
                    sub(/^[ \t]+/, "", line)
                    if (split(line, field, /[ \t]+/) < 2 || field[1] !~ /^[0-9a-f]+:$/) continue
                    if (substr(field[1], 1, length(field[1]) - 1) in data) continue
                    if (field[2] ~ /^(bx|blx|clz|ldrd|strd|pld)(eq|ne|cs|cc|hs|lo|mi|pl|vs|vc|hi|ls|ge|lt|gt|le|al)?$/)
                        print line
                }
            }' >"$work/newer"
        [ ! -s "$work/newer" ] || fail "$name has instructions that ARMv4 lacks: $(cat "$work/newer")"
    done
    # The list is exactly what the two files import: a name neither uses is one nobody checked.
    sort -u "$work/all-imported" | comm -13 - "$work/allowed" >"$work/unused"
    [ ! -s "$work/unused" ] || fail "the import list names what neither file imports: $(tr '\n' ' ' <"$work/unused")"
fi

wrestool -l "$program" | grep -q -- '--type=14 --name=101 --language=2057' ||
    fail "CloseKorvessa.exe has no icon group 101 in language 2057"
wrestool -x --type=14 --name=101 --language=2057 "$program" >"$work/icon.ico"
icotool -l "$work/icon.ico" >"$work/images"
grep -q -- '--width=32 --height=32 --bit-depth=8 --palette-size=256' "$work/images" ||
    fail "no 32 x 32 image at 8 bits"
grep -q -- '--width=16 --height=16 --bit-depth=8 --palette-size=256' "$work/images" ||
    fail "no 16 x 16 image at 8 bits"
[ "$(wc -l <"$work/images")" -eq 2 ] || fail "the icon group does not hold exactly two images"

# Each image, pixels and mask, is the committed icon's.
mkdir "$work/built" "$work/committed"
icotool -x -o "$work/built" "$work/icon.ico"
icotool -x -o "$work/committed" "$icon"
for image in 1 2; do
    cmp -s "$work/built"/*_"$image"_* "$work/committed"/*_"$image"_* ||
        fail "icon $image differs from image $image of the committed icon"
done
echo "Wrenfold.dll exports: $(tr '\n' ' ' <"$work/exports")"
[ -z "$imports_list" ] || echo "both files: PE32, ARM, CE GUI 3.0, relocatable, COREDLL.dll's listed names only, ARMv4"
echo "CloseKorvessa.exe icon group 101 (2057):"
cat "$work/images"
