// System information, the system's message texts, local memory and loadable libraries. The
// device reports Windows CE 3.0 on a Pocket PC until told otherwise; its message table holds the
// common codes in the platform's own English wording; a library is a registered list of exports
// that take no arguments, reached through a fixed set of entry points.
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::CallKind;
using sim::detail::Fail;
using sim::detail::Refused;

// Pocket PC 2002, the common CE 3.0 build.
constexpr DWORD kCeBuildNumber = 11171;

struct Library {
    std::u16string path;  // as registered, for lookups by file name
    std::map<std::string, int> calls;
    int loads = 0;
    int references = 0;  // LoadLibraryW calls not yet given back
    HMODULE handle = nullptr;
};

// An entry point handed out by GetProcAddressW: which export of which library it stands for.
struct ExportSlot {
    std::u16string libraryKey;
    std::string name;
};

struct System {
    DWORD major = 3;
    DWORD minor = 0;
    bool hasPlatformType = true;
    std::u16string platformType = TEXT("PocketPC");
    bool failNextVersionQuery = false;
    DWORD processorType = PROCESSOR_STRONGARM;
    std::map<HLOCAL, std::unique_ptr<WCHAR[]>> localMemory;
    std::map<std::u16string, Library> libraries;  // by path key
    std::vector<ExportSlot> slots;
};

System& State() {
    static System system;
    return system;
}

// ---- Message table ------------------------------------------------------------------------------

struct Message {
    DWORD code;
    const WCHAR* text;
};

// The platform's wording, each text ending with a line break as the system's table has it.
constexpr Message kMessages[] = {
    {0, TEXT("The operation completed successfully.\r\n")},
    {1, TEXT("Incorrect function.\r\n")},
    {2, TEXT("The system cannot find the file specified.\r\n")},
    {3, TEXT("The system cannot find the path specified.\r\n")},
    {4, TEXT("The system cannot open the file.\r\n")},
    {5, TEXT("Access is denied.\r\n")},
    {6, TEXT("The handle is invalid.\r\n")},
    {8, TEXT("Not enough storage is available to process this command.\r\n")},
    {14, TEXT("Not enough storage is available to complete this operation.\r\n")},
    {18, TEXT("There are no more files.\r\n")},
    {29, TEXT("The system cannot write to the specified device.\r\n")},
    {30, TEXT("The system cannot read from the specified device.\r\n")},
    {32, TEXT("The process cannot access the file because it is being used by another ")
             TEXT("process.\r\n")},
    {38, TEXT("Reached the end of the file.\r\n")},
    {80, TEXT("The file exists.\r\n")},
    {87, TEXT("The parameter is incorrect.\r\n")},
    {122, TEXT("The data area passed to a system call is too small.\r\n")},
    {123, TEXT("The filename, directory name, or volume label syntax is incorrect.\r\n")},
    {126, TEXT("The specified module could not be found.\r\n")},
    {127, TEXT("The specified procedure could not be found.\r\n")},
    {145, TEXT("The directory is not empty.\r\n")},
    {183, TEXT("Cannot create a file when that file already exists.\r\n")},
    {193, TEXT("%1 is not a valid Win32 application.\r\n")},
    {234, TEXT("More data is available.\r\n")},
    {255, TEXT("The extended attributes are inconsistent.\r\n")},
    {259, TEXT("No more data is available.\r\n")},
    {1400, TEXT("Invalid window handle.\r\n")},
};

const WCHAR* MessageText(DWORD code) {
    for (const Message& message : kMessages) {
        if (message.code == code) {
            return message.text;
        }
    }
    return nullptr;
}

bool HasInserts(const std::u16string& text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'%' && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            return true;
        }
    }
    return false;
}

// The languages the table is written in: the neutral and default choices, and US English.
bool IsTableLanguage(DWORD language) {
    return language == 0 || language == 0x0400 || language == 0x0409;
}

// ---- Libraries ------------------------------------------------------------------------------

// Module handles keep growing across resets, so a stale handle never names a new library.
HMODULE NewModuleHandle() {
    static ULONG_PTR next = 0x10000000;
    next += 0x10000;
    return reinterpret_cast<HMODULE>(next);
}

// The program's own module, as GetModuleHandleW(nullptr) names it.
const HMODULE kProgramModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x00010000));

Library* LibraryByHandle(HMODULE handle) {
    for (auto& entry : State().libraries) {
        if (entry.second.references > 0 && entry.second.handle == handle) {
            return &entry.second;
        }
    }
    return nullptr;
}

std::u16string FileNameOf(const std::u16string& path) {
    const std::size_t split = path.find_last_of(TEXT("\\/"));
    return split == std::u16string::npos ? path : path.substr(split + 1);
}

bool HasFolder(const WCHAR* path) {
    for (const WCHAR* p = path; *p != 0; ++p) {
        if (*p == u'\\' || *p == u'/') {
            return true;
        }
    }
    return false;
}

// Where the loader looks for a library: a path with a folder is taken as it is; a bare name is
// looked for in \Windows and then in the root, as the device does.
std::vector<std::u16string> LibraryCandidates(const WCHAR* name) {
    if (HasFolder(name)) {
        return {std::u16string(name)};
    }
    return {std::u16string(TEXT("\\Windows\\")) + name, std::u16string(TEXT("\\")) + name};
}

constexpr std::size_t kExportSlots = 16;

LONG CallExport(std::size_t slot) {
    System& state = State();
    const ExportSlot& target = state.slots.at(slot);
    Library& library = state.libraries.at(target.libraryKey);
    if (library.references == 0) {
        std::fprintf(stderr, "simulated device: %s of %s called after the library was unloaded\n",
                     target.name.c_str(), sim::detail::ToUtf8(library.path).c_str());
        std::abort();
    }
    ++library.calls[target.name];
    return S_OK;
}

// A fixed entry point per slot, since a plain function pointer carries no state of its own.
template <std::size_t Slot>
LONG WINAPI ExportEntry() {
    return CallExport(Slot);
}

using ExportFunction = LONG(WINAPI*)();

template <std::size_t... Slots>
constexpr std::array<ExportFunction, sizeof...(Slots)> MakeExportEntries(
    std::index_sequence<Slots...> /*slots*/) {
    return {&ExportEntry<Slots>...};
}

constexpr std::array<ExportFunction, kExportSlots> kExportEntries =
    MakeExportEntries(std::make_index_sequence<kExportSlots>());

bool IsExportName(const std::string& name, LPCWSTR wanted) {
    std::size_t i = 0;
    for (; wanted[i] != 0; ++i) {
        if (i == name.size() || static_cast<unsigned char>(name[i]) != wanted[i]) {
            return false;
        }
    }
    return i == name.size();
}

}  // namespace

namespace sim {

void SetOsVersion(DWORD major, DWORD minor) {
    State().major = major;
    State().minor = minor;
}

void SetPlatformType(const WCHAR* type) {
    State().hasPlatformType = type != nullptr;
    State().platformType = type == nullptr ? std::u16string() : std::u16string(type);
}

void FailNextVersionQuery() {
    State().failNextVersionQuery = true;
}

void SetProcessorType(DWORD type) {
    State().processorType = type;
}

void RegisterLibrary(const WCHAR* path, const std::vector<std::string>& exports) {
    System& state = State();
    const std::u16string key = detail::PathKey(path);
    Library library;
    library.path = path;
    for (const std::string& name : exports) {
        if (state.slots.size() == kExportSlots) {
            std::fprintf(stderr, "simulated device: more than %zu library exports\n", kExportSlots);
            std::abort();
        }
        state.slots.push_back(ExportSlot{key, name});
    }
    state.libraries[key] = std::move(library);
}

int LibraryLoads(const WCHAR* path) {
    const auto found = State().libraries.find(detail::PathKey(path));
    return found == State().libraries.end() ? 0 : found->second.loads;
}

int ExportCalls(const WCHAR* path, const char* name) {
    const auto found = State().libraries.find(detail::PathKey(path));
    if (found == State().libraries.end()) {
        return 0;
    }
    const auto calls = found->second.calls.find(name);
    return calls == found->second.calls.end() ? 0 : calls->second;
}

namespace detail {

void ResetSystem() {
    State() = System();
}

int OpenLibraries() {
    int references = 0;
    for (const auto& entry : State().libraries) {
        references += entry.second.references;
    }
    return references;
}

int OpenLocalMemory() {
    return static_cast<int>(State().localMemory.size());
}

}  // namespace detail
}  // namespace sim

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    if (lpVersionInformation == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    System& state = State();
    if (state.failNextVersionQuery) {
        state.failNextVersionQuery = false;
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (Refused(CallKind::System, "GetVersionExW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    lpVersionInformation->dwMajorVersion = state.major;
    lpVersionInformation->dwMinorVersion = state.minor;
    lpVersionInformation->dwBuildNumber = kCeBuildNumber;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_CE;
    lpVersionInformation->szCSDVersion[0] = 0;
    return TRUE;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    // A PXA250 as CE 3.0 describes it: one processor, 4 KB pages, 64 KB allocation granules,
    // the 32 MB slot of a process.
    *lpSystemInfo = SYSTEM_INFO{};
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM;
    lpSystemInfo->dwPageSize = 4096;
    lpSystemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x01FFFFFF);
    lpSystemInfo->dwActiveProcessorMask = 1;
    lpSystemInfo->dwNumberOfProcessors = 1;
    lpSystemInfo->dwProcessorType = State().processorType;
    lpSystemInfo->dwAllocationGranularity = 0x10000;
    lpSystemInfo->wProcessorLevel = 4;
}

BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT uiParam, PVOID pvParam, UINT /*fWinIni*/) {
    if (Refused(CallKind::System, "SystemParametersInfoW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    const System& state = State();
    if (uiAction != SPI_GETPLATFORMTYPE || pvParam == nullptr || !state.hasPlatformType) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    // The size is in bytes, and the text goes out whole with its terminating zero or not at all.
    const std::size_t units = state.platformType.size() + 1;
    if (uiParam < units * sizeof(WCHAR)) {
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::copy_n(state.platformType.c_str(), units, static_cast<WCHAR*>(pvParam));
    return TRUE;
}

// Only the system's own table, with its inserts left as they are: the device fills none in.
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId,
                            DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                            va_list* /*Arguments*/) {
    const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (lpBuffer == nullptr || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0) {
        return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
    }
    if (allocate) {
        *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
    }
    if (Refused(CallKind::System, "FormatMessageW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD{0});
    }
    if (!IsTableLanguage(dwLanguageId)) {
        return Fail(ERROR_RESOURCE_LANG_NOT_FOUND, DWORD{0});
    }
    const WCHAR* found = MessageText(dwMessageId);
    if (found == nullptr) {
        return Fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
    }
    const std::u16string text(found);
    if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && HasInserts(text)) {
        return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
    }
    const std::size_t units = text.size() + 1;
    if (allocate) {
        // nSize is then the least the block holds.
        auto block = std::make_unique<WCHAR[]>(units > nSize ? units : nSize);
        std::copy_n(text.c_str(), units, block.get());
        *reinterpret_cast<LPWSTR*>(lpBuffer) = block.get();
        const HLOCAL handle = block.get();
        State().localMemory.emplace(handle, std::move(block));
    } else {
        if (nSize < units) {
            return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
        }
        std::copy_n(text.c_str(), units, lpBuffer);
    }
    return static_cast<DWORD>(text.size());
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem == nullptr) {
        return nullptr;
    }
    if (State().localMemory.erase(hMem) == 0) {
        return Fail(ERROR_INVALID_HANDLE, hMem);
    }
    // A release that fails has still let go of the block.
    return Refused(CallKind::Heap, "LocalFree") ? Fail(ERROR_INVALID_HANDLE, hMem) : nullptr;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr || lpLibFileName[0] == 0) {
        return Fail(ERROR_INVALID_PARAMETER, static_cast<HMODULE>(nullptr));
    }
    if (Refused(CallKind::Library, "LoadLibraryW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HMODULE>(nullptr));
    }
    for (const std::u16string& candidate : LibraryCandidates(lpLibFileName)) {
        if (!sim::detail::IsExistingFile(candidate.c_str())) {
            continue;
        }
        const auto found = State().libraries.find(sim::detail::PathKey(candidate.c_str()));
        if (found == State().libraries.end()) {
            return Fail(ERROR_BAD_EXE_FORMAT, static_cast<HMODULE>(nullptr));
        }
        Library& library = found->second;
        if (library.references++ == 0) {
            ++library.loads;
            library.handle = NewModuleHandle();
        }
        return library.handle;
    }
    return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    Library* library = LibraryByHandle(hLibModule);
    if (library == nullptr) {
        return Fail(ERROR_MOD_NOT_FOUND, FALSE);
    }
    if (--library->references == 0) {
        library->handle = nullptr;
    }
    // A release that fails has still let go of the library.
    return Refused(CallKind::Library, "FreeLibrary") ? Fail(ERROR_INVALID_HANDLE, FALSE) : TRUE;
}

FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
    const Library* library = LibraryByHandle(hModule);
    if (library == nullptr) {
        return Fail(ERROR_INVALID_HANDLE, static_cast<FARPROC>(nullptr));
    }
    if (Refused(CallKind::Library, "GetProcAddressW")) {
        return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
    }
    // Names only: a value below 0x10000 would be an ordinal, which no library here has.
    if (reinterpret_cast<ULONG_PTR>(lpProcName) < 0x10000) {
        return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
    }
    const std::vector<ExportSlot>& slots = State().slots;
    const std::u16string key = sim::detail::PathKey(library->path.c_str());
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        if (slots[slot].libraryKey == key && IsExportName(slots[slot].name, lpProcName)) {
            // Through the generic function type, as the loader hands out every export.
            using AnyFunction = void (*)();
            return reinterpret_cast<FARPROC>(
                reinterpret_cast<AnyFunction>(kExportEntries.at(slot)));
        }
    }
    return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    if (lpModuleName == nullptr) {
        return kProgramModule;
    }
    const bool byPath = HasFolder(lpModuleName);
    const std::u16string wanted = byPath ? sim::detail::PathKey(lpModuleName) : lpModuleName;
    for (const auto& entry : State().libraries) {
        const Library& library = entry.second;
        if (library.references == 0) {
            continue;
        }
        if (byPath ? entry.first == wanted
                   : sim::detail::EqualNoCase(FileNameOf(library.path), wanted)) {
            return library.handle;
        }
    }
    return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}
