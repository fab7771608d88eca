// The world's programs on both builds: the marks the stand-ins leave in the registry.
#include "world/programs.h"

#include "standin/korvessa_app.h"
#include "support/korvessa.h"

namespace world {

HWND ApplicationWindow() {
    return FindWindowW(kKorvessaWindowClass, kKorvessaWindowTitle);
}

DWORD ApplicationStarts() {
    return GetDword(HKEY_CURRENT_USER, kStandInMarkKey, TEXT("Starts"));
}

WideString ApplicationCommandLine() {
    return GetString(HKEY_CURRENT_USER, kStandInMarkKey, TEXT("CommandLine"));
}

InstallerStart LastInstallerStart() {
    InstallerStart start;
    start.starts = GetDword(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Starts"));
    start.result = GetDword(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Result"));
    if (GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("PackageAttributes")).present) {
        start.packageAttributes =
            GetDword(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("PackageAttributes"));
    }
    start.commandLine = GetString(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("CommandLine"));
    start.error = Narrow(GetString(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Error")));
    return start;
}

}  // namespace world
