#!/bin/sh
# Installs, on a Debian machine, whatever the builds and tests need and is not there yet.
# With --host-only, just what the host build needs.
set -eu
packages="cmake g++ make googletest libgtest-dev zlib1g-dev"
if [ "${1:-}" != "--host-only" ]; then
    packages="$packages libbenchmark-dev clang clang-format clang-tidy libclang-rt-14-dev
      libcurl4-openssl-dev python3 g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 wine64 xvfb xauth icoutils g++-arm-linux-gnueabi qemu-user
      gcc-arm-none-eabi libstdc++-arm-none-eabi-newlib binutils-source flex bison
      g++-mingw-w64-i686-posix"
fi
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
# The arm build's GoogleTest, Google Benchmark and zlib, unpacked into a cache, not installed.
[ "${1:-}" = "--host-only" ] || "$(dirname "$0")/armel-libs.sh" >/dev/null
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
