// [CEDevice]: the processor, the CE versions and builds a package is for, and the platforms
// the device warns about.
#include <algorithm>

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

// A list of names: the processor's add to the plain section's (cabwiz's one exception to
// the processor's sections replacing what the plain ones say).
bool ReadUnsupported(Context& context, const InfLine& line) {
    std::vector<std::string> platforms;
    if (!ExpandList(context, line, platforms)) {
        return false;
    }
    std::vector<std::string>& list = context.out.unsupported;
    for (const std::string& platform : platforms) {
        if (std::find(list.begin(), list.end(), platform) == list.end()) {
            list.push_back(platform);
        }
    }
    return true;  // a key without names keeps the list as it was
}

bool ReadLimit(Context& context, const std::string& key, const InfLine& line) {
    ce_package::Instructions& out = context.out;
    // A key without a value sets no limit.
    if (line.fields.size() == 1 && line.fields[0].empty()) {
        return true;
    }
    if (key == "PROCESSORTYPE") {
        return ReadNumber(context, line, out.processor);
    }
    if (key == "VERSIONMIN") {
        return ReadVersion(context, line, out.min_major, out.min_minor);
    }
    if (key == "VERSIONMAX") {
        return ReadVersion(context, line, out.max_major, out.max_minor);
    }
    return ReadNumber(context, line, key == "BUILDMIN" ? out.min_build : out.max_build);
}

}  // namespace

bool ReadDevice(Context& context) {
    Keyed device;
    if (!context.ReadKeyed("CEDevice",
                           {"PROCESSORTYPE", "UNSUPPORTEDPLATFORMS", "VERSIONMIN", "VERSIONMAX",
                            "BUILDMIN", "BUILDMAX"},
                           false, device)) {
        return false;
    }
    for (const auto& key : device.lines) {
        if (key.first != "UNSUPPORTEDPLATFORMS" && !ReadLimit(context, key.first, *key.second)) {
            return false;
        }
    }
    for (const auto* lines : {&device.plain_lines, &device.own_lines}) {
        const auto found = lines->find("UNSUPPORTEDPLATFORMS");
        if (found != lines->end() && !ReadUnsupported(context, *found->second)) {
            return false;
        }
    }
    return true;
}

}  // namespace package_builder
