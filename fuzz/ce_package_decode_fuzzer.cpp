// The `.000` reader on any bytes: it never reads past them (the sanitizers watch), what it
// accepts the writer writes again and the reader reads back to the same bytes, and its layout
// puts every file it places on a device path that stays inside its folder.
#include <algorithm>

#include "ce_package/ce_package.h"
#include "ce_package/layout.h"
#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ce_package::Instructions read;
    std::string error;
    if (!ce_package::Decode(data, size, read, error)) {
        FUZZ_CHECK(error.compare(0, 3, "at ") == 0);
        return 0;
    }
    std::string written;
    FUZZ_CHECK(ce_package::Encode(read, written, error));
    ce_package::Instructions again;
    FUZZ_CHECK(ce_package::Decode(written, again, error));
    std::string rewritten;
    FUZZ_CHECK(ce_package::Encode(again, rewritten, error));
    FUZZ_CHECK(rewritten == written);
    ce_package::Layout layout;
    if (ce_package::Resolve(read, layout, error)) {
        FUZZ_CHECK(!layout.install_dir.empty() && layout.install_dir[0] == '\\');
        const auto inside = [](std::string path) {
            std::replace(path.begin(), path.end(), '/', '\\');
            return (path + "\\").find("\\..\\") == std::string::npos;
        };
        FUZZ_CHECK(inside(layout.install_dir));
        for (const ce_package::PlacedFile& file : layout.files) {
            FUZZ_CHECK(file.path.empty() || (file.path[0] == '\\' && inside(file.path)));
        }
        for (const ce_package::PlacedLink& link : layout.links) {
            FUZZ_CHECK(inside(link.path) && inside(link.target));
        }
    }
    return 0;
}
