// The device runtime's string, conversion and stream functions that the product uses.
#pragma once

#include <cstdio>

#include "windef.h"

#if defined(_WIN32_WCE)
// The device: COREDLL.dll exports the C runtime. The standard functions are the C library
// headers' own, over the 16-bit wchar_t; these are CE's additions.
#include <cwchar>

extern "C" {
int _wcsicmp(const WCHAR* a, const WCHAR* b);
WCHAR* _itow(int value, WCHAR* buffer, int radix);
WCHAR* _ultow(unsigned long value, WCHAR* buffer, int radix);
FILE* _wfopen(const WCHAR* filename, const WCHAR* mode);
char* _strupr(char* text);
char* _strlwr(char* text);
}  // extern "C"

#else
// The simulated device: glibc's wcs* functions take the host's 32-bit wchar_t, so these are
// overloads for WCHAR (char16_t); they never reach glibc.
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

// Integer to text in radix 2 to 36, digits then lowercase letters, no leading zeros. _itow writes
// a minus sign only in radix 10; in any other radix it writes the value as unsigned 32 bits.
// `buffer` takes up to 33 units with the terminating zero. An invalid radix writes "".
WCHAR* _itow(int value, WCHAR* buffer, int radix);
WCHAR* _ultow(unsigned long value, WCHAR* buffer, int radix);

// The runtime's streams over the device's files: a real FILE, for the host's fread, fwrite,
// feof, ferror and fclose. Binary modes only ("rb", "wb", "ab", with or without "+"): text
// mode's CR-LF translation is not modelled, so a text-mode open fails with EINVAL.
FILE* _wfopen(const WCHAR* filename, const WCHAR* mode);

// In place, ASCII letters only, as in the "C" locale; glibc has neither.
char* _strupr(char* text);
char* _strlwr(char* text);

#endif
