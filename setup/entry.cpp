#include "setup/hooks.h"

extern "C" BOOL WINAPI DllMain(LibraryModule /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
