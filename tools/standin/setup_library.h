// A package's libraries as the CE installer takes them: the setup library checked as the
// device's loader would take it, before any hook runs or any file is written, and the
// self-registration entries of the files a package flags to register.
#pragma once

#include <windows.h>

#include <string>

#include "support/wide_string.h"

// Whether `bytes` are a setup library this device could load: a PE image for the device's own
// processor (GetSystemInfo's), a DLL, no larger than a CE process's 32 MB, whose export table lies
// inside the image and names all four hooks. False, saying why, otherwise.
bool CheckSetupLibrary(const std::string& bytes, std::string& error);

// Loads the library at `path`, calls its entry `entry` ("DllRegisterServer" or
// "DllUnregisterServer") and lets it go: false when it cannot be loaded, lacks the entry, or the
// entry reports a failure.
bool CallRegistrationEntry(const WideString& path, const WCHAR* entry);
