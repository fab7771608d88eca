#!/bin/sh
# Checks the Windows build's deliverables as the platform sees them: Wrenfold.dll exports exactly
# the four hooks, undecorated; CloseKorvessa.exe is a GUI program carrying icon group 101 in
# English (United Kingdom) with a 32 x 32 and a 16 x 16 image at 8 bits per pixel.
# Usage: check-artefacts.sh OBJDUMP Wrenfold.dll CloseKorvessa.exe
set -eu
objdump="$1"
library="$2"
program="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

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
echo "Wrenfold.dll exports: $(tr '\n' ' ' <"$work/exports")"
echo "CloseKorvessa.exe icon group 101 (2057):"
cat "$work/images"
