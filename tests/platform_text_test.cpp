// The platform's text conversion and runtime text functions as the text helpers rely on them. The
// cases run on the simulated device and under Wine alike, so every row holds the model to Wine's
// MultiByteToWideChar, WideCharToMultiByte, _itow, _strupr and _strlwr.
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kit/kit.h"

namespace {

constexpr WCHAR kUnitSentinel = 0xBEEF;
constexpr char kByteSentinel = static_cast<char>(0xA5);
constexpr DWORD kErrorSentinel = 0xDEADBEEF;
constexpr int kRoom = 16;

// Units or bytes as hexadecimal, so that a failure shows exactly what differs.
std::string Hex(const WideString& units) {
    return kit::HexUnits(units);
}

std::string Hex(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        char part[8];
        std::snprintf(part, sizeof part, " %02x", static_cast<unsigned>(static_cast<BYTE>(byte)));
        text += part;
    }
    return text;
}

// One call and what it left: its result, the last-error value (the sentinel when untouched) and
// the buffer's first `capacity` units, plus the one behind them, which must never change.
struct Outcome {
    int result = 0;
    DWORD error = 0;
    WideString units;
    std::string bytes;
    bool behindUntouched = false;
};

Outcome ToWide(const std::string& source, int sourceLength, int capacity, DWORD flags = 0) {
    std::array<WCHAR, kRoom + 1> buffer{};
    buffer.fill(kUnitSentinel);
    SetLastError(kErrorSentinel);
    Outcome outcome;
    outcome.result = MultiByteToWideChar(CP_UTF8, flags, source.c_str(), sourceLength,
                                         capacity == 0 ? nullptr : buffer.data(), capacity);
    outcome.error = GetLastError();
    const auto used = static_cast<std::size_t>(capacity);
    outcome.units.assign(buffer.data(), used);
    outcome.behindUntouched = buffer[used] == kUnitSentinel;
    return outcome;
}

Outcome ToUtf8(const WideString& source, int sourceLength, int capacity, DWORD flags = 0) {
    std::array<char, kRoom + 1> buffer{};
    buffer.fill(kByteSentinel);
    SetLastError(kErrorSentinel);
    Outcome outcome;
    outcome.result =
        WideCharToMultiByte(CP_UTF8, flags, source.c_str(), sourceLength,
                            capacity == 0 ? nullptr : buffer.data(), capacity, nullptr, nullptr);
    outcome.error = GetLastError();
    const auto used = static_cast<std::size_t>(capacity);
    outcome.bytes.assign(buffer.data(), used);
    outcome.behindUntouched = buffer[used] == kByteSentinel;
    return outcome;
}

// What a successful conversion of `expected` units leaves in a buffer of kRoom units.
WideString Filled(const WideString& expected) {
    return expected + WideString(static_cast<std::size_t>(kRoom) - expected.size(), kUnitSentinel);
}

std::string Filled(const std::string& expected) {
    return expected + std::string(static_cast<std::size_t>(kRoom) - expected.size(), kByteSentinel);
}

using PlatformText = kit::DeviceTest;

// Whole texts (length -1): each malformed piece becomes one U+FFFD. A piece is a byte that starts
// no sequence, a lead byte with the continuation bytes before the first byte that does not fit,
// or a lead byte and a first continuation byte that already rule the character out.
TEST_F(PlatformText, Utf8ToUtf16ReplacesMalformedSequences) {
    struct Case {
        const char* what;
        std::string source;
        WideString expected;  // with the terminating zero
    };
    const Case cases[] = {
        {"empty", "", {0}},
        {"ASCII", "ab", {u'a', u'b', 0}},
        {"two bytes", "\xC3\xA9", {0xE9, 0}},
        {"three bytes", "\xE2\x82\xAC", {0x20AC, 0}},
        {"U+FFFF", "\xEF\xBF\xBF", {0xFFFF, 0}},
        {"four bytes", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00, 0}},
        {"U+10FFFF", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF, 0}},
        {"lone continuation", "\x80", {0xFFFD, 0}},
        {"continuations", "\x80\xBF\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}},
        {"lead before ASCII",
         "\xC3"
         "A",
         {0xFFFD, u'A', 0}},
        {"lead before lead", "\xC3\xC3\xA9", {0xFFFD, 0xE9, 0}},
        {"two-byte overlong", "\xC0\x80", {0xFFFD, 0xFFFD, 0}},
        {"C1 lead", "\xC1\xBF", {0xFFFD, 0xFFFD, 0}},
        {"three-byte overlong", "\xE0\x80\x80", {0xFFFD, 0xFFFD, 0}},
        {"encoded surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0}},
        {"four-byte overlong", "\xF0\x80\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}},
        {"F5 lead", "\xF5\x80\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0}},
        {"FE and FF",
         "\xFE\xFF"
         "A",
         {0xFFFD, 0xFFFD, u'A', 0}},
        {"three bytes cut short",
         "\xE2\x82"
         "A",
         {0xFFFD, u'A', 0}},
        {"four bytes cut short",
         "\xF0\x9F\x98"
         "A",
         {0xFFFD, u'A', 0}},
        {"extra continuation", "\xC3\x80\x80", {0xC0, 0xFFFD, 0}},
        {"last lead before the zero", "\xC3", {0xFFFD, 0}},
        // A lead byte announcing more bytes than the text has left takes the terminating zero
        // with it (Wine; real Windows not verified): the result has no terminating zero.
        {"three-byte lead at the end", "a\xE2", {u'a', 0xFFFD}},
        {"four-byte lead cut at the end", "a\xF0\x9F", {u'a', 0xFFFD}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome converted = ToWide(c.source, -1, kRoom);
        EXPECT_EQ(converted.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(Hex(converted.units), Hex(Filled(c.expected)));
        EXPECT_EQ(converted.error, kErrorSentinel);
        // Measuring gives the same count.
        EXPECT_EQ(ToWide(c.source, -1, 0).result, static_cast<int>(c.expected.size()));
    }
}

TEST_F(PlatformText, Utf8ToUtf16WithCountedSources) {
    struct Case {
        const char* what;
        std::string source;
        int length;
        WideString expected;
    };
    const Case cases[] = {
        {"no terminating zero", "ab", 2, {u'a', u'b'}},
        {"a zero inside", std::string("a\0b", 3), 3, {u'a', 0, u'b'}},
        {"a sequence cut by the length", "\xC3\xA9", 1, {0xFFFD}},
        {"any negative length", "ab", -2, {u'a', u'b', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome converted = ToWide(c.source, c.length, kRoom);
        EXPECT_EQ(converted.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(Hex(converted.units), Hex(Filled(c.expected)));
    }
}

// A buffer too small receives the units that fit, the first half of a pair included, and the call
// fails; nothing is written behind it.
TEST_F(PlatformText, Utf8ToUtf16IntoBuffersTooSmall) {
    struct Case {
        const char* what;
        std::string source;
        int capacity;
        WideString written;
    };
    const Case cases[] = {
        {"no room for the zero", "ab", 2, {u'a', u'b'}},
        {"room for one", "ab", 1, {u'a'}},
        {"half a pair", "\xF0\x9F\x98\x80", 1, {0xD83D}},
        {"a pair and no zero", "\xF0\x9F\x98\x80", 2, {0xD83D, 0xDE00}},
        {"text then half a pair", "a\xF0\x9F\x98\x80", 2, {u'a', 0xD83D}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome converted = ToWide(c.source, -1, c.capacity);
        EXPECT_EQ(converted.result, 0);
        EXPECT_EQ(converted.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(Hex(converted.units), Hex(c.written));
        EXPECT_TRUE(converted.behindUntouched);
    }
    const Outcome exact = ToWide("ab", -1, 3);
    EXPECT_EQ(exact.result, 3);
    EXPECT_EQ(Hex(exact.units), Hex(WideString{u'a', u'b', 0}));
    EXPECT_TRUE(exact.behindUntouched);
}

TEST_F(PlatformText, Utf8ToUtf16RefusesBadArguments) {
    struct Case {
        const char* what;
        const char* source;
        int length;
        DWORD flags;
        DWORD error;
    };
    const Case cases[] = {
        {"empty count", "ab", 0, 0, ERROR_INVALID_PARAMETER},
        {"no source", nullptr, -1, 0, ERROR_INVALID_PARAMETER},
        {"unknown flag", "ab", -1, 0x100, ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR buffer[4] = {kUnitSentinel, kUnitSentinel, kUnitSentinel, kUnitSentinel};
        SetLastError(kErrorSentinel);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, c.flags, c.source, c.length, buffer, 4), 0);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(buffer[0], kUnitSentinel);
    }
    SetLastError(kErrorSentinel);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// With the flag that asks for it, malformed input fails the call, after converting it all.
TEST_F(PlatformText, Utf8ToUtf16CanRefuseMalformedInput) {
    const Outcome refused = ToWide(
        "\xC3"
        "A",
        -1, kRoom, MB_ERR_INVALID_CHARS);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(Hex(refused.units), Hex(Filled(WideString{0xFFFD, u'A', 0})));
    EXPECT_EQ(ToWide("\xC3"
                     "A",
                     -1, 0, MB_ERR_INVALID_CHARS)
                  .result,
              0);
    EXPECT_EQ(ToWide("\xC3\xA9", -1, kRoom, MB_ERR_INVALID_CHARS).result, 2);
}

TEST_F(PlatformText, Utf16ToUtf8ReplacesUnpairedSurrogates) {
    struct Case {
        const char* what;
        WideString source;
        std::string expected;  // with the terminating zero
    };
    const Case cases[] = {
        {"empty", {}, std::string(1, '\0')},
        {"ASCII", {u'a', u'b'}, std::string("ab", 3)},
        {"two bytes", {0xE9}, std::string("\xC3\xA9", 3)},
        {"largest two-byte", {0x7FF}, std::string("\xDF\xBF", 3)},
        {"smallest three-byte", {0x800}, std::string("\xE0\xA0\x80", 4)},
        {"U+FFFF", {0xFFFF}, std::string("\xEF\xBF\xBF", 4)},
        {"a pair", {0xD83D, 0xDE00}, std::string("\xF0\x9F\x98\x80", 5)},
        {"the last pair", {0xDBFF, 0xDFFF}, std::string("\xF4\x8F\xBF\xBF", 5)},
        {"high surrogate at the end", {0xD800}, std::string("\xEF\xBF\xBD", 4)},
        {"high surrogate before text",
         {0xD800, u'a'},
         std::string("\xEF\xBF\xBD"
                     "a",
                     5)},
        {"lone low surrogate", {0xDC00}, std::string("\xEF\xBF\xBD", 4)},
        {"pair reversed", {0xDC00, 0xD800}, std::string("\xEF\xBF\xBD\xEF\xBF\xBD", 7)},
        {"high before a pair",
         {0xD800, 0xD800, 0xDC00},
         std::string("\xEF\xBF\xBD\xF0\x90\x80\x80", 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome converted = ToUtf8(c.source, -1, kRoom);
        EXPECT_EQ(converted.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(Hex(converted.bytes), Hex(Filled(c.expected)));
        EXPECT_EQ(converted.error, kErrorSentinel);
        EXPECT_EQ(ToUtf8(c.source, -1, 0).result, static_cast<int>(c.expected.size()));
    }
    // A count that ends inside a pair leaves its first half unpaired.
    const Outcome half = ToUtf8(WideString{0xD83D, 0xDE00}, 1, kRoom);
    EXPECT_EQ(half.result, 3);
    EXPECT_EQ(Hex(half.bytes), Hex(Filled("\xEF\xBF\xBD")));
}

// Only whole characters are written into a buffer too small.
TEST_F(PlatformText, Utf16ToUtf8IntoBuffersTooSmall) {
    struct Case {
        const char* what;
        WideString source;
        int capacity;
        std::string written;
    };
    const Case cases[] = {
        {"no room for the zero", {0xE9}, 2, "\xC3\xA9"},
        {"no room for the character", {0xE9}, 1, "\xA5"},
        {"a pair and no zero", {0xD83D, 0xDE00}, 4, "\xF0\x9F\x98\x80"},
        {"no room for the pair", {0xD83D, 0xDE00}, 3, "\xA5\xA5\xA5"},
        {"text then no room", {u'a', 0xE9}, 2, "a\xA5"},
        {"replacement and no zero", {0xD800}, 3, "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome converted = ToUtf8(c.source, -1, c.capacity);
        EXPECT_EQ(converted.result, 0);
        EXPECT_EQ(converted.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(Hex(converted.bytes), Hex(c.written));
        EXPECT_TRUE(converted.behindUntouched);
    }
}

TEST_F(PlatformText, Utf16ToUtf8RefusalsAndTheStrictFlag) {
    const Outcome refused = ToUtf8({0xD800}, -1, kRoom, WC_ERR_INVALID_CHARS);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(ToUtf8({0xE9}, -1, kRoom, WC_ERR_INVALID_CHARS).result, 3);

    const Outcome badFlag = ToUtf8({u'a'}, -1, kRoom, 0x100);
    EXPECT_EQ(badFlag.result, 0);
    EXPECT_EQ(badFlag.error, static_cast<DWORD>(ERROR_INVALID_FLAGS));
    const Outcome emptyCount = ToUtf8({u'a'}, 0, kRoom);
    EXPECT_EQ(emptyCount.result, 0);
    EXPECT_EQ(emptyCount.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PlatformText, IntegerToWideText) {
    struct Case {
        int value;
        int radix;
        const char* expected;
    };
    const Case cases[] = {
        {0, 10, "0"},
        {42, 10, "42"},
        {-5, 10, "-5"},
        {INT_MAX, 10, "2147483647"},
        {INT_MIN, 10, "-2147483648"},
        {255, 16, "ff"},
        {-1, 16, "ffffffff"},
        {5, 2, "101"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        WCHAR buffer[40];
        EXPECT_EQ(_itow(c.value, buffer, c.radix), buffer);
        EXPECT_EQ(WideString(buffer), kit::Widen(c.expected));
    }
}

// Case conversion in the "C" locale: ASCII letters only; bytes 0x80 to 0xFF stay.
TEST_F(PlatformText, EightBitCaseConversionTouchesAsciiLettersOnly) {
    char upper[] = "Mixed 1 @[`{ \xC0\xE9\xFF";
    EXPECT_EQ(_strupr(upper), upper);
    EXPECT_EQ(Hex(upper), Hex("MIXED 1 @[`{ \xC0\xE9\xFF"));
    char lower[] = "Mixed 1 @[`{ \xC0\xE9\xFF";
    EXPECT_EQ(_strlwr(lower), lower);
    EXPECT_EQ(Hex(lower), Hex("mixed 1 @[`{ \xC0\xE9\xFF"));
}

}  // namespace
