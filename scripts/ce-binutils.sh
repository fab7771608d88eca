#!/bin/sh
# Builds the assembler, linker, dlltool and windres for Windows CE on ARM (arm-mingw32ce) from
# Debian's binutils-source, once per machine, into a cache outside the work tree, and prints the
# folder that holds the tools. A later run reuses the cache unless the source package's version
# or the way it is configured has changed. Building takes ten to fifteen minutes on two cores.
# WRENFOLD_CACHE chooses the cache (default: ~/.cache/wrenfold).
set -eu
target=arm-mingw32ce
source_version=$(dpkg-query -W -f='${Version}' binutils-source)
# Bump when the configuration below changes, so that every machine builds the tools again.
recipe=1
cache="${WRENFOLD_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/wrenfold}"
prefix="$cache/binutils-$target-$source_version-$recipe"
if [ -x "$prefix/bin/$target-ld" ] && [ -x "$prefix/bin/$target-as" ] &&
    [ -x "$prefix/bin/$target-dlltool" ] && [ -x "$prefix/bin/$target-windres" ]; then
    echo "$prefix/bin"
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ce-binutils.XXXXXX")
trap 'rm -rf "$work"' EXIT
{
    echo "Building binutils $source_version for $target into $prefix"
    tarball=$(ls /usr/src/binutils/binutils-*.tar.*)
    tar -xf "$tarball" -C "$work"
    mkdir "$work/build"
    cd "$work/build"
    # Only the tools the device build uses; the rest of binutils stays unbuilt.
    "$work"/binutils-*/configure --target="$target" --prefix="$prefix" \
        --disable-nls --disable-werror --disable-gdb --disable-gdbserver --disable-sim \
        --disable-gprof --disable-gprofng --disable-libdecnumber --disable-readline \
        --disable-libctf --disable-plugins --without-zstd MAKEINFO=true >configure.log 2>&1 ||
        { tail -n 30 configure.log; exit 1; }
    make -j"$(nproc)" MAKEINFO=true all-binutils all-gas all-ld >make.log 2>&1 ||
        { tail -n 30 make.log; exit 1; }
    rm -rf "$prefix"
    make MAKEINFO=true install-binutils install-gas install-ld >install.log 2>&1 ||
        { tail -n 30 install.log; exit 1; }
    # Earlier versions of the cache are of no further use.
    for old in "$cache"/binutils-"$target"-*; do
        [ "$old" = "$prefix" ] || rm -rf "$old"
    done
} >&2
echo "$prefix/bin"
