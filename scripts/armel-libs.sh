#!/bin/sh
# Unpacks Debian's armel GoogleTest, Google Benchmark and zlib into a cache folder for the arm
# build, and prints that folder. Installing them through multiarch clashes with the machine's
# own versions of the same packages, so they are downloaded and unpacked instead; the folder is
# named after the package versions and made again when those change. The toolchain file reads
# the folder through the link ~/.cache/wrenfold/armel-libs.
set -eu
cache="${HOME}/.cache/wrenfold"
packages="libgtest-dev libbenchmark-dev libbenchmark1debian zlib1g-dev zlib1g"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx armel; then
    $sudo dpkg --add-architecture armel
    $sudo apt-get update -qq
fi
versions() {
    for package in $packages; do
        printf '%s=%s\n' "$package" \
            "$(apt-cache policy "$package:armel" | sed -n 's/^ *Candidate: //p')"
    done
}
unknown() { echo "$wanted" | grep -e '=$' -e '=(none)$'; }
wanted="$(versions)"
if unknown >/dev/null; then
    $sudo apt-get update -qq
    wanted="$(versions)"
fi
if unknown >/dev/null; then
    echo "armel packages not found: $(unknown | tr '\n' ' ')" >&2
    exit 1
fi

key="$(echo "$wanted" | sha256sum | cut -c1-12)"
folder="$cache/armel-libs-$key"
if [ ! -f "$folder/versions" ]; then
    mkdir -p "$cache"
    work="$(mktemp -d "$cache/.armel-libs-new.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/debs" "$work/root"
    # apt-get download writes into the current folder, which apt's sandbox user cannot reach
    # inside root's home.
    sandbox=""
    [ "$(id -u)" -ne 0 ] || sandbox="-o APT::Sandbox::User=root"
    # shellcheck disable=SC2046,SC2086
    (cd "$work/debs" && apt-get download -qq $sandbox $(echo "$wanted" | sed 's/=/:armel=/'))
    for deb in "$work"/debs/*.deb; do
        dpkg -x "$deb" "$work/root"
    done
    # Links that name a file by its installed path (libz.so) point inside the folder instead.
    find "$work/root" -type l -lname '/*' | while read -r link; do
        ln -sfnr "$work/root$(readlink "$link")" "$link"
    done
    echo "$wanted" >"$work/root/versions"
    # Another run may have made the same folder meanwhile: either copy will do.
    mv -T "$work/root" "$folder" 2>/dev/null || [ -f "$folder/versions" ]
    for old in "$cache"/armel-libs-*; do
        [ "$old" = "$folder" ] || rm -rf "$old"
    done
fi
ln -sfn "$(basename "$folder")" "$cache/armel-libs"
echo "$cache/armel-libs"
