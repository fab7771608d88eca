#include "kit/kit.h"

namespace kit {

void DeviceTest::SetUp() {
    ResetWorld();
}

void DeviceTest::TearDown() {
    const std::string leaks = LeakReport();
    EXPECT_EQ(leaks, "") << "the test left handles open";
}

void CreateKey(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void DeleteKeyTree(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    // Only the rights a deletion needs, so a key whose writes a test has denied still goes.
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    std::vector<WideString> children;
    WCHAR name[512];
    for (DWORD index = 0;; ++index) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.emplace_back(name, length);
    }
    for (const WideString& child : children) {
        DeleteKeyTree(key, child.c_str());
    }
    RegCloseKey(key);
    RegDeleteKeyW(root, path);
}

bool KeyExists(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void SetValue(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetString(HKEY root, const WCHAR* path, const WCHAR* name, const WideString& text) {
    SetValue(root, path, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

void SetDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD value) {
    SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

StoredValue GetValue(HKEY root, const WCHAR* path, const WCHAR* name) {
    StoredValue stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return stored;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
        stored.data.resize(size);
        stored.present = RegQueryValueExW(key, name, nullptr, &stored.type, stored.data.data(),
                                          &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return stored;
}

std::vector<WideString> ValueNames(HKEY root, const WCHAR* path) {
    std::vector<WideString> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    WCHAR name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = 16384;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

WideString Repeat(WCHAR unit, std::size_t count) {
    return WideString(count, unit);
}

WideString Wide(const char* ascii) {
    WideString wide;
    for (; *ascii != 0; ++ascii) {
        wide += static_cast<WCHAR>(static_cast<unsigned char>(*ascii));
    }
    return wide;
}

std::string Narrow(const WideString& text) {
    std::string narrow;
    for (const WCHAR unit : text) {
        narrow += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
    }
    return narrow;
}

}  // namespace kit
