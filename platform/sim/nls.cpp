// Text conversion between UTF-8 (code page 65001) and UTF-16, as the platform does it: a malformed
// UTF-8 sequence or an unpaired surrogate becomes U+FFFD (or fails the call under the flag that
// asks for that), a negative source length converts through the terminating zero, a capacity of 0
// measures, and a buffer that is too small receives what fits before the call fails with
// ERROR_INSUFFICIENT_BUFFER. Checked case by case against Wine (tests/platform_text_test.cpp).
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "internal.h"

namespace {

using sim::CallKind;
using sim::detail::Fail;
using sim::detail::Refused;

constexpr std::uint32_t kMalformed = 0xFFFFFFFFu;
constexpr std::uint32_t kReplacement = 0xFFFD;

// How many continuation bytes a lead byte announces; 0 for a byte that starts no sequence: a
// continuation byte, C0 and C1 (only ever overlong) and F5 to FF (beyond U+10FFFF).
std::ptrdiff_t TrailCount(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 1;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 2;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 3;
    }
    return 0;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0u) == 0x80u;
}

// `top` holds the bits of a lead byte and its first continuation byte. Whether they can still
// begin a valid character: not an overlong form, not a surrogate, not beyond U+10FFFF.
bool CanContinue(std::uint32_t top, std::ptrdiff_t trail) {
    if (trail == 2) {
        return top >= 0x20 && (top < 0x360 || top > 0x37F);  // U+0800 and up, no D800-DFFF
    }
    if (trail == 3) {
        return top >= 0x10 && top < 0x110;  // U+10000 to U+10FFFF
    }
    return true;
}

// Reads one character at `at` (before `end`) and moves past the bytes the platform takes for it.
// A malformed sequence gives kMalformed and takes: the lead byte with the continuation bytes read
// before the first byte that does not fit, or, when the first continuation byte already rules the
// character out, the lead and that byte. A lead byte that announces more bytes than the source
// has left takes all of them, the terminating zero included, as Wine does.
std::uint32_t DecodeUtf8(const unsigned char*& at, const unsigned char* end) {
    const unsigned char lead = *at++;
    if (lead < 0x80) {
        return lead;
    }
    const std::ptrdiff_t trail = TrailCount(lead);
    if (trail == 0) {
        return kMalformed;
    }
    if (end - at < trail) {
        at = end;
        return kMalformed;
    }
    std::uint32_t code = lead & (0x3Fu >> trail);
    for (std::ptrdiff_t k = 0; k < trail; ++k) {
        if (!IsContinuation(*at)) {
            return kMalformed;
        }
        code = (code << 6) | (*at & 0x3Fu);
        ++at;
        if (k == 0 && !CanContinue(code, trail)) {
            return kMalformed;
        }
    }
    return code;
}

bool IsHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The UTF-16 form of a character: its one or two units, and how many.
std::size_t Utf16Units(std::uint32_t code, WCHAR (&units)[2]) {
    if (code < 0x10000) {
        units[0] = static_cast<WCHAR>(code);
        return 1;
    }
    code -= 0x10000;
    units[0] = static_cast<WCHAR>(0xD800u | (code >> 10));
    units[1] = static_cast<WCHAR>(0xDC00u | (code & 0x3FFu));
    return 2;
}

// Reads one character of UTF-16 text at `i` (before `length`) and moves past it: a surrogate
// pair as one character, an unpaired surrogate as kMalformed.
std::uint32_t DecodeUtf16(const WCHAR* text, std::size_t length, std::size_t& i) {
    const std::uint32_t unit = text[i++];
    if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00u);
    }
    return IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kMalformed : unit;
}

std::size_t Utf8Length(std::uint32_t code) {
    if (code < 0x80) {
        return 1;
    }
    if (code < 0x800) {
        return 2;
    }
    return code < 0x10000 ? 3 : 4;
}

void EncodeUtf8(std::uint32_t code, std::size_t length, char* out) {
    static constexpr unsigned char kLeadMarks[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80u | (code & 0x3Fu));
        code >>= 6;
    }
    out[0] = static_cast<char>(kLeadMarks[length] | code);
}

}  // namespace

namespace sim::detail {

// The device's own conversions (host file names, reports) follow the platform's rules too.
std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t code = DecodeUtf16(text.data(), text.size(), i);
        code = code == kMalformed ? kReplacement : code;
        char bytes[4];
        const std::size_t length = Utf8Length(code);
        EncodeUtf8(code, length, bytes);
        out.append(bytes, length);
    }
    return out;
}

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = at + text.size();
    while (at < end) {
        std::uint32_t code = DecodeUtf8(at, end);
        code = code == kMalformed ? kReplacement : code;
        WCHAR units[2] = {};
        out.append(units, Utf16Units(code, units));
    }
    return out;
}

}  // namespace sim::detail

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    if (CodePage != CP_UTF8) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    if ((dwFlags & ~MB_ERR_INVALID_CHARS) != 0) {
        return Fail(ERROR_INVALID_FLAGS, 0);
    }
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cchWideChar < 0 ||
        (lpWideCharStr == nullptr && cchWideChar != 0)) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    if (Refused(CallKind::Text, "MultiByteToWideChar")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    const std::size_t length =
        cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
    const auto* at = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    const unsigned char* const end = at + length;
    const bool measuring = cchWideChar == 0;
    const auto capacity = static_cast<std::size_t>(cchWideChar);
    std::size_t written = 0;
    bool malformed = false;
    while (at < end) {
        std::uint32_t code = DecodeUtf8(at, end);
        if (code == kMalformed) {
            malformed = true;
            code = kReplacement;
        }
        WCHAR units[2] = {};
        const std::size_t count = Utf16Units(code, units);
        for (std::size_t i = 0; i < count; ++i, ++written) {
            if (measuring) {
                continue;
            }
            // What fits is written, even the first half of a pair, before the call fails.
            if (written == capacity) {
                return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
            }
            lpWideCharStr[written] = units[i];
        }
    }
    if (malformed && (dwFlags & MB_ERR_INVALID_CHARS) != 0) {
        return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    }
    return static_cast<int>(written);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    // UTF-8 has no default character; Windows refuses both arguments for it (Wine ignores them).
    if (CodePage != CP_UTF8 || lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    if ((dwFlags & ~WC_ERR_INVALID_CHARS) != 0) {
        return Fail(ERROR_INVALID_FLAGS, 0);
    }
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cbMultiByte < 0 ||
        (lpMultiByteStr == nullptr && cbMultiByte != 0)) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    if (Refused(CallKind::Text, "WideCharToMultiByte")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    const std::size_t length =
        cchWideChar < 0 ? wcslen(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
    const bool measuring = cbMultiByte == 0;
    const auto capacity = static_cast<std::size_t>(cbMultiByte);
    std::size_t written = 0;
    bool malformed = false;
    for (std::size_t i = 0; i < length;) {
        std::uint32_t code = DecodeUtf16(lpWideCharStr, length, i);
        if (code == kMalformed) {
            malformed = true;
            code = kReplacement;
        }
        const std::size_t bytes = Utf8Length(code);
        if (!measuring) {
            // Only whole characters are written.
            if (capacity - written < bytes) {
                return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
            }
            EncodeUtf8(code, bytes, lpMultiByteStr + written);
        }
        written += bytes;
    }
    if (malformed && (dwFlags & WC_ERR_INVALID_CHARS) != 0) {
        return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    }
    return static_cast<int>(written);
}
