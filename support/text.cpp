#include "support/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "support/fixed_buffer.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The byte as the signed 8-bit value the byte tests take.
constexpr int SignedByte(int byte) {
    return byte < 128 ? byte : byte - 256;
}

constexpr bool IsUrlSafeByte(int byte) {
    const int c = SignedByte(byte);
    return c >= 32 && UrlSafeTable[c - 32] != 0;
}

constexpr bool IsAsciiLetterOrDigit(int byte) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z');
}

// A value for each byte, 0 to 255, as `rule` gives it.
template <class Value, class Rule>
constexpr std::array<Value, 256> MakeByteTable(Rule rule) {
    std::array<Value, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        table[static_cast<std::size_t>(byte)] = static_cast<Value>(rule(byte));
    }
    return table;
}

// The escapers and the unescaper go through a long text a block at a time, into a small buffer
// that is appended to the result: the result is written once, and never cleared first.
constexpr std::size_t kBlock = 1024;

// ---- Escaping ---------------------------------------------------------------------------------

// A byte's escaped form packed in a number: its characters from bit 0 on, eight bits each (the
// byte itself, or "%" and two digits), and how many there are in bits 24 to 31. The escaper
// writes all three and moves on by the count, which costs fewer instructions than a branch.
using EscapeTable = std::array<std::uint32_t, 256>;

template <class Keep>
constexpr EscapeTable MakeEscapeTable(Keep keep) {
    return MakeByteTable<std::uint32_t>([keep](int byte) {
        const auto value = static_cast<std::uint32_t>(byte);
        const auto digit = [](std::uint32_t nibble) {
            return static_cast<std::uint32_t>(kHexDigits[nibble]);
        };
        return keep(byte) ? 1u << 24 | value
                          : 3u << 24 | digit(value & 0xF) << 16 | digit(value >> 4) << 8 | '%';
    });
}

constexpr EscapeTable kUrlEscapes = MakeEscapeTable(IsUrlSafeByte);
constexpr EscapeTable kStrictEscapes = MakeEscapeTable(IsAsciiLetterOrDigit);

std::string Escape(const std::string& input, const EscapeTable& table) {
    std::string result;
    // The result is allocated once, at its length: for a text of one block by the one append, for
    // a longer one after counting.
    if (input.size() > kBlock) {
        std::size_t length = 0;
        for (const char c : input) {
            length += table[static_cast<unsigned char>(c)] >> 24;
        }
        result.reserve(length);
    }
    char escaped[3 * kBlock];
    const char* at = input.data();
    const char* const end = at + input.size();
    while (at != end) {
        const char* const blockEnd = at + std::min(kBlock, static_cast<std::size_t>(end - at));
        char* out = escaped;
        for (; at != blockEnd; ++at) {
            const std::uint32_t entry = table[static_cast<unsigned char>(*at)];
            out[0] = static_cast<char>(entry);
            out[1] = static_cast<char>(entry >> 8);
            out[2] = static_cast<char>(entry >> 16);
            out += entry >> 24;
        }
        result.append(escaped, static_cast<std::size_t>(out - escaped));
    }
    return result;
}

// ---- Unescaping -------------------------------------------------------------------------------

// The value of each hexadecimal digit ('0' to '9', 'A' to 'F', 'a' to 'f', the "C" locale's digit
// class), and 0xFF for every other byte: two bytes are digits when their values ored are below 16.
constexpr auto kHexValues = MakeByteTable<unsigned char>([](int byte) {
    return byte >= '0' && byte <= '9'   ? byte - '0'
           : byte >= 'A' && byte <= 'F' ? byte - 'A' + 10
           : byte >= 'a' && byte <= 'f' ? byte - 'a' + 10
                                        : 0xFF;
});

// ---- Searching --------------------------------------------------------------------------------
// The two-way string search (Crochemore and Perrin, 1991): linear time and constant space for a
// pattern of any length. A window whose last byte cannot end a match first moves on by a shift
// found from that byte alone (Horspool's rule), which on ordinary text passes most windows after
// one comparison. Bytes compare through Key, which either keeps them or folds ASCII letters to
// upper case.

constexpr auto kUpperCase = MakeByteTable<unsigned char>(
    [](int byte) { return byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte; });

template <bool kFoldCase>
unsigned char Key(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if constexpr (kFoldCase) {
        return kUpperCase[byte];
    } else {
        return byte;
    }
}

// What the search knows of a pattern before it reads the text. `split` and `period` come from a
// critical factorization: the search matches the right part (from `split` on) first, and a
// failed match moves the window by the period.
struct Pattern {
    const char* bytes;
    std::size_t length;
    std::size_t split;   // the right part starts here
    std::size_t period;  // the pattern's period when `periodic`, otherwise a safe shift
    bool periodic;
    // For each byte, how far a window that ends with it may move: to where it last occurs in the
    // pattern, or past it when it does not (at most 255). 0 only for the pattern's last byte.
    std::array<unsigned char, 256> shifts;
};

// The start of the lexicographically greatest suffix of `pattern` (under the reversed order when
// `reversed`) and the period of that suffix.
template <bool kFoldCase>
void MaximalSuffix(const char* pattern, std::size_t length, bool reversed, std::size_t& start,
                   std::size_t& period) {
    std::size_t candidate = 0;  // start of the best suffix so far
    std::size_t rival = 1;      // start of the suffix compared against it
    std::size_t offset = 0;     // how far the two agree
    period = 1;
    while (rival + offset < length) {
        const unsigned char a = Key<kFoldCase>(pattern[rival + offset]);
        const unsigned char b = Key<kFoldCase>(pattern[candidate + offset]);
        if (a == b) {
            ++offset;
            if (offset == period) {
                rival += period;
                offset = 0;
            }
        } else if ((a < b) != reversed) {
            rival += offset + 1;
            offset = 0;
            period = rival - candidate;
        } else {
            candidate = rival;
            rival = candidate + 1;
            offset = 0;
            period = 1;
        }
    }
    start = candidate;
}

template <bool kFoldCase>
bool SameBytes(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (Key<kFoldCase>(a[i]) != Key<kFoldCase>(b[i])) {
            return false;
        }
    }
    return true;
}

// `bytes` is not empty.
template <bool kFoldCase>
Pattern MakePattern(const char* bytes, std::size_t length) {
    std::size_t forwardStart = 0;
    std::size_t forwardPeriod = 0;
    std::size_t reverseStart = 0;
    std::size_t reversePeriod = 0;
    MaximalSuffix<kFoldCase>(bytes, length, false, forwardStart, forwardPeriod);
    MaximalSuffix<kFoldCase>(bytes, length, true, reverseStart, reversePeriod);
    Pattern p{bytes, length, forwardStart, forwardPeriod, false, {}};
    if (reverseStart > forwardStart) {
        p.split = reverseStart;
        p.period = reversePeriod;
    }
    // The pattern has that period throughout when its left part recurs one period on.
    p.periodic =
        p.split + p.period <= length && SameBytes<kFoldCase>(bytes, bytes + p.period, p.split);
    if (!p.periodic) {
        p.period = std::max(p.split, length - p.split) + 1;
    }
    p.shifts.fill(static_cast<unsigned char>(std::min<std::size_t>(length, 255)));
    for (std::size_t i = 0; i < length; ++i) {
        p.shifts[Key<kFoldCase>(bytes[i])] =
            static_cast<unsigned char>(std::min<std::size_t>(length - 1 - i, 255));
    }
    return p;
}

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first position in `text` where the pattern occurs.
template <bool kFoldCase>
std::size_t FindPattern(const char* text, std::size_t textLength, const Pattern& p) {
    // In a periodic pattern, after a full right-part match the bytes before `known` are known
    // to match already at the next window. The last-byte shift is taken only without that
    // knowledge, which it would throw away: the search stays linear.
    std::size_t known = 0;
    for (std::size_t at = 0; p.length <= textLength && at <= textLength - p.length;) {
        const char* window = text + at;
        if (known == 0) {
            const std::size_t shift = p.shifts[Key<kFoldCase>(window[p.length - 1])];
            if (shift != 0) {
                at += shift;
                continue;
            }
        }
        std::size_t i = std::max(p.split, known);
        while (i < p.length && Key<kFoldCase>(p.bytes[i]) == Key<kFoldCase>(window[i])) {
            ++i;
        }
        if (i < p.length) {
            at += i - p.split + 1;
            known = 0;
            continue;
        }
        std::size_t left = p.split;
        while (left > known &&
               Key<kFoldCase>(p.bytes[left - 1]) == Key<kFoldCase>(window[left - 1])) {
            --left;
        }
        if (left <= known) {
            return at;
        }
        at += p.period;
        known = p.periodic ? p.length - p.period : 0;
    }
    return kNotFound;
}

int ClampedCount(std::size_t count) {
    return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

}  // namespace

// ---- URL escaping and splitting ---------------------------------------------------------------

int IsUrlSafeChar(const char* c) {
    return IsUrlSafeByte(static_cast<unsigned char>(*c)) ? 1 : 0;
}

char NibbleToHexChar(const char* nibble) {
    return kHexDigits[static_cast<unsigned char>(*nibble) & 0xFu];
}

int HexCharValue(const char* digit) {
    const int c = SignedByte(static_cast<unsigned char>(*digit));
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c <= 'F' ? c - 55 : c - 87;
}

std::string UrlEscape(const std::string& input) {
    return Escape(input, kUrlEscapes);
}

std::string UrlEscapeStrict(const std::string& input) {
    return Escape(input, kStrictEscapes);
}

std::string UrlUnescape(const std::string& input) {
    std::string result;
    result.reserve(input.size());
    char decoded[kBlock];
    const char* at = input.data();
    const char* const end = at + input.size();
    // A "%" among the last two bytes has no room for its digits: it is plain.
    const char* const lastEscape = input.size() > 2 ? end - 2 : at;
    while (at != end) {
        // An escape that starts in the block may take its digits from behind it: the block
        // still decodes to at most kBlock bytes.
        const char* const blockEnd = at + std::min(kBlock, static_cast<std::size_t>(end - at));
        const char* const escapesEnd = std::min(blockEnd, lastEscape);
        char* out = decoded;
        while (at < escapesEnd) {
            const char c = *at;
            if (c == '%') {
                const unsigned high = kHexValues[static_cast<unsigned char>(at[1])];
                const unsigned low = kHexValues[static_cast<unsigned char>(at[2])];
                if ((high | low) <= 0xF) {
                    *out++ = static_cast<char>(high << 4 | low);
                    at += 3;
                    continue;
                }
            }
            *out++ = c;
            ++at;
        }
        while (at < blockEnd) {
            *out++ = *at++;
        }
        result.append(decoded, static_cast<std::size_t>(out - decoded));
    }
    return result;
}

int SplitString(const std::string& text, const std::string& separator,
                std::vector<std::string>& pieces) {
    pieces.clear();
    if (separator.empty()) {
        return 0;
    }
    const char* from = text.data();
    const char* const end = from + text.size();
    if (separator.size() == 1) {
        // A byte loop: the pieces are short, and a library search costs a call for each.
        const char mark = separator[0];
        for (const char* at = from; at != end; ++at) {
            if (*at == mark) {
                pieces.emplace_back(from, at);
                from = at + 1;
            }
        }
    } else {
        const Pattern p = MakePattern<false>(separator.data(), separator.size());
        for (;;) {
            const std::size_t found =
                FindPattern<false>(from, static_cast<std::size_t>(end - from), p);
            if (found == kNotFound) {
                break;
            }
            pieces.emplace_back(from, from + found);
            from += found + separator.size();
        }
    }
    pieces.emplace_back(from, end);
    return ClampedCount(pieces.size());
}

// ---- Text conversion --------------------------------------------------------------------------

BOOL FormatHashNumber(INT value, LPWSTR buffer, DWORD capacity) {
    // "#", a sign, ten digits and the terminating zero fit with room to spare.
    WCHAR text[32];
    text[0] = TEXT('#');
    _itow(value, text + 1, 10);
    return CopyTextIfFits(text, wcslen(text), buffer, capacity);
}

LPWSTR Utf8ToWide(LPCSTR source, LPWSTR buffer, int capacity) {
    // A capacity of 0 would only measure the text.
    if (capacity < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, source, -1, buffer, capacity);
    if (units == 0) {
        return nullptr;
    }
    // The platform may let a sequence cut short by the end of the text take the terminating zero
    // with it (Wine does); a text handed back without one is no conversion.
    if (buffer[units - 1] != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return nullptr;
    }
    return buffer;
}

LPSTR WideToUtf8(LPCWSTR source, LPSTR buffer, int capacity) {
    if (capacity < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, source, -1, buffer, capacity, nullptr, nullptr);
    if (bytes == 0) {
        return nullptr;
    }
    if (buffer[bytes - 1] != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return nullptr;
    }
    return buffer;
}

BOOL ContainsNoCase(LPCSTR text, LPCSTR part) {
    const std::size_t partLength = std::strlen(part);
    if (partLength == 0) {
        return FALSE;
    }
    const Pattern p = MakePattern<true>(part, partLength);
    // The text's length is found a block at a time (memchr stops at the zero), and each block
    // searched while it is still in the cache (4 KiB, an eighth of the XScale's data cache): a
    // long text is read from memory once, and a match near its start ends the search early. A
    // block is at least as long as the part, so that the windows that span two blocks cost no
    // more than the blocks.
    const std::size_t block = std::max(4 * kBlock, partLength);
    std::size_t length = 0;  // how much of the text is known to lie before its terminating zero
    std::size_t from = 0;    // no match starts before this
    for (;;) {
        const void* zero = std::memchr(text + length, 0, block);
        length = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                                 : length + block;
        if (length - from >= partLength) {
            if (FindPattern<true>(text + from, length - from, p) != kNotFound) {
                return TRUE;
            }
            from = length - partLength + 1;
        }
        if (zero != nullptr) {
            return FALSE;
        }
    }
}

void TrimSpaces(LPWSTR text) {
    constexpr WCHAR kSpace = TEXT(' ');
    std::size_t end = wcslen(text);
    while (end > 0 && text[end - 1] == kSpace) {
        text[--end] = 0;
    }
    std::size_t start = 0;
    while (start < end && text[start] == kSpace) {
        ++start;
    }
    if (start > 0) {
        std::memmove(text, text + start, (end - start + 1) * sizeof(WCHAR));
    }
}

std::string CaseConvertedCopy(std::string text) {
    text.resize(std::strlen(text.c_str()));
    _strlwr(text.data());
    return text;
}
