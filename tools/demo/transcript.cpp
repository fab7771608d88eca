#include "demo/transcript.h"

#include <cstdio>

std::string Utf8(const WideString& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
    }
    return utf8;
}

std::string BoxLines(const WideString& caption, const WideString& text, UINT flags, bool owned,
                     const std::string& indent) {
    char flagText[16];
    std::snprintf(flagText, sizeof flagText, "0x%x", flags);
    std::string lines = "message box \"" + Utf8(caption) + "\" (flags " + flagText + ", " +
                        (owned ? "owned by the installer" : "no owner") + "), answered OK:";
    const std::string body = Utf8(text);
    std::size_t start = 0;
    for (std::size_t end; (end = body.find('\n', start)) != std::string::npos; start = end + 1) {
        lines += "\n" + indent + "| " + body.substr(start, end - start);
    }
    return lines + "\n" + indent + "| " + body.substr(start);
}
