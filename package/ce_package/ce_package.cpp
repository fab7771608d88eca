#include "ce_package/ce_package.h"

#include <algorithm>
#include <limits>

namespace ce_package {
namespace {

constexpr std::size_t kMax16 = std::numeric_limits<std::uint16_t>::max();

// Header fields.
constexpr std::size_t kLengthField = 8;
constexpr std::size_t kCountsField = 48;
constexpr std::size_t kOffsetsField = 60;
constexpr std::size_t kAppNameField = 84;
constexpr std::size_t kProviderField = 88;
constexpr std::size_t kUnsupportedField = 92;

enum Table { kStrings, kDirectories, kFiles, kHives, kValues, kLinks, kTables };
const char* const kTableNames[kTables] = {"string", "directory", "file", "hive", "value", "link"};

std::uint16_t Get16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t Get32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void Put16(std::string& bytes, std::size_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((value >> shift) & 0xFF);
    }
}

void Set16(std::string& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Set32(std::string& bytes, std::size_t at, std::size_t value) {
    for (std::size_t k = 0; k < 4; ++k) {
        bytes[at + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
    }
}

// ---- Encoding ---------------------------------------------------------------------------------

std::string Entry(Table table, std::uint16_t id) {
    return std::string(kTableNames[table]) + " " + std::to_string(id);
}

struct Writer {
    std::string bytes;
    std::string* error;

    bool Fits16(std::size_t value, const std::string& what) const {
        if (value <= kMax16) {
            return true;
        }
        *error = what + " is " + std::to_string(value) + ", more than a 16-bit field holds";
        return false;
    }

    bool Plain(const std::string& text, const std::string& what) const {
        if (text.find('\0') == std::string::npos) {
            return true;
        }
        *error = what + " holds a zero byte";
        return false;
    }

    bool Parts(const std::vector<std::uint16_t>& parts, const std::string& what) {
        if (parts.empty()) {
            *error = what + " has no parts";  // which the reader, as a device would, refuses
            return false;
        }
        if (!Fits16(2 * (parts.size() + 1), what + "'s length")) {
            return false;
        }
        Put16(bytes, 2 * (parts.size() + 1));
        for (const std::uint16_t part : parts) {
            Put16(bytes, part);
        }
        Put16(bytes, 0);
        return true;
    }

    // A zero-terminated name whose offset and length go into the header at `field`.
    bool Name(const std::string& text, std::size_t field, const std::string& what) {
        if (!Plain(text, what) || !Fits16(bytes.size(), what + "'s offset") ||
            !Fits16(text.size() + 1, what + "'s length")) {
            return false;
        }
        Set16(bytes, field, bytes.size());
        Set16(bytes, field + 2, text.size() + 1);
        bytes += text;
        bytes += '\0';
        return true;
    }

    bool Place(Table table, std::size_t count) {
        const std::string what = std::string("the ") + kTableNames[table] + " table";
        if (!Fits16(count, what + "'s count")) {
            return false;
        }
        Set16(bytes, kCountsField + std::size_t{2} * table, count);
        Set32(bytes, kOffsetsField + std::size_t{4} * table, bytes.size());
        return true;
    }

    // A table's place and count in the header, then each of its entries.
    template <typename Entry>
    bool Entries(Table table, const std::vector<Entry>& entries,
                 bool (Writer::*write)(const Entry&)) {
        return Place(table, entries.size()) &&
               std::all_of(entries.begin(), entries.end(),
                           [this, write](const Entry& entry) { return (this->*write)(entry); });
    }

    // The fixed words: the signature, the usual values, the processor and the limits.
    void Header(const Instructions& instructions) {
        bytes.replace(0, 4, "MSCE");
        Set32(bytes, 16, 1);
        const std::uint32_t fixed[] = {instructions.processor, instructions.min_major,
                                       instructions.min_minor, instructions.max_major,
                                       instructions.max_minor, instructions.min_build,
                                       instructions.max_build};
        for (std::size_t k = 0; k < 7; ++k) {
            Set32(bytes, 20 + 4 * k, fixed[k]);
        }
    }

    bool Unsupported(const std::vector<std::string>& platforms) {
        if (platforms.empty()) {
            return true;
        }
        std::string list;
        for (const std::string& platform : platforms) {
            if (platform.empty() || platform.find('\0') != std::string::npos) {
                *error = "an unsupported platform's name is empty or holds a zero byte";
                return false;
            }
            list += platform + '\0';
        }
        // The list holds zeros of its own, so it is placed as a name is, without the check.
        if (!Fits16(bytes.size(), "the unsupported-platform list's offset") ||
            !Fits16(list.size() + 1, "the unsupported-platform list's length")) {
            return false;
        }
        Set16(bytes, kUnsupportedField, bytes.size());
        Set16(bytes, kUnsupportedField + 2, list.size() + 1);
        bytes += list;
        bytes += '\0';
        return true;
    }

    bool PutText(const Text& text) {
        if (!Plain(text.text, Entry(kStrings, text.id)) ||
            !Fits16(text.text.size() + 1, Entry(kStrings, text.id) + "'s length")) {
            return false;
        }
        Put16(bytes, text.id);
        Put16(bytes, text.text.size() + 1);
        bytes += text.text;
        bytes += '\0';
        return true;
    }

    bool PutDirectory(const Directory& directory) {
        Put16(bytes, directory.id);
        return Parts(directory.parts, Entry(kDirectories, directory.id));
    }

    bool PutFile(const File& file) {
        if (file.id == 0 || file.id > kMaxFiles) {
            *error = Entry(kFiles, file.id) + " is numbered outside 1 to 998, the files' members";
            return false;
        }
        if (!Plain(file.name, Entry(kFiles, file.id)) ||
            !Fits16(file.name.size() + 1, Entry(kFiles, file.id) + "'s name length")) {
            return false;
        }
        Put16(bytes, file.id);
        Put16(bytes, file.directory);
        Put16(bytes, file.id);
        Put32(bytes, file.flags);
        Put16(bytes, file.name.size() + 1);
        bytes += file.name;
        bytes += '\0';
        return true;
    }

    bool PutHive(const Hive& hive) {
        Put16(bytes, hive.id);
        Put16(bytes, hive.root);
        Put16(bytes, 0);
        return Parts(hive.parts, Entry(kHives, hive.id));
    }

    bool PutValue(const Value& value) {
        const std::size_t length = value.name.size() + 1 + value.data.size();
        if (!Plain(value.name, Entry(kValues, value.id) + "'s name") ||
            !Fits16(length, Entry(kValues, value.id) + "'s length")) {
            return false;
        }
        Put16(bytes, value.id);
        Put16(bytes, value.hive);
        Put16(bytes, value.substitute ? 1 : 0);
        Put32(bytes, value.type);
        Put16(bytes, length);
        bytes += value.name;
        bytes += '\0';
        bytes += value.data;
        return true;
    }

    bool PutLink(const Link& link) {
        Put16(bytes, link.id);
        Put16(bytes, link.unknown);
        Put16(bytes, link.base);
        Put16(bytes, link.target);
        Put16(bytes, link.kind);
        return Parts(link.parts, Entry(kLinks, link.id));
    }
};

// ---- Decoding ---------------------------------------------------------------------------------

struct Reader {
    const unsigned char* data;
    std::size_t size;
    std::string* error;

    bool Fail(std::size_t at, const std::string& what) const {
        *error = "at " + std::to_string(at) + ": " + what;
        return false;
    }

    // Whether `length` bytes from `at` lie inside the file.
    bool Has(std::size_t at, std::size_t length, const std::string& what) const {
        if (at <= size && length <= size - at) {
            return true;
        }
        return Fail(at,
                    what + " runs past the end of the file (" + std::to_string(size) + " bytes)");
    }

    // A text of `length` bytes at `at` that ends in a zero; what comes before the first zero
    // (writers that pad with further zeros are read as well).
    bool Zeroed(std::size_t at, std::size_t length, const std::string& what,
                std::string& text) const {
        if (!Has(at, length, what)) {
            return false;
        }
        if (length == 0 || data[at + length - 1] != 0) {
            return Fail(at, what + " does not end in a zero");
        }
        const auto* begin = data + at;
        const auto* end = std::find(begin, begin + length, 0);
        text.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
        return true;
    }

    // A header name: its offset and length at `field`.
    bool Name(std::size_t field, const std::string& what, std::string& text) const {
        const std::uint16_t at = Get16(data + field);
        if (at < kHeaderSize) {
            return Fail(field, what + " at " + std::to_string(at) + " lies inside the header");
        }
        return Zeroed(at, Get16(data + field + 2), what, text);
    }

    // A length (u16) and the string ids it covers, ending in 0. At least one part.
    bool Parts(std::size_t& at, const Instructions& instructions, const std::string& what,
               std::vector<std::uint16_t>& parts) const {
        if (!Has(at, 2, what + "'s length")) {
            return false;
        }
        const std::uint16_t length = Get16(data + at);
        const std::size_t start = at + 2;
        if (length < 4 || length % 2 != 0) {
            return Fail(at, what + " has a length of " + std::to_string(length) +
                                ", not a whole list of string ids with its end");
        }
        if (!Has(start, length, what + "'s string ids")) {
            return false;
        }
        parts.clear();
        for (std::size_t k = 0; k + 2 < length; k += 2) {
            const std::uint16_t id = Get16(data + start + k);
            if (id == 0) {
                return Fail(start + k, what + "'s string ids end before its length");
            }
            if (FindText(instructions, id) == nullptr) {
                return Fail(start + k, what + " names string " + std::to_string(id) +
                                           ", which the strings table lacks");
            }
            parts.push_back(id);
        }
        if (Get16(data + start + length - 2) != 0) {
            return Fail(start + length - 2, what + "'s string ids do not end in 0");
        }
        at = start + length;
        return true;
    }
};

template <typename Entry>
bool Unique(const std::vector<Entry>& entries, std::uint16_t id) {
    return std::none_of(entries.begin(), entries.end(),
                        [id](const Entry& entry) { return entry.id == id; });
}

bool KnownType(std::uint32_t type) {
    const std::uint32_t base = type & ~kTypeNoClobber;
    return base == kTypeString || base == kTypeMultiString || base == kTypeBinary ||
           base == kTypeDword;
}

// Each table's entries from `at`; the strings come first, so that the others' ids can be
// checked against them.
bool ReadStrings(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "string entry " + std::to_string(k + 1);
        if (!in.Has(at, 4, what)) {
            return false;
        }
        Text text;
        text.id = Get16(in.data + at);
        if (text.id == 0 || !Unique(out.strings, text.id)) {
            return in.Fail(
                at, what + " has the id " + std::to_string(text.id) + ", zero or already taken");
        }
        if (!in.Zeroed(at + 4, Get16(in.data + at + 2), Entry(kStrings, text.id), text.text)) {
            return false;
        }
        at += 4 + Get16(in.data + at + 2);
        out.strings.push_back(std::move(text));
    }
    return true;
}

bool ReadDirectories(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "directory entry " + std::to_string(k + 1);
        if (!in.Has(at, 2, what)) {
            return false;
        }
        Directory directory;
        directory.id = Get16(in.data + at);
        if (directory.id == 0 || !Unique(out.directories, directory.id)) {
            return in.Fail(at, what + " has the id " + std::to_string(directory.id) +
                                   ", zero or already taken");
        }
        at += 2;
        if (!in.Parts(at, out, Entry(kDirectories, directory.id), directory.parts)) {
            return false;
        }
        out.directories.push_back(std::move(directory));
    }
    return true;
}

bool ReadFiles(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "file entry " + std::to_string(k + 1);
        if (!in.Has(at, 12, what)) {
            return false;
        }
        File file;
        file.id = Get16(in.data + at);
        if (file.id == 0 || file.id > kMaxFiles || !Unique(out.files, file.id)) {
            return in.Fail(at, what + " has the id " + std::to_string(file.id) +
                                   ", not a free member number from 1 to 998");
        }
        const std::string name = Entry(kFiles, file.id);
        file.directory = Get16(in.data + at + 2);
        if (FindDirectory(out, file.directory) == nullptr) {
            return in.Fail(at + 2, name + " goes into directory " + std::to_string(file.directory) +
                                       ", which the directories table lacks");
        }
        // The id again, "usually": the member is the first id's, whatever this one holds.
        file.flags = Get32(in.data + at + 6);
        const std::uint16_t length = Get16(in.data + at + 10);
        if (!in.Zeroed(at + 12, length, name + "'s name", file.name)) {
            return false;
        }
        if (file.name.empty()) {
            return in.Fail(at + 12, name + " has an empty name");
        }
        at += 12 + length;
        out.files.push_back(std::move(file));
    }
    return true;
}

bool ReadHives(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "hive entry " + std::to_string(k + 1);
        if (!in.Has(at, 6, what)) {
            return false;
        }
        Hive hive;
        hive.id = Get16(in.data + at);
        if (hive.id == 0 || !Unique(out.hives, hive.id)) {
            return in.Fail(
                at, what + " has the id " + std::to_string(hive.id) + ", zero or already taken");
        }
        const std::string name = Entry(kHives, hive.id);
        hive.root = Get16(in.data + at + 2);
        if (hive.root < kHkcr || hive.root > kHku) {
            return in.Fail(at + 2, name + " has the root " + std::to_string(hive.root) +
                                       ", not one of 1 to 4");
        }
        // A field that is "usually" 0 and names nothing installed: read whatever it holds.
        at += 6;
        if (!in.Parts(at, out, name, hive.parts)) {
            return false;
        }
        out.hives.push_back(std::move(hive));
    }
    return true;
}

bool ReadValues(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "value entry " + std::to_string(k + 1);
        if (!in.Has(at, 12, what)) {
            return false;
        }
        Value value;
        value.id = Get16(in.data + at);
        if (value.id == 0 || !Unique(out.values, value.id)) {
            return in.Fail(
                at, what + " has the id " + std::to_string(value.id) + ", zero or already taken");
        }
        const std::string name = Entry(kValues, value.id);
        value.hive = Get16(in.data + at + 2);
        if (FindHive(out, value.hive) == nullptr) {
            return in.Fail(at + 2, name + " is in hive " + std::to_string(value.hive) +
                                       ", which the hives table lacks");
        }
        const std::uint16_t substitute = Get16(in.data + at + 4);
        if (substitute > 1) {
            return in.Fail(at + 4, name + " has the substitution mark " +
                                       std::to_string(substitute) + ", not 0 or 1");
        }
        value.substitute = substitute == 1;
        value.type = Get32(in.data + at + 6);
        if (!KnownType(value.type)) {
            return in.Fail(at + 6, name + " has the unknown type " + std::to_string(value.type));
        }
        const std::uint16_t length = Get16(in.data + at + 10);
        const std::size_t start = at + 12;
        if (!in.Has(start, length, name + "'s name and data")) {
            return false;
        }
        const auto* begin = in.data + start;
        const auto* zero = std::find(begin, begin + length, 0);
        if (zero == begin + length) {
            return in.Fail(start, name + "'s name does not end in a zero");
        }
        value.name.assign(reinterpret_cast<const char*>(begin),
                          static_cast<std::size_t>(zero - begin));
        value.data.assign(reinterpret_cast<const char*>(zero + 1),
                          static_cast<std::size_t>(begin + length - zero - 1));
        const std::uint32_t base = value.type & ~kTypeNoClobber;
        if (base == kTypeDword && value.data.size() != 4) {
            return in.Fail(start,
                           name + " is a DWORD of " + std::to_string(value.data.size()) + " bytes");
        }
        if ((base == kTypeString || base == kTypeMultiString) &&
            (value.data.empty() || value.data.back() != '\0')) {
            return in.Fail(start, name + "'s text does not end in a zero");
        }
        at = start + length;
        out.values.push_back(std::move(value));
    }
    return true;
}

bool ReadLinks(Reader& in, std::size_t at, std::size_t count, Instructions& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::string what = "link entry " + std::to_string(k + 1);
        if (!in.Has(at, 10, what)) {
            return false;
        }
        Link link;
        link.id = Get16(in.data + at);
        if (link.id == 0 || !Unique(out.links, link.id)) {
            return in.Fail(
                at, what + " has the id " + std::to_string(link.id) + ", zero or already taken");
        }
        const std::string name = Entry(kLinks, link.id);
        link.unknown = Get16(in.data + at + 2);
        link.base = Get16(in.data + at + 4);
        if (link.base > kMaxCeFolder) {
            return in.Fail(at + 4, name + " has the base folder " + std::to_string(link.base) +
                                       ", beyond %CE17%");
        }
        link.target = Get16(in.data + at + 6);
        link.kind = Get16(in.data + at + 8);
        if (link.kind == kLinkToDirectory) {
            if (link.target != 0 && FindDirectory(out, link.target) == nullptr) {
                return in.Fail(at + 6, name + " points to directory " +
                                           std::to_string(link.target) +
                                           ", which the directories table lacks");
            }
        } else if (link.kind == kLinkToFile) {
            if (FindFile(out, link.target) == nullptr) {
                return in.Fail(at + 6, name + " points to file " + std::to_string(link.target) +
                                           ", which the files table lacks");
            }
        } else {
            return in.Fail(at + 8, name + " has the target kind " + std::to_string(link.kind) +
                                       ", neither 0 (directory) nor 1 (file)");
        }
        at += 10;
        if (!in.Parts(at, out, name, link.parts)) {
            return false;
        }
        out.links.push_back(std::move(link));
    }
    return true;
}

bool ReadUnsupported(Reader& in, Instructions& out) {
    const std::uint16_t at = Get16(in.data + kUnsupportedField);
    const std::uint16_t length = Get16(in.data + kUnsupportedField + 2);
    // A list of no bytes is no list, wherever it is said to start: writers whose packages
    // installed on devices place it after the provider name with the length 0.
    if (length == 0) {
        return true;
    }
    if (at < kHeaderSize) {
        return in.Fail(kUnsupportedField, "the unsupported-platform list at " + std::to_string(at) +
                                              " lies inside the header");
    }
    if (!in.Has(at, length, "the unsupported-platform list")) {
        return false;
    }
    std::size_t next = at;
    const std::size_t end = std::size_t{at} + length;
    for (;;) {
        const auto* begin = in.data + next;
        const auto* zero = std::find(begin, in.data + end, 0);
        if (zero == in.data + end) {
            return in.Fail(next, "the unsupported-platform list does not end in an empty name");
        }
        if (zero == begin) {
            return true;
        }
        out.unsupported.emplace_back(reinterpret_cast<const char*>(begin),
                                     static_cast<std::size_t>(zero - begin));
        next = static_cast<std::size_t>(zero - in.data) + 1;
    }
}

}  // namespace

bool Encode(const Instructions& instructions, std::string& bytes, std::string& error) {
    Writer out{std::string(kHeaderSize, '\0'), &error};
    out.Header(instructions);
    // The names first, so that their 16-bit offsets hold whatever the tables' size.
    if (!out.Name(instructions.app_name, kAppNameField, "the application name") ||
        !out.Name(instructions.provider, kProviderField, "the provider name") ||
        !out.Unsupported(instructions.unsupported) ||
        !out.Entries(kStrings, instructions.strings, &Writer::PutText) ||
        !out.Entries(kDirectories, instructions.directories, &Writer::PutDirectory) ||
        !out.Entries(kFiles, instructions.files, &Writer::PutFile) ||
        !out.Entries(kHives, instructions.hives, &Writer::PutHive) ||
        !out.Entries(kValues, instructions.values, &Writer::PutValue) ||
        !out.Entries(kLinks, instructions.links, &Writer::PutLink)) {
        return false;
    }
    if (out.bytes.size() > kMaxInstructionsSize) {
        error = "the instructions (.000) come to " + std::to_string(out.bytes.size()) +
                " bytes, over the 32768 a CE package may have";
        return false;
    }
    Set32(out.bytes, kLengthField, out.bytes.size());
    bytes = std::move(out.bytes);
    return true;
}

bool Decode(const unsigned char* data, std::size_t size, Instructions& instructions,
            std::string& error) {
    Reader in{data, size, &error};
    if (size < kHeaderSize) {
        return in.Fail(
            0, "the file is " + std::to_string(size) + " bytes, shorter than the 100-byte header");
    }
    if (size > kMaxInstructionsSize) {
        return in.Fail(0, "the file is " + std::to_string(size) +
                              " bytes, over the 32768 a CE package may have");
    }
    if (data[0] != 'M' || data[1] != 'S' || data[2] != 'C' || data[3] != 'E') {
        return in.Fail(0, "no MSCE signature");
    }
    const std::uint32_t length = Get32(data + kLengthField);
    if (length != size) {
        return in.Fail(kLengthField, "the header gives a length of " + std::to_string(length) +
                                         " bytes, the file has " + std::to_string(size));
    }
    // Words 4, 12, 16 and 96 are "usually" 0, 0, 1 and 0 in the format's own description, and
    // nothing a device installs depends on them: they are read whatever they hold.

    Instructions out;
    out.processor = Get32(data + 20);
    out.min_major = Get32(data + 24);
    out.min_minor = Get32(data + 28);
    out.max_major = Get32(data + 32);
    out.max_minor = Get32(data + 36);
    out.min_build = Get32(data + 40);
    out.max_build = Get32(data + 44);
    if (!in.Name(kAppNameField, "the application name", out.app_name) ||
        !in.Name(kProviderField, "the provider name", out.provider) || !ReadUnsupported(in, out)) {
        return false;
    }

    bool (*const readers[kTables])(Reader&, std::size_t, std::size_t, Instructions&) = {
        ReadStrings, ReadDirectories, ReadFiles, ReadHives, ReadValues, ReadLinks};
    for (std::size_t table = 0; table < kTables; ++table) {
        const std::size_t count = Get16(data + kCountsField + 2 * table);
        const std::size_t field = kOffsetsField + 4 * table;
        const std::uint32_t at = Get32(data + field);
        const std::string what = std::string("the ") + kTableNames[table] + " table";
        if (at > size) {
            return in.Fail(field, what + " at " + std::to_string(at) +
                                      " lies past the end of the file (" + std::to_string(size) +
                                      " bytes)");
        }
        if (count > 0 && at < kHeaderSize) {
            return in.Fail(field, what + " at " + std::to_string(at) + " lies inside the header");
        }
        if (!readers[table](in, at, count, out)) {
            return false;
        }
    }
    instructions = std::move(out);
    return true;
}

bool Decode(const std::string& bytes, Instructions& instructions, std::string& error) {
    return Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), instructions,
                  error);
}

const Text* FindText(const Instructions& instructions, std::uint16_t id) {
    for (const Text& text : instructions.strings) {
        if (text.id == id) {
            return &text;
        }
    }
    return nullptr;
}

const Directory* FindDirectory(const Instructions& instructions, std::uint16_t id) {
    for (const Directory& directory : instructions.directories) {
        if (directory.id == id) {
            return &directory;
        }
    }
    return nullptr;
}

const File* FindFile(const Instructions& instructions, std::uint16_t id) {
    for (const File& file : instructions.files) {
        if (file.id == id) {
            return &file;
        }
    }
    return nullptr;
}

const Hive* FindHive(const Instructions& instructions, std::uint16_t id) {
    for (const Hive& hive : instructions.hives) {
        if (hive.id == id) {
            return &hive;
        }
    }
    return nullptr;
}

std::string JoinParts(const Instructions& instructions, const std::vector<std::uint16_t>& parts) {
    std::string path;
    for (const std::uint16_t part : parts) {
        if (!path.empty()) {
            path += '\\';
        }
        const Text* text = FindText(instructions, part);
        path += text != nullptr ? text->text : std::string();
    }
    return path;
}

const char* CeFolder(unsigned number) {
    struct Folder {
        unsigned number;
        const char* path;
    };
    static const Folder kFolders[] = {
        {1, R"(\Program Files)"},
        {2, R"(\Windows)"},
        {4, R"(\Windows\StartUp)"},
        {5, R"(\My Documents)"},
        {11, R"(\Windows\Start Menu\Programs)"},
        {15, R"(\Windows\Fonts)"},
        {17, R"(\Windows\Start Menu)"},
    };
    for (const Folder& folder : kFolders) {
        if (folder.number == number) {
            return folder.path;
        }
    }
    return nullptr;
}

bool ParseCeFolder(const std::string& token, unsigned& number) {
    // "%CE" and at most two digits, then "%".
    if (token.size() < 5 || token.size() > 6 || token.front() != '%' || token.back() != '%' ||
        (token[1] != 'C' && token[1] != 'c') || (token[2] != 'E' && token[2] != 'e')) {
        return false;
    }
    number = 0;
    for (std::size_t k = 3; k + 1 < token.size(); ++k) {
        if (token[k] < '0' || token[k] > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(token[k] - '0');
    }
    return true;
}

}  // namespace ce_package
