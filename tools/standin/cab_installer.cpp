#include "standin/cab_installer.h"

#include <string>
#include <vector>

#include "standin/start_mark.h"
#include "support/wide_string.h"

namespace {

struct Package {
    WideString setupLibrary;
    WideString folder;
    std::vector<std::pair<WideString, WideString>> copies;
    std::vector<WideString> writes;
    bool hang = false;
};

WideString PackagePath(const WideString& commandLine) {
    const std::size_t close = commandLine.rfind(u'"');
    if (close != WideString::npos && close > 0) {
        const std::size_t open = commandLine.rfind(u'"', close - 1);
        if (open != WideString::npos) {
            return commandLine.substr(open + 1, close - open - 1);
        }
    }
    const std::size_t end = commandLine.find_last_not_of(u' ');
    if (end == WideString::npos) {
        return {};
    }
    const std::size_t space = commandLine.rfind(u' ', end);
    const std::size_t start = space == WideString::npos ? 0 : space + 1;
    return commandLine.substr(start, end - start + 1);
}

bool ReadText(const WideString& path, std::string& content) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        content.append(buffer, count);
    }
    CloseHandle(file);
    return true;
}

// Package files are ASCII.
WideString Widen(const std::string& text) {
    WideString wide;
    for (const char c : text) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(c));
    }
    return wide;
}

std::vector<WideString> Fields(const std::string& line) {
    std::vector<WideString> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(Widen(line.substr(start, tab - start)));
    }
    fields.push_back(Widen(line.substr(start)));
    return fields;
}

Package Parse(const std::string& content) {
    Package package;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end;
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::vector<WideString> fields = Fields(line);
        const WideString& directive = fields[0];
        if (directive == TEXT("setup") && fields.size() == 2) {
            package.setupLibrary = fields[1];
        } else if (directive == TEXT("folder") && fields.size() == 2) {
            package.folder = fields[1];
        } else if (directive == TEXT("copy") && fields.size() == 3) {
            package.copies.emplace_back(fields[1], fields[2]);
        } else if (directive == TEXT("write") && fields.size() == 2) {
            package.writes.push_back(fields[1]);
        } else if (directive == TEXT("hang")) {
            package.hang = true;
        }
    }
    return package;
}

bool CopyOne(const WideString& source, const WideString& target) {
    std::string content;
    if (!ReadText(source, content)) {
        return false;
    }
    const HANDLE file =
        CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL wrote =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return wrote != FALSE;
}

// The mark of this start: how it was started and what it found.
void MarkStart(const WideString& commandLine, const WideString& packagePath) {
    const HKEY key = OpenStartMark(kInstallerMarkKey, commandLine.c_str());
    if (key != nullptr) {
        SetDwordMark(key, TEXT("PackageAttributes"), GetFileAttributesW(packagePath.c_str()));
        RegCloseKey(key);
    }
}

DWORD MarkResult(DWORD result) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kInstallerMarkKey, 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        SetDwordMark(key, TEXT("Result"), result);
        RegCloseKey(key);
    }
    return result;
}

LRESULT CALLBACK InstallerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The installer's own window, which owns the boxes its setup library shows.
HWND CreateInstallerWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = InstallerWindowProcedure;
    windowClass.lpszClassName = TEXT("WrenfoldCabInstaller");
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, TEXT("WrenfoldCabInstaller"), TEXT("Installing"), WS_POPUP, 0, 0, 0,
                           0, nullptr, nullptr, nullptr, nullptr);
}

DWORD Install(const Package& package, const SetupHooks& hooks, HWND owner) {
    const WideString& folder = package.folder;
    if (hooks.installInit != nullptr &&
        hooks.installInit(owner, TRUE, FALSE, folder.c_str()) == codeINSTALL_INIT_CANCEL) {
        return kInstallerCancelled;
    }
    WORD failedFiles = 0;
    for (const auto& copy : package.copies) {
        failedFiles = static_cast<WORD>(failedFiles + (CopyOne(copy.first, copy.second) ? 0 : 1));
    }
    for (const WideString& path : package.writes) {
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        } else {
            ++failedFiles;
        }
    }
    if (hooks.installExit != nullptr) {
        hooks.installExit(owner, folder.c_str(), 0, failedFiles, 0, 0, 0);
    }
    return kInstallerDone;
}

DWORD Uninstall(const Package& package, const SetupHooks& hooks, HWND owner) {
    if (hooks.uninstallInit != nullptr &&
        hooks.uninstallInit(owner, package.folder.c_str()) == codeUNINSTALL_INIT_CANCEL) {
        return kInstallerCancelled;
    }
    for (const auto& copy : package.copies) {
        DeleteFileW(copy.second.c_str());
    }
    if (hooks.uninstallExit != nullptr) {
        hooks.uninstallExit(owner);
    }
    return kInstallerDone;
}

}  // namespace

DWORD RunCabInstaller(LPCWSTR commandLine, LoadSetupHooks load, bool& hang) {
    const WideString line = commandLine == nullptr ? WideString() : WideString(commandLine);
    const WideString packagePath = PackagePath(line);
    MarkStart(line, packagePath);
    hang = false;
    std::string content;
    if (!ReadText(packagePath, content)) {
        return MarkResult(kInstallerNoPackage);
    }
    const Package package = Parse(content);
    SetupHooks hooks{};
    if (!package.setupLibrary.empty() && !load(package.setupLibrary.c_str(), hooks)) {
        hooks = SetupHooks{};
    }
    const HWND owner = CreateInstallerWindow();
    const DWORD result = line.find(TEXT("/uninstall")) != WideString::npos
                             ? Uninstall(package, hooks, owner)
                             : Install(package, hooks, owner);
    DestroyWindow(owner);
    hang = package.hang;
    return MarkResult(result);
}
