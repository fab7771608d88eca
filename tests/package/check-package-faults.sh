#!/bin/sh
# Proves that the package checks catch what they are there for: builds Korvessa.cab again with
# one fault planted at a time (members in the wrong order, a member not its file's bytes, the
# wrong processor, a wrong size field, a compressed folder, an .inf whose InstallDir value lost
# its substitution, member dates from the clock) and expects check-package.sh to refuse each,
# saying why; the package as built must pass.
# Usage: the same arguments as check-package.sh.
set -eu
cab="$1"
library="$2"
program="$3"
application="$4"
contents_test="$5"
inf="$6"
shift 6
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

check() {
    package="$1"
    shift
    sh "$here/check-package.sh" "$package" "$library" "$program" "$application" \
        "$contents_test" "$@"
}
# Expects the checks to refuse `package` with a message containing `reason`.
expect_refused() {
    package="$1"
    reason="$2"
    shift 2
    if check "$package" "$@" >"$work/out" 2>&1; then
        echo "FAIL: the checks passed $(basename "$package") ($reason)" >&2
        exit 1
    fi
    grep -q -- "$reason" "$work/out" || {
        echo "FAIL: $(basename "$package") was refused for another reason than: $reason" >&2
        cat "$work/out" >&2
        exit 1
    }
    echo "refused as it should be: $(grep "^FAIL:" "$work/out" | tail -n 1)"
}

check "$cab" "$inf" "$@" >/dev/null
cabextract -q -d "$work/members" "$cab"
cd "$work/members"
in_order="KORVESSA.000 WRENFOLD.999 CLOSEK~1.002 KORVESSA.001"

# The members in ascending order, as a plain cabinet tool packs them when given a wildcard.
gcab -c -n "$work/ascending.cab" KORVESSA.000 KORVESSA.001 CLOSEK~1.002 WRENFOLD.999
expect_refused "$work/ascending.cab" "the members are" "$inf" "$@"

# The close program's member not the device build's file.
cp "$program" "$work/altered.exe"
printf 'X' | dd of="$work/altered.exe" bs=1 seek=200 conv=notrunc 2>/dev/null
"$@" --file "CloseKorvessa.exe=$work/altered.exe" "$inf" "$work/bytes.cab"
expect_refused "$work/bytes.cab" "CLOSEK~1.002 is not CloseKorvessa.exe byte for byte" "$inf" "$@"

# A package for any processor.
"$@" --processor 0 "$inf" "$work/processor.cab"
expect_refused "$work/processor.cab" "file says the .000 is" "$inf" "$@"

# A size field one more than the file.
cp "$cab" "$work/size.cab"
size=$(($(stat -c %s "$cab") + 1))
# shellcheck disable=SC2059
printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((size & 255)) $((size >> 8 & 255)) \
    $((size >> 16 & 255)) $((size >> 24 & 255)))" |
    dd of="$work/size.cab" bs=1 seek=8 conv=notrunc 2>/dev/null
expect_refused "$work/size.cab" "the cabinet's size field says $size" "$inf" "$@"

# The same members, compressed.
# shellcheck disable=SC2086
gcab -c -n -z "$work/compressed.cab" $in_order
expect_refused "$work/compressed.cab" "the first folder is compressed" "$inf" "$@"

# The InstallDir value written as a fixed folder, not the one the device chose.
sed 's/^\(HKLM,.*,0x00000000,\)%InstallDir%/\1"\\Program Files\\Korvessa"/' "$inf" \
    >"$work/Korvessa.inf"
grep -q '"\\Program Files\\Korvessa"' "$work/Korvessa.inf"
"$@" "$work/Korvessa.inf" "$work/contents.cab"
expect_refused "$work/contents.cab" "does not say what Korvessa.inf says" "$inf" "$@"

# A builder that dates each member by the clock: two builds two seconds apart.
cat >"$work/clock-builder" <<SCRIPT
#!/bin/sh
cd "$work/members" && touch $in_order && gcab -c -n "\$2" $in_order
SCRIPT
chmod +x "$work/clock-builder"
"$work/clock-builder" "$inf" "$work/clock.cab"
sleep 2
expect_refused "$work/clock.cab" "two builds from the same inputs differ" "$inf" "$work/clock-builder"
