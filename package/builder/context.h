// What the builder's units share while they read one .inf: the parsed text, the error
// reporting and the tables of the package being laid out. Each unit reads one family of
// sections and can be read alone:
//   strings.cpp        [Version], [CEStrings], [Strings] and every %name% substitution
//   device.cpp         [CEDevice]: processor, versions, builds, unsupported platforms
//   files.cpp          [SourceDisksNames], [SourceDisksFiles], [DestinationDirs], CopyFiles
//                      and the folders they name
//   registry.cpp       AddReg
//   shortcuts.cpp      CEShortcuts
//   setup_library.cpp  CESetupDLL
// package_builder.cpp reads [DefaultInstall] and calls them in the order the tables need. The
// per-processor sections cabwiz knows ([CEDevice.<cpu>] and the like) are read through
// ReadKeyed, over their plain sections.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "builder/inf.h"
#include "builder/package_builder.h"
#include "ce_package/ce_package.h"

namespace package_builder {

// A source file as the .inf names it (its member is named after it) and where it is.
struct Source {
    std::string name;
    std::string path;
};

// How a %InstallDir% in a text is meant: expanded to the .inf's install folder, or left for the
// device, which knows the folder the user chose.
enum class InstallDirIs { kExpanded, kLeft };

// The keyed lines of one of cabwiz's per-processor sections for the package being built:
// [name], with the lines of [name.<cpu>] over it key by key.
struct Keyed {
    const InfSection* plain = nullptr;
    const InfSection* own = nullptr;                    // [name.<cpu>]
    std::map<std::string, const InfLine*> lines;        // by upper key, the processor's first
    std::map<std::string, const InfLine*> plain_lines;  // the plain section's alone
    std::map<std::string, const InfLine*> own_lines;    // the processor's alone
};

struct Context {
    Context(const Options& given, std::string processor, std::string* failure,
            std::vector<std::string>* notes_out)
        : options(given), cpu(std::move(processor)), error(failure), notes(notes_out) {}

    const Options& options;
    std::string cpu;  // the processor the package is for; empty for the plain sections alone
    std::string* error;
    std::vector<std::string>* notes;
    Inf inf;
    std::set<std::string> read;                                  // upper names of those read
    std::map<std::string, std::pair<std::string, int>> strings;  // upper name: text, line
    const InfLine* provider = nullptr;                           // [Version]'s
    std::map<std::string, std::string> disks;       // upper disk id: its folder, "/" between parts
    std::map<std::string, const InfLine*> sources;  // upper file name: its line
    ce_package::Instructions out;
    std::vector<Source> numbered;  // the files, by member number from 1
    Source setup_library;          // its path is empty when there is none

    bool Fail(int line, const std::string& what) const;
    bool FailWhole(const std::string& what) const;
    void Note(int line, const std::string& what) const;

    // The section, marked as read; null when the .inf has none.
    const InfSection* Section(const std::string& name);
    // The section, or null having failed because it is missing.
    const InfSection* Required(const std::string& name);
    // Keyed lines of `section`, each key one of `known` (any key when `known` is empty), none
    // twice.
    bool Keys(const InfSection& section, const std::set<std::string>& known,
              std::map<std::string, const InfLine*>& keys) const;
    // [name] and [name.<cpu>] read as cabwiz reads them; `required`: one of them must be there.
    bool ReadKeyed(const std::string& name, const std::set<std::string>& known, bool required,
                   Keyed& keyed);
    // For messages: "[name]", or "[name] nor [name.<cpu>]" when building for a processor.
    std::string Both(const std::string& name) const;
    // "is not in [name]", or "is in neither [name] nor [name.<cpu>]".
    std::string Absent(const std::string& name) const;

    // Ids in the tables being built, each text or folder entered once.
    std::uint16_t StringId(const std::string& text);
    std::vector<std::uint16_t> Ids(const std::vector<std::string>& parts);
    std::uint16_t DirectoryId(const std::vector<std::string>& parts);
};

// Whether the package's [CEDevice] lets a CE 3.0 device install it.
bool AllowsCe3(const ce_package::Instructions& out);

// A decimal or 0x-hexadecimal number no greater than `most`.
bool ParseNumber(const std::string& text, unsigned long long most, unsigned long long& value);
std::string Hex(unsigned long long value);

// strings.cpp
bool ReadVersion(Context& context);
bool ReadStrings(Context& context);
// The provider's and the application's names, once the strings and [CEDevice] are read.
bool ExpandNames(Context& context);
bool Expand(Context& context, const std::string& text, int line, InstallDirIs install_dir,
            std::string& result, bool* device_tokens = nullptr);
bool ExpandField(Context& context, const InfLine& line, std::size_t index, std::string& result,
                 InstallDirIs install_dir = InstallDirIs::kExpanded);
// The names a key's fields give, each substituted and none empty; "Key=" gives none.
bool ExpandList(Context& context, const InfLine& line, std::vector<std::string>& names);

// device.cpp
bool ReadDevice(Context& context);

// files.cpp
bool ReadSources(Context& context);
bool SourcePath(Context& context, const std::string& name, int line, std::string& path);
// The install folder, as directory 1.
bool ReadInstallFolder(Context& context);
// A folder's parts, its %CEn% first, or from the root when it starts with "\"; nothing empty.
bool FolderParts(Context& context, const std::string& path, int line,
                 std::vector<std::string>& parts);
// The folder of a CopyFiles or CEShortcuts section, as written, from [DestinationDirs].
bool Destination(Context& context, const InfSection& section, std::string& written, int& line);
bool CheckDestinations(Context& context);
bool CopyFiles(Context& context, const InfSection& section);
// Where every file the CopyFiles sections copy comes from, found before anything says where it
// goes: a file that cannot be found is the first thing a developer needs to hear of.
bool LocateSources(Context& context, const std::vector<const InfSection*>& copies);
// CESelfRegister: the files it names get the flag that has the device register them.
bool SelfRegister(Context& context, const InfLine& line);

// registry.cpp
bool AddRegistry(Context& context, const InfSection& section);

// shortcuts.cpp
bool AddShortcuts(Context& context, const InfSection& section);

// setup_library.cpp
bool ReadSetupLibrary(Context& context, const InfLine& line);

}  // namespace package_builder
