#!/bin/sh
# Checks the theme packages as the device and independent tools see them: cabextract reads
# each, `file` reads its .000 header as a package for any processor, and the package's reader
# finds in each what its .inf says, every member its picture byte for byte (a test).
# Usage: check-themes.sh CONTENTS_TEST PICTURES_FOLDER PACKAGE.tsk...
set -eu
contents_test="$1"
pictures="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for package in "$@"; do
    name=$(basename "$package" .tsk)
    cabextract -q -d "$work/$name" "$package" || fail "cabextract cannot extract $name.tsk"
    says=$(file -b "$work/$name"/*.000)
    case "$says" in
    "Microsoft WinCE install header, architecture-independent"*) ;;
    *) fail "file says $name.tsk's .000 is '$says'" ;;
    esac
done

WRENFOLD_THEMES="$work" WRENFOLD_THEME_PICTURES="$pictures" "$contents_test" >"$work/contents" 2>&1 ||
    { cat "$work/contents" >&2; fail "a theme package does not say what its .inf says"; }
echo "$# theme packages: every check passed"
