// Input: one byte whose value modulo 5 is the separator's length, the separator, then the text.
// Joining the pieces with the separator gives the text back; no piece holds the separator; the
// pieces are those of a plain search; the count is the list's size; old elements do not survive.
#include <algorithm>
#include <vector>

#include "check.h"
#include "support/text.h"

namespace {

std::vector<std::string> PlainSplit(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t separatorLength = std::min<std::size_t>(data[0] % 5, size - 1);
    const std::string separator = Bytes(data + 1, separatorLength);
    const std::string text = Bytes(data + 1 + separatorLength, size - 1 - separatorLength);

    std::vector<std::string> pieces{"old", std::string(40, 'o'), "", "old"};
    const int count = SplitString(text, separator, pieces);
    FUZZ_CHECK(count == static_cast<int>(pieces.size()));
    if (separator.empty()) {
        FUZZ_CHECK(count == 0);
        return 0;
    }
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        FUZZ_CHECK(pieces[i].find(separator) == std::string::npos);
        joined += (i == 0 ? "" : separator) + pieces[i];
    }
    FUZZ_CHECK(joined == text);
    FUZZ_CHECK(pieces == PlainSplit(text, separator));
    return 0;
}
