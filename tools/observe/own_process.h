// What a Windows test or the Wine demo sees of its own process: the handles it holds, and the
// calls a module of it makes to the platform, which can be sent through recorders of its own.
#pragma once

#include <windows.h>

#include <set>
#include <string>

// Points `module`'s import address table entries that hold `real` at `replacement` (the same
// signature). Gives how many it changed.
int RedirectImports(HMODULE module, const void* real, const void* replacement);

// The values of the handles the process holds. Wine hands out the lowest free values, so they
// are found by probing the low ones.
std::set<ULONG_PTR> OpenHandleValues();

// The kernel object type and name of a handle ("Key handle \\Registry\\..."), for a readable
// report.
std::string DescribeHandle(HANDLE handle);
