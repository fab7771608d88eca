// The .inf reader and the builder's reading of it on any bytes: a refusal names the file and
// its line, never a crash or a read out of bounds (the sanitizers watch); what it lays out the
// `.000` reader reads back, to the same bytes written again. No source file is found (the .inf
// is in a folder that does not exist), so packages of values and shortcuts to folders go all the
// way through.
#include "builder/inf.h"
#include "builder/package_builder.h"
#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = Bytes(data, size);
    const std::string path = "/nonexistent/fuzz.inf";
    package_builder::Inf inf;
    std::string error;
    if (!package_builder::ParseInf(path, text, inf, error)) {
        FUZZ_CHECK(error.compare(0, path.size() + 1, path + ":") == 0);
    }
    package_builder::Options options;
    options.inf = path;
    options.output = "/nonexistent/fuzz.cab";
    for (const char* cpu : {"", "ARM"}) {
        package_builder::Package package;
        if (!package_builder::LayOutText(options, text, package, error, cpu)) {
            FUZZ_CHECK(error.compare(0, path.size() + 1, path + ":") == 0);
            continue;
        }
        for (const std::string& note : package.notes) {
            FUZZ_CHECK(note.compare(0, path.size() + 1, path + ":") == 0);
        }
        ce_package::Instructions read;
        FUZZ_CHECK(ce_package::Decode(package.instructions_bytes, read, error));
        std::string again;
        FUZZ_CHECK(ce_package::Encode(read, again, error) && again == package.instructions_bytes);
        FUZZ_CHECK(package.members.size() == package.instructions.files.size() + 1);
    }
    return 0;
}
