// The text helpers as their callers see them: exact byte strings for the escapers, the unescaper
// and the splitter; "#" numbers, conversions and the other helpers writing only where they may;
// and texts of any length where the working buffers once set a limit.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "kit/kit.h"
#include "support/text.h"

namespace {

using Pieces = std::vector<std::string>;

constexpr WCHAR kUnitSentinel = 0xBEEF;
constexpr char kByteSentinel = static_cast<char>(0xA5);

// Bytes with the unprintable ones as \xNN, so that a failure shows exactly what differs.
std::string Shown(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned>(static_cast<BYTE>(byte));
        if (value >= 32 && value < 127 && byte != '\\') {
            text += byte;
        } else {
            char part[8];
            std::snprintf(part, sizeof part, "\\x%02x", value);
            text += part;
        }
    }
    return text;
}

std::string Shown(const WideString& units) {
    return kit::HexUnits(units);
}

std::string Bytes(const char* text, std::size_t length) {
    return std::string(text, length);
}

using TextHelpers = kit::DeviceTest;

// ---- URL escaping and splitting ---------------------------------------------------------------

TEST_F(TextHelpers, UrlSafeTableEscapesExactlyTheTenListedCharacters) {
    const std::string escaped = " \"<>[\\]^{}";
    int zeros = 0;
    for (int code = 32; code <= 127; ++code) {
        const bool listed = escaped.find(static_cast<char>(code)) != std::string::npos;
        EXPECT_EQ(UrlSafeTable[code - 32], listed ? 0 : 1) << "code " << code;
        zeros += UrlSafeTable[code - 32] == 0 ? 1 : 0;
    }
    EXPECT_EQ(zeros, 10);
    // Every byte value: the table for 32 to 127; control bytes and 0x80 to 0xFF never pass.
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const int expected = byte >= 32 && byte <= 127 ? UrlSafeTable[byte - 32] : 0;
        EXPECT_EQ(IsUrlSafeChar(&c), expected) << "byte " << byte;
    }
}

TEST_F(TextHelpers, HexDigitsBothWays) {
    for (char value = 0; value < 16; ++value) {
        EXPECT_EQ(NibbleToHexChar(&value), "0123456789abcdef"[static_cast<int>(value)]);
    }
    struct Case {
        char digit;
        int value;
    };
    // Digits, and the same arithmetic for other bytes (0xFF is -1 as a signed byte).
    const Case cases[] = {{'0', 0},   {'9', 9},  {'A', 10}, {'a', 10},  {'F', 15},  {'f', 15},
                          {'G', -16}, {'g', 16}, {'Z', 3},  {' ', -23}, {'%', -18}, {'\xFF', -56}};
    for (const Case& c : cases) {
        EXPECT_EQ(HexCharValue(&c.digit), c.value) << "digit " << Shown(std::string(1, c.digit));
    }
}

TEST_F(TextHelpers, UrlEscapeKeepsDelimitersAndPercent) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"a b", "a%20b"},
        {"/a b?c=d&e=f#g", "/a%20b?c=d&e=f#g"},
        {"<{\\}>", "%3c%7b%5c%7d%3e"},
        {"\"[]^", "%22%5b%5d%5e"},
        {"%41", "%41"},
        {"\xFF", "%ff"},
        {"\xC3\xA9", "%c3%a9"},
        {Bytes("a\0b", 3), "a%00b"},
        {"\t\r\n\x1F", "%09%0d%0a%1f"},
        {"\x7F", "\x7F"},
        {"!$'()*+,-.:;@_`|~", "!$'()*+,-.:;@_`|~"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Shown(UrlEscape(c.input)), Shown(c.expected)) << "input " << Shown(c.input);
    }
}

TEST_F(TextHelpers, UrlEscapeStrictLeavesOnlyLettersAndDigits) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"a-b.c", "a%2db%2ec"},
        {"Z9z0", "Z9z0"},
        {"~", "%7e"},
        {"%", "%25"},
        {"/ _", "%2f%20%5f"},
        {"\xFF", "%ff"},
        {Bytes("\0", 1), "%00"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Shown(UrlEscapeStrict(c.input)), Shown(c.expected)) << "input " << Shown(c.input);
    }
    // Every byte value, each one on its own.
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const bool kept = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= 'a' && byte <= 'z');
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02x", static_cast<unsigned>(byte));
        EXPECT_EQ(UrlEscapeStrict(one), kept ? one : std::string(escaped)) << "byte " << byte;
    }
}

TEST_F(TextHelpers, UrlUnescapeDecodesInOnePass) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"%41%42", "AB"},
        {"%4a%4A", "JJ"},
        {"a%2", "a%2"},
        {"%", "%"},
        {"100%", "100%"},
        {"%zz41", "%zz41"},
        {"%%41", "%A"},
        {"%254a", "%4a"},
        {"%00", Bytes("\0", 1)},
        {"%c3%A9", "\xC3\xA9"},
        {"%4", "%4"},
        {"%g1%1g", "%g1%1g"},
        {Bytes("%\0"
               "41",
               4),
         Bytes("%\0"
               "41",
               4)},
        {"a+b%20c", "a+b c"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Shown(UrlUnescape(c.input)), Shown(c.expected)) << "input " << Shown(c.input);
    }
}

TEST_F(TextHelpers, UrlUnescapeTakesEveryHexDigitInEitherCase) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (const char high : digits) {
        for (const char low : digits) {
            const auto value = [](char digit) {
                return digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10;
            };
            const std::string expected(1, static_cast<char>(value(high) * 16 + value(low)));
            EXPECT_EQ(Shown(UrlUnescape(std::string("%") + high + low)), Shown(expected))
                << "%" << high << low;
        }
    }
    // The bytes either side of each digit range are no digits.
    for (const char outside : {'/', ':', '@', 'G', '`', 'g'}) {
        const std::string input = std::string("%") + outside + "1";
        EXPECT_EQ(UrlUnescape(input), input) << Shown(input);
        const std::string reversed = std::string("%1") + outside;
        EXPECT_EQ(UrlUnescape(reversed), reversed) << Shown(reversed);
    }
}

TEST_F(TextHelpers, StrictEscapeUnescapesToEveryByte) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    EXPECT_EQ(UrlUnescape(UrlEscapeStrict(all)), all);
}

// The escapers and the unescaper, which work a chunk at a time, against plain byte loops on random
// texts of every length up to 300 and of lengths that end around the blocks a long text is read
// in: runs of every length at every offset within a chunk, escapes in both cases, broken ones,
// and a "%" in each of the last places.
TEST_F(TextHelpers, UrlHelpersMatchPlainByteLoops) {
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    const auto plainUnescape = [&isHex](const std::string& text) {
        std::string plain;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
                plain +=
                    static_cast<char>(16 * HexCharValue(&text[i + 1]) + HexCharValue(&text[i + 2]));
                i += 2;
            } else {
                plain += text[i];
            }
        }
        return plain;
    };
    const auto plainEscape = [](const std::string& text, bool strict) {
        std::string escaped;
        for (const char c : text) {
            const bool kept =
                strict ? (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
                       : IsUrlSafeChar(&c) != 0;
            char part[4];
            std::snprintf(part, sizeof part, "%%%02x", static_cast<unsigned>(static_cast<BYTE>(c)));
            escaped += kept ? std::string(1, c) : std::string(part);
        }
        return escaped;
    };
    static const char kDigits[] = "0123456789abcdefABCDEF";
    std::mt19937 random(15);
    std::vector<std::size_t> lengths(301);
    std::iota(lengths.begin(), lengths.end(), 0);
    for (const std::size_t around : {1024, 5 * 1024, 6 * 1024}) {
        for (std::size_t length = around - 130; length <= around + 130; length += 13) {
            lengths.push_back(length);
        }
    }
    for (const std::size_t length : lengths) {
        // From a "%" in every second byte to one in every 256th.
        for (unsigned spread = 2; spread <= 256; spread *= 2) {
            std::string text(length, '\0');
            for (char& c : text) {
                const auto pick = static_cast<unsigned>(random());
                c = pick % spread == 0 ? '%'
                    : pick % 3 != 0    ? kDigits[(pick >> 8) % (sizeof kDigits - 1)]
                                       : static_cast<char>(pick >> 16);
            }
            ASSERT_EQ(Shown(UrlUnescape(text)), Shown(plainUnescape(text))) << Shown(text);
            ASSERT_EQ(Shown(UrlEscape(text)), Shown(plainEscape(text, false))) << Shown(text);
            ASSERT_EQ(Shown(UrlEscapeStrict(text)), Shown(plainEscape(text, true))) << Shown(text);
        }
    }
}

// The escapers and the unescaper go through a long text a block of 1,024 bytes at a time: blocks
// whose bytes all grow or all stay, escapes that start in one block and end in the next, and
// texts that end just there in a whole or broken escape. Each input is a string of its own exact
// size, so that under the sanitizers a read past its end is a read past its memory.
TEST_F(TextHelpers, UrlHelpersAtTheBlockLimits) {
    const auto exact = [](std::string text) {
        text.shrink_to_fit();
        return text;
    };
    for (const std::size_t length : {1023, 1024, 1025, 2047, 2048, 2049}) {
        SCOPED_TRACE(testing::Message() << length << " bytes");
        const std::string blanks(length, ' ');
        std::string escaped;
        for (std::size_t i = 0; i < length; ++i) {
            escaped += "%20";
        }
        EXPECT_EQ(UrlEscape(exact(blanks)), escaped);
        EXPECT_EQ(UrlEscapeStrict(exact(blanks)), escaped);
        EXPECT_EQ(UrlUnescape(exact(escaped)), blanks);
        const std::string letters(length, 'k');
        EXPECT_EQ(UrlEscapeStrict(exact(letters)), letters);
        EXPECT_EQ(UrlUnescape(exact(letters)), letters);
    }
    struct Case {
        const char* tail;
        const char* decoded;
    };
    const Case cases[] = {{"%41", "A"}, {"%41y", "Ay"}, {"%4", "%4"}, {"%", "%"}};
    for (const std::size_t before : {1021, 1022, 1023, 1024, 2045, 2046, 2047, 2048}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << before << " bytes, then " << c.tail);
            const std::string plain(before, 'x');
            EXPECT_EQ(UrlUnescape(exact(plain + c.tail)), plain + c.decoded);
        }
    }
}

TEST_F(TextHelpers, SplitStringCutsAtEveryOccurrence) {
    struct Case {
        std::string text;
        std::string separator;
        Pieces expected;
    };
    const Case cases[] = {
        {"a,b,c", ",", {"a", "b", "c"}},
        {"", ",", {""}},
        {"abc", ",", {"abc"}},
        {",a", ",", {"", "a"}},
        {"a,", ",", {"a", ""}},
        {"a,,b", ",", {"a", "", "b"}},
        {"aaa", "aa", {"", "a"}},
        {"aaaa", "aa", {"", "", ""}},
        {"a::b::", "::", {"a", "b", ""}},
        {"one, two,three", ", ", {"one", "two,three"}},
        {Bytes("a\0b\0c", 5), Bytes("\0", 1), {"a", "b", "c"}},
        {"abcabcab", "abcab", {"", "cab"}},
        {"xAx", "a", {"xAx"}},
        {"ab", "abc", {"ab"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text " + Shown(c.text) + " by " + Shown(c.separator));
        Pieces pieces{"left", "over"};
        EXPECT_EQ(SplitString(c.text, c.separator, pieces), static_cast<int>(c.expected.size()));
        EXPECT_EQ(pieces, c.expected);
    }
}

TEST_F(TextHelpers, SplitStringRefusesAnEmptySeparator) {
    Pieces pieces{"left", "over"};
    EXPECT_EQ(SplitString("x", "", pieces), 0);
    EXPECT_TRUE(pieces.empty());
}

TEST_F(TextHelpers, SplitStringOverLongPeriodicText) {
    // Each search resumes behind the last occurrence: a separator that nearly matches everywhere.
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "abababababc";
    }
    Pieces pieces;
    EXPECT_EQ(SplitString(text, "ababc", pieces), 2001);
    EXPECT_EQ(pieces.front(), "ababab");
    EXPECT_EQ(pieces.back(), "");
    EXPECT_EQ(SplitString(text, "ababababababc", pieces), 1);
}

// ---- "#" numbers ------------------------------------------------------------------------------

TEST_F(TextHelpers, FormatHashNumberWritesOnlyWhenTheTextFits) {
    struct Case {
        INT value;
        DWORD capacity;
        const char* expected;  // null: refused
    };
    const Case cases[] = {
        {42, 4, "#42"},
        {42, 3, nullptr},
        {0, 3, "#0"},
        {0, 2, nullptr},
        {-5, 4, "#-5"},
        {-5, 3, nullptr},
        {INT_MAX, 12, "#2147483647"},
        {INT_MAX, 11, nullptr},
        {INT_MIN, 13, "#-2147483648"},
        {INT_MIN, 12, nullptr},
        {7, 0, nullptr},
        {7, 32, "#7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " at capacity " << c.capacity);
        std::array<WCHAR, 40> buffer{};
        buffer.fill(kUnitSentinel);
        const BOOL written = FormatHashNumber(c.value, buffer.data(), c.capacity);
        if (c.expected == nullptr) {
            EXPECT_FALSE(written);
            EXPECT_EQ(Shown(WideString(buffer.data(), 13)), Shown(WideString(13, kUnitSentinel)));
            continue;
        }
        EXPECT_TRUE(written);
        const WideString expected = kit::Widen(c.expected);
        EXPECT_EQ(WideString(buffer.data()), expected);
        EXPECT_EQ(buffer[expected.size() + 1], kUnitSentinel) << "wrote past the zero";
    }
}

// ---- UTF-8 conversion -------------------------------------------------------------------------

TEST_F(TextHelpers, Utf8ToWideWithinTheCapacity) {
    struct Case {
        const char* what;
        std::string source;
        int capacity;
        WideString expected;  // without the terminating zero; empty with `fits` false: null
        bool fits;
    };
    const Case cases[] = {
        {"empty at capacity 1", "", 1, {}, true},
        {"'ab' at capacity 2", "ab", 2, {}, false},
        {"'ab' at capacity 3", "ab", 3, {u'a', u'b'}, true},
        {"two bytes, one unit", "\xC3\xA9", 2, {0xE9}, true},
        {"a pair at capacity 3", "\xF0\x9F\x98\x80", 3, {0xD83D, 0xDE00}, true},
        {"a pair at capacity 2", "\xF0\x9F\x98\x80", 2, {}, false},
        {"malformed bytes", "a\xC0\x80z", 8, {u'a', 0xFFFD, 0xFFFD, u'z'}, true},
        {"capacity 0", "ab", 0, {}, false},
        {"negative capacity", "ab", -1, {}, false},
        // The platform may take the terminating zero with a cut sequence (Wine does).
        {"a lead byte at the end", "a\xE2", 8, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<WCHAR, 16> buffer{};
        buffer.fill(kUnitSentinel);
        const LPWSTR result = Utf8ToWide(c.source.c_str(), buffer.data(), c.capacity);
        if (!c.fits) {
            EXPECT_EQ(result, nullptr);
        } else {
            EXPECT_EQ(result, buffer.data());
            EXPECT_EQ(Shown(WideString(buffer.data())), Shown(c.expected));
        }
        if (c.capacity <= 0) {
            EXPECT_EQ(buffer[0], kUnitSentinel) << "converted without room";
        }
        const std::size_t room = c.capacity > 0 ? static_cast<std::size_t>(c.capacity) : 0;
        EXPECT_EQ(buffer[room], kUnitSentinel) << "wrote past the capacity";
    }
}

TEST_F(TextHelpers, WideToUtf8WithinTheCapacity) {
    struct Case {
        const char* what;
        WideString source;
        int capacity;
        std::string expected;
        bool fits;
    };
    const Case cases[] = {
        {"U+00E9 at capacity 3", {0xE9}, 3, "\xC3\xA9", true},
        {"U+00E9 at capacity 2", {0xE9}, 2, "", false},
        {"empty at capacity 1", {}, 1, "", true},
        {"a pair", {0xD83D, 0xDE00}, 5, "\xF0\x9F\x98\x80", true},
        {"an unpaired surrogate", {u'a', 0xDC00}, 5, "a\xEF\xBF\xBD", true},
        {"capacity 0", {u'a'}, 0, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<char, 16> buffer{};
        buffer.fill(kByteSentinel);
        const LPSTR result = WideToUtf8(c.source.c_str(), buffer.data(), c.capacity);
        if (!c.fits) {
            EXPECT_EQ(result, nullptr);
        } else {
            EXPECT_EQ(result, buffer.data());
            EXPECT_EQ(Shown(std::string(buffer.data())), Shown(c.expected));
        }
        const std::size_t room = c.capacity > 0 ? static_cast<std::size_t>(c.capacity) : 0;
        EXPECT_EQ(buffer[room], kByteSentinel) << "wrote past the capacity";
    }
}

TEST_F(TextHelpers, ConversionFailuresSayWhyInTheLastError) {
    struct Case {
        const char* what;
        std::string source;  // converted to UTF-16, or (as UTF-16) back
        int capacity;
        DWORD error;
    };
    const Case cases[] = {
        {"capacity 0", "ab", 0, ERROR_INVALID_PARAMETER},
        {"negative capacity", "ab", -3, ERROR_INVALID_PARAMETER},
        {"too small", "abc", 3, ERROR_INSUFFICIENT_BUFFER},
    };
    constexpr DWORD kErrorSentinel = 0x5EE7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<WCHAR, 8> wide{};
        SetLastError(kErrorSentinel);
        EXPECT_EQ(Utf8ToWide(c.source.c_str(), wide.data(), c.capacity), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        const WideString source(c.source.begin(), c.source.end());
        std::array<char, 8> narrow{};
        SetLastError(kErrorSentinel);
        EXPECT_EQ(WideToUtf8(source.c_str(), narrow.data(), c.capacity), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // A sequence cut by the end of the text: no conversion, whichever way the platform cuts it.
    std::array<WCHAR, 8> wide{};
    SetLastError(kErrorSentinel);
    if (Utf8ToWide("a\xE2", wide.data(), 8) == nullptr) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
}

TEST_F(TextHelpers, ConversionsRoundTripValidText) {
    const std::string text = "Korvessa \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 fin";
    std::array<WCHAR, 64> wide{};
    ASSERT_NE(Utf8ToWide(text.c_str(), wide.data(), static_cast<int>(wide.size())), nullptr);
    std::array<char, 64> back{};
    ASSERT_NE(WideToUtf8(wide.data(), back.data(), static_cast<int>(back.size())), nullptr);
    EXPECT_EQ(std::string(back.data()), text);
}

// ---- Containment, trimming, case --------------------------------------------------------------

TEST_F(TextHelpers, ContainsNoCaseFoldsAsciiLettersOnly) {
    struct Case {
        const char* text;
        const char* part;
        BOOL expected;
    };
    const Case cases[] = {
        {"Setup Folder", "FOLDER", TRUE},
        {"abc", "B", TRUE},
        {"ab", "abc", FALSE},
        {"abc", "", FALSE},
        {"", "a", FALSE},
        {"", "", FALSE},
        {"a_b", "A_B", TRUE},
        {"a@b", "A`B", FALSE},  // '@' and '`' differ by the case bit but are no letters
        {"[x]", "{X}", FALSE},
        {"\xC0t\xC9", "\xE0T\xE9", FALSE},  // Latin-1 letters compare exactly
        {"\xC0t\xC9", "\xC0T\xC9", TRUE},
        {"aaab", "AAB", TRUE},
        {"abababc", "ABABC", TRUE},
        {"abababd", "ABABC", FALSE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContainsNoCase(c.text, c.part), c.expected)
            << Shown(c.text) << " contains " << Shown(c.part);
    }
}

TEST_F(TextHelpers, ContainsNoCaseFoldsEveryLetterBothWays) {
    for (char upper = 'A'; upper <= 'Z'; ++upper) {
        const char lower = static_cast<char>(upper + 32);
        const std::string upperText = std::string("<") + upper + ">";
        const std::string lowerText = std::string("<") + lower + ">";
        EXPECT_TRUE(ContainsNoCase(upperText.c_str(), lowerText.c_str())) << upper;
        EXPECT_TRUE(ContainsNoCase(lowerText.c_str(), upperText.c_str())) << lower;
    }
    // Just outside the letter ranges the case bit makes another character.
    const char* const outside[][2] = {{"@", "`"}, {"[", "{"}, {"\\", "|"}, {"^", "~"}};
    for (const auto& pair : outside) {
        EXPECT_FALSE(ContainsNoCase(pair[0], pair[1])) << pair[0] << " " << pair[1];
        EXPECT_FALSE(ContainsNoCase(pair[1], pair[0])) << pair[1] << " " << pair[0];
        EXPECT_TRUE(ContainsNoCase(pair[0], pair[0])) << pair[0];
    }
}

TEST_F(TextHelpers, ContainsNoCaseHasNoLengthLimit) {
    // Well beyond the 259 characters that fixed copies would hold, for either argument.
    std::string text(100000, 'x');
    text += "Needle in a Haystack";
    EXPECT_TRUE(ContainsNoCase(text.c_str(), "nEEDLE IN A hAYSTACK"));
    EXPECT_FALSE(ContainsNoCase(text.c_str(), "needle in a haystackk"));

    const std::string part = std::string(300, 'X') + "needle";
    EXPECT_TRUE(ContainsNoCase(text.c_str(), part.c_str()));
    EXPECT_FALSE(ContainsNoCase(text.c_str(), (part + "!").c_str()));
    EXPECT_FALSE(ContainsNoCase(part.c_str(), text.c_str()));

    // A periodic part against a text that matches it almost everywhere.
    std::string periodic;
    for (int i = 0; i < 5000; ++i) {
        periodic += "aB";
    }
    const std::string wanted = std::string(4000, 'a') + "c";
    std::string folded = periodic;
    for (char& c : folded) {
        c = 'A';
    }
    EXPECT_FALSE(ContainsNoCase(folded.c_str(), wanted.c_str()));
    EXPECT_TRUE(ContainsNoCase((folded + "C").c_str(), wanted.c_str()));
    EXPECT_TRUE(ContainsNoCase(periodic.c_str(), "AbAbAbAbAbAbAbAb"));
}

// ContainsNoCase reads a long text a block at a time, of 16 KiB or the part's length if longer:
// a part whose last byte lies just before, on or just after a block's end is found, and is not
// when the text ends one byte short of it.
TEST_F(TextHelpers, ContainsNoCaseAcrossTheBlocksItReadsTheTextIn) {
    const std::string parts[] = {"nEEDLE", std::string(20000, 'Q') + "nEEDLE"};
    for (const std::string& part : parts) {
        const std::size_t block = std::max<std::size_t>(16384, part.size());
        for (const std::size_t blockEnd : {2 * block, 3 * block}) {
            for (const std::size_t last : {blockEnd - 2, blockEnd - 1, blockEnd, blockEnd + 1}) {
                SCOPED_TRACE(testing::Message() << part.size() << "-byte part ending at " << last);
                std::string text(last + 1 - part.size(), 'x');
                for (const char c : part) {
                    text += static_cast<char>(c ^ 0x20);  // the other case
                }
                EXPECT_TRUE(ContainsNoCase((text + "xyz").c_str(), part.c_str()));
                text.pop_back();
                EXPECT_FALSE(ContainsNoCase(text.c_str(), part.c_str()));
            }
        }
    }
}

// Every short text and part over a small alphabet, against the plain search the helpers must
// agree with; the searches skip ahead by what they learnt, and this covers every way to go wrong.
std::vector<std::string> AllWords(const std::string& alphabet, std::size_t longest) {
    std::vector<std::string> words{""};
    for (std::size_t begin = 0, length = 0; length < longest; ++length) {
        const std::size_t end = words.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (const char letter : alphabet) {
                words.push_back(words[i] + letter);
            }
        }
        begin = end;
    }
    return words;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool PlainContains(const std::string& text, const std::string& part) {
    if (text.empty() || part.empty()) {
        return false;
    }
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size() && Upper(text[at + i]) == Upper(part[i])) {
            ++i;
        }
        if (i == part.size()) {
            return true;
        }
    }
    return false;
}

Pieces PlainSplit(const std::string& text, const std::string& separator) {
    Pieces pieces;
    std::size_t start = 0;
    for (std::size_t at = 0; at + separator.size() <= text.size();) {
        if (text.compare(at, separator.size(), separator) == 0) {
            pieces.push_back(text.substr(start, at - start));
            at += separator.size();
            start = at;
        } else {
            ++at;
        }
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

TEST_F(TextHelpers, SearchesAgreeWithThePlainSearchOnEveryShortText) {
    const std::vector<std::string> texts = AllWords("abA", 6);
    const std::vector<std::string> parts = AllWords("abA", 4);
    int mismatches = 0;
    for (const std::string& text : texts) {
        for (const std::string& part : parts) {
            if ((ContainsNoCase(text.c_str(), part.c_str()) != FALSE) !=
                PlainContains(text, part)) {
                ADD_FAILURE() << "'" << text << "' contains '" << part << "'";
                ++mismatches;
            }
            if (mismatches > 10) {
                return;
            }
        }
    }
    Pieces pieces;
    for (const std::string& text : AllWords("ab", 8)) {
        for (const std::string& separator : AllWords("ab", 4)) {
            if (separator.empty()) {
                continue;
            }
            SplitString(text, separator, pieces);
            ASSERT_EQ(pieces, PlainSplit(text, separator))
                << "'" << text << "' by '" << separator << "'";
        }
    }
}

TEST_F(TextHelpers, TrimSpacesRemovesOnlySpacesAtBothEnds) {
    struct Case {
        const char* what;
        WideString text;
        WideString expected;
    };
    const Case cases[] = {
        {"both ends", kit::Widen("  a b  "), kit::Widen("a b")},
        {"spaces only", kit::Widen("   "), {}},
        {"empty", {}, {}},
        {"one character", kit::Widen("x"), kit::Widen("x")},
        {"tab kept", kit::Widen("\ta "), kit::Widen("\ta")},
        {"leading only", kit::Widen("  ab"), kit::Widen("ab")},
        {"other blanks kept", {0x00A0, u' ', u'a', u'\n', u' '}, {0x00A0, u' ', u'a', u'\n'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<WCHAR, 16> buffer{};
        buffer.fill(kUnitSentinel);
        std::copy(c.text.begin(), c.text.end(), buffer.begin());
        buffer[c.text.size()] = 0;
        TrimSpaces(buffer.data());
        EXPECT_EQ(Shown(WideString(buffer.data())), Shown(c.expected));
        EXPECT_EQ(buffer[c.text.size() + 1], kUnitSentinel) << "wrote past the terminating zero";
    }
}

TEST_F(TextHelpers, TrimSpacesHasNoLengthLimit) {
    const WideString core = kit::Repeat(u'x', 5000) + TEXT(" y");
    WideString text = kit::Repeat(u' ', 3000) + core + kit::Repeat(u' ', 3000);
    text.push_back(0);
    text.push_back(kUnitSentinel);
    TrimSpaces(text.data());
    EXPECT_EQ(WideString(text.c_str()), core);
    EXPECT_EQ(text.back(), kUnitSentinel);
}

TEST_F(TextHelpers, CaseConvertedCopyLowersAsciiLettersUpToTheFirstZero) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"Mixed 1", "mixed 1"},
        {Bytes("ab\0cd", 5), "ab"},
        {Bytes("\0AB", 3), ""},
        {"\xC0\xC9Z@[", "\xC0\xC9z@["},
        {"", ""},
    };
    for (const Case& c : cases) {
        const std::string copy = CaseConvertedCopy(c.input);
        EXPECT_EQ(Shown(copy), Shown(c.expected)) << "input " << Shown(c.input);
        EXPECT_EQ(copy.size(), c.expected.size());
    }
    const std::string original = "Keep ME";
    EXPECT_EQ(CaseConvertedCopy(original), "keep me");
    EXPECT_EQ(original, "Keep ME");
}

}  // namespace
