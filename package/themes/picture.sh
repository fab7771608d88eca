#!/bin/sh
# Writes a one-pixel GIF of one colour: a theme's picture, as small as a real one gets.
# Usage: picture.sh OUTPUT RED GREEN BLUE (each 0 to 255)
set -eu
octal() { printf '\\%03o' "$1"; }
colour="$(octal "$2")$(octal "$3")$(octal "$4")"
# Header, a 1x1 screen with a two-colour table, one image, its LZW data (clear, colour 0, end).
# shellcheck disable=SC2059
printf "GIF89a\\001\\000\\001\\000\\200\\000\\000${colour}\\000\\000\\000" >"$1"
printf ',\000\000\000\000\001\000\001\000\000\002\002D\001\000;' >>"$1"
