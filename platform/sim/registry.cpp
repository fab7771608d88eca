// The device registry: three roots, each a tree of keys; names compare without regard to case;
// values are a type and bytes of any size. Subkeys enumerate in name order and values in storage
// order, as the platform's registry does; deleting a value moves the later ones down by one.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::CallKind;
using sim::detail::CompareNoCase;
using sim::detail::EqualNoCase;
using sim::detail::Refused;

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;
    std::vector<std::shared_ptr<Key>> subkeys;  // kept in name order
    std::vector<Value> values;                  // storage order
    bool deleted = false;
};

constexpr std::size_t kFaultKinds = 4;

struct Registry {
    std::shared_ptr<Key> classesRoot = std::make_shared<Key>();
    std::shared_ptr<Key> currentUser = std::make_shared<Key>();
    std::shared_ptr<Key> localMachine = std::make_shared<Key>();
    std::map<HKEY, std::shared_ptr<Key>> open;
    std::array<LONG, kFaultKinds> pendingFault{};
};

Registry& State() {
    static Registry registry;
    return registry;
}

// Handle values keep growing across resets, so a handle left over from an earlier test never
// names a key of a later one.
HKEY NewHandleValue() {
    static ULONG_PTR next = 0x1000;
    next += 4;
    return reinterpret_cast<HKEY>(next);
}

bool IsRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

std::shared_ptr<Key> Resolve(HKEY key) {
    Registry& registry = State();
    if (key == HKEY_CLASSES_ROOT) {
        return registry.classesRoot;
    }
    if (key == HKEY_CURRENT_USER) {
        return registry.currentUser;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        return registry.localMachine;
    }
    const auto found = registry.open.find(key);
    return found == registry.open.end() ? nullptr : found->second;
}

// Looks up the key a call names and turns the usual failures into the platform's codes.
LONG ResolveForUse(HKEY handle, std::shared_ptr<Key>& key) {
    key = Resolve(handle);
    if (!key) {
        return ERROR_INVALID_HANDLE;
    }
    return key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

bool TakeFault(sim::RegistryCall call, LONG& code) {
    LONG& pending = State().pendingFault[static_cast<std::size_t>(call)];
    code = pending;
    pending = ERROR_SUCCESS;
    return code != ERROR_SUCCESS;
}

// Resolves the key that a value call names, then takes a pending fault of that call's kind.
LONG ResolveForValueCall(HKEY handle, sim::RegistryCall call, std::shared_ptr<Key>& key) {
    if (const LONG status = ResolveForUse(handle, key); status != ERROR_SUCCESS) {
        return status;
    }
    LONG fault = ERROR_SUCCESS;
    TakeFault(call, fault);  // leaves ERROR_SUCCESS when none is pending
    return fault;
}

// Splits "a\b\c" into its names. A leading separator is malformed; a trailing one is ignored.
bool SplitPath(LPCWSTR path, std::vector<std::u16string>& names) {
    names.clear();
    if (path == nullptr || *path == 0) {
        return true;
    }
    if (*path == u'\\') {
        return false;
    }
    std::u16string current;
    for (const WCHAR* p = path; *p != 0; ++p) {
        if (*p == u'\\') {
            if (!current.empty()) {
                names.push_back(current);
            }
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty()) {
        names.push_back(current);
    }
    return true;
}

std::shared_ptr<Key> FindSubkey(const Key& parent, const std::u16string& name) {
    for (const auto& subkey : parent.subkeys) {
        if (EqualNoCase(subkey->name, name)) {
            return subkey;
        }
    }
    return nullptr;
}

std::shared_ptr<Key> AddSubkey(Key& parent, const std::u16string& name) {
    auto subkey = std::make_shared<Key>();
    subkey->name = name;
    const auto position =
        std::lower_bound(parent.subkeys.begin(), parent.subkeys.end(), name,
                         [](const std::shared_ptr<Key>& k, const std::u16string& n) {
                             return CompareNoCase(k->name, n) < 0;
                         });
    parent.subkeys.insert(position, subkey);
    return subkey;
}

Value* FindValue(Key& key, LPCWSTR name) {
    const std::u16string wanted = name == nullptr ? std::u16string() : std::u16string(name);
    for (Value& value : key.values) {
        if (EqualNoCase(value.name, wanted)) {
            return &value;
        }
    }
    return nullptr;
}

HKEY OpenHandleTo(const std::shared_ptr<Key>& key) {
    const HKEY handle = NewHandleValue();
    State().open.emplace(handle, key);
    return handle;
}

}  // namespace

namespace sim {

void FailNextRegistryCall(RegistryCall call, LONG code) {
    State().pendingFault[static_cast<std::size_t>(call)] = code;
}

namespace detail {

void ResetRegistry() {
    State() = Registry();
}

int OpenRegistryKeys() {
    return static_cast<int>(State().open.size());
}

}  // namespace detail
}  // namespace sim

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    (void)ulOptions;
    (void)samDesired;  // The device accepts any access mask, 0 included.
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    LONG fault = ERROR_SUCCESS;
    if (TakeFault(sim::RegistryCall::Open, fault)) {
        return fault;
    }
    if (Refused(CallKind::Registry, "RegOpenKeyExW")) {
        return ERROR_OUTOFMEMORY;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForUse(hKey, key); status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::u16string> names;
    if (!SplitPath(lpSubKey, names)) {
        return ERROR_BAD_PATHNAME;
    }
    if (names.empty() && IsRoot(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    for (const std::u16string& name : names) {
        key = FindSubkey(*key, name);
        if (!key) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *phkResult = OpenHandleTo(key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            struct _SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    (void)lpClass;
    (void)dwOptions;
    (void)samDesired;
    (void)lpSecurityAttributes;
    if (phkResult == nullptr || Reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (Refused(CallKind::Registry, "RegCreateKeyExW")) {
        return ERROR_OUTOFMEMORY;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForUse(hKey, key); status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::u16string> names;
    if (!SplitPath(lpSubKey, names)) {
        return ERROR_BAD_PATHNAME;
    }
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    for (const std::u16string& name : names) {
        std::shared_ptr<Key> next = FindSubkey(*key, name);
        if (!next) {
            next = AddSubkey(*key, name);
            disposition = REG_CREATED_NEW_KEY;
        }
        key = next;
    }
    *phkResult = OpenHandleTo(key);
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = disposition;
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (IsRoot(hKey)) {
        return ERROR_SUCCESS;
    }
    if (State().open.erase(hKey) != 1) {
        return ERROR_INVALID_HANDLE;
    }
    // A close that fails has still let go of the key.
    return Refused(CallKind::Registry, "RegCloseKey") ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}

namespace {

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A text value stored without its terminating zero is handed out with one added: its size as
// reported grows by one unit, and a buffer must have room for it. Data of odd length is handed
// out as stored, with a zero unit written behind it when the buffer has room (not counted).
DWORD ReportedSize(const Value& value, bool& appendZero) {
    const std::size_t size = value.data.size();
    appendZero = false;
    if (!IsStringType(value.type) || size == 0) {
        return static_cast<DWORD>(size);
    }
    if (size % sizeof(WCHAR) != 0) {
        return static_cast<DWORD>(size);
    }
    if (value.data[size - 2] != 0 || value.data[size - 1] != 0) {
        appendZero = true;
        return static_cast<DWORD>(size + sizeof(WCHAR));
    }
    return static_cast<DWORD>(size);
}

}  // namespace

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForValueCall(hKey, sim::RegistryCall::Query, key);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegQueryValueExW")) {
        return ERROR_OUTOFMEMORY;
    }
    const Value* value = FindValue(*key, lpValueName);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    bool appendZero = false;
    const DWORD size = ReportedSize(*value, appendZero);
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    if (lpData != nullptr) {
        const DWORD room = *lpcbData;
        if (room < size) {
            *lpcbData = size;  // the buffer is left as it was
            return ERROR_MORE_DATA;
        }
        const std::size_t stored = value->data.size();
        if (stored != 0) {
            std::memcpy(lpData, value->data.data(), stored);
        }
        if (IsStringType(value->type) && (appendZero || (stored % 2 != 0 && room >= stored + 2))) {
            lpData[stored] = 0;
            lpData[stored + 1] = 0;
        }
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    if (Reserved != 0 || (lpData == nullptr && cbData != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForValueCall(hKey, sim::RegistryCall::Set, key);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegSetValueExW")) {
        return ERROR_OUTOFMEMORY;
    }
    Value* value = FindValue(*key, lpValueName);
    if (value == nullptr) {
        key->values.push_back(Value{
            lpValueName == nullptr ? std::u16string() : std::u16string(lpValueName), REG_NONE, {}});
        value = &key->values.back();
    }
    value->type = dwType;
    value->data.assign(lpData, lpData + cbData);
    return ERROR_SUCCESS;
}

namespace {

// Shared by both enumerations: hands out the name at `index` when it fits with its terminator.
LONG CopyEnumeratedName(const std::u16string& name, LPWSTR buffer, LPDWORD length) {
    if (buffer == nullptr || length == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (name.size() >= *length) {
        return ERROR_MORE_DATA;  // refused; the caller's buffer and count are left alone
    }
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    if (lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForUse(hKey, key); status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegEnumKeyExW")) {
        return ERROR_OUTOFMEMORY;
    }
    if (dwIndex >= key->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const LONG status = CopyEnumeratedName(key->subkeys[dwIndex]->name, lpName, lpcchName);
    if (status == ERROR_SUCCESS) {
        if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
            lpClass[0] = 0;
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime != nullptr) {
            *lpftLastWriteTime = FILETIME{0, 0};
        }
    }
    return status;
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForUse(hKey, key); status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegEnumValueW")) {
        return ERROR_OUTOFMEMORY;
    }
    if (dwIndex >= key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& value = key->values[dwIndex];
    if (lpData != nullptr && *lpcbData < value.data.size()) {
        *lpcbData = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    const LONG status = CopyEnumeratedName(value.name, lpValueName, lpcchValueName);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpData != nullptr && !value.data.empty()) {
        std::memcpy(lpData, value.data.data(), value.data.size());
    }
    if (lpcbData != nullptr) {
        *lpcbData = static_cast<DWORD>(value.data.size());
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::shared_ptr<Key> key;
    if (const LONG status = ResolveForValueCall(hKey, sim::RegistryCall::DeleteValue, key);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegDeleteValueW")) {
        return ERROR_ACCESS_DENIED;
    }
    const Value* value = FindValue(*key, lpValueName);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    key->values.erase(key->values.begin() + (value - key->values.data()));
    return ERROR_SUCCESS;
}

// As on desktop Windows, only a key without subkeys can be deleted.
LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    std::shared_ptr<Key> parent;
    if (const LONG status = ResolveForUse(hKey, parent); status != ERROR_SUCCESS) {
        return status;
    }
    if (Refused(CallKind::Registry, "RegDeleteKeyW")) {
        return ERROR_ACCESS_DENIED;
    }
    std::vector<std::u16string> names;
    if (!SplitPath(lpSubKey, names) || names.empty()) {
        return ERROR_BAD_PATHNAME;
    }
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        parent = FindSubkey(*parent, names[i]);
        if (!parent) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    const std::shared_ptr<Key> victim = FindSubkey(*parent, names.back());
    if (!victim) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (!victim->subkeys.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    victim->deleted = true;  // handles still open on it now fail with ERROR_KEY_DELETED
    parent->subkeys.erase(std::find(parent->subkeys.begin(), parent->subkeys.end(), victim));
    return ERROR_SUCCESS;
}
