// Registry helpers: bounded wrappers over the platform registry.
//
// Each value function is complete in one call: it opens an existing key (never creates one),
// makes one query or one set, and closes the key again on every path. Flags are TRUE (1) for
// success and FALSE (0) for failure; number reads give 0 for every failure; the key openers and
// CloseRegKey return the platform's code unchanged. A destination array is written only on
// success, and then with the whole text and its terminating zero; `capacity` is the number of
// units it holds. Nothing is taken from the heap.
#pragma once

#include <windows.h>

// Text reads accept a value of any type of up to 1,024 bytes and take its bytes as UTF-16 text:
// up to 512 units, ended sooner by a terminating zero, which the value need not hold.
BOOL ReadHklmString(LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination, DWORD capacity);
BOOL ReadHkcuString(LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination, DWORD capacity);
BOOL ReadRegString(HKEY root, LPCWSTR subkey, LPCWSTR valueName, LPWSTR destination,
                   DWORD capacity);

// Text writes store REG_SZ with the terminating zero. FALSE when the key does not exist or the
// platform refuses the value.
BOOL WriteHklmString(LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text);
BOOL WriteHkcuString(LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text);
BOOL WriteRegString(HKEY root, LPCWSTR subkey, LPCWSTR valueName, LPCWSTR text);

// Number reads accept a value of any type of at most 4 bytes, read little-endian and
// zero-extended. A stored 0, a missing value and a missing key all read as 0.
DWORD ReadHklmDword(LPCWSTR subkey, LPCWSTR valueName);
DWORD ReadRegDword(HKEY root, LPCWSTR subkey, LPCWSTR valueName);

// Number writes store REG_DWORD. FALSE when the key does not exist or the platform refuses.
BOOL WriteHklmDword(LPCWSTR subkey, LPCWSTR valueName, DWORD value);
BOOL WriteHkcuDword(LPCWSTR subkey, LPCWSTR valueName, DWORD value);
BOOL WriteRegDword(HKEY root, LPCWSTR subkey, LPCWSTR valueName, DWORD value);

// TRUE when the key can be opened; it is closed again at once.
BOOL RegKeyExists(HKEY root, LPCWSTR subkey);

// Opens an existing key into the caller's handle, which the caller closes with CloseRegKey.
LONG OpenRegKey(HKEY root, LPCWSTR subkey, HKEY& key);
LONG OpenHklmKey(LPCWSTR subkey, HKEY& key);

// Closes the key the handle holds; the handle variable itself is left as it was.
LONG CloseRegKey(const HKEY& key);

// One step of a walk over the names below an open key. `index` starts at 0 and advances with
// every name handed out. At the end of the list, on any platform failure, or for a name that does
// not fit the destination (or 512 units), the step returns FALSE and sets `index` back to 0:
// the caller cannot tell these apart.
BOOL NextRegSubkeyName(const HKEY& key, DWORD& index, LPWSTR destination, DWORD capacity);
BOOL NextRegValueName(const HKEY& key, DWORD& index, LPWSTR destination, DWORD capacity);
