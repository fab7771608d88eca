// package_builder: CE packages from a cabwiz .inf.
//   package_builder [--cpu NAME]... [--processor N] [--source-folder DIR]... [--file NAME=PATH]...
//                   INF OUTPUT
// --cpu builds the package for one of the .inf's processors (cabwiz's /cpu), once for each
// name, into the folder OUTPUT as INF-NAME.NAME.CAB; without it OUTPUT is the one package, of
// the plain sections. --file says where the source file NAME (as [SourceDisksFiles] names it)
// is; --source-folder where to look for the others before [SourceDisksNames]' folders;
// --processor replaces [CEDevice] ProcessorType. Notes on what was left out go to the error
// stream. Nothing is written unless every package is.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "builder/package_builder.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: package_builder [--cpu NAME]... [--processor N] [--source-folder DIR]... "
                 "[--file NAME=PATH]... INF OUTPUT\n");
    return 2;
}

// One option and its value; false when it is not one the builder takes.
bool TakeOption(const std::string& option, const std::string& value,
                package_builder::Options& options) {
    if (option == "--processor") {
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 0);
        if (*end != '\0' || value.empty() || number > 0xFFFFFFFFul) {
            return false;
        }
        options.processor_given = true;
        options.processor = static_cast<std::uint32_t>(number);
    } else if (option == "--cpu" && !value.empty()) {
        options.cpus.push_back(value);
    } else if (option == "--source-folder") {
        options.source_folders.push_back(value);
    } else if (option == "--file") {
        const std::size_t equals = value.find('=');
        if (equals == std::string::npos || equals == 0) {
            return false;
        }
        options.files[value.substr(0, equals)] = value.substr(equals + 1);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    package_builder::Options options;
    std::string positional[2];
    int count = 0;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument.rfind("--", 0) == 0) {
            if (k + 1 == argc || !TakeOption(argument, argv[++k], options)) {
                return Usage();
            }
        } else if (count == 2) {
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
    std::vector<std::string> notes;
    std::string error;
    const bool built = package_builder::BuildPackages(options, notes, error);
    for (const std::string& note : notes) {
        std::fprintf(stderr, "%s\n", note.c_str());
    }
    if (!built) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
