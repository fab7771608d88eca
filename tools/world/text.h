// 8-bit text and the device's wide text, unit for unit, for the rig's own names and messages:
// the package's `.000` texts, which CE reads in the device's code page (Latin-1 here), paths in
// error messages, and inputs a test spells in ASCII. Header only, so that the stand-ins below the
// world use it as well as the world, the kit and the demo.
#pragma once

#include <string>

#include "support/wide_string.h"

// Each byte as the unit of the same value.
inline WideString Widen(const std::string& text) {
    WideString wide;
    for (const char c : text) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(c));
    }
    return wide;
}

// Each unit up to 0xFF as the byte of the same value, any other as "?".
inline std::string Narrow(const WideString& text) {
    std::string narrow;
    for (const WCHAR unit : text) {
        narrow += unit < 0x100 ? static_cast<char>(unit) : '?';
    }
    return narrow;
}
