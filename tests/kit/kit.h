// The test kit: what every suite needs to set the world up through the platform's own interface
// and to look at it afterwards. The same tests run on the simulated device and under Wine; only
// kit_host.cpp and kit_windows.cpp differ.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace kit {

using WideString = std::basic_string<WCHAR>;

// A key below each root that belongs to the tests alone.
inline const WCHAR* const kTestKey = TEXT("Software\\WrenfoldTest");

// Fresh world: on the host a factory-new device; on Windows the keys the suites touch removed.
void ResetWorld();

// What the calling process holds open beyond what it held at the last ResetWorld; "" for nothing.
std::string LeakReport();

// Every test of the product starts in a fresh world and ends with nothing left open.
class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// Makes the next value write on the given key fail with ERROR_ACCESS_DENIED.
void RefuseNextWrite(HKEY root, const WCHAR* path);

// Registry set-up and inspection, through the registry interface itself.
void CreateKey(HKEY root, const WCHAR* path);
void DeleteKeyTree(HKEY root, const WCHAR* path);
bool KeyExists(HKEY root, const WCHAR* path);
void SetValue(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type, const void* data,
              DWORD size);
void SetString(HKEY root, const WCHAR* path, const WCHAR* name, const WideString& text);
void SetDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD value);

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
StoredValue GetValue(HKEY root, const WCHAR* path, const WCHAR* name);
std::vector<WideString> ValueNames(HKEY root, const WCHAR* path);

// Text helpers for building inputs and reading results.
WideString Repeat(WCHAR unit, std::size_t count);
WideString Wide(const char* ascii);
std::string Narrow(const WideString& text);

}  // namespace kit
