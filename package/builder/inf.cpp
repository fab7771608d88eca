#include "builder/inf.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace package_builder {
namespace {

// ---- Characters ------------------------------------------------------------------------------

// Windows-1252's bytes 0x80 to 0x9F, by the code point each stands for (0 where none).
const std::uint16_t kAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Windows-1252 byte for `code`, or -1 when the code page has none.
int AnsiByte(std::uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        return static_cast<int>(code);
    }
    for (int k = 0; k < 32; ++k) {
        if (kAnsiHigh[k] != 0 && kAnsiHigh[k] == code) {
            return 0x80 + k;
        }
    }
    return -1;
}

// Turns the Unicode text of a file into ANSI, line by line for the messages.
struct Recoder {
    const std::string& path;
    std::string* error;
    std::string text;
    int line = 1;

    bool Fail(const std::string& what) const {
        *error = path + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    bool Add(std::uint32_t code) {
        const int byte = AnsiByte(code);
        if (byte < 0 || code == 0) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
            return Fail(std::string("the character ") + name +
                        (code == 0 ? ", which ends a text on the device"
                                   : ", which Windows-1252 lacks: a CE package's names and "
                                     "values are ANSI text"));
        }
        text += static_cast<char>(byte);
        line += code == '\n' ? 1 : 0;
        return true;
    }
};

// The code point of the UTF-8 sequence at `at`, moving past it; false when it is none.
bool NextUtf8(const std::string& bytes, std::size_t& at, std::uint32_t& code) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        length = 1;
    } else if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
    }
    if (length == 0 || bytes.size() - at < length) {
        return false;
    }
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        code = code << 6 | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        return false;
    }
    at += length;
    return true;
}

bool IsUtf8(const std::string& bytes) {
    std::uint32_t code = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        if (!NextUtf8(bytes, at, code)) {
            return false;
        }
    }
    return true;
}

bool FromUtf8(Recoder& out, const std::string& bytes, std::size_t at) {
    std::uint32_t code = 0;
    while (at < bytes.size()) {
        if (!NextUtf8(bytes, at, code)) {
            return out.Fail("bytes that are not UTF-8, in a file whose byte-order mark says UTF-8");
        }
        if (!out.Add(code)) {
            return false;
        }
    }
    return true;
}

bool FromUtf16(Recoder& out, const std::string& bytes) {
    const auto unit = [&bytes](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    std::size_t at = 2;
    for (; at + 1 < bytes.size(); at += 2) {
        std::uint32_t code = unit(at);
        if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size() && unit(at + 2) >= 0xDC00 &&
            unit(at + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
            at += 2;
        } else if (code >= 0xD800 && code < 0xE000) {
            return out.Fail("half a UTF-16 surrogate pair");
        }
        if (!out.Add(code)) {
            return false;
        }
    }
    return at == bytes.size() || out.Fail("the file ends in half a UTF-16 character");
}

// The file's text in ANSI, whatever it was saved as.
bool Recode(const std::string& path, const std::string& bytes, std::string& text,
            std::string& error) {
    Recoder out{path, &error, {}};
    const auto starts = [&bytes](const char* mark) { return bytes.rfind(mark, 0) == 0; };
    if (starts("\xFF\xFE")) {
        if (!FromUtf16(out, bytes)) {
            return false;
        }
    } else if (starts("\xFE\xFF")) {
        return out.Fail(
            "the file is UTF-16 big-endian: save it as UTF-16LE (\"Unicode\"), UTF-8 "
            "or ANSI");
    } else if (starts("\xEF\xBB\xBF")) {
        if (!FromUtf8(out, bytes, 3)) {
            return false;
        }
    } else if (bytes.find('\0') != std::string::npos) {
        out.line += static_cast<int>(std::count(
            bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.find('\0')), '\n'));
        return out.Fail("a zero byte: a UTF-16 file needs its byte-order mark");
    } else if (IsUtf8(bytes)) {
        if (!FromUtf8(out, bytes, 0)) {
            return false;
        }
    } else {
        out.text = bytes;  // ANSI already
    }
    text = std::move(out.text);
    return true;
}

// ---- Lines -----------------------------------------------------------------------------------

std::string Trim(const std::string& text) {
    const char* const spaces = " \t\r";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

struct Logical {
    int number;
    std::string text;
};

// The file's lines with each continued line joined to the next: a "\" last on a line, outside
// a comment (and, when inside quotes, only with the quote left open), goes on in the next.
std::vector<Logical> JoinLines(const std::string& text) {
    std::vector<Logical> lines;
    bool joining = false;
    bool in_quotes = false;
    int number = 1;
    for (std::size_t start = 0; start <= text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string raw = text.substr(start, end - start);
        start = end + 1;
        if (!joining) {
            lines.push_back({number, std::string()});
            in_quotes = false;
        }
        std::size_t content = raw.size();
        for (std::size_t k = 0; k < raw.size(); ++k) {
            if (raw[k] == '"') {
                in_quotes = !in_quotes;
            } else if (raw[k] == ';' && !in_quotes) {
                content = k;
                break;
            }
        }
        const std::size_t last = raw.find_last_not_of(" \t\r", content == 0 ? 0 : content - 1);
        joining = content > 0 && last != std::string::npos && last < content && raw[last] == '\\';
        lines.back().text += joining ? raw.substr(0, last) : raw;
    }
    return lines;
}

// One field as it is read: pieces in quotes kept whole, unquoted blanks at either end dropped.
struct Field {
    std::string text;
    std::string blanks;  // unquoted blanks not yet known to be inside the field
    bool started = false;

    void Add(char c, bool quoted) {
        if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            blanks += c;
            return;
        }
        if (started) {
            text += blanks;
        }
        blanks.clear();
        started = true;
        text += c;
    }
    void Quote() {
        if (started) {
            text += blanks;
        }
        blanks.clear();
        started = true;
    }
    std::string Take() {
        std::string taken = std::move(text);
        *this = Field();
        return taken;
    }
};

// Splits a line at commas outside quotes; "" inside quotes is one quote; ";" outside quotes
// starts a comment. The key is what comes before the first "=" outside quotes.
bool SplitLine(const std::string& text, InfLine& line, std::string& problem) {
    Field field;
    bool in_quotes = false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (in_quotes && c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
            field.Add('"', true);
            ++k;
        } else if (c == '"') {
            in_quotes = !in_quotes;
            field.Quote();
        } else if (in_quotes) {
            field.Add(c, true);
        } else if (c == ';') {
            break;
        } else if (c == ',') {
            line.fields.push_back(field.Take());
        } else if (c == '=' && !line.has_key && line.fields.empty()) {
            line.has_key = true;
            line.key = field.Take();
        } else {
            field.Add(c, false);
        }
    }
    if (in_quotes) {
        problem = "a quote that is not closed";
        return false;
    }
    line.fields.push_back(field.Take());
    return true;
}

// A [section] header line: the section it starts, or a problem.
bool Header(const std::string& trimmed, std::string& name, std::string& problem) {
    const std::size_t close = trimmed.find(']');
    const std::string rest = close == std::string::npos ? "" : Trim(trimmed.substr(close + 1));
    if (close == std::string::npos || (!rest.empty() && rest[0] != ';')) {
        problem = "a section header must be [name] alone on its line";
        return false;
    }
    name = Trim(trimmed.substr(1, close - 1));
    if (name.empty()) {
        problem = "a section header without a name";
        return false;
    }
    return true;
}

}  // namespace

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool ParseInf(const std::string& path, const std::string& bytes, Inf& inf, std::string& error) {
    inf.clear();
    std::string text;
    if (!Recode(path, bytes, text, error)) {
        return false;
    }
    InfSection* section = nullptr;
    for (const Logical& logical : JoinLines(text)) {
        const std::string trimmed = Trim(logical.text);
        std::string problem;
        std::string name;
        InfLine line;
        line.number = logical.number;
        if (trimmed.empty() || trimmed[0] == ';') {
            continue;
        }
        if (trimmed[0] == '[' && Header(trimmed, name, problem)) {
            section = &inf[Upper(name)];
            if (section->name.empty()) {
                section->name = name;
                section->number = logical.number;
            }
            continue;
        }
        if (problem.empty() && section == nullptr) {
            problem = "a line before the first [section]";
        }
        if (!problem.empty() || !SplitLine(logical.text, line, problem)) {
            error = path + ":" + std::to_string(logical.number) + ": ";
            error += problem;
            return false;
        }
        section->lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace package_builder
