// A loader for the device's own files (Windows CE PE images for ARM), so that the very bytes
// users install run on the emulated XScale against the simulated device. It does what CE's
// loader does for these files: maps the image where there is room (rarely at its preferred
// base), applies its base relocations, binds its COREDLL.dll imports by name, and calls its
// entry as CE does. Built only where the processor runs ARM code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ce_loader/pe_image.h"

namespace ce {

// A function an import is bound to; called only through a pointer of the import's own type.
using Function = void (*)();

// An export of COREDLL.dll as the device's programs see it.
struct Binding {
    const char* name;
    Function function;
};

// The simulated device's counterpart of every COREDLL.dll export the device's programs may
// import (coredll.cpp).
const std::vector<Binding>& Coredll();

// A loaded image. `base` is where it is mapped; `entry` its entry point, or null.
struct Image {
    unsigned char* base = nullptr;
    std::size_t size = 0;
    void* entry = nullptr;
    bool library = false;
    ExportTable exports;
};

// Maps and binds the file at `path` against `coredll`. On failure fills `error` (a file that is
// no ARM CE image, a table that reaches outside it, an import of another library, an import the
// bindings lack, naming every one) and leaves `image` empty.
bool Load(const std::string& path, const std::vector<Binding>& coredll, Image& image,
          std::string& error);
// The same for a file's bytes, read by the caller (from the simulated device, say); `name` is
// what errors call it.
bool Load(const std::vector<unsigned char>& file, const std::string& name,
          const std::vector<Binding>& coredll, Image& image, std::string& error);
// Loads the file at `path` against the simulated device's COREDLL.dll, or ends the run saying
// why: a file that does not load is a build that cannot be tested.
Image LoadOrStop(const char* path);
// CE's kernel data page, where the device's code reads the running thread and process (the SDK's
// inline GetCurrentThreadId): mapped where CE has it, and set to the simulated device's caller.
// The loader calls it whenever it enters the device's code (a library's or program's entry, a
// helper of the test image), so the page holds the thread that entered; none of that code reads
// it after letting another thread run.
void ShowCallerInKernelData();
// Unmaps the image; its code and data are gone.
void Unload(Image& image);

// The address of the export named `name`, or null; reads only what Load validated.
void* FindExport(const Image& image, const char* name);

// A library's entry, called as CE calls it (DLL_PROCESS_ATTACH, DLL_PROCESS_DETACH).
BOOL CallDllMain(const Image& image, DWORD reason);
// A program's entry: CE calls WinMain itself, with the instance, no previous instance, the
// command line and the show command; what it returns is the exit code.
int CallWinMain(const Image& image, LPWSTR commandLine);

}  // namespace ce
