#include "demo/hook_calls.h"

#include <cstdio>
#include <string>
#include <utility>

#include "demo/stage.h"
#include "demo/transcript.h"

namespace {

// A library loaded through the inner loader, with its own hooks.
struct Held {
    SetupHooks hooks{};
    void* token = nullptr;
    WideString path;
    bool loaded = false;
};

Held& Library(int slot) {
    static Held held[2];
    return held[slot];
}

const SetupLibraryLoader*& Inner() {
    static const SetupLibraryLoader* inner = nullptr;
    return inner;
}

void Called(int slot, const char* hook, const std::string& arguments = {}) {
    DeviceEvent event;
    event.kind = DeviceEvent::Kind::Called;
    event.call =
        hook + (" of " + Utf8(Library(slot).path)) + (arguments.empty() ? "" : ": " + arguments);
    stage::Note(event);
}

std::string Folder(LPCWSTR folder) {
    return "folder \"" + Utf8(folder != nullptr ? folder : TEXT("")) + "\"";
}

// Install_Exit's counts, kind by kind.
std::string Failures(WORD folders, WORD files, WORD keys, WORD values, WORD shortcuts) {
    const std::pair<WORD, const char*> counts[] = {{folders, "folder"},
                                                   {files, "file"},
                                                   {keys, "key"},
                                                   {values, "value"},
                                                   {shortcuts, "shortcut"}};
    std::string failed;
    for (const auto& [count, kind] : counts) {
        if (count != 0) {
            failed += (failed.empty() ? "" : ", ") + std::to_string(count) + " " + kind +
                      (count == 1 ? "" : "s");
        }
    }
    return failed.empty() ? "nothing failed" : failed + " failed";
}

template <int Slot>
codeINSTALL_INIT InstallInit(HWND owner, BOOL first, BOOL previously, LPCWSTR folder) {
    Called(Slot, "Install_Init",
           std::string(first ? "first call" : "another call") + ", " +
               (previously ? "installed before" : "not installed before") + ", " + Folder(folder));
    return Library(Slot).hooks.installInit(owner, first, previously, folder);
}

template <int Slot>
codeINSTALL_EXIT InstallExit(HWND owner, LPCWSTR folder, WORD folders, WORD files, WORD keys,
                             WORD values, WORD shortcuts) {
    Called(Slot, "Install_Exit",
           Folder(folder) + ", " + Failures(folders, files, keys, values, shortcuts));
    return Library(Slot).hooks.installExit(owner, folder, folders, files, keys, values, shortcuts);
}

template <int Slot>
codeUNINSTALL_INIT UninstallInit(HWND owner, LPCWSTR folder) {
    Called(Slot, "Uninstall_Init", Folder(folder));
    return Library(Slot).hooks.uninstallInit(owner, folder);
}

template <int Slot>
codeUNINSTALL_EXIT UninstallExit(HWND owner) {
    Called(Slot, "Uninstall_Exit");
    return Library(Slot).hooks.uninstallExit(owner);
}

// The library's hooks, each shown before it runs; a hook it lacks stays missing.
template <int Slot>
SetupHooks Showing(const SetupHooks& hooks) {
    return SetupHooks{hooks.installInit != nullptr ? InstallInit<Slot> : nullptr,
                      hooks.installExit != nullptr ? InstallExit<Slot> : nullptr,
                      hooks.uninstallInit != nullptr ? UninstallInit<Slot> : nullptr,
                      hooks.uninstallExit != nullptr ? UninstallExit<Slot> : nullptr};
}

bool Load(LPCWSTR path, SetupHooks& hooks, void*& token) {
    for (int slot = 0; slot < 2; ++slot) {
        Held& held = Library(slot);
        if (held.loaded) {
            continue;
        }
        if (!Inner()->load(path, held.hooks, held.token)) {
            return false;
        }
        held.loaded = true;
        held.path = path;
        hooks = slot == 0 ? Showing<0>(held.hooks) : Showing<1>(held.hooks);
        token = &held;
        return true;
    }
    std::fprintf(stderr, "the demo shows the hooks of two libraries at a time, not three\n");
    return false;
}

void Unload(void* token) {
    Held& held = *static_cast<Held*>(token);
    Inner()->unload(held.token);
    held = Held{};
}

}  // namespace

const SetupLibraryLoader& ShowingHookCalls(const SetupLibraryLoader& inner) {
    static const SetupLibraryLoader showing{Load, Unload};
    Inner() = &inner;
    return showing;
}
