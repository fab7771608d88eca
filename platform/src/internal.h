// Shared between the areas of the simulated device; not part of its interface.
#pragma once

#include <windows.h>

#include <string>

namespace sim::detail {

using WideString = std::basic_string<WCHAR>;

// Each area returns to its factory state.
void ResetRegistry();

int OpenRegistryKeys();

// Names on the device compare without regard to case. ASCII and Latin-1 letters fold; that
// covers every name this device ever holds.
WCHAR FoldCase(WCHAR c);
bool EqualNoCase(const WCHAR* a, std::size_t aLength, const WCHAR* b, std::size_t bLength);
bool EqualNoCase(const WideString& a, const WideString& b);
int CompareNoCase(const WideString& a, const WideString& b);

// Narrow copy for reports: ASCII as is, anything else as '?'.
std::string Narrow(const WideString& text);

}  // namespace sim::detail
