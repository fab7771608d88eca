// The device runtime's 16-bit string functions and its integer-to-text conversions.
#include <windows.h>

#include <cstdint>

namespace {

// The runtime's case-insensitive compare folds ASCII letters only, as in the "C" locale.
WCHAR LowerAscii(WCHAR c) {
    return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 32) : c;
}

constexpr int kLowestRadix = 2;
constexpr int kHighestRadix = 36;

// Writes the digits of `value` in `radix`, most significant first, after an optional minus sign.
WCHAR* WriteNumber(std::uint32_t value, bool negative, WCHAR* buffer, int radix) {
    WCHAR* out = buffer;
    if (radix < kLowestRadix || radix > kHighestRadix) {
        *out = 0;
        return buffer;
    }
    if (negative) {
        *out++ = u'-';
    }
    WCHAR reversed[32];
    std::size_t count = 0;
    const auto base = static_cast<std::uint32_t>(radix);
    do {
        const std::uint32_t digit = value % base;
        reversed[count++] = static_cast<WCHAR>(digit < 10 ? u'0' + digit : u'a' + (digit - 10));
        value /= base;
    } while (value != 0);
    while (count > 0) {
        *out++ = reversed[--count];
    }
    *out = 0;
    return buffer;
}

}  // namespace

std::size_t wcslen(const WCHAR* s) {
    const WCHAR* end = s;
    while (*end != 0) {
        ++end;
    }
    return static_cast<std::size_t>(end - s);
}

std::size_t wcsnlen(const WCHAR* s, std::size_t maxLength) {
    std::size_t length = 0;
    while (length < maxLength && s[length] != 0) {
        ++length;
    }
    return length;
}

WCHAR* wcscpy(WCHAR* destination, const WCHAR* source) {
    WCHAR* out = destination;
    while ((*out++ = *source++) != 0) {
    }
    return destination;
}

WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, std::size_t count) {
    std::size_t i = 0;
    for (; i < count && source[i] != 0; ++i) {
        destination[i] = source[i];
    }
    for (; i < count; ++i) {
        destination[i] = 0;
    }
    return destination;
}

WCHAR* wcscat(WCHAR* destination, const WCHAR* source) {
    wcscpy(destination + wcslen(destination), source);
    return destination;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
    return wcsncmp(a, b, static_cast<std::size_t>(-1));
}

int wcsncmp(const WCHAR* a, const WCHAR* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
        if (a[i] == 0) {
            break;
        }
    }
    return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        const WCHAR x = LowerAscii(*a);
        const WCHAR y = LowerAscii(*b);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == 0) {
            return 0;
        }
    }
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c) {
            return s;
        }
        if (*s == 0) {
            return nullptr;
        }
    }
}

WCHAR* wcschr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c));
}

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* last = nullptr;
    for (;; ++s) {
        if (*s == c) {
            last = s;
        }
        if (*s == 0) {
            return last;
        }
    }
}

WCHAR* wcsrchr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c));
}

WCHAR* _itow(int value, WCHAR* buffer, int radix) {
    const bool negative = radix == 10 && value < 0;
    const auto bits = static_cast<std::uint32_t>(value);
    return WriteNumber(negative ? 0u - bits : bits, negative, buffer, radix);
}

WCHAR* _ultow(unsigned long value, WCHAR* buffer, int radix) {
    // The device's unsigned long is 32 bits.
    return WriteNumber(static_cast<std::uint32_t>(value), false, buffer, radix);
}

char* _strupr(char* text) {
    for (char* at = text; *at != 0; ++at) {
        if (*at >= 'a' && *at <= 'z') {
            *at = static_cast<char>(*at - ('a' - 'A'));
        }
    }
    return text;
}

char* _strlwr(char* text) {
    for (char* at = text; *at != 0; ++at) {
        if (*at >= 'A' && *at <= 'Z') {
            *at = static_cast<char>(*at + ('a' - 'A'));
        }
    }
    return text;
}
