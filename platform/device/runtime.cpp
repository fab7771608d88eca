// What CE's SDK brings to a program of CE's own compiler, for the device build with GCC: the C++
// allocation operators over COREDLL's heap, the C++ library's error exits, the one wide memory
// function COREDLL lacks, and the helpers that GCC calls where ARMv4 has no instruction. GCC's
// libgcc and libstdc++ for ARM are ELF archives built for another ABI, so nothing of theirs is
// linked. (GCC's floating-point helpers are COREDLL's own, renamed by the import library.)
#include <windows.h>

#include <bits/functexcept.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "arithmetic.h"

namespace {

// The device build has no exceptions: where the C++ library would throw (no memory left, a string
// longer than it can hold), the process ends, as an unhandled exception would end it.
[[noreturn]] void EndProcess() {
    TerminateProcess(GetCurrentProcess(), ERROR_NOT_ENOUGH_MEMORY);
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    // A request for no bytes still returns a distinct block.
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    EndProcess();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}

namespace std {

void __throw_bad_alloc() {
    EndProcess();
}

void __throw_bad_array_new_length() {
    EndProcess();
}

void __throw_length_error(const char* /*what*/) {
    EndProcess();
}

}  // namespace std

// std::wstring copies with it; COREDLL exports memcpy but no wmemcpy.
extern "C" wchar_t* wmemcpy(wchar_t* destination, const wchar_t* source, std::size_t count) {
    return static_cast<wchar_t*>(std::memcpy(destination, source, count * sizeof(wchar_t)));
}

// The run-time ABI's unsigned division, the one GCC calls for the product's divisions (the link
// names any other helper a change comes to need).
extern "C" unsigned __aeabi_uidiv(unsigned numerator, unsigned denominator);

unsigned __aeabi_uidiv(unsigned numerator, unsigned denominator) {
    return DivideUnsigned(numerator, denominator).quotient;
}
