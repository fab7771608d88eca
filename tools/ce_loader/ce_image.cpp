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

std::uint32_t Read32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint16_t Read16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

void Write32(unsigned char* at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte) {
        at[byte] = static_cast<unsigned char>(value >> (8 * byte));
    }
}

namespace {

static_assert(sizeof(void*) == 4, "the images' import and relocation slots hold 32-bit addresses");

constexpr std::uint16_t kMachineArm = 0x1C0;
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kLibraryFlag = 0x2000;
constexpr std::uint32_t kImportByOrdinal = 0x80000000u;
constexpr unsigned kRelocationPadding = 0;
constexpr unsigned kRelocationHighLow = 3;

enum Directory { kExports = 0, kImports = 1, kRelocations = 5 };

// Where the headers are, once they are known to be an ARM CE image's.
struct Layout {
    std::uint32_t optional = 0;  // offset of the optional header
    std::uint32_t sections = 0;  // offset of the section table
    unsigned sectionCount = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t headersSize = 0;
    std::uint32_t preferredBase = 0;
    std::uint32_t entry = 0;
    unsigned directoryCount = 0;
    bool library = false;
};

bool ReadLayout(const std::vector<unsigned char>& file, Layout& layout, std::string& error) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
        error = "not a PE file";
        return false;
    }
    const std::uint32_t header = Read32(&file[0x3C]);
    if (header > file.size() - 24 || std::memcmp(&file[header], "PE\0\0", 4) != 0) {
        error = "not a PE file";
        return false;
    }
    const std::uint32_t optional = header + 24;
    const std::uint16_t optionalSize = Read16(&file[header + 20]);
    if (Read16(&file[header + 4]) != kMachineArm || optionalSize < 96 ||
        optional + optionalSize > file.size() || Read16(&file[optional]) != kPe32) {
        error = "not a 32-bit PE image for ARM";
        return false;
    }
    layout.optional = optional;
    layout.sections = optional + optionalSize;
    layout.sectionCount = Read16(&file[header + 6]);
    layout.library = (Read16(&file[header + 22]) & kLibraryFlag) != 0;
    layout.entry = Read32(&file[optional + 16]);
    layout.preferredBase = Read32(&file[optional + 28]);
    layout.imageSize = Read32(&file[optional + 56]);
    layout.headersSize = Read32(&file[optional + 60]);
    // No more directories than the optional header has room for.
    const unsigned directoryRoom = (optionalSize - 96u) / 8u;
    layout.directoryCount = std::min<unsigned>(Read32(&file[optional + 92]), directoryRoom);
    if (layout.sections + 40ull * layout.sectionCount > file.size() ||
        layout.headersSize > layout.imageSize || layout.entry >= layout.imageSize) {
        error = "damaged headers";
        return false;
    }
    return true;
}

// A data directory's range in the image: absent (both words 0), inside the image, or damaged.
enum class Range { kAbsent, kInside, kDamaged };

Range DirectoryRange(const unsigned char* image, const Layout& layout, Directory directory,
                     std::uint32_t& rva, std::uint32_t& size) {
    if (static_cast<unsigned>(directory) >= layout.directoryCount) {
        return Range::kAbsent;
    }
    const unsigned char* entry = image + layout.optional + 96 + 8 * directory;
    rva = Read32(entry);
    size = Read32(entry + 4);
    if (rva == 0 && size == 0) {
        return Range::kAbsent;
    }
    return rva != 0 && size != 0 && rva < layout.imageSize && size <= layout.imageSize - rva
               ? Range::kInside
               : Range::kDamaged;
}

// Whether `count` entries of `width` bytes from `rva` lie inside the image.
bool ArrayInside(const Layout& layout, std::uint32_t rva, std::uint32_t count, unsigned width) {
    return rva <= layout.imageSize && count <= (layout.imageSize - rva) / width;
}

bool MapSections(const std::vector<unsigned char>& file, const Layout& layout, unsigned char* image,
                 std::string& error) {
    std::memcpy(image, file.data(), std::min<std::size_t>(layout.headersSize, file.size()));
    for (unsigned index = 0; index < layout.sectionCount; ++index) {
        const unsigned char* section = &file[layout.sections + 40 * index];
        const std::uint32_t virtualSize = Read32(section + 8);
        const std::uint32_t address = Read32(section + 12);
        const std::uint32_t rawSize = Read32(section + 16);
        const std::uint32_t rawOffset = Read32(section + 20);
        const std::uint32_t copied = std::min(rawSize, virtualSize != 0 ? virtualSize : rawSize);
        if (address > layout.imageSize || copied > layout.imageSize - address ||
            rawOffset > file.size() || copied > file.size() - rawOffset) {
            error = "a section lies outside the image";
            return false;
        }
        std::memcpy(image + address, &file[rawOffset], copied);
    }
    return true;
}

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

// A zero-terminated name inside the image, or "" when it runs past its end.
std::string NameAt(const unsigned char* image, const Layout& layout, std::uint32_t rva) {
    if (rva >= layout.imageSize) {
        return "";
    }
    const auto* start = reinterpret_cast<const char*>(image + rva);
    const void* end = std::memchr(start, 0, layout.imageSize - rva);
    return end != nullptr ? std::string(start, static_cast<const char*>(end)) : "";
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

// Checks that every name, ordinal and function of the export table lies inside the image, so
// that FindExport can read it without checking again. A library without one exports nothing.
bool ReadExports(const Layout& layout, const unsigned char* image, ExportTable& table,
                 std::string& error) {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    const Range range = DirectoryRange(image, layout, kExports, rva, size);
    if (range == Range::kAbsent) {
        return true;
    }
    const auto damaged = [&error] {
        error = "damaged export table";
        return false;
    };
    if (range == Range::kDamaged || size < 40) {
        return damaged();
    }
    const unsigned char* directory = image + rva;
    ExportTable read;
    read.functionCount = Read32(directory + 20);
    read.nameCount = Read32(directory + 24);
    read.functions = Read32(directory + 28);
    read.names = Read32(directory + 32);
    read.ordinals = Read32(directory + 36);
    if (!ArrayInside(layout, read.functions, read.functionCount, 4) ||
        !ArrayInside(layout, read.names, read.nameCount, 4) ||
        !ArrayInside(layout, read.ordinals, read.nameCount, 2)) {
        return damaged();
    }
    for (std::uint32_t index = 0; index < read.functionCount; ++index) {
        if (Read32(image + read.functions + 4 * index) >= layout.imageSize) {
            return damaged();
        }
    }
    for (std::uint32_t index = 0; index < read.nameCount; ++index) {
        const std::uint32_t name = Read32(image + read.names + 4 * index);
        if (NameAt(image, layout, name).empty() ||
            Read16(image + read.ordinals + 2 * index) >= read.functionCount) {
            return damaged();
        }
    }
    table = read;
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
    const ExportTable& table = image.exports;
    const auto size = static_cast<std::uint32_t>(image.size);
    for (std::uint32_t index = 0; index < table.nameCount; ++index) {
        const std::uint32_t nameRva = Read32(image.base + table.names + 4 * index);
        if (std::strncmp(reinterpret_cast<const char*>(image.base + nameRva), name,
                         size - nameRva) == 0) {
            const std::uint16_t ordinal = Read16(image.base + table.ordinals + 2 * index);
            return image.base + Read32(image.base + table.functions + 4 * ordinal);
        }
    }
    return nullptr;
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
