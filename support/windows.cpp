#include "support/windows.h"

#include "support/compat.h"
#include "support/fixed_buffer.h"

namespace {

constexpr DWORD kControlTextUnits = 260;
constexpr WCHAR kNoTextDelivered = 0xFFFF;  // a noncharacter: no control text holds it
constexpr int kClassNameUnits = 32;
constexpr DWORD kPlatformTypeBytes = 1024;
constexpr std::size_t kErrorMessageUnits = 1024;
constexpr std::size_t kCodeLineUnits = 32;

constexpr DWORD kPocketPcMajorVersion = 3;
constexpr WCHAR kPocketPcPlatformType[] = TEXT("PocketPC");

constexpr WCHAR kCodeLineHead[] = TEXT("\n\nSystem Error: ");
constexpr WCHAR kCodeLineTail[] = TEXT("\n\n");
constexpr WCHAR kSystemErrorCaption[] = TEXT("System Error");
constexpr WCHAR kUnknownErrorText[] = TEXT("Unknown error.");
constexpr UINT kSystemErrorBoxFlags = MB_OK | MB_ICONSTOP;
// The platform allocates the text, leaves inserts alone and takes it from its own table.
constexpr DWORD kSystemMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

constexpr WCHAR kRegisterServerExport[] = TEXT("DllRegisterServer");
using RegisterServerEntry = HRESULT(WINAPI*)();

bool HasClassName(HWND window, LPCWSTR className) {
    WCHAR name[kClassNameUnits] = {};
    // A window that has gone meanwhile has no name, and so matches nothing, not even "".
    return GetClassNameW(window, name, kClassNameUnits) > 0 && _wcsicmp(name, className) == 0;
}

HWND FindBelow(HWND parent, LPCWSTR className, bool descend) {
    for (HWND window = GetWindow(parent, GW_CHILD); window != nullptr;
         window = GetWindow(window, GW_HWNDNEXT)) {
        if (HasClassName(window, className)) {
            return window;
        }
        if (descend) {
            if (const HWND found = FindBelow(window, className, true)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool IsHighSurrogate(WCHAR unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Appends as much of `text` as keeps the message at most `limit` units long, and terminates it.
// A cut never leaves half of a surrogate pair behind. Returns the message's new length.
std::size_t AppendWithin(WCHAR* message, std::size_t length, std::size_t limit, LPCWSTR text) {
    std::size_t taken = 0;
    for (; text != nullptr && text[taken] != 0 && length + taken < limit; ++taken) {
        message[length + taken] = text[taken];
    }
    if (taken > 0 && text[taken] != 0 && IsHighSurrogate(text[taken - 1])) {
        --taken;
    }
    message[length + taken] = 0;
    return length + taken;
}

// "\n\nSystem Error: " with the code in lowercase hexadecimal, no prefix or leading zeros, and
// "\n\n"; returns its length.
std::size_t FormatCodeLine(DWORD code, WCHAR (&line)[kCodeLineUnits]) {
    constexpr WCHAR kHexDigits[] = TEXT("0123456789abcdef");
    WCHAR digits[2 * sizeof code + 1] = {};
    std::size_t first = 2 * sizeof code;
    do {
        digits[--first] = kHexDigits[code & 0xF];
        code >>= 4;
    } while (code != 0);
    std::size_t length = AppendWithin(line, 0, kCodeLineUnits - 1, kCodeLineHead);
    length = AppendWithin(line, length, kCodeLineUnits - 1, digits + first);
    return AppendWithin(line, length, kCodeLineUnits - 1, kCodeLineTail);
}

}  // namespace

BOOL ReadDialogItemText(HWND dialog, int itemId, LPWSTR destination, DWORD capacity) {
    const HWND control = GetDlgItem(dialog, itemId);
    if (control == nullptr) {
        return FALSE;
    }
    // The control overwrites the marker with its text, or at least with the terminating zero;
    // a marker still there after an empty answer means no text arrived (the send failed).
    WCHAR text[kControlTextUnits] = {kNoTextDelivered};
    if (SendMessageW(control, WM_GETTEXT, kControlTextUnits, reinterpret_cast<LPARAM>(text)) == 0 &&
        text[0] == kNoTextDelivered) {
        return FALSE;
    }
    // The control delivers at most 259 characters; a control that forgets the zero gives no more.
    const std::size_t length = BoundedLength(text, kControlTextUnits - 1);
    return CopyTextIfFits(text, length, destination, capacity);
}

BOOL IsPocketPcPlatform() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(&version) || version.dwMajorVersion != kPocketPcMajorVersion) {
        return FALSE;
    }
    WCHAR type[kPlatformTypeBytes / sizeof(WCHAR)] = {};
    if (!SystemParametersInfoW(SPI_GETPLATFORMTYPE, kPlatformTypeBytes, type, 0)) {
        return FALSE;
    }
    // Up to and with the terminating zero, so a longer type differs and nothing past it is read.
    const std::size_t compared = sizeof kPocketPcPlatformType / sizeof(WCHAR);
    return wcsncmp(type, kPocketPcPlatformType, compared) == 0 ? TRUE : FALSE;
}

HWND FindDescendantByClass(HWND parent, LPCWSTR className) {
    if (parent == nullptr) {
        return nullptr;
    }
    return FindBelow(parent, className, true);
}

HWND FindChildByClass(HWND parent, LPCWSTR className) {
    if (parent == nullptr) {
        return nullptr;
    }
    return FindBelow(parent, className, false);
}

HWND FindWindowByProcessId(DWORD processId) {
    if (processId == 0) {
        return nullptr;
    }
    WindowSearchRecord record{processId, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&record));
    return record.window;
}

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM record) {
    auto& search = *reinterpret_cast<WindowSearchRecord*>(record);
    DWORD processId = 0;
    // No thread: the window went during the enumeration; its process identifier means nothing.
    if (GetWindowThreadProcessId(window, &processId) == 0 || processId != search.processId) {
        return TRUE;
    }
    search.window = window;
    return FALSE;
}

int ShowSystemError(LPCWSTR text, DWORD errorCode) {
    WCHAR codeLine[kCodeLineUnits];
    const std::size_t codeLineLength = FormatCodeLine(errorCode, codeLine);

    // Room is kept for the code line first; the system's text gets whatever is left.
    constexpr std::size_t kLimit = kErrorMessageUnits - 1;
    WCHAR message[kErrorMessageUnits];
    std::size_t length = AppendWithin(message, 0, kLimit - codeLineLength, text);
    length = AppendWithin(message, length, kLimit, codeLine);

    LPWSTR systemText = nullptr;
    const DWORD systemLength = FormatMessageW(kSystemMessageFlags, nullptr, errorCode, 0,
                                              reinterpret_cast<LPWSTR>(&systemText), 0, nullptr);
    AppendWithin(message, length, kLimit,
                 systemLength > 0 && systemText != nullptr ? systemText : kUnknownErrorText);
    if (systemText != nullptr) {
        LocalFree(systemText);
    }
    return MessageBoxW(nullptr, message, kSystemErrorCaption, kSystemErrorBoxFlags);
}

BOOL RegisterServerLibrary(LPCWSTR path) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        return FALSE;
    }
    const HMODULE library = LoadLibraryW(path);
    if (library == nullptr) {
        return FALSE;
    }
    if (const FARPROC entry = GetProcAddressW(library, kRegisterServerExport)) {
        // Through the generic function type, to the entry's own: it takes nothing and its
        // result is not reported.
        using AnyFunction = void (*)();
        const auto registerServer =
            reinterpret_cast<RegisterServerEntry>(reinterpret_cast<AnyFunction>(entry));
        registerServer();
    }
    FreeLibrary(library);
    return TRUE;
}
