#!/bin/sh
# Installs, on a Debian machine, whatever the builds and tests need and is not there yet: Debian's
# packages, then into the cache (~/.cache/wrenfold, outside the work tree) the arm build's armel
# libraries and the device build's binutils for CE.
set -eu
cache="$HOME/.cache/wrenfold"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

packages="cmake g++ make googletest libgtest-dev zlib1g-dev pkg-config libgcab-dev libmspack-dev
  libbenchmark-dev clang clang-format clang-tidy libclang-rt-14-dev libcurl4-openssl-dev python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb xauth icoutils
  g++-arm-linux-gnueabi qemu-user gcc-arm-none-eabi libstdc++-arm-none-eabi-newlib
  binutils-source flex bison cabextract gcab file g++-mingw-w64-i686-posix"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    $sudo apt-get install -y -qq --no-install-recommends $missing
fi

# A cache folder is named after what it was made from, made beside its link and renamed into
# place whole, so that a run cut short leaves nothing half made; the link then points at it and
# older folders go.
publish() {
    link="$1"
    made="$2"
    folder="$3"
    mv -T "$made" "$folder" 2>/dev/null || [ -e "$folder" ]  # another run may have made it too
    ln -sfn "$(basename "$folder")" "$cache/$link"
    for old in "$cache/$link"-*; do
        [ "$old" = "$folder" ] || rm -rf "$old"
    done
}

# The arm build's GoogleTest, Google Benchmark, zlib and libmspack: Debian's armel packages,
# unpacked.
# Installing them through multiarch would clash with the machine's own versions of the same
# packages.
armel_packages="libgtest-dev libbenchmark-dev libbenchmark1debian zlib1g-dev zlib1g libmspack-dev
  libmspack0"
if ! dpkg --print-foreign-architectures | grep -qx armel; then
    $sudo dpkg --add-architecture armel
    $sudo apt-get update -qq
fi
armel_versions() {
    for package in $armel_packages; do
        printf '%s=%s\n' "$package" \
            "$(apt-cache policy "$package:armel" | sed -n 's/^ *Candidate: //p')"
    done
}
unknown() { echo "$wanted" | grep -e '=$' -e '=(none)$'; }
wanted="$(armel_versions)"
if unknown >/dev/null; then
    $sudo apt-get update -qq
    wanted="$(armel_versions)"
fi
if unknown >/dev/null; then
    echo "armel packages not found: $(unknown | tr '\n' ' ')" >&2
    exit 1
fi
folder="$cache/armel-libs-$(echo "$wanted" | sha256sum | cut -c1-12)"
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
    publish armel-libs "$work/root" "$folder"
    rm -rf "$work"
    trap - EXIT
fi

# The assembler, linker, dlltool and windres for Windows CE on ARM, from Debian's
# binutils-source: ten to fifteen minutes on two cores, once per machine.
target=arm-mingw32ce
recipe=1  # bump when the configuration below changes, so that every machine builds them again
folder="$cache/ce-binutils-$(dpkg-query -W -f='${Version}' binutils-source)-$recipe"
if [ ! -x "$folder/bin/$target-ld" ]; then
    echo "Building binutils for $target into $folder"
    mkdir -p "$cache"
    work="$(mktemp -d "$cache/.ce-binutils-new.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    tar -xf "$(ls /usr/src/binutils/binutils-*.tar.*)" -C "$work"
    mkdir "$work/build"
    # Only the tools the device build uses; the rest of binutils stays unbuilt. The prefix is
    # the folder's final name: the tools find their own parts through it.
    (cd "$work/build" &&
        "$work"/binutils-*/configure --target="$target" --prefix="$folder" \
            --disable-nls --disable-werror --disable-gdb --disable-gdbserver --disable-sim \
            --disable-gprof --disable-gprofng --disable-libdecnumber --disable-readline \
            --disable-libctf --disable-plugins --without-zstd MAKEINFO=true >configure.log 2>&1 &&
        make -j"$(nproc)" MAKEINFO=true all-binutils all-gas all-ld >make.log 2>&1 &&
        make MAKEINFO=true DESTDIR="$work/staged" install-binutils install-gas install-ld \
            >install.log 2>&1) ||
        { tail -n 30 "$work"/build/*.log; exit 1; }
    publish ce-binutils "$work/staged$folder" "$folder"
    rm -rf "$work"
    trap - EXIT
fi
