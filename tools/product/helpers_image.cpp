// The helpers in their device form: each call a program makes to a helper goes, through the CE
// loader, to the test image's export of that name, the code the device build makes of it. Linked
// in place of the helpers compiled for armel (the support library), so that the same suites run
// against either. Each helper here is a jump to the image's code: the arguments, the return
// address and the result pass untouched, which holds because both sides follow the ARM procedure
// call standard for every type the helpers take and give (abi.h, and the checks below).
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <type_traits>

#include "ce_loader/ce_image.h"
#include "product/abi.h"
#include "product/helpers.h"

namespace {

template <class R, class... A>
constexpr bool CrossesAsIs(R (*)(A...));

// A type that crosses untouched: an integer or enumeration of at most a word, a pointer, a
// reference, or a class that is not trivially copyable (std::string, WideString), which both sides
// pass and return through memory. Not a 64-bit value, which CE's compiler and AAPCS place apart
// when it would start in an odd register, nor a small trivially copyable structure, which the
// image returns in memory (-fpcc-struct-return) and armel in r0.
template <class T>
constexpr bool CrossesAsIs() {
    using U = std::remove_cv_t<std::remove_reference_t<T>>;
    if constexpr (std::is_reference_v<T> || std::is_void_v<T>) {
        return true;
    } else if constexpr (std::is_pointer_v<U> && std::is_function_v<std::remove_pointer_t<U>>) {
        // A callback the image calls back: the same rules for its own types.
        return CrossesAsIs(U{});
    } else if constexpr (std::is_pointer_v<U>) {
        return true;
    } else if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
        return sizeof(U) <= 4;
    } else if constexpr (std::is_class_v<U>) {
        return !std::is_trivially_copyable_v<U>;
    } else {
        return false;
    }
}

template <class R, class... A>
constexpr bool CrossesAsIs(R (*)(A...)) {
    return CrossesAsIs<R>() && (CrossesAsIs<A>() && ...);
}

#define WRENFOLD_CHECK(name) \
    static_assert(CrossesAsIs(&name), #name ": a type that the two sides pass differently");
WRENFOLD_HELPERS(WRENFOLD_CHECK)
#undef WRENFOLD_CHECK

}  // namespace

// Where each helper's jump goes: its export in the image, filled in before main.
#define WRENFOLD_SLOT(name) extern "C" void* wrenfold_image_##name;
WRENFOLD_HELPERS(WRENFOLD_SLOT)
#undef WRENFOLD_SLOT
#define WRENFOLD_SLOT(name) void* wrenfold_image_##name = nullptr;
WRENFOLD_HELPERS(WRENFOLD_SLOT)
#undef WRENFOLD_SLOT

// Who frees what: the image takes its blocks from COREDLL's malloc, the host's malloc as the
// loader binds it (through the heap hook where a program links it), and a string or vector it
// hands out is freed here by this program's C++ library. So this program's delete is the same
// free, through the same hook, which then sees every block the device's code takes and gives
// back; blocks of this program's own new pass through it untracked.
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

// What every call into the image does first.
extern "C" void wrenfold_enter_image();
void wrenfold_enter_image() {
    ce::ShowCallerInKernelData();
}

namespace {

// Each helper's symbol, as this compiler names it, defined as a jump through its slot, in ARM
// code (the image's) and position independent (the program's), after the call above, which
// keeps the arguments and the return address (six words: the stack stays 8-byte aligned).
[[gnu::used]] void Jumps() {
#define WRENFOLD_JUMP(name)                                                          \
    asm(".pushsection .text.wrenfold_image,\"ax\",%%progbits\n\t.arm\n\t.balign 4\n" \
        "\t.global %c0\n\t.type %c0, %%function\n%c0:\n"                             \
        "\tpush {r0-r3, ip, lr}\n\tbl wrenfold_enter_image\n\tpop {r0-r3, ip, lr}\n" \
        "\tldr ip, 1f\n0:\tadd ip, pc, ip\n\tldr pc, [ip]\n"                         \
        "1:\t.word wrenfold_image_" #name                                            \
        " - (0b + 8)\n"                                                              \
        "\t.size %c0, . - %c0\n\t.popsection" ::"X"(&name));
    WRENFOLD_HELPERS(WRENFOLD_JUMP)
#undef WRENFOLD_JUMP
}

struct Slot {
    const char* name;
    void** slot;
};

#define WRENFOLD_SLOT(name) {#name, &wrenfold_image_##name},
const Slot kSlots[] = {WRENFOLD_HELPERS(WRENFOLD_SLOT)};
#undef WRENFOLD_SLOT

// The image is loaded and attached once, as a library is, and detached when the program ends.
ce::Image& Image() {
    static ce::Image image = [] {
        ce::Image loaded = ce::LoadOrStop(WRENFOLD_DEVICE_TEST_IMAGE);
        if (!ce::CallDllMain(loaded, DLL_PROCESS_ATTACH)) {
            std::fprintf(stderr, "%s refused to attach\n", WRENFOLD_DEVICE_TEST_IMAGE);
            std::exit(1);
        }
        std::atexit([] {
            ce::CallDllMain(Image(), DLL_PROCESS_DETACH);
            ce::Unload(Image());
        });
        return loaded;
    }();
    return image;
}

const bool kBound = [] {
    for (const Slot& slot : kSlots) {
        *slot.slot = ce::FindExport(Image(), slot.name);
        if (*slot.slot == nullptr) {
            std::fprintf(stderr, "%s exports no %s\n", WRENFOLD_DEVICE_TEST_IMAGE, slot.name);
            std::exit(1);
        }
    }
    return true;
}();

}  // namespace
