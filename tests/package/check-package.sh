#!/bin/sh
# Checks Korvessa.cab as the device and independent tools see it: its members, their bytes,
# the instruction file's header as `file` knows it, the cabinet's own fields, what the .000 says
# (read back by the package's reader in a test), and that building it again gives the same bytes.
# Usage: check-package.sh CAB Wrenfold.dll CloseKorvessa.exe Korvessa.exe CONTENTS_TEST INF
#                         BUILDER [OPTION...]
# The builder is run again with its options, the .inf and a new output path.
set -eu
cab="$1"
library="$2"
program="$3"
application="$4"
contents_test="$5"
inf="$6"
shift 6
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# A little-endian number of $2 bytes at offset $1 of the cabinet.
number() { od -An -tu"$2" -j"$1" -N"$2" "$cab" | tr -d ' '; }

# The members the .inf implies, the .000 first and the rest by descending number.
members=$(cabextract -l "$cab" | awk -F'|' 'NF == 3 && $1 !~ /File size/ { gsub(/ /, "", $3); print $3 }' |
    tr '\n' ' ')
expected="KORVESSA.000 WRENFOLD.999 CLOSEK~1.002 KORVESSA.001 "
[ "$members" = "$expected" ] || fail "the members are '$members', not '$expected'"

# Each file comes out as it went in.
cabextract -q -d "$work/files" "$cab" || fail "cabextract cannot extract the package"
for pair in "WRENFOLD.999:$library" "CLOSEK~1.002:$program" "KORVESSA.001:$application"; do
    cmp -s "$work/files/${pair%%:*}" "${pair#*:}" ||
        fail "${pair%%:*} is not $(basename "${pair#*:}") byte for byte"
done

# The instruction file's header as the file command reads it.
says=$(file -b "$work/files/KORVESSA.000")
[ "$says" = "Microsoft WinCE install header, StrongARM, 2 files, 1 registry entry" ] ||
    fail "file says the .000 is '$says'"

# The cabinet's own fields: its size, one folder, stored as it is, the .000 at its start.
size=$(stat -c %s "$cab")
[ "$(number 8 4)" = "$size" ] || fail "the cabinet's size field says $(number 8 4), the file has $size bytes"
[ "$(number 26 2)" = 1 ] || fail "the cabinet has $(number 26 2) folders, not one"
[ "$(number 42 2)" = 0 ] || fail "the first folder is compressed (type $(number 42 2)), not stored"
data=$(number 36 4)
magic=$(dd if="$cab" bs=1 skip=$((data + 8)) count=4 2>/dev/null)
[ "$magic" = MSCE ] || fail "the first folder's data starts with '$magic', not MSCE"

# What the .000 says, read back by the package's own reader.
WRENFOLD_PACKAGE_INSTRUCTIONS="$work/files/KORVESSA.000" "$contents_test" >"$work/contents" 2>&1 ||
    { cat "$work/contents" >&2; fail "the .000 does not say what Korvessa.inf says"; }

# The same inputs, the same bytes.
"$@" "$inf" "$work/again.cab" || fail "the builder could not build the package again"
cmp -s "$cab" "$work/again.cab" || fail "two builds from the same inputs differ"
echo "Korvessa.cab: $size bytes, every check passed"
