#include "standin/cab_installer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "standin/file_bytes.h"
#include "standin/install_package.h"
#include "standin/install_record.h"
#include "standin/setup_library.h"
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

// /askdest and /noaskdest choose whether the user is asked for the folder: this installer has no
// folder to offer but the package's, so it never asks, and reads neither.
Switches ReadSwitches(const WideString& commandLine) {
    Switches switches;
    switches.deletePackage = !HasWord(commandLine, TEXT("/delete 0"));
    switches.noUi = HasWord(commandLine, TEXT("/noui"));
    switches.noUninstall = HasWord(commandLine, TEXT("/nouninstall"));
    switches.safe = HasWord(commandLine, TEXT("/safe"));
    return switches;
}

// ---- The marks it leaves for tests -----------------------------------------------------------

bool SetText(HKEY key, const WCHAR* name, const WideString& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

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

// ---- What the user is asked and told ---------------------------------------------------------

LRESULT CALLBACK InstallerWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The installer's own window, which owns the boxes it and its setup library show.
HWND CreateInstallerWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = InstallerWindowProcedure;
    windowClass.lpszClassName = TEXT("WrenfoldCabInstaller");
    RegisterClassW(&windowClass);  // fails harmlessly when this process has it already
    return CreateWindowExW(0, TEXT("WrenfoldCabInstaller"), TEXT("Installing"), WS_POPUP, 0, 0, 0,
                           0, nullptr, nullptr, nullptr, nullptr);
}

// A question the user answers; /noui answers yes without asking. A box that cannot be shown is
// no yes.
bool Agreed(HWND owner, const WideString& caption, const WideString& text, UINT icon, bool noUi) {
    return noUi || MessageBoxW(owner, text.c_str(), caption.c_str(), MB_YESNO | icon) == IDYES;
}

WideString Lines(const std::vector<WideString>& parts) {
    WideString text;
    for (const WideString& part : parts) {
        text += TEXT("\n") + part;
    }
    return text;
}

// ---- The setup library -------------------------------------------------------------------------

// A setup library loaded from its file on the device. The hooks are null when there is none.
struct LoadedLibrary {
    SetupHooks hooks{};
    void* token = nullptr;
    bool loaded = false;
};

// Loads the library at `path` once its bytes are what the device could load.
bool LoadChecked(const SetupLibraryLoader& loader, const WideString& path, LoadedLibrary& library,
                 std::string& error) {
    std::string bytes;
    if (!ReadFileBytes(path.c_str(), bytes)) {
        error = "its setup library cannot be read";
        return false;
    }
    if (!CheckSetupLibrary(bytes, error)) {
        return false;
    }
    library.loaded = loader.load(path.c_str(), library.hooks, library.token);
    if (!library.loaded) {
        error = "its setup library cannot be loaded";
    }
    return library.loaded;
}

void Unload(const SetupLibraryLoader& loader, LoadedLibrary& library) {
    if (library.loaded) {
        loader.unload(library.token);
        library = LoadedLibrary{};
    }
}

// ---- Removal, as unload.exe does it and as an upgrade does it first --------------------------

struct Removal {
    DWORD result = kInstallerDone;
    std::string error;
    std::vector<RecordEntry> left;       // what stays recorded, for another try
    std::vector<WideString> notRemoved;  // of it, what should have gone, as the user is told
};

// The kept instructions, laid out as the installation laid them out.
bool ReadKeptLayout(const WideString& path, ce_package::Layout& layout) {
    std::string bytes;
    ce_package::Instructions instructions;
    std::string error;
    return !path.empty() && ReadFileBytes(path.c_str(), bytes) &&
           ce_package::Decode(bytes, instructions, error) &&
           ce_package::Resolve(instructions, layout, error);
}

const ce_package::PlacedFile* PlacedAt(const ce_package::Layout& layout, const WideString& path) {
    for (const ce_package::PlacedFile& file : layout.files) {
        if (_wcsicmp(Widen(file.path).c_str(), path.c_str()) == 0) {
            return &file;
        }
    }
    return nullptr;
}

// Whether an installed application other than `name` records the file at `path` as its own.
bool ListedElsewhere(const WideString& name, const WideString& path) {
    HKEY apps = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppsKey, 0, kRegistryAccess, &apps) != ERROR_SUCCESS) {
        return false;
    }
    bool listed = false;
    WCHAR other[MAX_PATH];
    DWORD length = MAX_PATH;
    for (DWORD index = 0; !listed && RegEnumKeyExW(apps, index, other, &length, nullptr, nullptr,
                                                   nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = MAX_PATH) {
        Listing listing;
        std::vector<RecordEntry> record;
        listed = _wcsicmp(other, name.c_str()) != 0 &&
                 ReadListing(other, listing) == Listed::kYes &&
                 ReadRecord(RemovalRecordPath(other), record) &&
                 std::any_of(record.begin(), record.end(), [&path](const RecordEntry& entry) {
                     return entry.kind == RecordKind::File &&
                            _wcsicmp(entry.path.c_str(), path.c_str()) == 0;
                 });
    }
    RegCloseKey(apps);
    return listed;
}

// What removal does beyond deleting, as the kept instructions flag it: a shared file another
// installed application also records stays for it, out of this record; a self-registered file
// is unregistered before it goes. One that will not unregister goes all the same: keeping it
// would keep the application from ever being removed.
void PrepareRemoval(const WideString& name, const ce_package::Layout& layout,
                    std::vector<RecordEntry>& record) {
    std::vector<RecordEntry> removable;
    for (const RecordEntry& entry : record) {
        const ce_package::PlacedFile* file =
            entry.kind == RecordKind::File ? PlacedAt(layout, entry.path) : nullptr;
        const std::uint32_t flags = file == nullptr ? 0 : file->flags;
        if ((flags & ce_package::kFileShared) != 0 && ListedElsewhere(name, entry.path)) {
            continue;
        }
        if ((flags & ce_package::kFileSelfRegister) != 0 && Exists(entry.path)) {
            CallRegistrationEntry(entry.path, TEXT("DllUnregisterServer"));
        }
        removable.push_back(entry);
    }
    record = removable;
}

// Removes the installed application `name` as its records say, calling its kept library's
// hooks around the removal. Nothing is touched when a record cannot be read, the library cannot
// be loaded or Uninstall_Init cancels; what could not be removed stays recorded and listed.
Removal RemoveApplication(const WideString& name, const Listing& listing,
                          const SetupLibraryLoader& loader, HWND owner) {
    Removal removal;
    std::vector<RecordEntry> record;
    ce_package::Layout layout;
    LoadedLibrary library;
    if (!ReadRecord(RemovalRecordPath(name), record) ||
        !ReadKeptLayout(listing.instructions, layout)) {
        removal.result = kInstallerNoPackage;
        removal.error = "the record of what was installed cannot be read";
        return removal;
    }
    if (!listing.library.empty() && Exists(listing.library) &&
        !LoadChecked(loader, listing.library, library, removal.error)) {
        removal.result = kInstallerNoPackage;
        removal.error = "the kept setup library cannot be loaded: " + removal.error;
        return removal;
    }
    if (library.hooks.uninstallInit != nullptr &&
        library.hooks.uninstallInit(owner, listing.installDir.c_str()) ==
            codeUNINSTALL_INIT_CANCEL) {
        Unload(loader, library);
        removal.result = kInstallerCancelled;
        return removal;
    }
    PrepareRemoval(name, layout, record);
    std::vector<RecordEntry> failures;
    const std::size_t failed = RemoveRecorded(record, removal.left, &failures);
    if (library.hooks.uninstallExit != nullptr) {
        library.hooks.uninstallExit(owner);
    }
    Unload(loader, library);
    if (failed != 0) {
        WriteRecord(RemovalRecordPath(name), removal.left);
        for (const RecordEntry& entry : failures) {
            removal.notRemoved.push_back(Described(entry));
        }
        removal.result = kInstallerIncomplete;
        removal.error = std::to_string(failed) +
                        (failed == 1 ? " installed part" : " installed parts") +
                        " could not be removed";
    } else if (!DeleteRecords(name)) {
        removal.result = kInstallerIncomplete;
        removal.error = "the removal record cannot be deleted";
        removal.notRemoved.push_back(RemovalRecordPath(name));
    }
    return removal;
}

// ---- Installation ------------------------------------------------------------------------------

// How a run ended, and what the user is told of it once the package has been dealt with.
struct Outcome {
    DWORD result = kInstallerDone;
    std::string error;
    std::vector<WideString> notInstalled;
    std::vector<WideString> notRemoved;  // of an earlier installation it replaced
};

Outcome Ended(DWORD result, const std::string& error = {}) {
    Outcome outcome;
    outcome.result = result;
    outcome.error = error;
    return outcome;
}

// A package the device cannot take at all, told as the device tells it (unless told to say
// nothing); the reason goes into the mark.
Outcome Invalid(const Package& package, const std::string& error, bool noUi) {
    if (!noUi) {
        const WideString text =
            TEXT("The file \"") + package.path + TEXT("\" is not a valid Windows CE Setup file.");
        MessageBoxW(nullptr, text.c_str(), TEXT("Setup Failed"), MB_OK | MB_ICONERROR);
    }
    return Ended(kInstallerNoPackage, error);
}

// A package that is not for this device, or that this device cannot take now.
Outcome Refuse(const Package& package, const std::string& error, bool noUi,
               DWORD result = kInstallerRefused) {
    if (!noUi) {
        const WideString text =
            package.path + TEXT(" cannot be installed: ") + Widen(error) + TEXT(".");
        MessageBoxW(nullptr, text.c_str(), TEXT("Installation Failed"), MB_OK | MB_ICONERROR);
    }
    return Ended(result, error);
}

// One installation's run, once the package is read and the user has agreed.
struct Installation {
    Package& package;
    const Switches& switches;
    const SetupLibraryLoader& loader;
    HWND owner = nullptr;
    LoadedLibrary library;
    std::vector<RecordEntry> carried;  // what an earlier installation left, still to be removed
    std::vector<RecordEntry> record;   // what this one put on the device
    Outcome outcome;
};

// Takes away what this installation put on the device; the earlier one's leftovers stay
// recorded as its removal left them.
void Undo(Installation& run, DWORD result, const std::string& error) {
    std::vector<RecordEntry> left;
    RemoveRecorded(run.record, left);
    run.record.clear();
    run.outcome.result = result;
    run.outcome.error = error;
}

// Install_Init, then the earlier installation's removal. The new library is asked first, so that
// it can still refuse (Korvessa's refuses a device without the Flash Player) while the earlier
// installation is whole; no source says where the CE installer calls it, and this order is the
// one in which a refusal costs the user nothing.
bool Begin(Installation& run, const Listing* earlier) {
    const SetupHooks& hooks = run.library.hooks;
    if (hooks.installInit != nullptr &&
        hooks.installInit(run.owner, TRUE, earlier != nullptr ? TRUE : FALSE,
                          run.package.installDir.c_str()) == codeINSTALL_INIT_CANCEL) {
        run.outcome = Ended(kInstallerCancelled);
        return false;
    }
    if (earlier == nullptr) {
        return true;
    }
    Removal removal = RemoveApplication(run.package.name, *earlier, run.loader, run.owner);
    if (removal.result != kInstallerDone && removal.result != kInstallerIncomplete) {
        run.outcome =
            Ended(removal.result,
                  "the installed " + Narrow(run.package.name) + " cannot be removed: " +
                      (removal.error.empty() ? "its removal was cancelled" : removal.error));
        return false;
    }
    run.carried = std::move(removal.left);
    run.outcome.notRemoved = std::move(removal.notRemoved);
    return true;
}

// The package's contents, the warnings its flags ask for, and Install_Exit with the counts.
void Lay(Installation& run) {
    const Counts failed = InstallContents(run.package, run.record);
    for (const WideString& file : failed.warned) {
        if (!run.switches.noUi) {
            MessageBoxW(run.owner,
                        (file + TEXT(" could not be installed, and is skipped.")).c_str(),
                        run.package.name.c_str(), MB_OK | MB_ICONEXCLAMATION);
        }
    }
    // A file that may not be skipped makes the installation one that cannot be finished: it is
    // undone before Install_Exit, which would take it for a finished one (Korvessa's starts the
    // application it installed).
    if (failed.unskippable) {
        Undo(run, kInstallerUndone, "a file that may not be skipped could not be installed");
        return;
    }
    const SetupHooks& hooks = run.library.hooks;
    if (hooks.installExit != nullptr &&
        hooks.installExit(run.owner, run.package.installDir.c_str(), failed.folders, failed.files,
                          failed.keys, failed.values, failed.links) == codeINSTALL_EXIT_UNINSTALL) {
        Undo(run, kInstallerCancelled, {});
        return;
    }
    run.outcome.notInstalled = failed.missed;
    if (!failed.missed.empty()) {
        run.outcome.result = kInstallerIncomplete;
        run.outcome.error =
            std::to_string(failed.missed.size()) + " of the package's parts could not be installed";
    } else if (!run.outcome.notRemoved.empty()) {
        run.outcome.result = kInstallerIncomplete;
        run.outcome.error = std::to_string(run.outcome.notRemoved.size()) +
                            " parts of the installation it replaced could not be removed";
    }
}

// The records removal reads, for what is installed now: this installation's and what an earlier
// one left.
void Record(Installation& run) {
    std::vector<RecordEntry> entries = run.carried;
    entries.insert(entries.end(), run.record.begin(), run.record.end());
    Listing listing;
    listing.installDir = run.package.installDir;
    listing.package = run.package.path;
    const Package& package = run.package;
    if (!WriteRecords(package.name,
                      package.setupLibrary == nullptr ? nullptr : &package.setupLibrary->bytes,
                      package.instructions->bytes, listing, entries)) {
        run.outcome.result = kInstallerIncomplete;
        run.outcome.error = "the removal record cannot be written";
        run.outcome.notInstalled.emplace_back(TEXT("the record for its removal"));
    }
}

// The setup library runs from a file of its own until the installation is done: only then does
// it replace the one an earlier installation keeps for its removal.
Outcome InstallWithLibrary(Package& package, const Switches& switches,
                           const SetupLibraryLoader& loader, HWND owner, const Listing* earlier) {
    const WideString running =
        WideString(kRecordFolder) + TEXT("\\") + package.name + TEXT(".installing.dll");
    Installation run{package, switches, loader, owner, {}, {}, {}, {}};
    std::vector<RecordEntry> deviceFolders;  // the device's own: no removal takes them
    std::string error;
    if (package.setupLibrary != nullptr &&
        (!MakeFolders(kRecordFolder, deviceFolders) ||
         !WriteFileBytes(running.c_str(), package.setupLibrary->bytes) ||
         !LoadChecked(loader, running, run.library, error))) {
        DeleteFileW(running.c_str());
        return Invalid(package,
                       error.empty() ? "its setup library cannot be put on the device" : error,
                       switches.noUi);
    }
    if (Begin(run, earlier)) {
        Lay(run);
    }
    Unload(loader, run.library);
    const DWORD result = run.outcome.result;
    const bool installed = result == kInstallerDone || result == kInstallerIncomplete;
    if (!DeleteFileW(running.c_str()) && Exists(running) && installed) {
        run.outcome.result = kInstallerIncomplete;
        run.outcome.error = "the installer's copy of the setup library cannot be deleted";
        run.outcome.notInstalled.push_back(running + TEXT(" (not deleted)"));
    }
    if (installed && !switches.noUninstall) {
        Record(run);
    }
    return run.outcome;
}

Outcome Install(Package& package, const Switches& switches, const SetupLibraryLoader& loader) {
    std::string error;
    if (!ReadPackage(package, error)) {
        return Invalid(package, error, switches.noUi);
    }
    // The instructions first, as the CE installer checks them, then the library it would load.
    if (!SuitsDevice(package.layout.requirements, error)) {
        return Refuse(package, error, switches.noUi);
    }
    if (package.setupLibrary != nullptr && !CheckSetupLibrary(package.setupLibrary->bytes, error)) {
        return Invalid(package, error, switches.noUi);
    }
    if (switches.safe && CarriesPrograms(package)) {
        return Refuse(package, "it carries programs", switches.noUi);
    }
    Listing earlier;
    const Listed listed = ReadListing(package.name, earlier);
    if (listed == Listed::kUnreadable) {
        // Not knowing whether it is installed, it could neither replace it nor keep its record.
        return Refuse(package, "the device's list of installed applications cannot be read",
                      switches.noUi, kInstallerNoPackage);
    }
    const bool upgrade = listed == Listed::kYes;
    const HWND owner = CreateInstallerWindow();
    Outcome outcome;
    // A platform the package names as unsupported is warned of, as cabwiz's [CEDevice] says,
    // not refused.
    const WideString platform = UnsupportedPlatform(package.layout.requirements);
    if (!platform.empty() && !Agreed(owner, package.name,
                                     package.name + TEXT(" is not meant for the ") + platform +
                                         TEXT(" platform. Install it all the same?"),
                                     MB_ICONEXCLAMATION, switches.noUi)) {
        outcome = Ended(kInstallerCancelled, "the user declined a package for another platform");
    } else if (upgrade && !Agreed(owner, package.name,
                                  package.name + TEXT(" is installed already. Remove it and "
                                                      "install this package in its place?"),
                                  MB_ICONQUESTION, switches.noUi)) {
        outcome = Ended(kInstallerCancelled, "the user declined to replace the installed one");
    } else {
        outcome =
            InstallWithLibrary(package, switches, loader, owner, upgrade ? &earlier : nullptr);
    }
    DestroyWindow(owner);
    return outcome;
}

// What a run that installed less than the package holds tells the user.
WideString IncompleteText(const WideString& name, const Outcome& outcome) {
    WideString text = name + TEXT(" is installed, but not completely.");
    if (!outcome.notInstalled.empty()) {
        text += TEXT("\n\nNot installed:") + Lines(outcome.notInstalled);
    }
    if (!outcome.notRemoved.empty()) {
        text += TEXT("\n\nLeft by the installation it replaced; delete it with File Explorer:") +
                Lines(outcome.notRemoved);
    }
    return text;
}

}  // namespace

DWORD RunCabInstaller(LPCWSTR commandLine, const SetupLibraryLoader& loader) {
    const WideString line = commandLine == nullptr ? WideString() : WideString(commandLine);
    Package package;
    package.path = LastArgument(line);
    MarkStart(line, package.path);
    const Switches switches = ReadSwitches(line);
    Outcome outcome = Install(package, switches, loader);
    // After every outcome, as later CE versions document it; no CE 3.0 source says otherwise.
    if (switches.deletePackage && !DeleteFileW(package.path.c_str()) && Exists(package.path) &&
        outcome.result == kInstallerDone) {
        outcome.result = kInstallerIncomplete;
        outcome.error = "the package was installed but cannot be deleted";
        outcome.notInstalled.push_back(package.path + TEXT(" (not deleted)"));
    }
    if (outcome.result == kInstallerIncomplete && !switches.noUi) {
        MessageBoxW(nullptr, IncompleteText(package.name, outcome).c_str(), package.name.c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
    }
    return MarkResult(outcome.result, outcome.error);
}

DWORD RunUnload(LPCWSTR commandLine, const SetupLibraryLoader& loader) {
    const WideString line = commandLine == nullptr ? WideString() : WideString(commandLine);
    const WideString name = LastArgument(
        line.find(TEXT('"')) == WideString::npos ? TEXT("\"") + line + TEXT("\"") : line);
    MarkStart(line, name);
    Listing listing;
    const Listed listed = name.empty() ? Listed::kNo : ReadListing(name, listing);
    if (listed == Listed::kUnreadable) {
        return MarkResult(kInstallerNoPackage,
                          "the device's list of installed applications cannot be read");
    }
    if (listed == Listed::kNo) {
        return MarkResult(kInstallerNotInstalled,
                          "no application " + Narrow(name) + " is installed");
    }
    const HWND owner = CreateInstallerWindow();
    const Removal removal = RemoveApplication(name, listing, loader, owner);
    DestroyWindow(owner);
    // As the device's uninstaller does once it has removed the rest.
    if (!removal.notRemoved.empty()) {
        const WideString text = name +
                                TEXT(
                                    " is removed, but not completely. Delete what is left "
                                    "with File Explorer:") +
                                Lines(removal.notRemoved);
        MessageBoxW(nullptr, text.c_str(), name.c_str(), MB_OK | MB_ICONEXCLAMATION);
    }
    return MarkResult(removal.result, removal.error);
}
