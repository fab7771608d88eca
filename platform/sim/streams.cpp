// The runtime library's streams over the device's files. _wfopen hands out a real FILE (glibc's
// fopencookie), so the host's fread, fwrite, feof, ferror and fclose work on it unchanged, while
// the device opens the file as the runtime does, through CreateFileW's checks (names,
// read-only, sharing: read and write shared, deletion not), counts the streams left open and
// fails a read or write on request.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "internal.h"

namespace {

struct Stream {
    std::shared_ptr<sim::detail::KernelObject> file;
    int fd = -1;
    bool append = false;
    FILE* handle = nullptr;
};

std::vector<Stream*>& OpenStreamList() {
    static std::vector<Stream*> open;
    return open;
}

struct Mode {
    DWORD access = 0;
    DWORD disposition = 0;
    bool append = false;
    const char* glibcMode = nullptr;
};

// "r", "w" or "a", then "+" for update and "b" for binary, in either order.
bool ParseMode(const WCHAR* text, Mode& mode) {
    if (text == nullptr) {
        return false;
    }
    bool update = false;
    bool binary = false;
    for (const WCHAR* p = text + (*text != 0 ? 1 : 0); *p != 0; ++p) {
        if (*p == u'+' && !update) {
            update = true;
        } else if (*p == u'b' && !binary) {
            binary = true;
        } else {
            return false;  // text mode ("t") among the rest: not modelled
        }
    }
    switch (text[0]) {
        case u'r':
            mode = Mode{GENERIC_READ, OPEN_EXISTING, false, update ? "r+" : "r"};
            break;
        case u'w':
            mode = Mode{GENERIC_WRITE, CREATE_ALWAYS, false, update ? "w+" : "w"};
            break;
        case u'a':
            mode = Mode{GENERIC_WRITE, OPEN_ALWAYS, true, update ? "a+" : "a"};
            break;
        default:
            return false;
    }
    if (update) {
        mode.access = GENERIC_READ | GENERIC_WRITE;
    }
    return binary;
}

// The runtime's errno for the platform's reason.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        default:
            return EINVAL;
    }
}

ssize_t ReadStream(void* cookie, char* buffer, std::size_t size) {
    const auto* stream = static_cast<Stream*>(cookie);
    DWORD fault = ERROR_SUCCESS;
    if (sim::detail::TakeFileFault(sim::FileCall::Read, fault) ||
        sim::detail::Refused(sim::CallKind::Stream, "fread")) {
        errno = EIO;
        return -1;
    }
    return read(stream->fd, buffer, size);
}

// glibc takes any count short of `size` as a failed write.
ssize_t WriteStream(void* cookie, const char* buffer, std::size_t size) {
    const auto* stream = static_cast<Stream*>(cookie);
    DWORD fault = ERROR_SUCCESS;
    if (sim::detail::TakeFileFault(sim::FileCall::Write, fault) ||
        sim::detail::Refused(sim::CallKind::Stream, "fwrite")) {
        errno = EIO;
        return 0;
    }
    if (stream->append && lseek(stream->fd, 0, SEEK_END) < 0) {
        return 0;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = write(stream->fd, buffer + done, size - done);
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    return static_cast<ssize_t>(done);
}

int SeekStream(void* cookie, off64_t* offset, int whence) {
    const auto* stream = static_cast<Stream*>(cookie);
    const off64_t position = lseek64(stream->fd, *offset, whence);
    if (position < 0) {
        return -1;
    }
    *offset = position;
    return 0;
}

int CloseStream(void* cookie) {
    auto* stream = static_cast<Stream*>(cookie);
    auto& open = OpenStreamList();
    open.erase(std::remove(open.begin(), open.end(), stream), open.end());
    delete stream;  // lets go of the file
    // A close that fails has still let go of the stream and its file.
    if (sim::detail::Refused(sim::CallKind::Stream, "fclose")) {
        errno = EIO;
        return -1;
    }
    return 0;
}

}  // namespace

namespace sim::detail {

void ResetStreams() {
    // Whatever a test left open is closed as its process would close it on the way out.
    const std::vector<Stream*> open = OpenStreamList();
    for (Stream* stream : open) {
        std::fclose(stream->handle);
    }
}

int OpenStreams() {
    return static_cast<int>(OpenStreamList().size());
}

}  // namespace sim::detail

FILE* _wfopen(const WCHAR* filename, const WCHAR* mode) {
    Mode parsed;
    if (filename == nullptr || !ParseMode(mode, parsed)) {
        errno = EINVAL;
        return nullptr;
    }
    if (sim::detail::Refused(sim::CallKind::Stream, "_wfopen")) {
        errno = ENOSPC;
        return nullptr;
    }
    auto file = sim::detail::OpenFileObject(filename, parsed.access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, parsed.disposition);
    if (!file) {
        errno = ErrnoFor(GetLastError());
        return nullptr;
    }
    auto stream = std::make_unique<Stream>();
    stream->fd = sim::detail::HostDescriptor(*file);
    stream->file = std::move(file);
    stream->append = parsed.append;
    const cookie_io_functions_t functions{ReadStream, WriteStream, SeekStream, CloseStream};
    stream->handle = fopencookie(stream.get(), parsed.glibcMode, functions);
    if (stream->handle == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    OpenStreamList().push_back(stream.get());
    return stream.release()->handle;
}
