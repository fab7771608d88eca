// What the helpers' device form relies on where the test image (GCC for ARM, CE's ABI flags,
// newlib's C++ library headers instantiated for a 16-bit wchar_t) and the suites that call it
// (Debian's armel compiler, glibc's C++ library, WCHAR as char16_t) meet. Both sides compile
// this header, so each holds its own compilation to the same facts. Allocations cross freely:
// the image's operator new and the product's malloc are COREDLL's, which the loader binds to the
// host's malloc and free, the heap the suites' own C++ library uses.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/wide_string.h"

// One C++ library, in the layout its new ABI gives the strings (a pointer, a length, a local
// buffer of 16 bytes) and the vectors (three pointers), at 32 bits.
static_assert(_GLIBCXX_RELEASE == 12 && _GLIBCXX_USE_CXX11_ABI == 1, "the same C++ library");
static_assert(sizeof(std::string) == 24 && alignof(std::string) == 4, "std::string's layout");
static_assert(sizeof(WideString) == 24 && alignof(WideString) == 4, "WideString's layout");
static_assert(sizeof(WCHAR) == 2, "WideString's units");
static_assert(sizeof(std::vector<std::string>) == 12, "std::vector's layout");
// Flags and handles are words in both; an enum is as wide as an int in both (-fno-short-enums
// on the device, AAPCS for Linux on armel).
static_assert(sizeof(BOOL) == 4 && sizeof(HANDLE) == 4 && sizeof(LPARAM) == 4, "words");
enum AbiProbe { kAbiProbe };
static_assert(sizeof(AbiProbe) == 4, "int-sized enums");
static_assert(sizeof(bool) == 1, "bool as a byte");
