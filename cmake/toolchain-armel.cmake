# Cross build of the host build for Debian's armel (ARMv5TE, soft float, little-endian, 32-bit),
# the device's processor family. Programs run under qemu-arm as an Intel XScale PXA250, with
# the C and C++ libraries of Debian's cross toolchain; GoogleTest, Google Benchmark, zlib and
# libmspack come from Debian's armel packages, unpacked into the cache by scripts/install-deps.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(WRENFOLD_ARMEL_TRIPLE arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${WRENFOLD_ARMEL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${WRENFOLD_ARMEL_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${WRENFOLD_ARMEL_TRIPLE})

set(WRENFOLD_ARMEL_LIBS $ENV{HOME}/.cache/wrenfold/armel-libs)
if(NOT EXISTS ${WRENFOLD_ARMEL_LIBS}/versions)
    message(FATAL_ERROR "No armel libraries in ${WRENFOLD_ARMEL_LIBS}: run scripts/install-deps.sh")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${WRENFOLD_ARMEL_TRIPLE} ${WRENFOLD_ARMEL_LIBS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cached libraries are found at run time by the programs themselves, so that they also run
# under qemu-arm by hand.
set(CMAKE_BUILD_RPATH ${WRENFOLD_ARMEL_LIBS}/lib/${WRENFOLD_ARMEL_TRIPLE}
                      ${WRENFOLD_ARMEL_LIBS}/usr/lib/${WRENFOLD_ARMEL_TRIPLE})

# ARM code (not Thumb) and a signed char, as the device's compiler makes them; one signedness for
# every file of a program, since the headers the product shares with the simulated device and the
# tests have inline code that must mean the same in each.
set(CMAKE_CXX_FLAGS_INIT "-marm -fsigned-char")
# The product's own code for the device's ARMv4, linked with armel's ARMv5TE libraries: every
# call between them is ARM code to ARM code, so returns without interworking are enough.
set(WRENFOLD_PRODUCT_COMPILE_OPTIONS -march=armv4)

# Linked dynamically: a static C library would route its own allocations through the heap
# hook's --wrap=malloc.
find_program(WRENFOLD_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WRENFOLD_QEMU_ARM} -cpu pxa250 -L /usr/${WRENFOLD_ARMEL_TRIPLE})
