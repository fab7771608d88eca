// The control surface of the simulated device, for tests and tools. The product never includes
// this header: it sees only the programming interface in include/.
#pragma once

#include <windows.h>

#include <string>

namespace sim {

using WideString = std::basic_string<WCHAR>;

// Returns the device to its factory state: empty registry, no windows, processes or files,
// clock at zero, no scripted answers or pending faults.
void Reset();

// Things a caller opens and must give back. Every test ends with all counts at zero.
enum class HandleKind {
    RegistryKey,
    kCount,
};

int OpenHandles(HandleKind kind);

// "" when nothing is open; otherwise a readable list such as "2 registry keys".
std::string OpenHandlesReport();

// Registry calls that a test can make fail once, with a chosen result code.
enum class RegistryCall {
    Open,
    Query,
    Set,
};

// The next call of that kind on any key returns `code` and changes nothing.
void FailNextRegistryCall(RegistryCall call, LONG code);

}  // namespace sim
