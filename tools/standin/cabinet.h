// Reading a CE package's cabinet, the one part of the stand-in CE installer that differs per
// world: Debian's libmspack over the device's own file calls on the host and arm builds
// (cabinet_mspack.cpp), the platform's cabinet.dll and its FDI functions on Windows
// (cabinet_fdi.cpp). Packages are small, so every member is read whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct CabinetMember {
    std::string name;  // as stored, e.g. "KORVESSA.000"
    std::string bytes;
    // The member's date and time as the cabinet stores them (MS-DOS format).
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
};

// Reads every member of the cabinet at `path` (a device path), in the cabinet's order. False,
// with `error` saying what is wrong, when the file cannot be opened or read or is no cabinet, or
// a member cannot be extracted; `members` then holds nothing.
bool ReadCabinet(const WCHAR* path, std::vector<CabinetMember>& members, std::string& error);
