// [CEDevice]: the processor, the CE versions and builds a package is for, and the platforms
// the device warns about.
#include "builder/context.h"

namespace package_builder {
namespace {

bool ReadVersion(Context& context, const InfLine& line, std::uint32_t& major,
                 std::uint32_t& minor) {
    const std::string& text = line.fields[0];
    const std::size_t dot = text.find('.');
    unsigned long long high = 0;
    unsigned long long low = 0;
    if (dot == std::string::npos || !ParseNumber(text.substr(0, dot), 0xFFFFFFFF, high) ||
        !ParseNumber(text.substr(dot + 1), 0xFFFFFFFF, low)) {
        return context.Fail(line.number,
                            line.key + " must be major.minor (e.g. 3.0), not \"" + text + "\"");
    }
    major = static_cast<std::uint32_t>(high);
    minor = static_cast<std::uint32_t>(low);
    return true;
}

bool ReadNumber(Context& context, const InfLine& line, std::uint32_t& value) {
    unsigned long long number = 0;
    if (!ParseNumber(line.fields[0], 0xFFFFFFFF, number)) {
        return context.Fail(line.number,
                            line.key + " must be a number, not \"" + line.fields[0] + "\"");
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool ReadUnsupported(Context& context, const InfLine& line) {
    for (std::size_t k = 0; k < line.fields.size(); ++k) {
        std::string platform;
        if (!ExpandField(context, line, k, platform)) {
            return false;
        }
        if (platform.empty()) {
            return context.Fail(line.number, "an empty name in UnsupportedPlatforms");
        }
        context.out.unsupported.push_back(platform);
    }
    return true;
}

}  // namespace

bool ReadDevice(Context& context) {
    const InfSection* section = context.Section("CEDevice");
    if (section == nullptr) {
        return true;
    }
    std::map<std::string, const InfLine*> keys;
    if (!context.Keys(*section,
                      {"PROCESSORTYPE", "UNSUPPORTEDPLATFORMS", "VERSIONMIN", "VERSIONMAX",
                       "BUILDMIN", "BUILDMAX"},
                      keys)) {
        return false;
    }
    ce_package::Instructions& out = context.out;
    for (const auto& key : keys) {
        const InfLine& line = *key.second;
        // A key without a value sets no limit.
        if (line.fields.size() == 1 && line.fields[0].empty()) {
            continue;
        }
        bool done = true;
        if (key.first == "PROCESSORTYPE") {
            done = ReadNumber(context, line, out.processor);
        } else if (key.first == "VERSIONMIN") {
            done = ReadVersion(context, line, out.min_major, out.min_minor);
        } else if (key.first == "VERSIONMAX") {
            done = ReadVersion(context, line, out.max_major, out.max_minor);
        } else if (key.first == "BUILDMIN") {
            done = ReadNumber(context, line, out.min_build);
        } else if (key.first == "BUILDMAX") {
            done = ReadNumber(context, line, out.max_build);
        } else {
            done = ReadUnsupported(context, line);
        }
        if (!done) {
            return false;
        }
    }
    return true;
}

}  // namespace package_builder
