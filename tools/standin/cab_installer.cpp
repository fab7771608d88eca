#include "standin/cab_installer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "standin/file_bytes.h"
#include "standin/install_package.h"
#include "standin/start_mark.h"
#include "support/compat.h"
#include "support/wide_string.h"

namespace {

// ---- The command line ----------------------------------------------------------------------

struct Switches {
    bool deletePackage = true;  // CE deletes the package, even after a failed install
    bool noUi = false;
    bool noUninstall = false;
    bool safe = false;
};

// The last double-quoted argument, else the last word.
WideString LastArgument(const WideString& commandLine) {
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

bool HasWord(const WideString& commandLine, const WCHAR* word) {
    const WideString padded = TEXT(" ") + commandLine + TEXT(" ");
    return padded.find(TEXT(" ") + WideString(word) + TEXT(" ")) != WideString::npos;
}

Switches ReadSwitches(const WideString& commandLine) {
    Switches switches;
    switches.deletePackage = !HasWord(commandLine, TEXT("/delete 0"));
    switches.noUi = HasWord(commandLine, TEXT("/noui"));
    switches.noUninstall = HasWord(commandLine, TEXT("/nouninstall"));
    switches.safe = HasWord(commandLine, TEXT("/safe"));
    return switches;
}

// ---- The records for removal -----------------------------------------------------------------

WideString RecordPath(const WideString& name, const WCHAR* extension) {
    return WideString(kRecordFolder) + TEXT("\\") + name + extension;
}

WideString AppsKey(const WideString& name) {
    return WideString(kAppsKey) + TEXT("\\") + name;
}

DWORD ReadInstalled(const WideString& name, WideString& installDir) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AppsKey(name).c_str(), 0, kRegistryAccess, &key) !=
        ERROR_SUCCESS) {
        return 0;
    }
    DWORD installed = 0;
    DWORD size = sizeof installed;
    if (RegQueryValueExW(key, TEXT("Instl"), nullptr, nullptr, reinterpret_cast<BYTE*>(&installed),
                         &size) != ERROR_SUCCESS) {
        installed = 0;
    }
    WCHAR folder[MAX_PATH] = {};
    size = sizeof folder - sizeof(WCHAR);
    if (RegQueryValueExW(key, TEXT("InstlDir"), nullptr, nullptr, reinterpret_cast<BYTE*>(folder),
                         &size) == ERROR_SUCCESS) {
        installDir = folder;
    }
    RegCloseKey(key);
    return installed;
}

bool SetText(HKEY key, const WCHAR* name, const WideString& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

// The Apps key (listed in Remove Programs) and the list of what was installed, merged with an
// earlier installation's, whose entries the new one may not repeat.
bool WriteRemovalRecords(const Package& package, std::vector<RecordEntry> record) {
    std::vector<RecordEntry> merged;
    const WideString path = RecordPath(package.name, TEXT(".unload"));
    if (!ReadRecord(path, merged) && Exists(path)) {
        return false;  // an earlier installation's record that would be lost
    }
    for (const RecordEntry& entry : record) {
        const auto same = [&entry](const RecordEntry& other) {
            return other.kind == entry.kind && other.root == entry.root &&
                   other.path == entry.path && other.name == entry.name;
        };
        if (std::none_of(merged.begin(), merged.end(), same)) {
            merged.push_back(entry);
        }
    }
    record = merged;
    HKEY key = nullptr;
    if (!WriteRecord(path, record) ||
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, AppsKey(package.name).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD installed = 1;
    const bool written =
        RegSetValueExW(key, TEXT("Instl"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&installed),
                       sizeof installed) == ERROR_SUCCESS &&
        SetText(key, TEXT("InstlDir"), package.installDir) &&
        SetText(key, TEXT("CabFile"), package.path);
    RegCloseKey(key);
    return written;
}

// False when any of them is still there.
bool DeleteRemovalRecords(const WideString& name) {
    bool deleted = true;
    for (const WCHAR* extension : {TEXT(".dll"), TEXT(".unload")}) {
        const WideString path = RecordPath(name, extension);
        deleted = (DeleteFileW(path.c_str()) || !Exists(path)) && deleted;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AppsKey(name).c_str(), 0, kRegistryAccess, &key) ==
        ERROR_SUCCESS) {
        for (const WCHAR* value : {TEXT("Instl"), TEXT("InstlDir"), TEXT("CabFile")}) {
            RegDeleteValueW(key, value);
        }
        RegCloseKey(key);
    }
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, AppsKey(name).c_str()) == ERROR_SUCCESS && deleted;
}

// ---- The installer's run ---------------------------------------------------------------------

// The mark of this start: how it was started and what it found.
void MarkStart(const WideString& commandLine, const WideString& packagePath) {
    const HKEY key = OpenStartMark(kInstallerMarkKey, commandLine.c_str());
    if (key != nullptr) {
        SetDwordMark(key, TEXT("PackageAttributes"), GetFileAttributesW(packagePath.c_str()));
        RegCloseKey(key);
    }
}

DWORD MarkResult(DWORD result, const std::string& error = {}) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kInstallerMarkKey, 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        SetDwordMark(key, TEXT("Result"), result);
        SetText(key, TEXT("Error"), Widen(error));
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
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    return CreateWindowExW(0, TEXT("WrenfoldCabInstaller"), TEXT("Installing"), WS_POPUP, 0, 0, 0,
                           0, nullptr, nullptr, nullptr, nullptr);
}

// What a refused package tells the user, unless told to ask and say nothing.
DWORD Refuse(DWORD result, const Package& package, const std::string& error, bool noUi) {
    if (!noUi) {
        const WideString text =
            package.path + TEXT(" cannot be installed: ") + Widen(error) + TEXT(".");
        MessageBoxW(nullptr, text.c_str(), TEXT("Installation Failed"), MB_OK | MB_ICONERROR);
    }
    return MarkResult(result, error);
}

// The setup library, kept on the device under the application's name for removal, and loaded
// from there. The hooks are null when the package carries none.
struct LoadedLibrary {
    SetupHooks hooks{};
    void* token = nullptr;
    bool loaded = false;
};

bool LoadKept(const SetupLibraryLoader& loader, const WideString& path, LoadedLibrary& library) {
    library.loaded = loader.load(path.c_str(), library.hooks, library.token);
    return library.loaded;
}

void Unload(const SetupLibraryLoader& loader, LoadedLibrary& library) {
    if (library.loaded) {
        loader.unload(library.token);
        library = LoadedLibrary{};
    }
}

DWORD Install(Package& package, const Switches& switches, const SetupLibraryLoader& loader) {
    std::string error;
    if (!ReadPackage(package, error)) {
        return Refuse(kInstallerNoPackage, package, error, switches.noUi);
    }
    if (!SuitsDevice(package.layout.requirements, error)) {
        return Refuse(kInstallerRefused, package, error, switches.noUi);
    }
    if (switches.safe && CarriesPrograms(package)) {
        return Refuse(kInstallerRefused, package, "it carries programs", switches.noUi);
    }
    WideString installedBefore;
    const bool previouslyInstalled = ReadInstalled(package.name, installedBefore) != 0;

    // The setup library runs from a file of its own until the installation is done: only then
    // does it replace the one an earlier installation keeps for its removal.
    const WideString runningLibrary = RecordPath(package.name, TEXT(".installing.dll"));
    LoadedLibrary library;
    std::vector<RecordEntry> deviceFolders;  // the device's own: no removal takes them
    if (package.setupLibrary != nullptr &&
        (!MakeFolders(kRecordFolder, deviceFolders) ||
         !WriteFileBytes(runningLibrary.c_str(), package.setupLibrary->bytes) ||
         !LoadKept(loader, runningLibrary, library))) {
        DeleteFileW(runningLibrary.c_str());
        return Refuse(kInstallerNoPackage, package, "its setup library cannot be loaded",
                      switches.noUi);
    }
    std::vector<RecordEntry> record;

    const HWND owner = CreateInstallerWindow();
    DWORD result = kInstallerDone;
    if (library.hooks.installInit != nullptr &&
        library.hooks.installInit(owner, TRUE, previouslyInstalled ? TRUE : FALSE,
                                  package.installDir.c_str()) == codeINSTALL_INIT_CANCEL) {
        result = kInstallerCancelled;
    } else {
        const Counts failed = InstallContents(package, record);
        const int failures =
            failed.folders + failed.files + failed.keys + failed.values + failed.links;
        if (library.hooks.installExit != nullptr &&
            library.hooks.installExit(owner, package.installDir.c_str(), failed.folders,
                                      failed.files, failed.keys, failed.values,
                                      failed.links) == codeINSTALL_EXIT_UNINSTALL) {
            std::vector<RecordEntry> left;
            RemoveRecorded(record, left);
            result = kInstallerCancelled;
        } else if (failures != 0) {
            result = kInstallerIncomplete;
            error = std::to_string(failures) + " of the package's parts could not be installed";
        }
    }
    DestroyWindow(owner);
    Unload(loader, library);
    const bool installed = result == kInstallerDone || result == kInstallerIncomplete;
    if (!DeleteFileW(runningLibrary.c_str()) && Exists(runningLibrary) && installed) {
        result = kInstallerIncomplete;
        error = "the installer's copy of the setup library cannot be deleted";
    }
    if (installed && !switches.noUninstall &&
        ((package.setupLibrary != nullptr &&
          !WriteFileBytes(RecordPath(package.name, TEXT(".dll")).c_str(),
                          package.setupLibrary->bytes)) ||
         !WriteRemovalRecords(package, record))) {
        result = kInstallerIncomplete;
        error = "the removal record cannot be written";
    }
    return MarkResult(result, error);
}

}  // namespace

DWORD RunCabInstaller(LPCWSTR commandLine, const SetupLibraryLoader& loader) {
    const WideString line = commandLine == nullptr ? WideString() : WideString(commandLine);
    Package package;
    package.path = LastArgument(line);
    MarkStart(line, package.path);
    const Switches switches = ReadSwitches(line);
    const DWORD result = Install(package, switches, loader);
    if (switches.deletePackage && !DeleteFileW(package.path.c_str()) && Exists(package.path) &&
        result == kInstallerDone) {
        return MarkResult(kInstallerIncomplete, "the package was installed but cannot be deleted");
    }
    return result;
}

DWORD RunUnload(LPCWSTR commandLine, const SetupLibraryLoader& loader) {
    const WideString line = commandLine == nullptr ? WideString() : WideString(commandLine);
    const WideString name = LastArgument(
        line.find(TEXT('"')) == WideString::npos ? TEXT("\"") + line + TEXT("\"") : line);
    MarkStart(line, name);
    WideString installDir;
    if (name.empty() || ReadInstalled(name, installDir) == 0) {
        return MarkResult(kInstallerNotInstalled,
                          "no application " + Narrow(name) + " is installed");
    }
    LoadedLibrary library;
    const WideString keptLibrary = RecordPath(name, TEXT(".dll"));
    if (Exists(keptLibrary) && !LoadKept(loader, keptLibrary, library)) {
        return MarkResult(kInstallerNoPackage, "the kept setup library cannot be loaded");
    }
    std::vector<RecordEntry> record;
    if (!ReadRecord(RecordPath(name, TEXT(".unload")), record)) {
        Unload(loader, library);
        return MarkResult(kInstallerNoPackage, "the record of what was installed cannot be read");
    }
    const HWND owner = CreateInstallerWindow();
    DWORD result = kInstallerDone;
    std::vector<RecordEntry> left;
    std::size_t failed = 0;
    if (library.hooks.uninstallInit != nullptr &&
        library.hooks.uninstallInit(owner, installDir.c_str()) == codeUNINSTALL_INIT_CANCEL) {
        result = kInstallerCancelled;
    } else {
        failed = RemoveRecorded(record, left);
        if (library.hooks.uninstallExit != nullptr) {
            library.hooks.uninstallExit(owner);
        }
    }
    DestroyWindow(owner);
    Unload(loader, library);
    if (result != kInstallerDone) {
        return MarkResult(result);
    }
    // What could not be removed stays listed, and the application with it, for another try.
    if (failed != 0) {
        WriteRecord(RecordPath(name, TEXT(".unload")), left);
        return MarkResult(kInstallerIncomplete,
                          std::to_string(failed) +
                              (failed == 1 ? " installed part" : " installed parts") +
                              " could not be removed");
    }
    if (!DeleteRemovalRecords(name)) {
        return MarkResult(kInstallerIncomplete, "the removal record cannot be deleted");
    }
    return MarkResult(result);
}
