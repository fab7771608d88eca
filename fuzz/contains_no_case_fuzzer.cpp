// Input: the text, a zero byte, the part (up to the next zero). The answer is the plain search's
// with ASCII letters folded, for any lengths; within 259 characters each it is also what upper-
// cased copies and strstr give.
#include <windows.h>

#include <cstring>

#include "check.h"
#include "support/text.h"

namespace {

bool PlainContains(const std::string& text, const std::string& part) {
    if (text.empty() || part.empty()) {
        return false;
    }
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size() && UpperAscii(text[at + i]) == UpperAscii(part[i])) {
            ++i;
        }
        if (i == part.size()) {
            return true;
        }
    }
    return false;
}

bool CopiedContains(const std::string& text, const std::string& part) {
    if (text.empty() || part.empty()) {
        return false;
    }
    char textCopy[260];
    char partCopy[260];
    std::strcpy(textCopy, text.c_str());
    std::strcpy(partCopy, part.c_str());
    _strupr(textCopy);
    _strupr(partCopy);
    return std::strstr(textCopy, partCopy) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = Bytes(data, size);
    const std::size_t zero = input.find('\0');
    const std::string text = input.substr(0, zero);
    const std::string part = zero == std::string::npos ? "" : input.substr(zero + 1).c_str();

    const bool found = ContainsNoCase(text.c_str(), part.c_str()) != FALSE;
    FUZZ_CHECK(found == PlainContains(text, part));
    if (text.size() <= 259 && part.size() <= 259) {
        FUZZ_CHECK(found == CopiedContains(text, part));
    }
    return 0;
}
