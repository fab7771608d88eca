// package_builder: a CE package from a cabwiz .inf.
//   package_builder [--processor N] [--source-folder DIR]... [--file NAME=PATH]... INF OUTPUT
// --file says where the source file NAME (as [SourceDisksFiles] names it) is; --source-folder
// where to look for the others before [SourceDisksNames]' folders; --processor replaces
// [CEDevice] ProcessorType. Nothing is written unless the whole package is.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "builder/package_builder.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: package_builder [--processor N] [--source-folder DIR]... "
                 "[--file NAME=PATH]... INF OUTPUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    package_builder::Options options;
    std::string positional[2];
    int count = 0;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const bool has_value = k + 1 < argc;
        if (argument == "--processor" && has_value) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++k], &end, 0);
            if (*end != '\0' || value > 0xFFFFFFFFul) {
                return Usage();
            }
            options.processor_given = true;
            options.processor = static_cast<std::uint32_t>(value);
        } else if (argument == "--source-folder" && has_value) {
            options.source_folders.emplace_back(argv[++k]);
        } else if (argument == "--file" && has_value) {
            const std::string given = argv[++k];
            const std::size_t equals = given.find('=');
            if (equals == std::string::npos || equals == 0) {
                return Usage();
            }
            options.files[given.substr(0, equals)] = given.substr(equals + 1);
        } else if (argument.rfind("--", 0) == 0 || count == 2) {
            return Usage();
        } else {
            positional[count++] = argument;
        }
    }
    if (count != 2) {
        return Usage();
    }
    options.inf = positional[0];
    options.output = positional[1];
    std::string error;
    if (!package_builder::BuildPackage(options, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
