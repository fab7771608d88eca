// The library's string types. WCHAR is 16 bits on every build, so the wide string is built on it
// rather than on the host's wchar_t.
#pragma once

#include <windows.h>

#include <string>

// UTF-16 text with a counted length; functions that take a path this way take it by value.
using WideString = std::basic_string<WCHAR>;
