// The installer's instructions in a CE package: the `.000` member, its data model, an encoder and
// a strict decoder. The builder writes packages with it and the stand-in CE installer reads
// them, on the host, on armel and on Windows, so it uses the standard library alone and reads
// and writes every number byte by byte, little-endian, whatever the processor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ce_package {

constexpr std::uint32_t kProcessorAny = 0;
constexpr std::uint32_t kProcessorStrongArm = 2577;  // StrongARM and XScale
constexpr std::size_t kHeaderSize = 100;
// The largest `.000` written or read (32 KB): the bound packages are held to, far inside
// every offset and length the format can hold.
constexpr std::size_t kMaxInstructionsSize = 32768;
// Members .001 to .998 are files; .999 is the setup library.
constexpr unsigned kMaxFiles = 998;
constexpr unsigned kSetupLibraryNumber = 999;

// Registry roots as the hive entries name them.
enum Root : std::uint16_t { kHkcr = 1, kHkcu = 2, kHklm = 3, kHku = 4 };

// Value types and their "do not overwrite" bit.
constexpr std::uint32_t kTypeString = 0x00000000;
constexpr std::uint32_t kTypeMultiString = 0x00010000;
constexpr std::uint32_t kTypeBinary = 0x00000001;
constexpr std::uint32_t kTypeDword = 0x00010001;
constexpr std::uint32_t kTypeNoClobber = 0x00000002;

// Copy flags of a file entry.
constexpr std::uint32_t kFileWarnIfSkipped = 0x1;
constexpr std::uint32_t kFileNoSkip = 0x2;
constexpr std::uint32_t kFileNoOverwrite = 0x10;
constexpr std::uint32_t kFileReplaceOnly = 0x400;
constexpr std::uint32_t kFileSelfRegister = 0x10000000;
constexpr std::uint32_t kFileKeepNewer = 0x20000000;
constexpr std::uint32_t kFileOverwriteAny = 0x40000000;
constexpr std::uint32_t kFileShared = 0x80000000;
constexpr std::uint32_t kFileKnownFlags = kFileWarnIfSkipped | kFileNoSkip | kFileNoOverwrite |
                                          kFileReplaceOnly | kFileSelfRegister | kFileKeepNewer |
                                          kFileOverwriteAny | kFileShared;

// A link's target kind.
constexpr std::uint16_t kLinkToDirectory = 0;
constexpr std::uint16_t kLinkToFile = 1;

struct Text {
    std::uint16_t id = 0;
    std::string text;
};

// A folder on the device: its parts are string ids, joined with "\"; a part may be "%CEn%".
struct Directory {
    std::uint16_t id = 0;
    std::vector<std::uint16_t> parts;
};

// A file to install: `id` is its member's number (1 to 998).
struct File {
    std::uint16_t id = 0;
    std::uint16_t directory = 0;
    std::uint32_t flags = 0;
    std::string name;
};

struct Hive {
    std::uint16_t id = 0;
    std::uint16_t root = 0;
    std::vector<std::uint16_t> parts;
};

// A registry value. `data` is the bytes as stored (a string's with its zero).
struct Value {
    std::uint16_t id = 0;
    std::uint16_t hive = 0;
    bool substitute = false;
    std::uint32_t type = kTypeString;
    std::string name;
    std::string data;
};

// A shortcut: `base` 0 is the install folder, 1 to 17 a %CEn% folder; `target` a directory id (0
// for the install folder) or a file id, as `kind` says; `parts` the link's name under its base.
struct Link {
    std::uint16_t id = 0;
    std::uint16_t unknown = 0;
    std::uint16_t base = 0;
    std::uint16_t target = 0;
    std::uint16_t kind = kLinkToFile;
    std::vector<std::uint16_t> parts;
};

struct Instructions {
    std::uint32_t processor = kProcessorAny;
    std::uint32_t min_major = 0, min_minor = 0, max_major = 0, max_minor = 0;
    std::uint32_t min_build = 0, max_build = 0;
    std::string app_name;
    std::string provider;
    std::vector<std::string> unsupported;
    std::vector<Text> strings;
    std::vector<Directory> directories;
    std::vector<File> files;
    std::vector<Hive> hives;
    std::vector<Value> values;
    std::vector<Link> links;
};

// The `.000` bytes of `instructions`: the header, the names, then the six tables in the
// header's order. Fails, saying which entry, when a count, length or offset does not fit its
// field, a text holds a zero byte, a folder, key or link has no parts, a file's number is no
// member's, or the whole comes to more than kMaxInstructionsSize.
bool Encode(const Instructions& instructions, std::string& bytes, std::string& error);

// Reads a `.000`. Every offset, count, length and id is checked against the file; on failure
// `error` starts with the byte offset of the field at fault ("at 60: ...") and nothing is read
// past `size`. What the format gives only as "usual" values (header words 4, 12, 16 and 96, a
// file's second id, a hive's third field) is read whatever it holds, and an unsupported-platform
// list of length 0 is none, wherever it is said to start.
bool Decode(const unsigned char* data, std::size_t size, Instructions& instructions,
            std::string& error);
bool Decode(const std::string& bytes, Instructions& instructions, std::string& error);

// Lookups over decoded instructions; null when the id is not there.
const Text* FindText(const Instructions& instructions, std::uint16_t id);
const Directory* FindDirectory(const Instructions& instructions, std::uint16_t id);
const File* FindFile(const Instructions& instructions, std::uint16_t id);
const Hive* FindHive(const Instructions& instructions, std::uint16_t id);

// The %CEn% folders some CE version defines: %CE1% to %CE17%, as CE's documentation numbers
// them (a Handheld PC has them all; a Pocket PC fewer).
constexpr unsigned kMaxCeFolder = 17;

// The folder "%CEn%" names on a CE 3.0 Pocket PC ("\Program Files" for 1), or null for a number
// CE 3.0 does not define there (%CE8%, \Program Files\Games, came with Pocket PC 2002).
const char* CeFolder(unsigned number);

// Whether `token` is a "%CEn%" folder token, in any case ("%ce11%"), and its n; the one reading
// of the token, for the builder and the installer alike. The number need not name a folder.
bool ParseCeFolder(const std::string& token, unsigned& number);

// The parts' texts joined with "\" (e.g. "%CE1%\Korvessa"); ids must exist (Decode checks).
std::string JoinParts(const Instructions& instructions, const std::vector<std::uint16_t>& parts);

}  // namespace ce_package
