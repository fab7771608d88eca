// ce_package_list FILE.000: every table of an instruction file, as the reader decodes it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ce_package/ce_package.h"

namespace {

using namespace ce_package;

std::string Ids(const std::vector<std::uint16_t>& parts) {
    std::string text = "[";
    for (const std::uint16_t part : parts) {
        text += (text.size() > 1 ? " " : "") + std::to_string(part);
    }
    return text + "]";
}

std::string Limit(std::uint32_t major, std::uint32_t minor) {
    return major == 0 && minor == 0 ? "none" : std::to_string(major) + "." + std::to_string(minor);
}

std::string Shown(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, byte >= 32 && byte < 127 ? "%c" : "\\x%02x", byte);
        text += escaped;
    }
    return text;
}

const char* TypeName(std::uint32_t type) {
    switch (type & ~kTypeNoClobber) {
        case kTypeString:
            return "string";
        case kTypeMultiString:
            return "multi-string";
        case kTypeBinary:
            return "binary";
        default:
            return "DWORD";
    }
}

void Print(const Instructions& in) {
    const char* const roots[] = {"", "HKCR", "HKCU", "HKLM", "HKU"};
    std::printf("processor %u; CE version from %s to %s; build from %s to %s\n", in.processor,
                Limit(in.min_major, in.min_minor).c_str(),
                Limit(in.max_major, in.max_minor).c_str(),
                in.min_build == 0 ? "none" : std::to_string(in.min_build).c_str(),
                in.max_build == 0 ? "none" : std::to_string(in.max_build).c_str());
    std::printf(R"(application "%s", provider "%s", unsupported platforms:)", in.app_name.c_str(),
                in.provider.c_str());
    for (const std::string& platform : in.unsupported) {
        std::printf(" \"%s\"", platform.c_str());
    }
    std::printf("%s\n", in.unsupported.empty() ? " none" : "");
    std::printf("strings (%zu)\n", in.strings.size());
    for (const Text& text : in.strings) {
        std::printf("  %u \"%s\"\n", text.id, text.text.c_str());
    }
    std::printf("directories (%zu)\n", in.directories.size());
    for (const Directory& directory : in.directories) {
        std::printf("  %u %s %s\n", directory.id, Ids(directory.parts).c_str(),
                    JoinParts(in, directory.parts).c_str());
    }
    std::printf("files (%zu)\n", in.files.size());
    for (const File& file : in.files) {
        std::printf("  %u in directory %u, flags 0x%08x: %s\n", file.id, file.directory, file.flags,
                    file.name.c_str());
    }
    std::printf("registry hives (%zu)\n", in.hives.size());
    for (const Hive& hive : in.hives) {
        std::printf("  %u %s %s %s\n", hive.id, roots[hive.root], Ids(hive.parts).c_str(),
                    JoinParts(in, hive.parts).c_str());
    }
    std::printf("registry values (%zu)\n", in.values.size());
    for (const Value& value : in.values) {
        std::printf("  %u in hive %u, %s (0x%08x)%s: \"%s\" = \"%s\"\n", value.id, value.hive,
                    TypeName(value.type), value.type, value.substitute ? ", substituted" : "",
                    value.name.c_str(), Shown(value.data).c_str());
    }
    std::printf("links (%zu)\n", in.links.size());
    for (const Link& link : in.links) {
        const std::string base =
            link.base == 0 ? "%InstallDir%" : "%CE" + std::to_string(link.base) + "%";
        std::printf("  %u (%u) under %s, to %s %u: %s %s\n", link.id, link.unknown, base.c_str(),
                    link.kind == kLinkToFile ? "file" : "directory", link.target,
                    Ids(link.parts).c_str(), JoinParts(in, link.parts).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ce_package_list FILE.000\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    Instructions instructions;
    std::string error;
    if (!Decode(bytes.str(), instructions, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    Print(instructions);
    return 0;
}
