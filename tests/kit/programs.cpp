// The kit's programs on both builds: the marks the stand-ins leave in the registry.
#include <cstring>

#include "kit/programs.h"
#include "standin/cab_installer.h"
#include "standin/korvessa_app.h"

namespace kit {

DWORD ApplicationStarts() {
    const StoredValue starts = GetValue(HKEY_CURRENT_USER, kStandInMarkKey, TEXT("Starts"));
    DWORD count = 0;
    if (starts.present && starts.data.size() == sizeof count) {
        std::memcpy(&count, starts.data.data(), sizeof count);
    }
    return count;
}

WideString ApplicationCommandLine() {
    const StoredValue line = GetValue(HKEY_CURRENT_USER, kStandInMarkKey, TEXT("CommandLine"));
    if (!line.present || line.data.size() < sizeof(WCHAR)) {
        return WideString();
    }
    return WideString(reinterpret_cast<const WCHAR*>(line.data.data()));
}

InstallerStart LastInstallerStart() {
    InstallerStart start;
    const auto number = [](const StoredValue& value) {
        DWORD result = 0;
        if (value.present && value.data.size() == sizeof result) {
            std::memcpy(&result, value.data.data(), sizeof result);
        }
        return result;
    };
    start.starts = number(GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Starts")));
    start.result = number(GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Result")));
    const StoredValue attributes =
        GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("PackageAttributes"));
    if (attributes.present) {
        start.packageAttributes = number(attributes);
    }
    const StoredValue line = GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("CommandLine"));
    if (line.present && line.data.size() >= sizeof(WCHAR)) {
        start.commandLine = reinterpret_cast<const WCHAR*>(line.data.data());
    }
    const StoredValue error = GetValue(HKEY_CURRENT_USER, kInstallerMarkKey, TEXT("Error"));
    if (error.present && error.data.size() >= sizeof(WCHAR)) {
        start.error = Narrow(reinterpret_cast<const WCHAR*>(error.data.data()));
    }
    return start;
}

}  // namespace kit
