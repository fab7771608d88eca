#include "ce_loader/ce_image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace ce {

namespace {

static_assert(sizeof(void*) == 4, "the images' import and relocation slots hold 32-bit addresses");

constexpr std::uint32_t kImportByOrdinal = 0x80000000u;
constexpr unsigned kRelocationPadding = 0;
constexpr unsigned kRelocationHighLow = 3;

bool Relocate(const Layout& layout, unsigned char* image, std::string& error) {
    const std::uint32_t delta =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(image)) - layout.preferredBase;
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    const Range range = DirectoryRange(image, layout, kRelocations, rva, size);
    if (range == Range::kDamaged) {
        error = "damaged base relocations";
        return false;
    }
    if (range == Range::kAbsent) {
        if (delta != 0) {
            error = "no base relocations, so it cannot be moved from its preferred base";
            return false;
        }
        return true;
    }
    for (std::uint32_t block = rva; block + 8 <= rva + size;) {
        const std::uint32_t page = Read32(image + block);
        const std::uint32_t blockSize = Read32(image + block + 4);
        if (blockSize < 8 || blockSize > rva + size - block) {
            error = "damaged base relocations";
            return false;
        }
        for (std::uint32_t at = block + 8; at + 2 <= block + blockSize; at += 2) {
            const std::uint16_t entry = Read16(image + at);
            const unsigned type = entry >> 12;
            const std::uint32_t target = page + (entry & 0xFFFu);
            if (type == kRelocationPadding) {
                continue;
            }
            if (type != kRelocationHighLow || target > layout.imageSize - 4) {
                error = "a base relocation of type " + std::to_string(type) + " at " +
                        std::to_string(target);
                return false;
            }
            Write32(image + target, Read32(image + target) + delta);
        }
        block += blockSize;
    }
    return true;
}

bool SameLibraryName(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

Function Bound(const std::vector<Binding>& coredll, const std::string& name) {
    for (const Binding& binding : coredll) {
        if (name == binding.name) {
            return binding.function;
        }
    }
    return nullptr;
}

bool BindImports(const Layout& layout, unsigned char* image, const std::vector<Binding>& coredll,
                 std::string& error) {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    const Range range = DirectoryRange(image, layout, kImports, rva, size);
    if (range == Range::kAbsent) {
        return true;
    }
    if (range == Range::kDamaged) {
        error = "damaged import table";
        return false;
    }
    std::string missing;
    for (std::uint32_t descriptor = rva; descriptor + 20 <= rva + size; descriptor += 20) {
        const std::uint32_t lookup = Read32(image + descriptor);
        const std::uint32_t nameRva = Read32(image + descriptor + 12);
        const std::uint32_t slots = Read32(image + descriptor + 16);
        if (nameRva == 0 && slots == 0) {
            break;
        }
        const std::string library = NameAt(image, layout, nameRva);
        if (!SameLibraryName(library, "COREDLL.dll")) {
            error = "imports from " + (library.empty() ? "an unnamed library" : library) +
                    ", which the device does not have";
            return false;
        }
        const std::uint32_t names = lookup != 0 ? lookup : slots;
        for (std::uint32_t index = 0;; ++index) {
            if (names + 4 * index > layout.imageSize - 4 ||
                slots + 4 * index > layout.imageSize - 4) {
                error = "damaged import table";
                return false;
            }
            const std::uint32_t entry = Read32(image + names + 4 * index);
            if (entry == 0) {
                break;
            }
            if ((entry & kImportByOrdinal) != 0) {
                error = "imports COREDLL.dll's ordinal " + std::to_string(entry & 0xFFFFu) +
                        "; only names are bound";
                return false;
            }
            const std::string name = NameAt(image, layout, entry + 2);
            const Function function = Bound(coredll, name);
            if (function == nullptr) {
                missing += (missing.empty() ? "" : ", ") + name;
                continue;
            }
            Write32(image + slots + 4 * index,
                    static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(function)));
        }
    }
    if (!missing.empty()) {
        error = "imports from COREDLL.dll what the simulated device does not have: " + missing;
        return false;
    }
    return true;
}

}  // namespace

bool Load(const std::string& path, const std::vector<Binding>& coredll, Image& image,
          std::string& error) {
    image = Image{};
    std::ifstream stream(path, std::ios::binary);
    const std::vector<unsigned char> file{std::istreambuf_iterator<char>(stream),
                                          std::istreambuf_iterator<char>()};
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (!stream.good() && !stream.eof()) {
        error = name + ": cannot be read";
        return false;
    }
    return Load(file, name, coredll, image, error);
}

bool Load(const std::vector<unsigned char>& file, const std::string& name,
          const std::vector<Binding>& coredll, Image& image, std::string& error) {
    image = Image{};
    Layout layout;
    if (!ReadLayout(file, layout, error)) {
        error = name + ": " + error;
        return false;
    }
    if (layout.machine != kMachineArm || layout.pe32Plus) {
        error = name + ": not a 32-bit PE image for ARM";
        return false;
    }
    // Anywhere the system likes, as CE maps a library wherever there is room.
    void* mapping = mmap(nullptr, layout.imageSize, PROT_READ | PROT_WRITE | PROT_EXEC,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        error = name + ": no room for its " + std::to_string(layout.imageSize) + " bytes";
        return false;
    }
    auto* const base = static_cast<unsigned char*>(mapping);
    ExportTable exports;
    if (!MapSections(file, layout, base, error) || !Relocate(layout, base, error) ||
        !BindImports(layout, base, coredll, error) || !ReadExports(layout, base, exports, error)) {
        munmap(mapping, layout.imageSize);
        error = name + ": " + error;
        return false;
    }
    // The code was written as data: the processor must not run stale instructions.
    __builtin___clear_cache(reinterpret_cast<char*>(base),
                            reinterpret_cast<char*>(base + layout.imageSize));
    image.base = base;
    image.size = layout.imageSize;
    image.entry = layout.entry != 0 ? base + layout.entry : nullptr;
    image.library = layout.library;
    image.exports = exports;
    return true;
}

void ShowCallerInKernelData() {
    static auto* const handles = [] {
        void* page =
            mmap(reinterpret_cast<void*>(static_cast<std::uintptr_t>(KDATA_PAGE)), 4096,
                 PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (page == MAP_FAILED) {
            std::perror("the kernel's data page cannot be mapped where CE has it");
            std::exit(1);
        }
        return reinterpret_cast<volatile std::uint32_t*>(
            static_cast<std::uintptr_t>(KDATA_HANDLES));
    }();
    handles[KDATA_THREAD_SLOT] = GetCurrentThreadId();
    handles[KDATA_PROCESS_SLOT] = GetCurrentProcessId();
}

Image LoadOrStop(const char* path) {
    Image image;
    std::string error;
    if (!Load(path, Coredll(), image, error)) {
        std::fprintf(stderr, "cannot load %s\n  %s\n", path, error.c_str());
        std::exit(1);
    }
    return image;
}

void Unload(Image& image) {
    if (image.base != nullptr) {
        munmap(image.base, image.size);
    }
    image = Image{};
}

void* FindExport(const Image& image, const char* name) {
    std::uint32_t offset = 0;
    return FindExportOffset(image.base, image.size, image.exports, name, offset)
               ? image.base + offset
               : nullptr;
}

BOOL CallDllMain(const Image& image, DWORD reason) {
    ShowCallerInKernelData();
    using Entry = BOOL (*)(HANDLE, DWORD, LPVOID);
    return reinterpret_cast<Entry>(image.entry)(image.base, reason, nullptr);
}

int CallWinMain(const Image& image, LPWSTR commandLine) {
    ShowCallerInKernelData();
    using Entry = int (*)(HINSTANCE, HINSTANCE, LPWSTR, int);
    return reinterpret_cast<Entry>(image.entry)(reinterpret_cast<HINSTANCE>(image.base), nullptr,
                                                commandLine, SW_SHOW);
}

}  // namespace ce
