// What a Windows test or the Wine demo sees of its own process: the handles it holds, and the
// calls a module of it makes to the platform, which can be sent through recorders of its own.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// A function of the platform's, by library and name, and what a module's calls to it go to
// instead (of the same signature).
struct Redirect {
    const WCHAR* library;
    const char* function;
    const void* replacement;
};
// The platform's own function, found by name: the address of a call as this program names it
// may be a stub of its own.
const void* PlatformFunction(const WCHAR* library, const char* function);
// Points `module`'s import address table entries for the function at the replacement. Gives how
// many it changed.
int RedirectImports(HMODULE module, const Redirect& redirect);

// The handles the process holds, each with the kernel object's type and name ("Key handle
// \\Registry\\..."). Wine hands out the lowest free values, so they are found by probing the
// low ones.
using HandleList = std::map<ULONG_PTR, std::string>;
HandleList OpenHandles();
std::string DescribeHandle(HANDLE handle);
// The handles open now that were not open in `before`, or are other objects now.
HandleList HandlesOpenedSince(const HandleList& before);
// "Key handle \\Registry\\... (0x4c), ...", in one line.
std::string HandleReport(const HandleList& handles);
