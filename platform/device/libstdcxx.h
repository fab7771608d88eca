// Read before every source of the device build. GCC's C++ library for ARM was compiled for newlib
// and a 32-bit wchar_t, so none of its compiled code may reach the device; but its headers declare
// std::string and std::wstring as instantiated there (extern templates). With those declarations
// off, the members the product uses are instantiated in the product itself, for CE's 16-bit
// wchar_t, and every program carries only what it calls.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
