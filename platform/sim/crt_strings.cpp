// The simulated device's C runtime: its 16-bit string functions and integer-to-text conversions.
#include <windows.h>

#include <cstdarg>
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

// ---- Formatted print (wsprintfW) --------------------------------------------------------------
// The window manager's formatted print, as far as the device's programs use it:
// %[-][#][0][width][.precision][l]type, with the types c, d, i, u, x, X and s, and %% for a
// percent sign. `long` is 32 bits on the device, so l changes nothing. A percent sign followed by
// a character that is no type copies that character. The output stops after 1023 units and a
// terminating zero: the most the call ever writes.

namespace {

constexpr std::size_t kFormattedUnits = 1024;

struct Conversion {
    bool leftAligned = false;
    bool alternate = false;
    bool zeroPadded = false;
    std::size_t width = 0;
    bool hasPrecision = false;
    std::size_t precision = 0;
};

struct FormattedText {
    WCHAR* out;
    std::size_t length = 0;

    void Put(WCHAR c) {
        if (length + 1 < kFormattedUnits) {
            out[length++] = c;
        }
    }
    void Put(const WCHAR* text, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            Put(text[i]);
        }
    }
    void Pad(WCHAR c, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            Put(c);
        }
    }
};

std::size_t ReadCount(const WCHAR*& p) {
    std::size_t count = 0;
    while (*p >= u'0' && *p <= u'9') {
        count = count * 10 + static_cast<std::size_t>(*p - u'0');
        ++p;
    }
    return count;
}

// Text padded to the field's width; strings and characters pad with blanks only.
void PutField(FormattedText& text, const Conversion& conversion, const WCHAR* field,
              std::size_t count) {
    const std::size_t padding = conversion.width > count ? conversion.width - count : 0;
    if (!conversion.leftAligned) {
        text.Pad(u' ', padding);
    }
    text.Put(field, count);
    if (conversion.leftAligned) {
        text.Pad(u' ', padding);
    }
}

void PutNumber(FormattedText& text, const Conversion& conversion, std::uint32_t magnitude,
               bool negative, unsigned base, bool upperCase) {
    const char* const digitsOf = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    WCHAR digits[16];
    std::size_t count = 0;
    for (std::uint32_t rest = magnitude; rest != 0; rest /= base) {
        digits[count++] = static_cast<WCHAR>(digitsOf[rest % base]);
    }
    const std::size_t minimumDigits = conversion.hasPrecision ? conversion.precision : 1;
    const std::size_t zeros = minimumDigits > count ? minimumDigits - count : 0;
    WCHAR prefix[2];
    std::size_t prefixCount = 0;
    if (negative) {
        prefix[prefixCount++] = u'-';
    } else if (conversion.alternate && base == 16 && magnitude != 0) {
        prefix[prefixCount++] = u'0';
        prefix[prefixCount++] = upperCase ? u'X' : u'x';
    }
    const std::size_t used = prefixCount + zeros + count;
    const std::size_t padding = conversion.width > used ? conversion.width - used : 0;
    const bool padWithZeros =
        conversion.zeroPadded && !conversion.leftAligned && !conversion.hasPrecision;
    if (!conversion.leftAligned && !padWithZeros) {
        text.Pad(u' ', padding);
    }
    text.Put(prefix, prefixCount);
    text.Pad(u'0', zeros + (padWithZeros ? padding : 0));
    while (count > 0) {
        text.Put(digits[--count]);
    }
    if (conversion.leftAligned) {
        text.Pad(u' ', padding);
    }
}

// clang-tidy 14 loses sight of va_start when one run analyses several files, and then takes
// every va_arg here for a read of an unstarted list.
// NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
int FormatArguments(LPWSTR out, LPCWSTR format, va_list arguments) {
    static const WCHAR kNull[] = u"(null)";
    FormattedText text{out};
    for (const WCHAR* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            text.Put(*p);
            continue;
        }
        ++p;
        Conversion conversion;
        for (;; ++p) {
            if (*p == u'-') {
                conversion.leftAligned = true;
            } else if (*p == u'#') {
                conversion.alternate = true;
            } else if (*p == u'0') {
                conversion.zeroPadded = true;
            } else {
                break;
            }
        }
        conversion.width = ReadCount(p);
        if (*p == u'.') {
            ++p;
            conversion.hasPrecision = true;
            conversion.precision = ReadCount(p);
        }
        if (*p == u'l') {
            ++p;
        }
        switch (*p) {
            case 0:
                --p;  // a lone percent sign ends the format
                break;
            case u'd':
            case u'i': {
                const int value = va_arg(arguments, int);
                const auto magnitude = static_cast<std::uint32_t>(value);
                PutNumber(text, conversion, value < 0 ? 0u - magnitude : magnitude, value < 0, 10,
                          false);
                break;
            }
            case u'u':
                PutNumber(text, conversion, va_arg(arguments, unsigned), false, 10, false);
                break;
            case u'x':
            case u'X':
                PutNumber(text, conversion, va_arg(arguments, unsigned), false, 16, *p == u'X');
                break;
            case u'c': {
                const auto unit = static_cast<WCHAR>(va_arg(arguments, int));
                PutField(text, conversion, &unit, 1);
                break;
            }
            case u's': {
                const WCHAR* field = va_arg(arguments, const WCHAR*);
                field = field == nullptr ? kNull : field;
                const std::size_t count =
                    conversion.hasPrecision ? wcsnlen(field, conversion.precision) : wcslen(field);
                PutField(text, conversion, field, count);
                break;
            }
            default:
                text.Put(*p);  // %% and any character that is no type
                break;
        }
    }
    out[text.length] = 0;
    return static_cast<int>(text.length);
}
// NOLINTEND(clang-analyzer-valist.Uninitialized)

}  // namespace

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list arguments;
    va_start(arguments, lpFmt);
    const int length = FormatArguments(lpOut, lpFmt, arguments);
    va_end(arguments);
    return length;
}
