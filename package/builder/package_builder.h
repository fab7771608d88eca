// The package builder: a CE package (.cab) from a cabwiz .inf, as cabwiz makes it for CE 3.0.
// The .inf's sections become the `.000` instructions (ce_package), the files its members under
// 8.3 names, the setup library the `.999`; Debian's libgcab writes the cabinet.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ce_package/ce_package.h"

namespace package_builder {

struct Options {
    std::string inf;     // the .inf's path
    std::string output;  // the package to write
    // Where a source file is, by its name in [SourceDisksFiles] (any case); the others are
    // looked for in `source_folders` in order, then where [SourceDisksNames] says, from the
    // .inf's folder.
    std::map<std::string, std::string> files;
    std::vector<std::string> source_folders;
    // Replaces [CEDevice] ProcessorType (a package for another processor from the same .inf).
    bool processor_given = false;
    std::uint32_t processor = 0;
};

// One member of the cabinet: its name and where its bytes come from.
struct Member {
    std::string name;
    std::string path;  // empty for the .000, whose bytes the builder makes
};

// What a package holds, before it is written.
struct Package {
    ce_package::Instructions instructions;
    std::string instructions_bytes;
    std::vector<Member> members;  // in cabinet order: the .000 first, then by descending number
};

// Reads the .inf and lays the package out; checks every file it names exists. On failure
// `error` says "file:line: what is wrong" (or "file: ..." for the package as a whole).
bool LayOut(const Options& options, Package& package, std::string& error);

// Writes `package` to `output` through a temporary file beside it, renamed only once complete:
// a failure leaves no package and no temporary file.
bool WriteCabinet(const Package& package, const std::string& output, std::string& error);

// Both steps.
bool BuildPackage(const Options& options, std::string& error);

// The member name CE's tools give a file: its short (8.3) base name, padded on the left with
// "0" to eight characters, and the member number as the extension ("CLOSEK~1.002").
std::string MemberName(const std::string& file_name, unsigned number);

}  // namespace package_builder
