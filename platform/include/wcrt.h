// Host stand-in for the device runtime's 16-bit string functions. glibc's wcs* functions take the
// host's 32-bit wchar_t, so these are overloads for WCHAR (char16_t); they never reach glibc.
#pragma once

#include "windef.h"

std::size_t wcslen(const WCHAR* s);
std::size_t wcsnlen(const WCHAR* s, std::size_t maxLength);
WCHAR* wcscpy(WCHAR* destination, const WCHAR* source);
WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, std::size_t count);
WCHAR* wcscat(WCHAR* destination, const WCHAR* source);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, std::size_t count);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcschr(WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);

// ---- Number text and 8-bit case conversion --------------------------------------------------
// The decimal form (radix 10) is signed; other radices write the value's unsigned 32-bit form.
WCHAR* _itow(int value, WCHAR* buffer, int radix);
// In place, ASCII letters only, as in the "C" locale; glibc has neither.
char* _strupr(char* text);
char* _strlwr(char* text);
