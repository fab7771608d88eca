#include "support/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// ---- Streaming --------------------------------------------------------------------------------
// The processor's own prefetching stops at the end of each page of memory, so a pass over a text
// larger than the caches would wait for memory at every page. The passes below go a block at a
// time and ask for the memory a few blocks ahead, which keeps their rate the same at any size.
// The helpers are always inlined: the compiler counts a prefetch as no effect, and drops a call
// to a function that does nothing else.

constexpr std::size_t kBlock = 1024;
constexpr std::size_t kAhead = 4 * kBlock;
constexpr std::size_t kCacheLine = 64;

enum class Use { kReading, kWriting };

template <Use kUse>
[[gnu::always_inline]] inline void Prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address, kUse == Use::kWriting ? 1 : 0);
#else
    static_cast<void>(address);
#endif
}

// Asks for each cache line that holds some of the `size` bytes lying `ahead` bytes past `at`, when
// the `room` bytes from `at` on reach that far.
template <Use kUse, class Byte>
[[gnu::always_inline]] inline void PrefetchAhead(Byte* at, std::size_t room, std::size_t size,
                                                 std::size_t ahead = kAhead) {
    if (room > ahead + size) {
        Byte* const first = at + ahead;
        const std::size_t offset = reinterpret_cast<std::uintptr_t>(first) % kCacheLine;
        for (std::size_t line = 0; line < offset + size; line += kCacheLine) {
            Prefetch<kUse>(first - offset + line);
        }
    }
}

// The end of the block that starts at `at`: kBlock bytes on, or `end`.
template <class Byte>
[[gnu::always_inline]] inline Byte* NextBlock(Byte* at, Byte* end) {
    const auto left = static_cast<std::size_t>(end - at);
    PrefetchAhead<Use::kReading>(at, left, kBlock);
    return at + std::min(kBlock, left);
}

// ---- Escaping ---------------------------------------------------------------------------------

// A byte's form in escaped text: the byte itself, or "%" and its two digits. The fourth byte, the
// length, makes an entry four bytes long, so that one fixed-size copy writes any entry.
struct EscapedByte {
    char text[3];
    char length;
};
static_assert(sizeof(EscapedByte) == 4);
using EscapeTable = std::array<EscapedByte, 256>;

template <class Keep>
constexpr EscapeTable MakeEscapeTable(Keep keep) {
    EscapeTable table{};
    for (int byte = 0; byte < 256; ++byte) {
        EscapedByte& entry = table[static_cast<std::size_t>(byte)];
        if (keep(byte)) {
            entry.text[0] = static_cast<char>(SignedByte(byte));
            entry.length = 1;
        } else {
            entry.text[0] = '%';
            entry.text[1] = kHexDigits[byte >> 4];
            entry.text[2] = kHexDigits[byte & 0xF];
            entry.length = 3;
        }
    }
    return table;
}

constexpr EscapeTable kUrlEscapes = MakeEscapeTable(IsUrlSafeByte);
constexpr EscapeTable kStrictEscapes = MakeEscapeTable(IsAsciiLetterOrDigit);

// Escapes the bytes from `at` to `end` into `out`, which has room for three bytes each and one
// more; returns how many it wrote.
inline std::size_t EscapeInto(const char* at, const char* end, const EscapeTable& table,
                              char* out) {
    char* const start = out;
    for (; at != end; ++at) {
        const EscapedByte& entry = table[static_cast<unsigned char>(*at)];
        std::memcpy(out, &entry, sizeof entry);
        out += entry.length;
    }
    return static_cast<std::size_t>(out - start);
}

// A text of one block is escaped into a small buffer that stays in the cache, and copied out at
// its known length. A longer one has its escaped length counted first, so that the result is
// allocated once at its final size, and is then escaped a block at a time through the buffer:
// the result's memory is written once, and never cleared first.
std::string Escape(const std::string& input, const EscapeTable& table) {
    // Room for a block escaped in full, and for the last entry's whole four bytes.
    char escaped[3 * kBlock + sizeof(EscapedByte)];
    const char* const begin = input.data();
    const char* const end = begin + input.size();
    if (input.size() <= kBlock) {
        return {escaped, EscapeInto(begin, end, table, escaped)};
    }
    std::size_t length = 0;
    for (const char* at = begin; at != end;) {
        const char* const blockEnd = NextBlock(at, end);
        for (; at != blockEnd; ++at) {
            length += static_cast<std::size_t>(table[static_cast<unsigned char>(*at)].length);
        }
    }
    std::string result;
    result.reserve(length);
    // The result grows faster than the input is read: ask as many blocks ahead in it.
    const std::size_t writeAhead = kAhead * (1 + (length - 1) / input.size());
    for (const char* at = begin; at != end;) {
        const char* const blockEnd = NextBlock(at, end);
        const std::size_t size = EscapeInto(at, blockEnd, table, escaped);
        PrefetchAhead<Use::kWriting>(result.data() + result.size(),
                                     result.capacity() - result.size(), size, writeAhead);
        result.append(escaped, size);
        at = blockEnd;
    }
    return result;
}

// ---- Unescaping -------------------------------------------------------------------------------

// The value of each hexadecimal digit ('0' to '9', 'A' to 'F', 'a' to 'f', the "C" locale's digit
// class), and a large negative mark for every other byte.
constexpr int kNotHex = -256;

constexpr std::array<std::int16_t, 256> MakeHexValues() {
    std::array<std::int16_t, 256> values{};
    for (int byte = 0; byte < 256; ++byte) {
        int value = kNotHex;
        if (byte >= '0' && byte <= '9') {
            value = byte - '0';
        } else if (byte >= 'A' && byte <= 'F') {
            value = byte - 'A' + 10;
        } else if (byte >= 'a' && byte <= 'f') {
            value = byte - 'a' + 10;
        }
        values[static_cast<std::size_t>(byte)] = static_cast<std::int16_t>(value);
    }
    return values;
}

constexpr std::array<std::int16_t, 256> kHexValues = MakeHexValues();

// 16 times the value of a first digit, or the mark 16 times over: an escape's byte is then one
// sum, kHighValues[first] + kHexValues[second], which is negative unless both are digits.
constexpr std::array<std::int16_t, 256> MakeHighValues() {
    std::array<std::int16_t, 256> values{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        values[byte] =
            static_cast<std::int16_t>(kHexValues[byte] >= 0 ? 16 * kHexValues[byte] : 16 * kNotHex);
    }
    return values;
}

constexpr std::array<std::int16_t, 256> kHighValues = MakeHighValues();

// One bit for each "%" among the 64 bytes at `at`, bit k for the byte at + k.
inline std::uint64_t PercentBits(const unsigned char* at) {
    std::uint64_t bits = 0;
#if defined(__SSE2__) && !defined(WRENFOLD_PORTABLE_TEXT)
    const __m128i percents = _mm_set1_epi8('%');
    for (std::size_t part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
        const auto found =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, percents)));
        bits |= static_cast<std::uint64_t>(found) << (16 * part);
    }
#else
    // Eight bytes at a time, for processors without the vector instructions. Windows runs
    // little-endian on every processor, so a word's first byte in memory is its lowest.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (std::size_t word = 0; word < 8; ++word) {
        std::uint64_t x;
        std::memcpy(&x, at + 8 * word, sizeof x);
        x ^= 0x2525252525252525ull;  // a "%" is now a zero byte
        // A byte's low seven bits plus 0x7F reach its top bit unless they are all zero, and no
        // sum carries into the next byte: the top bit stays clear only in the zero bytes.
        const std::uint64_t zeros = ~(((x & kLow7) + kLow7) | x | kLow7);
        // Byte k's top bit, moved to bit 56 + k by one product, whose terms never overlap.
        bits |= ((zeros >> 7) * 0x0102040810204080ull >> 56) << (8 * word);
    }
#endif
    return bits;
}

inline std::size_t FirstBit(std::uint64_t bits) {
    return static_cast<std::size_t>(__builtin_ctzll(bits));
}

constexpr std::size_t kChunk = 64;
// How far past its start a chunk reads: the chunk, and a whole chunk's copy from its last byte.
constexpr std::size_t kChunkReach = 2 * kChunk;

// Decodes the 64 bytes at `at` into `out` and moves both on: to the chunk's end, or past an
// escape whose digits lie beyond it. Reads up to kChunkReach bytes from `at`; writes at most one
// byte from `out` on for each byte it reads, and up to a chunk's worth of spare bytes past them.
[[gnu::always_inline]] inline void UnescapeChunk(const unsigned char*& at, unsigned char*& out) {
    const unsigned char* const chunk = at;
    const unsigned char* from = at;
    // A plain run is never longer than a chunk, so one fixed-size copy moves any run (and up to
    // a chunk's worth of bytes past it, which are written again or cut off later) without a
    // branch on its length. Every "%" is at or behind `from` when reached: an escape's digits
    // are never a "%".
    for (std::uint64_t bits = PercentBits(chunk); bits != 0; bits &= bits - 1) {
        const unsigned char* const percent = chunk + FirstBit(bits);
        std::memcpy(out, from, kChunk);
        out += percent - from;
        const int value = kHighValues[percent[1]] + kHexValues[percent[2]];
        const bool decoded = value >= 0;
        *out++ = static_cast<unsigned char>(decoded ? value : '%');
        from = percent + (decoded ? 3 : 1);
    }
    const unsigned char* const chunkEnd = chunk + kChunk;
    if (from < chunkEnd) {
        std::memcpy(out, from, kChunk);
        out += chunkEnd - from;
        from = chunkEnd;
    }
    at = from;
}

// ---- Searching --------------------------------------------------------------------------------
// The two-way string search (Crochemore and Perrin, 1991): linear time, constant space, which a
// fixed-size table could not give for a pattern of any length. Bytes compare through Key, which
// either keeps them or folds ASCII letters to upper case.

template <bool kFoldCase>
unsigned char Key(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if constexpr (kFoldCase) {
        return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - ('a' - 'A')) : byte;
    } else {
        return byte;
    }
}

// Where the pattern splits into a left and a right part so that the search can match the right
// part first (a critical factorization), with the period that decides how far a failed match
// moves the window.
struct Factorization {
    std::size_t split;   // the right part starts here
    std::size_t period;  // the pattern's period when `periodic`, otherwise a safe shift
    bool periodic;
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

template <bool kFoldCase>
Factorization Factorize(const char* pattern, std::size_t length) {
    std::size_t forwardStart = 0;
    std::size_t forwardPeriod = 0;
    std::size_t reverseStart = 0;
    std::size_t reversePeriod = 0;
    MaximalSuffix<kFoldCase>(pattern, length, false, forwardStart, forwardPeriod);
    MaximalSuffix<kFoldCase>(pattern, length, true, reverseStart, reversePeriod);
    Factorization f{forwardStart, forwardPeriod, false};
    if (reverseStart > forwardStart) {
        f.split = reverseStart;
        f.period = reversePeriod;
    }
    // The pattern has that period throughout when its left part recurs one period on.
    f.periodic =
        f.split + f.period <= length && SameBytes<kFoldCase>(pattern, pattern + f.period, f.split);
    if (!f.periodic) {
        f.period = std::max(f.split, length - f.split) + 1;
    }
    return f;
}

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// The first position in `text` where `pattern` (not empty, factorized as `f`) occurs.
template <bool kFoldCase>
std::size_t FindPattern(const char* text, std::size_t textLength, const char* pattern,
                        std::size_t length, const Factorization& f) {
    // In a periodic pattern, after a full right-part match the bytes before `known` are known
    // to match already at the next window.
    std::size_t known = 0;
    for (std::size_t at = 0; length <= textLength && at <= textLength - length;) {
        const char* window = text + at;
        std::size_t i = std::max(f.split, known);
        while (i < length && Key<kFoldCase>(pattern[i]) == Key<kFoldCase>(window[i])) {
            ++i;
        }
        if (i < length) {
            at += i - f.split + 1;
            known = 0;
            continue;
        }
        std::size_t left = f.split;
        while (left > known &&
               Key<kFoldCase>(pattern[left - 1]) == Key<kFoldCase>(window[left - 1])) {
            --left;
        }
        if (left <= known) {
            return at;
        }
        at += f.period;
        known = f.periodic ? length - f.period : 0;
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
    const auto* const begin = reinterpret_cast<const unsigned char*>(input.data());
    const auto* const end = begin + input.size();
    const void* percent = std::memchr(begin, '%', input.size());
    if (percent == nullptr) {
        return input;
    }
    const auto* at = static_cast<const unsigned char*>(percent);
    std::string result;
    result.reserve(input.size());
    result.append(input.data(), static_cast<std::size_t>(at - begin));
    // The rest is decoded a block at a time into a small buffer that stays in the cache, and
    // appended: the result's memory is written once. The chunks read the input itself while a
    // chunk's whole reach lies inside it; a block's chunks write less than a block and a reach.
    unsigned char decoded[kBlock + kChunkReach];
    const auto append = [&result, &decoded](const unsigned char* out) {
        const auto size = static_cast<std::size_t>(out - decoded);
        PrefetchAhead<Use::kWriting>(result.data() + result.size(),
                                     result.capacity() - result.size(), size);
        result.append(reinterpret_cast<const char*>(decoded), size);
    };
    while (static_cast<std::size_t>(end - at) >= kChunkReach) {
        const auto* const blockEnd = NextBlock(at, end - (kChunkReach - 1));
        unsigned char* out = decoded;
        while (at < blockEnd) {
            UnescapeChunk(at, out);
        }
        append(out);
    }
    // The last bytes go through a copy with zeros behind them, which are plain bytes and no
    // digits: the chunks then read only their own memory, and the zeros are cut off at the end.
    const auto left = static_cast<std::size_t>(end - at);
    if (left != 0) {
        unsigned char tail[2 * kChunkReach] = {};
        std::memcpy(tail, at, left);
        const unsigned char* tailAt = tail;
        unsigned char* out = decoded;
        while (tailAt < tail + left) {
            UnescapeChunk(tailAt, out);
        }
        append(out - (tailAt - (tail + left)));
    }
    return result;
}

int SplitString(const std::string& text, const std::string& separator,
                std::vector<std::string>& pieces) {
    constexpr std::size_t kPiecesAhead = kAhead / sizeof(std::string);
    if (separator.empty()) {
        pieces.clear();
        return 0;
    }
    // The list's old elements, and their storage, are reused for the new pieces, so that a list
    // split into again is not torn down and built up anew; what is left over goes at the end.
    std::size_t count = 0;
    const auto add = [&pieces, &count](const char* from, std::size_t length) {
        if (count < pieces.size()) {
            // The list of a long text is larger than the caches: ask for a later element's
            // memory now, as for a text's bytes.
            if (pieces.size() - count > kPiecesAhead) {
                Prefetch<Use::kWriting>(&pieces[count + kPiecesAhead]);
            }
            pieces[count].assign(from, length);
        } else {
            pieces.emplace_back(from, length);
        }
        ++count;
    };
    const char* const begin = text.data();
    const std::size_t length = text.size();
    std::size_t start = 0;
    if (separator.size() == 1) {
        const char mark = separator[0];
        std::size_t marks = 0;
        for (const char* at = begin; at != begin + length;) {
            const char* const blockEnd = NextBlock(at, begin + length);
            marks += static_cast<std::size_t>(std::count(at, blockEnd, mark));
            at = blockEnd;
        }
        pieces.reserve(marks + 1);
        for (;;) {
            PrefetchAhead<Use::kReading>(begin + start, length - start, 1);
            const void* found = std::memchr(begin + start, mark, length - start);
            if (found == nullptr) {
                break;
            }
            const auto position = static_cast<std::size_t>(static_cast<const char*>(found) - begin);
            add(begin + start, position - start);
            start = position + 1;
        }
    } else {
        const Factorization f = Factorize<false>(separator.data(), separator.size());
        for (;;) {
            const std::size_t found = FindPattern<false>(begin + start, length - start,
                                                         separator.data(), separator.size(), f);
            if (found == kNotFound) {
                break;
            }
            add(begin + start, found);
            start += found + separator.size();
        }
    }
    add(begin + start, length - start);
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(count), pieces.end());
    return ClampedCount(count);
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
    const std::size_t textLength = std::strlen(text);
    const std::size_t partLength = std::strlen(part);
    if (textLength == 0 || partLength == 0 || partLength > textLength) {
        return FALSE;
    }
    const Factorization f = Factorize<true>(part, partLength);
    return FindPattern<true>(text, textLength, part, partLength, f) != kNotFound ? TRUE : FALSE;
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
