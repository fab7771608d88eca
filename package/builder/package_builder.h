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
    std::string inf;  // the .inf's path
    // The package to write; when `cpus` names processors, the folder that receives one package
    // for each, named as cabwiz names them ("<inf name>.<cpu>.CAB").
    std::string output;
    // Where a source file is, by its name in [SourceDisksFiles] (any case); the others are
    // looked for in `source_folders` in order, then where [SourceDisksNames] says, from the
    // .inf's folder.
    std::map<std::string, std::string> files;
    std::vector<std::string> source_folders;
    // cabwiz's /cpu: the processor names to build for, each from the sections named after it
    // ([CEDevice.<cpu>], [DefaultInstall.<cpu>], [SourceDisksNames.<cpu>],
    // [SourceDisksFiles.<cpu>]) over the plain ones. None: one package from the plain sections.
    std::vector<std::string> cpus;
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
    // What the builder left out or passed over, "file:line: note: ...", for the developer.
    std::vector<std::string> notes;
};

// Reads the .inf and lays the package for the processor `cpu` out (empty: from the plain
// sections alone); checks every file it names exists. On failure `error` says
// "file:line: what is wrong" (or "file: ..." for the package as a whole).
bool LayOut(const Options& options, Package& package, std::string& error,
            const std::string& cpu = std::string());
// The same from the .inf's bytes, already read.
bool LayOutText(const Options& options, const std::string& text, Package& package,
                std::string& error, const std::string& cpu = std::string());

// Writes `package` to `output` through a temporary file beside it, renamed only once complete:
// a failure leaves no package and no temporary file.
bool WriteCabinet(const Package& package, const std::string& output, std::string& error);

// Where the package for `cpu` goes: `options.output`, or in it when processors are named.
std::string PackagePath(const Options& options, const std::string& cpu);

// Lays out every package `options` asks for, then writes them: one refusal and none is
// written; one failed write and those written before it are taken away again. `notes` gets
// each package's notes.
bool BuildPackages(const Options& options, std::vector<std::string>& notes, std::string& error);
bool BuildPackage(const Options& options, std::string& error);

// The member name CE's tools give a file: its short (8.3) base name, padded on the left with
// "0" to eight characters, and the member number as the extension ("CLOSEK~1.002").
std::string MemberName(const std::string& file_name, unsigned number);

}  // namespace package_builder
