// Linked into a test program with -Wl,--wrap=malloc (the wrenfold_heap_faults target): every
// malloc call that the program's own code makes comes here first, and fails when the device has
// a failure pending. The C and C++ libraries' own allocations do not pass through the hook.
#include <cerrno>
#include <cstddef>

#include "internal.h"

extern "C" {

void* __real_malloc(std::size_t size);
void* __wrap_malloc(std::size_t size);

void* __wrap_malloc(std::size_t size) {
    if (sim::detail::TakeAllocationFault()) {
        errno = ENOMEM;
        return nullptr;
    }
    return __real_malloc(size);
}

}  // extern "C"
