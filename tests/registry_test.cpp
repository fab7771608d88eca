// The registry helpers as their callers see them: bounded reads, writes that never create keys,
// walks that end cleanly, and no key left open.
#include <array>

#include "kit/kit.h"
#include "support/registry.h"

namespace {

constexpr WCHAR kSentinel = 0xBEEF;
const WCHAR* const kKey = kit::kTestKey;

class RegistryHelpers : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        destination.fill(kSentinel);
    }

    bool DestinationUntouched() const {
        for (const WCHAR unit : destination) {
            if (unit != kSentinel) {
                return false;
            }
        }
        return true;
    }

    WideString DestinationText() const { return WideString(destination.data()); }

    std::array<WCHAR, 1100> destination{};
};

TEST_F(RegistryHelpers, TextReadHonoursTheCapacityBoundary) {
    struct Case {
        std::size_t length;
        DWORD capacity;
        BOOL expected;
    };
    const Case cases[] = {
        {259, 260, TRUE}, {260, 260, FALSE}, {0, 1, TRUE},       {1, 1, FALSE},
        {511, 512, TRUE}, {511, 1024, TRUE}, {512, 1024, FALSE}, {700, 1024, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " characters, capacity " << c.capacity);
        destination.fill(kSentinel);
        const WideString stored = kit::Repeat(u'x', c.length);
        kit::SetString(HKEY_LOCAL_MACHINE, kKey, TEXT("Text"), stored);
        EXPECT_EQ(ReadHklmString(kKey, TEXT("Text"), destination.data(), c.capacity), c.expected);
        if (c.expected) {
            EXPECT_EQ(DestinationText(), stored);
            EXPECT_EQ(destination[c.length + 1], kSentinel) << "wrote past the terminating zero";
        } else {
            EXPECT_TRUE(DestinationUntouched());
        }
    }
}

TEST_F(RegistryHelpers, TextReadersUseTheirRoots) {
    kit::SetString(HKEY_LOCAL_MACHINE, kKey, TEXT("Where"), TEXT("machine"));
    kit::SetString(HKEY_CURRENT_USER, kKey, TEXT("Where"), TEXT("user"));
    kit::SetString(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("Where"), TEXT("classes"));

    ASSERT_TRUE(ReadHklmString(kKey, TEXT("Where"), destination.data(), 260));
    EXPECT_EQ(DestinationText(), TEXT("machine"));
    ASSERT_TRUE(ReadHkcuString(kKey, TEXT("Where"), destination.data(), 260));
    EXPECT_EQ(DestinationText(), TEXT("user"));
    ASSERT_TRUE(ReadRegString(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("Where"),
                              destination.data(), 260));
    EXPECT_EQ(DestinationText(), TEXT("classes"));
}

TEST_F(RegistryHelpers, TextReadFailuresLeaveTheDestinationAlone) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_FALSE(ReadHklmString(kKey, TEXT("Missing"), destination.data(), 260));
    EXPECT_FALSE(
        ReadHklmString(TEXT("Software\\NoSuchKey"), TEXT("Text"), destination.data(), 260));
    EXPECT_FALSE(ReadHkcuString(kKey, TEXT("Missing"), destination.data(), 260));
    EXPECT_TRUE(DestinationUntouched());
}

TEST_F(RegistryHelpers, TextReadTakesAnyTypeAsText) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("One"), 1);
    ASSERT_TRUE(ReadHklmString(kKey, TEXT("One"), destination.data(), 260));
    EXPECT_EQ(DestinationText(), WideString(1, WCHAR{1}));

    // Data without a terminating zero counts to its end; an odd trailing byte is no unit.
    const char raw[] = {'a', 0, 'b', 0, 'c', 0, 'd'};
    kit::SetValue(HKEY_LOCAL_MACHINE, kKey, TEXT("Raw"), REG_BINARY, raw, sizeof raw);
    ASSERT_TRUE(ReadHklmString(kKey, TEXT("Raw"), destination.data(), 260));
    EXPECT_EQ(DestinationText(), TEXT("abc"));
}

TEST_F(RegistryHelpers, TextStoredWithoutTerminatorReadsToItsEnd) {
    const WCHAR abc[] = {u'a', u'b', u'c'};
    kit::SetValue(HKEY_LOCAL_MACHINE, kKey, TEXT("Short"), REG_SZ, abc, sizeof abc);
    ASSERT_TRUE(ReadHklmString(kKey, TEXT("Short"), destination.data(), 4));
    EXPECT_EQ(DestinationText(), TEXT("abc"));
}

TEST_F(RegistryHelpers, UnterminatedTextFillingTheScratchIsReadWithinIt) {
    // Raw bytes come back exactly as stored, with no terminating zero added by the platform.
    const WideString full = kit::Repeat(u'q', 512);
    kit::SetValue(HKEY_LOCAL_MACHINE, kKey, TEXT("Full"), REG_BINARY, full.data(), 1024);
    ASSERT_TRUE(ReadHklmString(kKey, TEXT("Full"), destination.data(), 513));
    EXPECT_EQ(DestinationText(), full);
    destination.fill(kSentinel);
    EXPECT_FALSE(ReadHklmString(kKey, TEXT("Full"), destination.data(), 512));
    EXPECT_TRUE(DestinationUntouched());
}

TEST_F(RegistryHelpers, NumberReadTakesAnyTypeOfAtMostFourBytes) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        DWORD expected;
    };
    const Case cases[] = {
        {"a number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {"the text \"7\"", REG_SZ, {'7', 0, 0, 0}, 55},
        {"the text \"77\"", REG_SZ, {'7', 0, '7', 0, 0, 0}, 0},
        {"two bytes", REG_BINARY, {0x34, 0x12}, 0x1234},
        {"one byte", REG_BINARY, {0xFF}, 0xFF},
        {"no bytes", REG_BINARY, {}, 0},
        {"a stored zero", REG_DWORD, {0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::SetValue(HKEY_LOCAL_MACHINE, kKey, TEXT("Number"), c.type, c.data.data(),
                      static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(ReadHklmDword(kKey, TEXT("Number")), c.expected);
        EXPECT_EQ(ReadRegDword(HKEY_LOCAL_MACHINE, kKey, TEXT("Number")), c.expected);
    }
}

TEST_F(RegistryHelpers, MissingNumbersReadAsZero) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_EQ(ReadHklmDword(kKey, TEXT("Missing")), 0u);
    EXPECT_EQ(ReadHklmDword(TEXT("Software\\NoSuchKey"), TEXT("Number")), 0u);
    EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kKey, TEXT("Number")), 0u);
}

TEST_F(RegistryHelpers, WritesStoreTypedValuesUnderEachRoot) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    kit::CreateKey(HKEY_CURRENT_USER, kKey);
    kit::CreateKey(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"));

    EXPECT_TRUE(WriteHklmString(kKey, TEXT("S"), TEXT("abc")));
    EXPECT_TRUE(WriteHkcuString(kKey, TEXT("S"), TEXT("")));
    EXPECT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("S"), TEXT("z")));
    EXPECT_TRUE(WriteHklmDword(kKey, TEXT("D"), 0x01020304));
    EXPECT_TRUE(WriteHkcuDword(kKey, TEXT("D"), 7));
    EXPECT_TRUE(WriteRegDword(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("D"), 0xFFFFFFFF));

    const auto expectValue = [](HKEY root, const WCHAR* path, const WCHAR* name, DWORD type,
                                std::vector<BYTE> bytes) {
        const kit::StoredValue stored = kit::GetValue(root, path, name);
        EXPECT_TRUE(stored.present);
        EXPECT_EQ(stored.type, type);
        EXPECT_EQ(stored.data, bytes);
    };
    expectValue(HKEY_LOCAL_MACHINE, kKey, TEXT("S"), REG_SZ, {'a', 0, 'b', 0, 'c', 0, 0, 0});
    expectValue(HKEY_CURRENT_USER, kKey, TEXT("S"), REG_SZ, {0, 0});
    expectValue(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("S"), REG_SZ, {'z', 0, 0, 0});
    expectValue(HKEY_LOCAL_MACHINE, kKey, TEXT("D"), REG_DWORD, {4, 3, 2, 1});
    expectValue(HKEY_CURRENT_USER, kKey, TEXT("D"), REG_DWORD, {7, 0, 0, 0});
    expectValue(HKEY_CLASSES_ROOT, TEXT("WrenfoldTest"), TEXT("D"), REG_DWORD,
                {0xFF, 0xFF, 0xFF, 0xFF});
}

TEST_F(RegistryHelpers, WriteReplacesAValueOfAnotherType) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("V"), 5);
    EXPECT_TRUE(WriteHklmString(kKey, TEXT("v"), TEXT("now text")));
    ASSERT_TRUE(ReadHklmString(kKey, TEXT("V"), destination.data(), 260));
    EXPECT_EQ(DestinationText(), TEXT("now text"));
    EXPECT_EQ(kit::ValueNames(HKEY_LOCAL_MACHINE, kKey).size(), 1u);
}

TEST_F(RegistryHelpers, WritesUnderAMissingKeyCreateNothing) {
    const WCHAR* const missing = TEXT("Software\\WrenfoldTest\\Missing");
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_FALSE(WriteHklmString(missing, TEXT("S"), TEXT("abc")));
    EXPECT_FALSE(WriteHkcuString(missing, TEXT("S"), TEXT("abc")));
    EXPECT_FALSE(WriteHklmDword(missing, TEXT("D"), 1));
    EXPECT_FALSE(WriteRegDword(HKEY_CURRENT_USER, missing, TEXT("D"), 1));
    EXPECT_FALSE(kit::KeyExists(HKEY_LOCAL_MACHINE, missing));
    EXPECT_FALSE(kit::KeyExists(HKEY_CURRENT_USER, missing));
}

TEST_F(RegistryHelpers, RefusedWriteIsReportedAsFailure) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    kit::RefuseNextWrite(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_FALSE(WriteHklmString(kKey, TEXT("S"), TEXT("abc")));
    kit::RefuseNextWrite(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_FALSE(WriteHklmDword(kKey, TEXT("D"), 1));
    EXPECT_TRUE(kit::ValueNames(HKEY_LOCAL_MACHINE, kKey).empty());
}

class RegistryWalk : public RegistryHelpers {
  protected:
    HKEY key = nullptr;
    DWORD index = 0;
};

// Windows enumerates values in storage order and Wine in name order; names stored in name order
// keep the walks below the same on both.
TEST_F(RegistryWalk, ValueWalkVisitsEachNameThenEnds) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("Alpha"), 1);
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("Mid"), 2);
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("Zeta"), 3);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);

    std::vector<WideString> seen;
    for (DWORD expectedIndex = 1; expectedIndex <= 3; ++expectedIndex) {
        ASSERT_TRUE(NextRegValueName(key, index, destination.data(), 260));
        EXPECT_EQ(index, expectedIndex);
        seen.push_back(DestinationText());
    }
    destination.fill(kSentinel);
    EXPECT_FALSE(NextRegValueName(key, index, destination.data(), 260));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(DestinationUntouched());
    EXPECT_EQ(CloseRegKey(key), ERROR_SUCCESS);
    EXPECT_EQ(seen, (std::vector<WideString>{TEXT("Alpha"), TEXT("Mid"), TEXT("Zeta")}));
}

TEST_F(RegistryWalk, SubkeyWalkVisitsEachSubkeyInNameOrder) {
    kit::CreateKey(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\beta"));
    kit::CreateKey(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\Alpha"));
    kit::CreateKey(HKEY_CURRENT_USER, TEXT("Software\\WrenfoldTest\\Gamma\\Deeper"));
    ASSERT_EQ(OpenRegKey(HKEY_CURRENT_USER, kKey, key), ERROR_SUCCESS);

    std::vector<WideString> seen;
    while (NextRegSubkeyName(key, index, destination.data(), 260)) {
        seen.push_back(DestinationText());
    }
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(CloseRegKey(key), ERROR_SUCCESS);
    EXPECT_EQ(seen, (std::vector<WideString>{TEXT("Alpha"), TEXT("beta"), TEXT("Gamma")}));
}

TEST_F(RegistryWalk, EmptyKeyEndsTheWalkAtOnce) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);
    EXPECT_FALSE(NextRegValueName(key, index, destination.data(), 260));
    EXPECT_FALSE(NextRegSubkeyName(key, index, destination.data(), 260));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(DestinationUntouched());
    CloseRegKey(key);
}

TEST_F(RegistryWalk, NameThatDoesNotFitEndsTheWalkLikeTheEnd) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("alpha"), 1);
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("bravoxxxxx"), 2);  // as long as the capacity
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("c"), 3);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);

    ASSERT_TRUE(NextRegValueName(key, index, destination.data(), 10));
    EXPECT_EQ(DestinationText(), TEXT("alpha"));
    destination.fill(kSentinel);
    EXPECT_FALSE(NextRegValueName(key, index, destination.data(), 10));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(DestinationUntouched());
    CloseRegKey(key);
}

TEST_F(RegistryWalk, NameLongerThanTheScratchEndsTheWalkWhateverTheCapacity) {
    const WideString longName = kit::Repeat(u'n', 600);
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, longName.c_str(), 1);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);
    EXPECT_FALSE(NextRegValueName(key, index, destination.data(), 1100));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(DestinationUntouched());
    CloseRegKey(key);
}

TEST_F(RegistryWalk, WalkThatStartsPastTheEndResetsTheIndex) {
    kit::SetDword(HKEY_LOCAL_MACHINE, kKey, TEXT("Only"), 1);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);
    index = 5;
    EXPECT_FALSE(NextRegValueName(key, index, destination.data(), 260));
    EXPECT_EQ(index, 0u);
    CloseRegKey(key);
}

TEST_F(RegistryWalk, OpenersReturnThePlatformCode) {
    EXPECT_EQ(OpenHklmKey(TEXT("Software\\NoSuchKey"), key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenRegKey(HKEY_CURRENT_USER, TEXT("Software\\NoSuchKey"), key),
              ERROR_FILE_NOT_FOUND);
    kit::CreateKey(HKEY_CURRENT_USER, kKey);
    ASSERT_EQ(OpenRegKey(HKEY_CURRENT_USER, TEXT("SOFTWARE\\wrenfoldtest"), key), ERROR_SUCCESS);
    EXPECT_NE(key, nullptr);
    CloseRegKey(key);
}

TEST_F(RegistryWalk, CloseLeavesTheHandleVariableAsItWas) {
    kit::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_EQ(OpenHklmKey(kKey, key), ERROR_SUCCESS);
    const HKEY before = key;
    EXPECT_EQ(CloseRegKey(key), ERROR_SUCCESS);
    EXPECT_EQ(key, before);
    EXPECT_EQ(CloseRegKey(key), ERROR_INVALID_HANDLE) << "a second close reaches the platform";
}

TEST_F(RegistryHelpers, KeyExistsProbesWithoutLeavingAKeyOpen) {
    kit::CreateKey(HKEY_CLASSES_ROOT, TEXT("CLSID\\{WrenfoldTest}"));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, TEXT("CLSID\\{WrenfoldTest}")));
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, TEXT("clsid\\{WRENFOLDTEST}")));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, TEXT("CLSID\\{WrenfoldTest}\\Sub")));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, TEXT("Software\\NoSuchKey")));
    EXPECT_EQ(kit::LeakReport(), "");
}

}  // namespace
