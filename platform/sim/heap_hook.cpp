// Linked into a test program with -Wl,--wrap=malloc,--wrap=free (the wrenfold_heap_faults
// target): every malloc and free call that the program's own code makes comes here first. A
// malloc fails when the device has a failure pending; the blocks handed out are counted open
// until freed. The C and C++ libraries' own allocations do not pass through the hook.
#include <cerrno>
#include <cstddef>

#include "internal.h"

extern "C" {

void* __real_malloc(std::size_t size);
void* __wrap_malloc(std::size_t size);
void __real_free(void* block);
void __wrap_free(void* block);

void* __wrap_malloc(std::size_t size) {
    if (sim::detail::TakeAllocationFault() || sim::detail::Refused(sim::CallKind::Heap, "malloc")) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = __real_malloc(size);
    if (block != nullptr) {
        sim::detail::TrackBlock(block);
    }
    return block;
}

void __wrap_free(void* block) {
    if (block != nullptr) {
        sim::detail::ForgetBlock(block);
    }
    __real_free(block);
}

}  // extern "C"
