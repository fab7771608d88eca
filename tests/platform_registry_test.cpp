// The registry interface itself, as the helpers rely on it. These cases run on the simulated
// device and under Wine alike, so they hold the model to the real platform.
#include <cstring>

#include "kit/kit.h"
#include "support/compat.h"

namespace {

const WCHAR* const kKey = kit::kTestKey;

class PlatformRegistry : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        DeviceTest::TearDown();
    }

    void Set(const WCHAR* name, const WCHAR* text) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR))),
                  ERROR_SUCCESS);
    }

    WideString NameAt(DWORD index) {
        WCHAR name[64];
        DWORD length = 64;
        if (RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return TEXT("<none>");
        }
        return WideString(name, length);
    }

    HKEY key = nullptr;
};

TEST_F(PlatformRegistry, QuerySizeRules) {
    Set(TEXT("V"), TEXT("hello"));  // 12 bytes with the terminating zero

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("V"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    BYTE small[8];
    std::memset(small, 0xA5, sizeof small);
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("V"), nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);

    BYTE exact[12];
    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("v"), nullptr, nullptr, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(exact, TEXT("hello"), 12), 0);

    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("Missing"), nullptr, nullptr, exact, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, TextStoredWithoutTerminatorComesBackWithOne) {
    const WCHAR abc[] = {u'a', u'b', u'c'};
    ASSERT_EQ(RegSetValueExW(key, TEXT("T"), 0, REG_SZ, reinterpret_cast<const BYTE*>(abc), 6),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, TEXT("T"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    WCHAR text[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    size = 6;
    EXPECT_EQ(
        RegQueryValueExW(key, TEXT("T"), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(text[0], 1) << "a refused query leaves the buffer alone";
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExW(key, TEXT("T"), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(WideString(text), TEXT("abc"));

    // The same bytes as REG_BINARY come back exactly as stored.
    ASSERT_EQ(RegSetValueExW(key, TEXT("B"), 0, REG_BINARY, reinterpret_cast<const BYTE*>(abc), 6),
              ERROR_SUCCESS);
    size = 6;
    EXPECT_EQ(
        RegQueryValueExW(key, TEXT("B"), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
}

TEST_F(PlatformRegistry, EnumerationEndsAndRefusesShortBuffers) {
    Set(TEXT("First"), TEXT("1"));
    Set(TEXT("Second"), TEXT("2"));
    WCHAR name[64];
    DWORD length = 5;  // "First" needs 6 with its terminating zero
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    length = 6;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(WideString(name), TEXT("First"));
    length = 64;
    EXPECT_EQ(RegEnumValueW(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    length = 64;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(PlatformRegistry, DeletingAValueMovesTheLaterOnesDown) {
    Set(TEXT("A"), TEXT("1"));
    Set(TEXT("B"), TEXT("2"));
    Set(TEXT("C"), TEXT("3"));
    EXPECT_EQ(RegDeleteValueW(key, TEXT("b")), ERROR_SUCCESS);
    EXPECT_EQ(NameAt(0), TEXT("A"));
    EXPECT_EQ(NameAt(1), TEXT("C"));
    EXPECT_EQ(NameAt(2), TEXT("<none>"));
    EXPECT_EQ(RegDeleteValueW(key, TEXT("B")), ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, KeysDeleteOnlyWhenTheyHaveNoSubkeys) {
    kit::CreateKey(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\Parent\\Child"));
    EXPECT_NE(RegDeleteKeyW(key, TEXT("Parent")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key, TEXT("parent\\CHILD")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key, TEXT("Parent")), ERROR_SUCCESS);
    EXPECT_FALSE(kit::KeyExists(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\Parent")));
    EXPECT_EQ(RegDeleteKeyW(key, TEXT("Parent")), ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, OpenFailsForMissingKeysAndClearsTheHandle) {
    HKEY opened = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\Nope"), 0,
                            kRegistryAccess, &opened),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(PlatformRegistry, TheBuildsAccessMaskReadsAndWrites) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, kRegistryAccess, &opened), ERROR_SUCCESS);
    const DWORD number = 42;
    EXPECT_EQ(RegSetValueExW(opened, TEXT("N"), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    DWORD read = 0;
    DWORD size = sizeof read;
    EXPECT_EQ(RegQueryValueExW(opened, TEXT("N"), nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 42u);
    WCHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumValueW(opened, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(opened, TEXT("N")), ERROR_SUCCESS);
    RegCloseKey(opened);
}

}  // namespace
