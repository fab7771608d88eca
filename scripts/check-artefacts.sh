#!/bin/sh
# Checks the Windows build's deliverables as the platform sees them: Wrenfold.dll exports exactly
# the four hooks, undecorated; CloseKorvessa.exe is a GUI program carrying icon group 101 in
# English (United Kingdom) with a 32 x 32 and a 16 x 16 image at 8 bits per pixel, read from the
# program's own resources: the group's directory, and each image's bitmap header and bytes, which
# must be the committed icon's.
# Usage: check-artefacts.sh OBJDUMP Wrenfold.dll CloseKorvessa.exe CloseKorvessa.ico
set -eu
objdump="$1"
library="$2"
program="$3"
icon="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Little-endian unsigned numbers of 1, 2 or 4 bytes at an offset of a file.
u() { od -An -tu"$3" -j"$2" -N"$3" "$1" | tr -d ' '; }

"$objdump" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort >"$work/exports"
printf '%s\n' Install_Exit Install_Init Uninstall_Exit Uninstall_Init >"$work/expected"
diff -u "$work/expected" "$work/exports" || fail "Wrenfold.dll does not export exactly the four hooks"

"$objdump" -p "$program" | grep -q '^Subsystem[[:space:]]*00000002' ||
    fail "CloseKorvessa.exe is not a GUI program"
wrestool -l "$program" | grep -q -- '--type=14 --name=101 --language=2057' ||
    fail "CloseKorvessa.exe has no icon group 101 in language 2057"
wrestool -x --type=14 --name=101 --language=2057 "$program" >"$work/icon.ico"
icotool -l "$work/icon.ico" >"$work/images"
grep -q -- '--width=32 --height=32 --bit-depth=8 --palette-size=256' "$work/images" ||
    fail "no 32 x 32 image at 8 bits"
grep -q -- '--width=16 --height=16 --bit-depth=8 --palette-size=256' "$work/images" ||
    fail "no 16 x 16 image at 8 bits"
[ "$(wc -l <"$work/images")" -eq 2 ] || fail "the icon group does not hold exactly two images"

# The group's own directory (6 bytes, then 14 per image) and the images it names.
wrestool -x --raw --type=14 --name=101 --language=2057 "$program" >"$work/group"
[ "$(u "$work/group" 2 2)" -eq 1 ] && [ "$(u "$work/group" 4 2)" -eq 2 ] ||
    fail "the icon group's directory does not list two icons"
for image in 0 1; do
    entry=$((6 + 14 * image))
    side=$((32 >> image))
    [ "$(u "$work/group" "$entry" 1)" -eq "$side" ] && [ "$(u "$work/group" $((entry + 1)) 1)" -eq "$side" ] &&
        [ "$(u "$work/group" $((entry + 6)) 2)" -eq 8 ] ||
        fail "the group's entry $((image + 1)) is not $side x $side at 8 bits"
    name=$(u "$work/group" $((entry + 12)) 2)
    wrestool -x --raw --type=3 --name="$name" --language=2057 "$program" >"$work/image"
    [ "$(wc -c <"$work/image")" -eq "$(u "$work/group" $((entry + 8)) 4)" ] ||
        fail "icon $name is not the size its group entry gives"
    [ "$(u "$work/image" 0 4)" -eq 40 ] && [ "$(u "$work/image" 4 4)" -eq "$side" ] &&
        [ "$(u "$work/image" 8 4)" -eq $((2 * side)) ] && [ "$(u "$work/image" 12 2)" -eq 1 ] &&
        [ "$(u "$work/image" 14 2)" -eq 8 ] ||
        fail "icon $name is not a $side x $side bitmap at 8 bits with its mask"
    # The committed icon's image at the same place of its directory (16 bytes an entry).
    offset=$(u "$icon" $((6 + 16 * image + 12)) 4)
    size=$(u "$icon" $((6 + 16 * image + 8)) 4)
    tail -c +$((offset + 1)) "$icon" | head -c "$size" | cmp -s - "$work/image" ||
        fail "icon $name differs from image $((image + 1)) of the committed icon"
done
echo "Wrenfold.dll exports: $(tr '\n' ' ' <"$work/exports")"
echo "CloseKorvessa.exe icon group 101 (2057):"
cat "$work/images"
