#include "builder/context.h"

#include <cstdio>

namespace package_builder {

bool Context::Fail(int line, const std::string& what) const {
    *error = options.inf + ":" + std::to_string(line) + ": " + what;
    return false;
}

bool Context::FailWhole(const std::string& what) const {
    *error = options.inf + ": " + what;
    return false;
}

void Context::Note(int line, const std::string& what) const {
    notes->push_back(options.inf + ":" + std::to_string(line) + ": note: " + what);
}

const InfSection* Context::Section(const std::string& name) {
    const auto found = inf.find(Upper(name));
    if (found == inf.end()) {
        return nullptr;
    }
    read.insert(found->first);
    return &found->second;
}

const InfSection* Context::Required(const std::string& name) {
    const InfSection* section = Section(name);
    if (section == nullptr) {
        FailWhole("the section [" + name + "] is missing");
    }
    return section;
}

std::string Context::Both(const std::string& name) const {
    return cpu.empty() ? "[" + name + "]" : "[" + name + "] nor [" + name + "." + cpu + "]";
}

std::string Context::Absent(const std::string& name) const {
    return cpu.empty() ? "is not in [" + name + "]" : "is in neither " + Both(name);
}

bool Context::ReadKeyed(const std::string& name, const std::set<std::string>& known, bool required,
                        Keyed& keyed) {
    keyed.plain = Section(name);
    keyed.own = cpu.empty() ? nullptr : Section(name + "." + cpu);
    if (required && keyed.plain == nullptr && keyed.own == nullptr) {
        std::string others;
        for (const auto& section : inf) {
            if (section.first.rfind(Upper(name) + ".", 0) == 0) {
                others += (others.empty() ? "[" : ", [") + section.second.name + "]";
            }
        }
        if (!others.empty()) {
            others =
                " (" + others + (others.find(',') == std::string::npos ? " is" : " are") +
                (cpu.empty() ? " for a processor named with --cpu)" : " for other processors)");
        }
        return FailWhole(cpu.empty() ? "the section [" + name + "] is missing" + others
                                     : "neither " + Both(name) + " is there" + others);
    }
    if ((keyed.plain != nullptr && !Keys(*keyed.plain, known, keyed.plain_lines)) ||
        (keyed.own != nullptr && !Keys(*keyed.own, known, keyed.own_lines))) {
        return false;
    }
    keyed.lines = keyed.plain_lines;
    for (const auto& line : keyed.own_lines) {
        keyed.lines[line.first] = line.second;
    }
    return true;
}

bool Context::Keys(const InfSection& section, const std::set<std::string>& known,
                   std::map<std::string, const InfLine*>& keys) const {
    for (const InfLine& line : section.lines) {
        if (!line.has_key || line.key.empty()) {
            return Fail(line.number, "a line without a key in [" + section.name + "]");
        }
        const std::string key = Upper(line.key);
        if (!known.empty() && known.count(key) == 0) {
            return Fail(line.number, "[" + section.name + "] has no key " + line.key);
        }
        if (!keys.emplace(key, &line).second) {
            return Fail(line.number, line.key + " is given twice in [" + section.name + "]");
        }
    }
    return true;
}

std::uint16_t Context::StringId(const std::string& text) {
    for (const ce_package::Text& entry : out.strings) {
        if (entry.text == text) {
            return entry.id;
        }
    }
    const auto id = static_cast<std::uint16_t>(out.strings.size() + 1);
    out.strings.push_back({id, text});
    return id;
}

std::vector<std::uint16_t> Context::Ids(const std::vector<std::string>& parts) {
    std::vector<std::uint16_t> ids;
    ids.reserve(parts.size());
    for (const std::string& part : parts) {
        ids.push_back(StringId(part));
    }
    return ids;
}

std::uint16_t Context::DirectoryId(const std::vector<std::string>& parts) {
    const std::vector<std::uint16_t> ids = Ids(parts);
    for (const ce_package::Directory& directory : out.directories) {
        if (directory.parts == ids) {
            return directory.id;
        }
    }
    const auto id = static_cast<std::uint16_t>(out.directories.size() + 1);
    out.directories.push_back({id, ids});
    return id;
}

bool ParseNumber(const std::string& text, unsigned long long most, unsigned long long& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16) {
        return false;
    }
    value = 0;
    for (const char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > most) {
            return false;
        }
    }
    return true;
}

bool AllowsCe3(const ce_package::Instructions& out) {
    const bool above_min = out.min_major < 3 || (out.min_major == 3 && out.min_minor == 0);
    const bool below_max = (out.max_major == 0 && out.max_minor == 0) || out.max_major >= 3;
    return above_min && below_max;
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", value);
    return text;
}

}  // namespace package_builder
