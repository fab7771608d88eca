// The cabinet through Debian's libmspack, which lets its caller supply the file access: the
// cabinet is read with the device's own file calls, so a fault injected into the device reaches
// the installer as it would on a device, and the members are extracted into memory.
#include <mspack.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "standin/cabinet.h"

namespace {

// The names libmspack is handed: the cabinet, and one name per member extracted. Never a path.
constexpr char kCabinetName[] = "cabinet";
constexpr char kMemberName[] = "member";

struct DeviceSystem {
    mspack_system calls;  // first, so that libmspack's `self` is this object
    const WCHAR* path;
    std::string* sink;  // the member being extracted
};

// An open file as libmspack sees it: the cabinet on the device, or a member's bytes in memory.
struct OpenFile {
    HANDLE cabinet = INVALID_HANDLE_VALUE;
    std::string* sink = nullptr;
};

OpenFile* Opened(mspack_file* file) {
    return reinterpret_cast<OpenFile*>(file);
}

mspack_file* Open(mspack_system* self, const char* name, int mode) {
    auto* system = reinterpret_cast<DeviceSystem*>(self);
    OpenFile opened;
    if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, kCabinetName) == 0) {
        opened.cabinet = CreateFileW(system->path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        if (opened.cabinet == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
    } else if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kMemberName) == 0) {
        opened.sink = system->sink;
    } else {
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(new OpenFile(opened));
}

void Close(mspack_file* file) {
    OpenFile* opened = Opened(file);
    if (opened->cabinet != INVALID_HANDLE_VALUE) {
        CloseHandle(opened->cabinet);
    }
    delete opened;
}

int Read(mspack_file* file, void* buffer, int bytes) {
    OpenFile* opened = Opened(file);
    DWORD count = 0;
    if (opened->cabinet == INVALID_HANDLE_VALUE || bytes < 0 ||
        !ReadFile(opened->cabinet, buffer, static_cast<DWORD>(bytes), &count, nullptr)) {
        return -1;
    }
    return static_cast<int>(count);
}

int Write(mspack_file* file, void* buffer, int bytes) {
    OpenFile* opened = Opened(file);
    if (opened->sink == nullptr || bytes < 0) {
        return -1;
    }
    opened->sink->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    return bytes;
}

int Seek(mspack_file* file, off_t offset, int mode) {
    OpenFile* opened = Opened(file);
    constexpr DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    // Packages are far below 2 GB: a larger offset is a damaged cabinet.
    if (opened->cabinet == INVALID_HANDLE_VALUE || mode < 0 || mode > 2 ||
        offset > std::numeric_limits<LONG>::max() || offset < std::numeric_limits<LONG>::min()) {
        return -1;
    }
    return SetFilePointer(opened->cabinet, static_cast<LONG>(offset), nullptr, kMethods[mode]) ==
                   INVALID_SET_FILE_POINTER
               ? -1
               : 0;
}

off_t Tell(mspack_file* file) {
    OpenFile* opened = Opened(file);
    if (opened->cabinet == INVALID_HANDLE_VALUE) {
        return static_cast<off_t>(opened->sink->size());
    }
    const DWORD at = SetFilePointer(opened->cabinet, 0, nullptr, FILE_CURRENT);
    return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<off_t>(at);
}

// libmspack's warnings about a damaged cabinet; its error codes say what the installer needs.
void Message(mspack_file* /*file*/, const char* /*format*/, ...) {}

void* Allocate(mspack_system* /*self*/, std::size_t bytes) {
    return std::malloc(bytes);
}

void Free(void* memory) {
    std::free(memory);
}

void Copy(void* from, void* to, std::size_t bytes) {
    std::memmove(to, from, bytes);
}

std::string Problem(int code) {
    switch (code) {
        case MSPACK_ERR_OPEN:
            return "cannot be opened";
        case MSPACK_ERR_READ:
            return "cannot be read to its end (cut short?)";
        case MSPACK_ERR_SEEK:
            return "names a position outside the file";
        case MSPACK_ERR_NOMEMORY:
            return "needs more memory than there is";
        case MSPACK_ERR_SIGNATURE:
            return "is no cabinet";
        case MSPACK_ERR_DATAFORMAT:
            return "is damaged";
        case MSPACK_ERR_CHECKSUM:
            return "fails its checksum";
        case MSPACK_ERR_DECRUNCH:
            return "cannot be decompressed";
        default:
            return "cannot be read (libmspack error " + std::to_string(code) + ")";
    }
}

std::uint16_t DosDate(const mscabd_file& file) {
    return static_cast<std::uint16_t>(((file.date_y - 1980) << 9) | (file.date_m << 5) |
                                      file.date_d);
}

std::uint16_t DosTime(const mscabd_file& file) {
    return static_cast<std::uint16_t>((file.time_h << 11) | (file.time_m << 5) | (file.time_s / 2));
}

}  // namespace

bool ReadCabinet(const WCHAR* path, std::vector<CabinetMember>& members, std::string& error) {
    members.clear();
    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK) {
        error = "libmspack was built with file offsets of another size than this program's";
        return false;
    }
    DeviceSystem system{
        {Open, Close, Read, Write, Seek, Tell, Message, Allocate, Free, Copy, nullptr},
        path,
        nullptr};
    mscab_decompressor* reader = mspack_create_cab_decompressor(&system.calls);
    if (reader == nullptr) {
        error = "the cabinet reader cannot start";
        return false;
    }
    mscabd_cabinet* cabinet = reader->open(reader, const_cast<char*>(kCabinetName));
    if (cabinet == nullptr) {
        error = "the package " + Problem(reader->last_error(reader));
        mspack_destroy_cab_decompressor(reader);
        return false;
    }
    bool read = true;
    if (cabinet->prevcab != nullptr || cabinet->nextcab != nullptr ||
        (cabinet->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0) {
        // A package is one cabinet: a set spanning several is no package.
        error = "the package is one cabinet of a set";
        read = false;
    }
    for (mscabd_file* file = cabinet->files; read && file != nullptr; file = file->next) {
        CabinetMember member;
        member.name = file->filename;
        member.dosDate = DosDate(*file);
        member.dosTime = DosTime(*file);
        system.sink = &member.bytes;
        if (reader->extract(reader, file, const_cast<char*>(kMemberName)) != MSPACK_ERR_OK) {
            error =
                "the package's member " + member.name + " " + Problem(reader->last_error(reader));
            read = false;
        } else {
            members.push_back(std::move(member));
        }
    }
    reader->close(reader, cabinet);
    mspack_destroy_cab_decompressor(reader);
    if (!read) {
        members.clear();
    }
    return read;
}
