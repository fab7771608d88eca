// The one place where Windows CE (the device), desktop Win32 (the Wine-tested build) and the
// simulated device differ. Product modules use these names and never test the platform
// themselves. The simulated device behaves as CE does.
#pragma once

#include <windows.h>

#if defined(_WIN32) && !defined(_WIN32_WCE)
#define WRENFOLD_DESKTOP_WIN32 1
#else
#define WRENFOLD_DESKTOP_WIN32 0
#endif

// CE ignores the access mask and expects 0. Desktop Win32 grants nothing for 0, so there the key
// is opened with whatever rights the caller holds; a write the caller may not make then fails
// at the set call, as it would on a locked-down device.
#if WRENFOLD_DESKTOP_WIN32
inline constexpr REGSAM kRegistryAccess = MAXIMUM_ALLOWED;
#else
inline constexpr REGSAM kRegistryAccess = 0;
#endif
