#include "builder/inf.h"

#include <cctype>

namespace package_builder {
namespace {

std::string Trim(const std::string& text) {
    const char* const spaces = " \t\r";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

// Splits a line at commas outside quotes; "" inside quotes is one quote; ";" outside quotes
// starts a comment. The key is what comes before the first "=" outside quotes.
bool SplitLine(const std::string& text, InfLine& line, std::string& problem) {
    std::string field;
    bool in_quotes = false;
    bool was_quoted = false;
    auto finish = [&]() {
        line.fields.push_back(was_quoted ? field : Trim(field));
        line.quoted.push_back(was_quoted);
        field.clear();
        was_quoted = false;
    };
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (in_quotes) {
            if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
                field += '"';
                ++k;
            } else if (c == '"') {
                in_quotes = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            if (!Trim(field).empty()) {
                problem = "a quote in the middle of a field";
                return false;
            }
            field.clear();
            in_quotes = true;
            was_quoted = true;
        } else if (c == ';') {
            break;
        } else if (c == ',') {
            finish();
        } else if (c == '=' && !line.has_key && line.fields.empty()) {
            line.has_key = true;
            line.key = Trim(field);
            field.clear();
            was_quoted = false;
        } else if (was_quoted) {
            if (c != ' ' && c != '\t' && c != '\r') {
                problem = "text after a closing quote";
                return false;
            }
        } else {
            field += c;
        }
    }
    if (in_quotes) {
        problem = "a quote that is not closed";
        return false;
    }
    finish();
    return true;
}

}  // namespace

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool ParseInf(const std::string& path, const std::string& text, Inf& inf, std::string& error) {
    inf.clear();
    InfSection* section = nullptr;
    std::size_t start = 0;
    for (int number = 1; start < text.size() || start == 0; ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string raw = text.substr(start, end - start);
        start = end + 1;
        auto fail = [&](const std::string& what) {
            error = path;
            error += ":" + std::to_string(number) + ": " + what;
            return false;
        };
        const std::string trimmed = Trim(raw);
        if (trimmed.empty() || trimmed[0] == ';') {
            if (end == text.size()) {
                break;
            }
            continue;
        }
        if (trimmed[0] == '[') {
            const std::size_t close = trimmed.find(']');
            const std::string rest =
                close == std::string::npos ? "" : Trim(trimmed.substr(close + 1));
            if (close == std::string::npos || (!rest.empty() && rest[0] != ';')) {
                return fail("a section header must be [name] alone on its line");
            }
            const std::string name = Trim(trimmed.substr(1, close - 1));
            if (name.empty()) {
                return fail("a section header without a name");
            }
            section = &inf[Upper(name)];
            if (section->name.empty()) {
                section->name = name;
                section->number = number;
            }
        } else {
            if (section == nullptr) {
                return fail("a line before the first [section]");
            }
            InfLine line;
            line.number = number;
            std::string problem;
            if (!SplitLine(raw, line, problem)) {
                return fail(problem);
            }
            section->lines.push_back(std::move(line));
        }
        if (end == text.size()) {
            break;
        }
    }
    return true;
}

}  // namespace package_builder
