// The runtime's heap. The device's malloc is the host's; a test can make the next one fail, in
// programs linked with the heap hook (heap_hook.cpp), which asks here on every call.
#include "internal.h"

namespace {

// Plain data: malloc may be called before any constructor runs, and after every destructor.
bool& AllocationFaultPending() {
    static bool pending = false;
    return pending;
}

}  // namespace

namespace sim {

void FailNextAllocation() {
    AllocationFaultPending() = true;
}

namespace detail {

void ResetHeap() {
    AllocationFaultPending() = false;
}

bool TakeAllocationFault() {
    const bool pending = AllocationFaultPending();
    AllocationFaultPending() = false;
    return pending;
}

}  // namespace detail
}  // namespace sim
