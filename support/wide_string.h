// The wide string type. WCHAR is 16 bits on every build, so it is built on WCHAR rather than on
// the host's wchar_t. The product, the simulated device, the tests and the tools all name it
// here.
#pragma once

#include <windows.h>

#include <string>

// UTF-16 text with a counted length; functions that take a path this way take it by value.
using WideString = std::basic_string<WCHAR>;
