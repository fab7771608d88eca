// The device's file system: a real folder on the host, fresh after every reset. Names compare
// without regard to case. The attributes POSIX lacks (read-only, hidden, system, archive) are
// kept here and enforced here, since tests may run as root, where permission bits stop nothing.
// Folder searches return no "." and ".." entries, as on the device.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace fs = std::filesystem;

// The device's files reach 4 GiB and beyond through a pointer's high half; a 32-bit host's
// off_t would wrap there.
static_assert(sizeof(off_t) == 8, "the simulated device needs _FILE_OFFSET_BITS=64");

namespace {

using sim::CallKind;
using sim::detail::Fail;
using sim::detail::FoldCase;
using sim::detail::Refused;

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_TEMPORARY;

struct OpenFile;

struct FileSystem {
    fs::path root;                               // made on first use
    std::map<std::u16string, DWORD> attributes;  // by path key, without the folder bit
    std::vector<OpenFile*> open;
    std::map<HANDLE, std::vector<WIN32_FIND_DATAW>> searches;
    ~FileSystem() {
        if (!root.empty()) {
            std::error_code ignored;
            fs::remove_all(root, ignored);
        }
    }
};

FileSystem& State() {
    static FileSystem fileSystem;
    return fileSystem;
}

// Pending faults by kind of call (0: none). Plain data, so a stream that a program leaves open
// can still be flushed at its exit.
struct FileFaults {
    DWORD read = 0;
    DWORD write = 0;
};

FileFaults& Faults() {
    static FileFaults faults;
    return faults;
}

const fs::path& Root() {
    FileSystem& state = State();
    if (state.root.empty()) {
        std::string pattern = (fs::temp_directory_path() / "wrenfold-device-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();  // no device without a file system
        }
        state.root = pattern;
    }
    return state.root;
}

struct OpenFile : sim::detail::KernelObject {
    OpenFile(std::u16string k, int d, DWORD a, DWORD s)
        : key(std::move(k)), fd(d), access(a), share(s) {
        State().open.push_back(this);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() override {
        close(fd);
        auto& open = State().open;
        open.erase(std::remove(open.begin(), open.end(), this), open.end());
    }
    sim::HandleKind Kind() const override { return sim::HandleKind::File; }

    std::u16string key;
    int fd;
    DWORD access;
    DWORD share;
};

// Where a device path leads on the host.
struct Resolved {
    fs::path host;
    std::u16string key;
    bool parentExists = false;
    bool exists = false;
    bool directory = false;
};

bool IsReservedCharacter(WCHAR c) {
    return c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
           c == u'*';
}

// Splits a device path into names, resolving "." and "..". A drive prefix ("C:") is ignored.
bool SplitPath(const WCHAR* path, std::vector<std::u16string>& names) {
    names.clear();
    if (path == nullptr) {
        return false;
    }
    const WCHAR* p = path;
    if (p[0] != 0 && p[1] == u':') {
        p += 2;
    }
    std::u16string current;
    const auto finish = [&]() {
        if (current == TEXT("..")) {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (!current.empty() && current != TEXT(".")) {
            names.push_back(current);
        }
        current.clear();
    };
    for (; *p != 0; ++p) {
        if (*p == u'\\' || *p == u'/') {
            finish();
        } else if (IsReservedCharacter(*p)) {
            return false;
        } else {
            current += *p;
        }
    }
    finish();
    return true;
}

std::u16string KeyOf(const std::vector<std::u16string>& names) {
    std::u16string key;
    for (const std::u16string& name : names) {
        key += u'\\';
        for (const WCHAR c : name) {
            key += FoldCase(c);
        }
    }
    return key.empty() ? std::u16string(TEXT("\\")) : key;
}

// The entry of `folder` whose name matches `name` without regard to case, if any.
bool FindEntry(const fs::path& folder, const std::u16string& name, std::string& actual) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::u16string candidate = sim::detail::FromUtf8(entry.path().filename().string());
        if (sim::detail::EqualNoCase(candidate, name)) {
            actual = entry.path().filename().string();
            return true;
        }
    }
    return false;
}

bool Resolve(const WCHAR* path, Resolved& out, DWORD& error) {
    std::vector<std::u16string> names;
    if (!SplitPath(path, names)) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    out = Resolved();
    out.host = Root();
    out.key = KeyOf(names);
    // Every folder on the way must exist; the last name may be missing (a file to create).
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        std::string actual;
        if (!FindEntry(out.host, names[i], actual) || !fs::is_directory(out.host / actual)) {
            return true;  // the parent does not exist
        }
        out.host /= actual;
    }
    out.parentExists = true;
    if (names.empty()) {
        out.exists = true;
        out.directory = true;
        return true;
    }
    std::string actual;
    out.exists = FindEntry(out.host, names.back(), actual);
    out.host /= out.exists ? actual : sim::detail::ToUtf8(names.back());
    std::error_code ignored;
    out.directory = out.exists && fs::is_directory(out.host, ignored);
    return true;
}

// Resolves, or fails the call with the platform's error for a path that leads nowhere.
bool ResolveExisting(const WCHAR* path, Resolved& out) {
    DWORD error = ERROR_SUCCESS;
    if (!Resolve(path, out, error)) {
        return Fail(error, false);
    }
    if (!out.parentExists) {
        return Fail(ERROR_PATH_NOT_FOUND, false);
    }
    if (!out.exists) {
        return Fail(ERROR_FILE_NOT_FOUND, false);
    }
    return true;
}

DWORD StoredAttributes(const std::u16string& key) {
    const auto found = State().attributes.find(key);
    return found == State().attributes.end() ? 0 : found->second;
}

DWORD AttributesOf(const Resolved& resolved) {
    const DWORD stored = StoredAttributes(resolved.key);
    if (resolved.directory) {
        return FILE_ATTRIBUTE_DIRECTORY | stored;
    }
    return stored == 0 ? FILE_ATTRIBUTE_NORMAL : stored;
}

FILETIME ToFileTime(const struct timespec& time) {
    constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ULL +
        static_cast<std::uint64_t>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool SharingAllows(const std::u16string& key, DWORD access, DWORD share) {
    return std::none_of(State().open.begin(), State().open.end(), [&](const OpenFile* file) {
        return file->key == key &&
               (((access & GENERIC_READ) != 0 && (file->share & FILE_SHARE_READ) == 0) ||
                ((access & GENERIC_WRITE) != 0 && (file->share & FILE_SHARE_WRITE) == 0) ||
                ((file->access & GENERIC_READ) != 0 && (share & FILE_SHARE_READ) == 0) ||
                ((file->access & GENERIC_WRITE) != 0 && (share & FILE_SHARE_WRITE) == 0));
    });
}

bool OpenWithoutDeleteSharing(const std::u16string& key) {
    return std::any_of(State().open.begin(), State().open.end(), [&key](const OpenFile* file) {
        return file->key == key && (file->share & FILE_SHARE_DELETE) == 0;
    });
}

// Windows wildcards: '*' any run of characters, '?' any one; "*.*" matches every name, with or
// without a dot, and a trailing ".*" may match nothing.
bool MatchFrom(const WCHAR* pattern, const WCHAR* name) {
    if (*pattern == 0) {
        return *name == 0;
    }
    if (*pattern == u'*') {
        for (const WCHAR* rest = name;; ++rest) {
            if (MatchFrom(pattern + 1, rest)) {
                return true;
            }
            if (*rest == 0) {
                return false;
            }
        }
    }
    if (*name == 0) {
        return false;
    }
    if (*pattern == u'?' || FoldCase(*pattern) == FoldCase(*name)) {
        return MatchFrom(pattern + 1, name + 1);
    }
    return false;
}

bool WildcardMatches(const std::u16string& pattern, const std::u16string& name) {
    if (MatchFrom(pattern.c_str(), name.c_str())) {
        return true;
    }
    const std::size_t size = pattern.size();
    if (size >= 2 && pattern.compare(size - 2, 2, TEXT(".*")) == 0) {
        return MatchFrom(pattern.substr(0, size - 2).c_str(), name.c_str());
    }
    return false;
}

HANDLE NewSearchHandle() {
    static ULONG_PTR next = 0x800000;
    next += 4;
    return reinterpret_cast<HANDLE>(next);
}

void LogDeletion(const WCHAR* path, DWORD error) {
    sim::Event event;
    event.kind = error == ERROR_SUCCESS ? sim::EventKind::FileDeleted : sim::EventKind::FileKept;
    event.path = path;
    event.result = error;
    sim::detail::Log(std::move(event));
}

}  // namespace

namespace sim {

std::string FileSystemRoot() {
    return Root().string();
}

namespace detail {

void ResetFiles() {
    FileSystem& state = State();
    if (!state.root.empty()) {
        std::error_code ignored;
        fs::remove_all(state.root, ignored);
        state.root.clear();
    }
    state.attributes.clear();
    state.searches.clear();
    Faults() = FileFaults();
    // Open files are kernel objects; the handle table drops them.
}

int OpenSearches() {
    return static_cast<int>(State().searches.size());
}

bool IsExistingFile(const WCHAR* path) {
    Resolved resolved;
    DWORD error = ERROR_SUCCESS;
    return Resolve(path, resolved, error) && resolved.exists && !resolved.directory;
}

std::u16string PathKey(const WCHAR* path) {
    std::vector<std::u16string> names;
    SplitPath(path, names);
    return KeyOf(names);
}

}  // namespace detail
}  // namespace sim

namespace {

// CreateFileW without the handle: the checks and the opening that a stream's open shares.
std::shared_ptr<OpenFile> OpenDeviceFile(LPCWSTR path, DWORD access, DWORD share, DWORD disposition,
                                         DWORD flagsAndAttributes) {
    Resolved resolved;
    DWORD error = ERROR_SUCCESS;
    if (!Resolve(path, resolved, error)) {
        return Fail(error, nullptr);
    }
    if (!resolved.parentExists) {
        return Fail(ERROR_PATH_NOT_FOUND, nullptr);
    }
    if (resolved.directory) {
        return Fail(ERROR_ACCESS_DENIED, nullptr);
    }
    const bool writes = (access & GENERIC_WRITE) != 0;
    const bool readOnly = (StoredAttributes(resolved.key) & FILE_ATTRIBUTE_READONLY) != 0;
    bool truncate = false;
    switch (disposition) {
        case CREATE_NEW:
            if (resolved.exists) {
                return Fail(ERROR_FILE_EXISTS, nullptr);
            }
            break;
        case CREATE_ALWAYS:
            truncate = resolved.exists;
            break;
        case OPEN_EXISTING:
            if (!resolved.exists) {
                return Fail(ERROR_FILE_NOT_FOUND, nullptr);
            }
            break;
        case OPEN_ALWAYS:
            break;
        case TRUNCATE_EXISTING:
            if (!resolved.exists) {
                return Fail(ERROR_FILE_NOT_FOUND, nullptr);
            }
            if (!writes) {
                return Fail(ERROR_INVALID_PARAMETER, nullptr);
            }
            truncate = true;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    if (resolved.exists && readOnly && (writes || truncate)) {
        return Fail(ERROR_ACCESS_DENIED, nullptr);
    }
    if (resolved.exists && (writes || truncate) && sim::detail::IsRunningProgram(resolved.key)) {
        return Fail(ERROR_SHARING_VIOLATION, nullptr);  // a running program's file
    }
    if (!SharingAllows(resolved.key, access, share)) {
        return Fail(ERROR_SHARING_VIOLATION, nullptr);
    }
    const int fd = open(resolved.host.c_str(), O_RDWR | O_CREAT | (truncate ? O_TRUNC : 0), 0644);
    if (fd < 0) {
        return Fail(ERROR_ACCESS_DENIED, nullptr);
    }
    if (!resolved.exists) {
        State().attributes[resolved.key] =
            (flagsAndAttributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    }
    SetLastError(resolved.exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return std::make_shared<OpenFile>(resolved.key, fd, access, share);
}

// Takes the pending fault of that kind, if any.
bool TakeFault(DWORD& pending, DWORD& error) {
    error = pending;
    pending = 0;
    return error != 0;
}

}  // namespace

namespace sim {

void FailNextFileCall(FileCall call, DWORD error) {
    (call == FileCall::Read ? Faults().read : Faults().write) = error;
}

namespace detail {

std::shared_ptr<KernelObject> OpenFileObject(const WCHAR* path, DWORD access, DWORD share,
                                             DWORD disposition) {
    return OpenDeviceFile(path, access, share, disposition, 0);
}

int HostDescriptor(const KernelObject& file) {
    return dynamic_cast<const OpenFile&>(file).fd;
}

bool TakeFileFault(FileCall call, DWORD& error) {
    return TakeFault(call == FileCall::Read ? Faults().read : Faults().write, error);
}

}  // namespace detail
}  // namespace sim

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE /*hTemplateFile*/) {
    if (Refused(CallKind::File, "CreateFileW")) {
        return Fail(ERROR_DISK_FULL, INVALID_HANDLE_VALUE);
    }
    auto file = OpenDeviceFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                               dwFlagsAndAttributes);
    return file ? sim::detail::AddKernelHandle(std::move(file)) : INVALID_HANDLE_VALUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED /*lpOverlapped*/) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    if (!file) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (lpNumberOfBytesRead == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    *lpNumberOfBytesRead = 0;
    if ((file->access & GENERIC_READ) == 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    DWORD fault = ERROR_SUCCESS;
    if (TakeFault(Faults().read, fault)) {
        return Fail(fault, FALSE);
    }
    if (Refused(CallKind::File, "ReadFile")) {
        return Fail(ERROR_READ_FAULT, FALSE);
    }
    const ssize_t count = read(file->fd, lpBuffer, nNumberOfBytesToRead);
    if (count < 0) {
        return Fail(ERROR_READ_FAULT, FALSE);
    }
    *lpNumberOfBytesRead = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED /*lpOverlapped*/) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    if (!file) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    if ((file->access & GENERIC_WRITE) == 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    DWORD fault = ERROR_SUCCESS;
    if (TakeFault(Faults().write, fault)) {
        return Fail(fault, FALSE);
    }
    if (Refused(CallKind::File, "WriteFile")) {
        return Fail(ERROR_DISK_FULL, FALSE);
    }
    const ssize_t count = write(file->fd, lpBuffer, nNumberOfBytesToWrite);
    if (count < 0) {
        return Fail(ERROR_WRITE_FAULT, FALSE);
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = static_cast<DWORD>(count);
    }
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    struct stat info {};
    if (!file || fstat(file->fd, &info) != 0) {
        return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    }
    // The failure value is also a valid low half: the last-error value tells them apart.
    if (Refused(CallKind::File, "GetFileSize")) {
        return Fail(ERROR_READ_FAULT, INVALID_FILE_SIZE);
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    if (!file) {
        return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    }
    if (Refused(CallKind::File, "SetFilePointer")) {
        return Fail(ERROR_SEEK, INVALID_SET_FILE_POINTER);
    }
    // Without a high half the distance is a signed 32-bit value and the position must stay
    // within 32 bits; with one, the two halves make a signed 64-bit distance.
    std::int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<std::int64_t>(
            static_cast<std::uint64_t>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32 |
            static_cast<DWORD>(lDistanceToMove));
    }
    std::int64_t base = 0;
    if (dwMoveMethod == FILE_CURRENT) {
        base = lseek(file->fd, 0, SEEK_CUR);
        if (base < 0) {
            return Fail(ERROR_SEEK, INVALID_SET_FILE_POINTER);
        }
    } else if (dwMoveMethod == FILE_END) {
        struct stat info {};
        if (fstat(file->fd, &info) != 0) {
            return Fail(ERROR_SEEK, INVALID_SET_FILE_POINTER);
        }
        base = info.st_size;
    } else if (dwMoveMethod != FILE_BEGIN) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    const std::int64_t position = base + distance;
    if (position < 0) {
        return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    }
    if (lpDistanceToMoveHigh == nullptr && position >= std::int64_t{INVALID_SET_FILE_POINTER}) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    // Past what the host's file system can hold, the pointer stays where it was.
    if (lseek(file->fd, static_cast<off_t>(position), SEEK_SET) < 0) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    if (!file) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if ((file->access & GENERIC_WRITE) == 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (Refused(CallKind::File, "SetEndOfFile")) {
        return Fail(ERROR_DISK_FULL, FALSE);
    }
    const off_t position = lseek(file->fd, 0, SEEK_CUR);
    return position >= 0 && ftruncate(file->fd, position) == 0 ? TRUE
                                                               : Fail(ERROR_DISK_FULL, FALSE);
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
    const auto file = sim::detail::FindKernelObjectOf<OpenFile>(hFile);
    struct stat info {};
    if (!file || fstat(file->fd, &info) != 0) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (Refused(CallKind::File, "GetFileTime")) {
        return Fail(ERROR_READ_FAULT, FALSE);
    }
    if (lpCreationTime != nullptr) {
        *lpCreationTime = ToFileTime(info.st_ctim);
    }
    if (lpLastAccessTime != nullptr) {
        *lpLastAccessTime = ToFileTime(info.st_atim);
    }
    if (lpLastWriteTime != nullptr) {
        *lpLastWriteTime = ToFileTime(info.st_mtim);
    }
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    if (Refused(CallKind::File, "DeleteFileW")) {
        LogDeletion(lpFileName, ERROR_ACCESS_DENIED);
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    Resolved resolved;
    DWORD error = ERROR_SUCCESS;
    if (!Resolve(lpFileName, resolved, error)) {
        // nothing to record: the name itself is malformed
    } else if (!resolved.parentExists) {
        error = ERROR_PATH_NOT_FOUND;
    } else if (!resolved.exists) {
        error = ERROR_FILE_NOT_FOUND;
    } else if (resolved.directory ||
               (StoredAttributes(resolved.key) & FILE_ATTRIBUTE_READONLY) != 0 ||
               sim::detail::IsRunningProgram(resolved.key)) {
        error = ERROR_ACCESS_DENIED;
    } else if (OpenWithoutDeleteSharing(resolved.key)) {
        error = ERROR_SHARING_VIOLATION;
    } else {
        std::error_code removal;
        fs::remove(resolved.host, removal);
        if (removal) {
            error = ERROR_ACCESS_DENIED;
        } else {
            State().attributes.erase(resolved.key);
        }
    }
    LogDeletion(lpFileName, error);
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    if (Refused(CallKind::File, "CreateDirectoryW")) {
        return Fail(ERROR_DISK_FULL, FALSE);
    }
    Resolved resolved;
    DWORD error = ERROR_SUCCESS;
    if (!Resolve(lpPathName, resolved, error)) {
        return Fail(error, FALSE);
    }
    if (!resolved.parentExists) {
        return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    }
    if (resolved.exists) {
        return Fail(ERROR_ALREADY_EXISTS, FALSE);
    }
    std::error_code creation;
    fs::create_directory(resolved.host, creation);
    return creation ? Fail(ERROR_ACCESS_DENIED, FALSE) : TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    if (Refused(CallKind::File, "RemoveDirectoryW")) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    Resolved resolved;
    if (!ResolveExisting(lpPathName, resolved)) {
        return FALSE;
    }
    if (!resolved.directory) {
        return Fail(ERROR_DIRECTORY, FALSE);
    }
    if ((StoredAttributes(resolved.key) & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (!fs::is_empty(resolved.host)) {
        return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
    }
    std::error_code removal;
    fs::remove(resolved.host, removal);
    State().attributes.erase(resolved.key);
    return removal ? Fail(ERROR_ACCESS_DENIED, FALSE) : TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    if (Refused(CallKind::File, "GetFileAttributesW")) {
        return Fail(ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES);
    }
    Resolved resolved;
    if (!ResolveExisting(lpFileName, resolved)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(resolved);
}

BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    if (Refused(CallKind::File, "SetFileAttributesW")) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    Resolved resolved;
    if (!ResolveExisting(lpFileName, resolved)) {
        return FALSE;
    }
    State().attributes[resolved.key] = dwFileAttributes & kKeptAttributes;
    return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if (Refused(CallKind::Search, "FindFirstFileW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, INVALID_HANDLE_VALUE);
    }
    const std::u16string full(lpFileName);
    const std::size_t split = full.find_last_of(TEXT("\\/"));
    const std::u16string folder =
        split == std::u16string::npos ? std::u16string() : full.substr(0, split + 1);
    const std::u16string pattern = split == std::u16string::npos ? full : full.substr(split + 1);
    if (pattern.empty()) {
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    Resolved where;
    DWORD error = ERROR_SUCCESS;
    if (!Resolve(folder.empty() ? TEXT("\\") : folder.c_str(), where, error)) {
        return Fail(error, INVALID_HANDLE_VALUE);
    }
    if (!where.exists || !where.directory) {
        return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    std::vector<WIN32_FIND_DATAW> entries;
    std::error_code listing;
    for (const auto& entry : fs::directory_iterator(where.host, listing)) {
        const std::u16string name = sim::detail::FromUtf8(entry.path().filename().string());
        if (name.size() >= MAX_PATH || !WildcardMatches(pattern, name)) {
            continue;
        }
        Resolved item;
        item.host = entry.path();
        item.key = where.key == TEXT("\\") ? std::u16string() : where.key;
        item.key += u'\\';
        for (const WCHAR c : name) {
            item.key += FoldCase(c);
        }
        item.exists = true;
        item.directory = entry.is_directory();
        struct stat info {};
        stat(entry.path().c_str(), &info);
        WIN32_FIND_DATAW data{};
        data.dwFileAttributes = AttributesOf(item);
        data.ftCreationTime = ToFileTime(info.st_ctim);
        data.ftLastAccessTime = ToFileTime(info.st_atim);
        data.ftLastWriteTime = ToFileTime(info.st_mtim);
        const auto size = item.directory ? 0 : static_cast<std::uint64_t>(info.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
        std::copy(name.begin(), name.end(), data.cFileName);
        entries.push_back(data);
    }
    if (entries.empty()) {
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return sim::detail::CompareNoCase(a.cFileName, b.cFileName) < 0;
    });
    *lpFindFileData = entries.front();
    entries.erase(entries.begin());
    const HANDLE handle = NewSearchHandle();
    State().searches.emplace(handle, std::move(entries));
    return handle;
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    const auto found = State().searches.find(hFindFile);
    if (found == State().searches.end()) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (Refused(CallKind::Search, "FindNextFileW")) {
        return Fail(ERROR_READ_FAULT, FALSE);
    }
    auto& remaining = found->second;
    if (remaining.empty()) {
        return Fail(ERROR_NO_MORE_FILES, FALSE);
    }
    *lpFindFileData = remaining.front();
    remaining.erase(remaining.begin());
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    if (State().searches.erase(hFindFile) != 1) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    // A close that fails has still ended the search.
    return Refused(CallKind::Search, "FindClose") ? Fail(ERROR_INVALID_HANDLE, FALSE) : TRUE;
}
