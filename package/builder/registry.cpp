// AddReg: each line a registry value, under a hive entry for its root and key.
#include <algorithm>
#include <iterator>

#include "builder/context.h"

namespace package_builder {
namespace {

bool Root(Context& context, const InfLine& entry, std::uint16_t& root) {
    const std::string written = Upper(entry.fields[0]);
    const std::uint16_t roots[] = {ce_package::kHkcr, ce_package::kHkcu, ce_package::kHklm};
    const char* const names[] = {"HKCR", "HKCU", "HKLM"};
    const auto* const which = std::find(std::begin(names), std::end(names), written);
    if (which == std::end(names)) {
        return context.Fail(entry.number, "the registry root \"" + entry.fields[0] +
                                              "\" is not HKCR, HKCU or HKLM");
    }
    root = roots[which - std::begin(names)];
    return true;
}

// The key's parts under its root; a leading "\" stands for the root, as CE developers write it.
bool KeyParts(Context& context, const InfLine& entry, const std::string& key,
              std::vector<std::string>& parts) {
    const std::string rest = !key.empty() && key[0] == '\\' ? key.substr(1) : key;
    if (rest.empty()) {
        return context.Fail(entry.number, "the key \"" + key +
                                              "\" has no parts (a CE package puts no value "
                                              "straight under a root)");
    }
    for (std::size_t start = 0; start <= rest.size();) {
        std::size_t slash = rest.find('\\', start);
        slash = slash == std::string::npos ? rest.size() : slash;
        parts.push_back(rest.substr(start, slash - start));
        start = slash + 1;
        if (parts.back().empty()) {
            return context.Fail(entry.number, "the key \"" + key + "\" has an empty part");
        }
    }
    return true;
}

bool Type(Context& context, const InfLine& entry, std::uint32_t& type) {
    unsigned long long value = 0;
    if (!ParseNumber(entry.fields[3], 0xFFFFFFFF, value)) {
        return context.Fail(entry.number,
                            "the value flags \"" + entry.fields[3] + "\" are not a number");
    }
    const auto base = static_cast<std::uint32_t>(value) & ~ce_package::kTypeNoClobber;
    if ((value & ~0x00010003ull) != 0 ||
        (base != ce_package::kTypeString && base != ce_package::kTypeMultiString &&
         base != ce_package::kTypeBinary && base != ce_package::kTypeDword)) {
        return context.Fail(entry.number, "the value type " + Hex(value) +
                                              " is not one CE knows (string 0x00000000, "
                                              "multi-string 0x00010000, binary 0x00000001, "
                                              "DWORD 0x00010001, each maybe with 0x00000002)");
    }
    type = static_cast<std::uint32_t>(value);
    return true;
}

// The texts of a string or multi-string value; they keep %InstallDir% and %CEn% for the
// device to expand.
bool Texts(Context& context, const InfLine& entry, std::uint32_t base, ce_package::Value& value) {
    const std::size_t first = 4;
    const std::size_t count = entry.fields.size() > first ? entry.fields.size() - first : 0;
    if (base == ce_package::kTypeString && count > 1) {
        return context.Fail(entry.number,
                            "a string value takes one field (quote a text with commas)");
    }
    for (std::size_t k = 0; k < std::max<std::size_t>(count, 1); ++k) {
        std::string text;
        const std::string field = k < count ? entry.fields[first + k] : std::string();
        if (!Expand(context, field, entry.number, InstallDirIs::kLeft, text, &value.substitute)) {
            return false;
        }
        value.data += text;
        value.data += '\0';
    }
    if (base == ce_package::kTypeMultiString) {
        value.data += '\0';
    }
    return true;
}

// A value's data from the fields after its flags.
bool Data(Context& context, const InfLine& entry, std::uint32_t base, ce_package::Value& value) {
    if (base == ce_package::kTypeString || base == ce_package::kTypeMultiString) {
        return Texts(context, entry, base, value);
    }
    const std::size_t first = 4;
    const std::size_t count = entry.fields.size() > first ? entry.fields.size() - first : 0;
    if (base == ce_package::kTypeDword) {
        unsigned long long number = 0;
        if (count != 1 || !ParseNumber(entry.fields[first], 0xFFFFFFFF, number)) {
            return context.Fail(entry.number, "a DWORD value takes one number");
        }
        for (int shift = 0; shift < 32; shift += 8) {
            value.data += static_cast<char>((number >> shift) & 0xFF);
        }
        return true;
    }
    for (std::size_t k = 0; k < count; ++k) {
        unsigned long long byte = 0;
        const std::string& field = entry.fields[first + k];
        if (field.size() > 2 || !ParseNumber("0x" + field, 0xFF, byte)) {
            return context.Fail(entry.number,
                                "binary data is hexadecimal bytes, not \"" + field + "\"");
        }
        value.data += static_cast<char>(byte);
    }
    return true;
}

std::uint16_t HiveId(Context& context, std::uint16_t root, const std::vector<std::string>& parts) {
    const std::vector<std::uint16_t> ids = context.Ids(parts);
    for (const ce_package::Hive& known : context.out.hives) {
        if (known.root == root && known.parts == ids) {
            return known.id;
        }
    }
    const auto hive = static_cast<std::uint16_t>(context.out.hives.size() + 1);
    context.out.hives.push_back({hive, root, ids});
    return hive;
}

bool AddValue(Context& context, const InfLine& entry) {
    if (entry.has_key || entry.fields.size() < 4) {
        return context.Fail(entry.number,
                            "an AddReg line is ROOT,subkey,[value_name],flags,value[,value...]");
    }
    std::uint16_t root = 0;
    std::string key;
    std::string name;
    std::vector<std::string> parts;
    ce_package::Value value;
    if (!Root(context, entry, root) || !ExpandField(context, entry, 1, key) ||
        !ExpandField(context, entry, 2, name) || !KeyParts(context, entry, key, parts) ||
        !Type(context, entry, value.type)) {
        return false;
    }
    value.name = name;
    if (!Data(context, entry, value.type & ~ce_package::kTypeNoClobber, value)) {
        return false;
    }
    value.hive = HiveId(context, root, parts);
    value.id = static_cast<std::uint16_t>(context.out.values.size() + 1);
    context.out.values.push_back(std::move(value));
    return true;
}

}  // namespace

bool AddRegistry(Context& context, const InfSection& section) {
    for (const InfLine& entry : section.lines) {
        if (!AddValue(context, entry)) {
            return false;
        }
    }
    return true;
}

}  // namespace package_builder
