// Where the world's test libraries leave their marks under Wine: below this key of
// HKEY_CURRENT_USER, a key named after the library's file, with the DWORD values "Loads" and
// "Registrations".
#pragma once

#include <windows.h>

inline constexpr WCHAR kTestLibraryMarkKey[] = L"Software\\WrenfoldTest\\Libraries";
