// The kit on real Windows (under Wine): the world is cleaned through the API, and open handles are
// found by probing the process's handle table, since Wine's GetProcessHandleCount reports 0.
#include <aclapi.h>

#include <set>

#include "kit/kit.h"

namespace kit {
namespace {

// Wine hands out the lowest free handle values, so a test's handles lie well below this.
constexpr ULONG_PTR kHighestProbedHandle = 0x2000;

std::set<ULONG_PTR> OpenHandleValues() {
    std::set<ULONG_PTR> values;
    for (ULONG_PTR value = 4; value <= kHighestProbedHandle; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            values.insert(value);
        }
    }
    return values;
}

std::set<ULONG_PTR>& Baseline() {
    static std::set<ULONG_PTR> baseline;
    return baseline;
}

// The kernel object type of a handle ("Key", "File", "Process", ...), for a readable report.
std::string HandleTypeName(HANDLE handle) {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    alignas(8) BYTE buffer[1024] = {};
    constexpr int kObjectTypeInformation = 2;
    if (query == nullptr ||
        query(handle, kObjectTypeInformation, buffer, sizeof buffer, nullptr) != 0) {
        return "handle";
    }
    // The record starts with a counted UTF-16 name: length in bytes, capacity, pointer.
    const auto length = *reinterpret_cast<const USHORT*>(buffer);
    const WCHAR* name = *reinterpret_cast<WCHAR* const*>(buffer + sizeof(void*));
    std::string type;
    for (USHORT i = 0; i < length / sizeof(WCHAR); ++i) {
        type += static_cast<char>(name[i]);
    }
    return type + " handle";
}

struct OwnedKey {
    HKEY root;
    const WCHAR* path;
};

// Everything the suites create or the product writes; removed before every test.
const OwnedKey kOwnedKeys[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\WrenfoldTest"},
    {HKEY_CURRENT_USER, L"Software\\WrenfoldTest"},
    {HKEY_CLASSES_ROOT, L"WrenfoldTest"},
    {HKEY_CLASSES_ROOT, L"CLSID\\{WrenfoldTest}"},
};

}  // namespace

void ResetWorld() {
    {
        // GoogleTest's first trace starts a watcher thread whose handle it keeps for the life of
        // the process; start it here so it is not charged to the test.
        SCOPED_TRACE("kit");
    }
    for (const OwnedKey& owned : kOwnedKeys) {
        DeleteKeyTree(owned.root, owned.path);
    }
    Baseline() = OpenHandleValues();
}

std::string LeakReport() {
    std::string report;
    for (const ULONG_PTR value : OpenHandleValues()) {
        if (Baseline().count(value) == 0) {
            report +=
                (report.empty() ? "" : ", ") + HandleTypeName(reinterpret_cast<HANDLE>(value));
        }
    }
    return report;
}

// Denies value writes on the key to everyone; the key can still be read and deleted. The denial
// lasts until ResetWorld removes the key.
void RefuseNextWrite(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
    EXPLICIT_ACCESSW entries[2] = {};
    entries[0].grfAccessPermissions = KEY_SET_VALUE;
    entries[0].grfAccessMode = DENY_ACCESS;
    entries[1].grfAccessPermissions = KEY_ALL_ACCESS;
    entries[1].grfAccessMode = GRANT_ACCESS;
    for (EXPLICIT_ACCESSW& entry : entries) {
        entry.grfInheritance = NO_INHERITANCE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        entry.Trustee.ptstrName = const_cast<LPWSTR>(L"EVERYONE");
    }
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclW(2, entries, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              acl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(acl);
    RegCloseKey(key);
}

}  // namespace kit
