// Windows only: the cabinet read by the platform's cabinet.dll through its FDI functions. FDI
// reaches files through the callbacks here alone: the cabinet through Win32 file calls, each
// member into memory. Every handle FDI holds is one of this file's streams, kept in the reader,
// so that whatever FDI leaves open when it gives up is closed all the same.
#include <fcntl.h>
#include <fdi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "standin/cabinet.h"

namespace {

struct Reader;

// What an FDI handle stands for: the cabinet open for reading, or a member being extracted.
struct Stream {
    Reader* owner = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;  // the cabinet's; none for a member
    CabinetMember member;
    std::uint32_t size = 0;  // the member's, as the cabinet gives it
};

struct Reader {
    explicit Reader(const WCHAR* cabinet) : path(cabinet) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() {
        while (!streams.empty()) {
            Release(streams.back().get());
        }
    }

    INT_PTR OpenCabinet() {
        const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            openError = GetLastError();
            return -1;
        }
        try {
            streams.push_back(std::make_unique<Stream>());
        } catch (const std::exception&) {
            CloseHandle(file);
            return -1;
        }
        streams.back()->owner = this;
        streams.back()->file = file;
        return reinterpret_cast<INT_PTR>(streams.back().get());
    }

    bool Release(Stream* stream) {
        const bool closed = stream->file == INVALID_HANDLE_VALUE || CloseHandle(stream->file);
        for (auto at = streams.begin(); at != streams.end(); ++at) {
            if (at->get() == stream) {
                streams.erase(at);
                break;
            }
        }
        return closed;
    }

    // These two may throw std::bad_alloc; the notification callback catches it.
    INT_PTR StartMember(const char* name, std::uint32_t size, USHORT date, USHORT time) {
        extracting = name;
        auto stream = std::make_unique<Stream>();
        stream->owner = this;
        stream->member.name = name;
        stream->member.dosDate = date;
        stream->member.dosTime = time;
        stream->size = size;
        streams.push_back(std::move(stream));
        return reinterpret_cast<INT_PTR>(streams.back().get());
    }

    // FDI reports the end of a member even when it could not give all of its bytes, so the
    // count decides whether it is whole.
    bool FinishMember(Stream* stream) {
        const bool whole = stream->member.bytes.size() == stream->size;
        if (whole) {
            members.push_back(std::move(stream->member));
            extracting.clear();
        } else {
            shortfall = "FDI gave " + std::to_string(stream->member.bytes.size()) + " of its " +
                        std::to_string(stream->size) + " bytes";
        }
        Release(stream);
        return whole;
    }

    const WCHAR* path;
    ERF erf{};
    DWORD openError = ERROR_SUCCESS;
    std::vector<std::unique_ptr<Stream>> streams;  // open now
    std::vector<CabinetMember> members;            // whole, in the cabinet's order
    std::string extracting;                        // the member begun and not yet whole, if any
    std::string shortfall;                         // how much of it came
    std::string failure;  // what the callbacks met that FDI's own codes cannot say
};

Stream* StreamOf(INT_PTR handle) {
    return reinterpret_cast<Stream*>(handle);
}

// FDI names the cabinet to the open callback in narrow text, which cannot carry every wide path;
// it is given a name that stands for the reader instead, and the reader opens its wide path.
constexpr char kNamePrefix[] = "wrenfold-cabinet-";

std::string NameFor(const Reader& reader) {
    const auto address = reinterpret_cast<std::uintptr_t>(&reader);
    return kNamePrefix + std::to_string(address);
}

Reader* ReaderNamed(const char* name) {
    constexpr std::size_t kPrefixLength = sizeof kNamePrefix - 1;
    if (name == nullptr || std::strncmp(name, kNamePrefix, kPrefixLength) != 0) {
        return nullptr;
    }
    char* end = nullptr;
    const unsigned long long address = std::strtoull(name + kPrefixLength, &end, 10);
    if (end == name + kPrefixLength || *end != '\0') {
        return nullptr;
    }
    return reinterpret_cast<Reader*>(static_cast<std::uintptr_t>(address));
}

void* DIAMONDAPI Allocate(ULONG size) {
    return std::malloc(size);
}

void DIAMONDAPI Free(void* block) {
    std::free(block);
}

INT_PTR DIAMONDAPI Open(char* name, int flags, int) {
    Reader* reader = ReaderNamed(name);
    if (reader == nullptr || (flags & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0) {
        return -1;
    }
    return reader->OpenCabinet();
}

UINT DIAMONDAPI Read(INT_PTR handle, void* buffer, UINT count) {
    const Stream& stream = *StreamOf(handle);
    DWORD got = 0;
    if (stream.file == INVALID_HANDLE_VALUE ||
        !ReadFile(stream.file, buffer, count, &got, nullptr)) {
        return static_cast<UINT>(-1);
    }
    return got;
}

UINT DIAMONDAPI Write(INT_PTR handle, void* data, UINT count) {
    Stream& stream = *StreamOf(handle);
    if (stream.file != INVALID_HANDLE_VALUE) {
        return static_cast<UINT>(-1);  // the cabinet is only read
    }
    try {
        stream.member.bytes.append(static_cast<const char*>(data), count);
    } catch (const std::exception&) {
        stream.owner->failure = "out of memory";
        return static_cast<UINT>(-1);
    }
    return count;
}

int DIAMONDAPI Close(INT_PTR handle) {
    Stream* stream = StreamOf(handle);
    return stream->owner->Release(stream) ? 0 : -1;
}

long DIAMONDAPI Seek(INT_PTR handle, long distance, int origin) {
    const Stream& stream = *StreamOf(handle);
    DWORD method = FILE_BEGIN;
    if (origin == SEEK_CUR) {
        method = FILE_CURRENT;
    } else if (origin == SEEK_END) {
        method = FILE_END;
    } else if (origin != SEEK_SET) {
        return -1;
    }
    LARGE_INTEGER move{};
    move.QuadPart = distance;
    LARGE_INTEGER at{};
    if (stream.file == INVALID_HANDLE_VALUE || !SetFilePointerEx(stream.file, move, &at, method) ||
        at.QuadPart > 0x7FFFFFFF) {
        return -1;
    }
    return static_cast<long>(at.QuadPart);
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
    Reader& reader = *static_cast<Reader*>(note->pv);
    try {
        switch (type) {
            case fdintCOPY_FILE:
                return reader.StartMember(note->psz1, static_cast<std::uint32_t>(note->cb),
                                          note->date, note->time);
            case fdintCLOSE_FILE_INFO:
                return reader.FinishMember(StreamOf(note->hf)) ? TRUE : FALSE;
            case fdintPARTIAL_FILE:
                reader.extracting = note->psz1;
                reader.failure = "it begins in an earlier cabinet, and a package is one cabinet";
                return -1;
            case fdintNEXT_CABINET:
                reader.failure = "it goes on in another cabinet, and a package is one cabinet";
                return -1;
            default:
                return 0;
        }
    } catch (const std::exception&) {
        // No exception may cross cabinet.dll; a stream left open is the reader's to close.
        reader.failure = "out of memory";
        return type == fdintCLOSE_FILE_INFO ? FALSE : -1;
    }
}

std::string Utf8(const WCHAR* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

std::string SystemMessage(DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == '.' || text[length - 1] == ' ')) {
        --length;
    }
    const std::string number = "error " + std::to_string(code);
    return length == 0 ? number : std::string(text, length) + " (" + number + ")";
}

std::string FdiReason(const Reader& reader) {
    switch (reader.erf.erfOper) {
        case FDIERROR_CABINET_NOT_FOUND:
            return "cannot be opened: " + SystemMessage(reader.openError);
        case FDIERROR_NOT_A_CABINET:
            return "not a cabinet";
        case FDIERROR_UNKNOWN_CABINET_VERSION:
            return "a cabinet format version FDI does not read";
        case FDIERROR_CORRUPT_CABINET:
            return "the cabinet is damaged or truncated";
        case FDIERROR_ALLOC_FAIL:
            return "out of memory";
        case FDIERROR_BAD_COMPR_TYPE:
            return "compressed in a way FDI does not read";
        case FDIERROR_MDI_FAIL:
            return "its compressed data is damaged";
        case FDIERROR_RESERVE_MISMATCH:
            return "the cabinet's reserved areas do not match";
        default:
            return "FDI failed with error " + std::to_string(reader.erf.erfOper);
    }
}

// FDIDestroy on every way out.
struct Fdi {
    ~Fdi() {
        if (handle != nullptr) {
            FDIDestroy(handle);
        }
    }
    HFDI handle = nullptr;
};

}  // namespace

bool ReadCabinet(const WCHAR* path, std::vector<CabinetMember>& members, std::string& error) {
    members.clear();
    Reader reader(path);
    const std::string shown = Utf8(path);

    // Opened here first, so that a missing or locked file is told as the system tells it.
    const INT_PTR own = reader.OpenCabinet();
    if (own == -1) {
        error = shown + ": cannot be opened: " + SystemMessage(reader.openError);
        return false;
    }
    Fdi fdi;
    fdi.handle = FDICreate(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &reader.erf);
    if (fdi.handle == nullptr) {
        error = shown + ": FDI cannot start: " + FdiReason(reader);
        return false;
    }
    FDICABINETINFO info{};
    const bool cabinet = FDIIsCabinet(fdi.handle, own, &info) != FALSE;
    reader.Release(StreamOf(own));
    if (!cabinet) {
        // Wine's FDIIsCabinet leaves the error record alone when the header is wrong.
        error =
            shown + ": " + (reader.erf.fError ? FdiReason(reader) : std::string("not a cabinet"));
        return false;
    }

    std::string name = NameFor(reader);
    char noFolder[] = "";
    const bool copied =
        FDICopy(fdi.handle, &name[0], noFolder, 0, Notify, nullptr, &reader) != FALSE;
    if (copied && reader.extracting.empty() && reader.failure.empty()) {
        members.swap(reader.members);
        return true;
    }
    std::string why = reader.failure;
    if (why.empty()) {
        why = reader.erf.fError ? FdiReason(reader) : "the cabinet is damaged or truncated";
        if (!reader.shortfall.empty()) {
            why += " (" + reader.shortfall + ")";
        }
    }
    error = shown + ": " +
            (reader.extracting.empty() ? why : reader.extracting + " cannot be extracted: " + why);
    return false;
}
