# The device: Windows CE 3.0 on ARM. Programs are PE files for the ARM machine type, ARMv4 code in
# ARM mode (StrongARM and XScale both run it), subsystem Windows CE GUI 3.0, importing from
# COREDLL.dll alone. GCC for ARM writes the code and GNU binutils for CE (built from Debian's
# binutils-source) assemble and link it; wince-compile.py joins the two.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(WRENFOLD_DEVICE ON)

# Built once per machine by scripts/install-deps.sh into the cache, never by a configure step.
set(WRENFOLD_CE_TOOLS $ENV{HOME}/.cache/wrenfold/ce-binutils/bin)
if(NOT EXISTS ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-ld)
    message(FATAL_ERROR "No binutils for CE in ${WRENFOLD_CE_TOOLS}: run scripts/install-deps.sh")
endif()

set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_AR ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-ar)
set(CMAKE_RANLIB ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-ranlib)
set(CMAKE_RC_COMPILER ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-windres)
set(WRENFOLD_CE_LINKER ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-ld)
set(WRENFOLD_CE_DLLTOOL ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-dlltool)
set(WRENFOLD_CE_OBJDUMP ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-objdump)
set(WRENFOLD_CE_OBJCOPY ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-objcopy)
find_program(WRENFOLD_PYTHON python3 REQUIRED)
set(CMAKE_CXX_COMPILER_LAUNCHER ${WRENFOLD_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/wince-compile.py
    ${WRENFOLD_CE_TOOLS}/arm-mingw32ce-as)
# GCC's checks of itself build ELF objects and link nothing.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# CE's compiler and ABI where they differ from arm-none-eabi's defaults: a 16-bit wchar_t, int-
# sized enums, structures returned through memory, signed char. CE has its own exceptions and no
# C++ runtime of GCC's: no exceptions, no run-time types, no unwind tables, no guarded statics.
# Each function and object in a section of its own, so that a program keeps only what its entry
# points reach, as a CE release build does.
set(CMAKE_CXX_FLAGS_INIT
    "-marm -march=armv4 -mfloat-abi=soft -fshort-wchar -fno-short-enums -fpcc-struct-return \
-fsigned-char -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables \
-fno-threadsafe-statics -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")

# GNU ld for CE links the programs directly: no GCC driver, so nothing of GCC's own start-up code
# or libraries comes in. Each program names its entry: CE calls WinMain and DllMain themselves.
# The programs ask for CE 3.0, carry no symbols and no time stamp (the same sources give the same
# bytes), and hold only the sections that their entry and exports reach.
set(WRENFOLD_CE_LINK_FLAGS
    "--subsystem wince:3.0 --major-os-version 3 --minor-os-version 0 --strip-all --no-insert-timestamp \
--gc-sections")
set(CMAKE_CXX_CREATE_SHARED_LIBRARY
    "${WRENFOLD_CE_LINKER} --shared ${WRENFOLD_CE_LINK_FLAGS} <LINK_FLAGS> -o <TARGET> <OBJECTS> <LINK_LIBRARIES>")
set(CMAKE_CXX_LINK_EXECUTABLE
    "${WRENFOLD_CE_LINKER} ${WRENFOLD_CE_LINK_FLAGS} <LINK_FLAGS> -o <TARGET> <OBJECTS> <LINK_LIBRARIES>")
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_LIBRARY_SUFFIX ".dll")
set(CMAKE_EXECUTABLE_SUFFIX ".exe")
