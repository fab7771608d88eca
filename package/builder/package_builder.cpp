// The package laid out from the .inf: [DefaultInstall] names the sections to read, each family
// read by its own unit (context.h lists them), then the `.000` encoded and the members named.
#include "builder/package_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "builder/context.h"

namespace package_builder {
namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return !in.bad();
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// cabwiz's sections that a processor's own ([CEDevice.ARM]) go over.
const char* const kPerProcessor[] = {"CEDEVICE.", "DEFAULTINSTALL.", "SOURCEDISKSNAMES.",
                                     "SOURCEDISKSFILES."};

// The processor a section is for, when it is one of those; empty otherwise.
std::string ProcessorOf(const InfSection& section) {
    for (const char* family : kPerProcessor) {
        const std::string prefix = family;
        if (Upper(section.name).compare(0, prefix.size(), prefix) == 0) {
            return section.name.substr(prefix.size());
        }
    }
    return {};
}

// A processor named that no section is for would make a package of the plain sections under
// its name, which is never what was meant.
bool CheckProcessor(Context& context) {
    std::string known;
    for (const auto& section : context.inf) {
        const std::string cpu = ProcessorOf(section.second);
        if (!context.cpu.empty() && Upper(cpu) == Upper(context.cpu)) {
            return true;
        }
        if (!cpu.empty() && known.find(" " + cpu + ",") == std::string::npos) {
            known += " " + cpu + ",";
        }
    }
    if (context.cpu.empty()) {
        return true;
    }
    known = known.empty() ? " none" : known.substr(0, known.size() - 1);
    return context.FailWhole("no section is for the processor " + context.cpu +
                             " (the .inf's processors:" + known + ")");
}

// The sections [DefaultInstall] names under `key`, each of which must exist.
bool Named(Context& context, const std::map<std::string, const InfLine*>& install,
           const std::string& key, std::vector<const InfSection*>& sections) {
    const auto found = install.find(Upper(key));
    if (found == install.end() ||
        (found->second->fields.size() == 1 && found->second->fields[0].empty())) {
        return true;
    }
    for (const std::string& name : found->second->fields) {
        const InfSection* section = name.empty() ? nullptr : context.Section(name);
        if (section == nullptr) {
            return context.Fail(found->second->number, std::string(key) + " names the section [" +
                                                           name + "], which does not exist");
        }
        if (section->lines.empty()) {
            context.Note(section->number, "[" + section->name + "] is empty");
        }
        sections.push_back(section);
    }
    return true;
}

// What [DefaultInstall] (and the processor's) names.
struct Install {
    std::vector<const InfSection*> copies;
    std::vector<const InfSection*> registry;
    std::vector<const InfSection*> shortcuts;
    const InfLine* self_register = nullptr;
    const InfLine* setup = nullptr;
};

bool ReadInstall(Context& context, Install& install) {
    Keyed keyed;
    if (!context.ReadKeyed("DefaultInstall",
                           {"COPYFILES", "ADDREG", "CESHORTCUTS", "CESETUPDLL", "CESELFREGISTER"},
                           true, keyed)) {
        return false;
    }
    const auto& keys = keyed.lines;
    const auto line = [&keys](const char* key) {
        const auto found = keys.find(key);
        return found == keys.end() ? nullptr : found->second;
    };
    install.self_register = line("CESELFREGISTER");
    install.setup = line("CESETUPDLL");
    return Named(context, keys, "CopyFiles", install.copies) &&
           Named(context, keys, "AddReg", install.registry) &&
           Named(context, keys, "CEShortcuts", install.shortcuts) && CheckDestinations(context);
}

// Each section the install names, in the order the tables need: the files first, which values
// may name and shortcuts point to.
bool Fill(Context& context, const Install& install) {
    for (const InfSection* copy : install.copies) {
        if (!CopyFiles(context, *copy)) {
            return false;
        }
    }
    if (install.self_register != nullptr && !SelfRegister(context, *install.self_register)) {
        return false;
    }
    for (const InfSection* values : install.registry) {
        if (!AddRegistry(context, *values)) {
            return false;
        }
    }
    for (const InfSection* links : install.shortcuts) {
        if (!AddShortcuts(context, *links)) {
            return false;
        }
    }
    return install.setup == nullptr || ReadSetupLibrary(context, *install.setup);
}

// A word for each section the package did not read: cabwiz's silence about them has sent
// developers looking in the wrong place. Another processor's sections go unmentioned when a
// processor is named: they are plainly for another package.
void NoteLeftOut(const Context& context) {
    for (const auto& section : context.inf) {
        if (context.read.count(section.first) != 0) {
            continue;
        }
        const std::string cpu = ProcessorOf(section.second);
        std::string note = "[" + section.second.name + "] left out: ";
        if (section.first == "PLATFORM" || section.first.rfind("PLATFORM.", 0) == 0) {
            note +=
                "the builder takes no platform (cabwiz's /platform), and a CE 3.0 package "
                "has no field for one";
        } else if (cpu.empty()) {
            note += "nothing the ";
            note += context.cpu.empty() ? std::string() : context.cpu + " ";
            note += "package reads names it";
        } else if (context.cpu.empty()) {
            note += "no processor was named (--cpu ";
            note += cpu;
            note += " builds from it)";
        } else {
            continue;
        }
        context.Note(section.second.number, note);
    }
}

// The cabinet's members: the .000 first, then the setup library and the files by descending
// number.
void NameMembers(const Context& context, Package& package) {
    package.members.clear();
    package.members.push_back({MemberName(BaseName(context.options.inf), 0), std::string()});
    if (!context.setup_library.path.empty()) {
        package.members.push_back(
            {MemberName(context.setup_library.name, ce_package::kSetupLibraryNumber),
             context.setup_library.path});
    }
    for (std::size_t number = context.numbered.size(); number > 0; --number) {
        const Source& file = context.numbered[number - 1];
        package.members.push_back(
            {MemberName(file.name, static_cast<unsigned>(number)), file.path});
    }
}

}  // namespace

std::string MemberName(const std::string& file_name, unsigned number) {
    const std::size_t dot = file_name.rfind('.');
    const std::string base =
        dot == std::string::npos || dot == 0 ? file_name : file_name.substr(0, dot);
    // The short name's base, as the file system makes it: letters upper-cased, what an 8.3
    // name may not hold left out, and a name that lost anything or is too long cut to six
    // characters and "~1".
    std::string shortened;
    bool lossy = false;
    for (const char c : Upper(base)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || std::string(".\"*+,/:;<=>?[\\]|").find(c) != std::string::npos) {
            lossy = true;
        } else {
            shortened += c;
        }
    }
    if (lossy || shortened.size() > 8 || shortened.empty()) {
        shortened = shortened.substr(0, 6) + "~1";
    }
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", number);
    return std::string(8 - shortened.size(), '0') + shortened + extension;
}

bool LayOutText(const Options& options, const std::string& text, Package& package,
                std::string& error, const std::string& cpu) {
    package.notes.clear();
    Context context{options, cpu, &error, &package.notes};
    Install install;
    if (!ParseInf(options.inf, text, context.inf, error) || !CheckProcessor(context) ||
        !ReadVersion(context) || !ReadStrings(context) || !ReadDevice(context) ||
        !ExpandNames(context) || !ReadSources(context) || !ReadInstall(context, install) ||
        !LocateSources(context, install.copies) || !ReadInstallFolder(context) ||
        !Fill(context, install)) {
        return false;
    }
    NoteLeftOut(context);
    // The notes in the file's order, as the developer reads it.
    const std::size_t at = options.inf.size() + 1;
    std::stable_sort(package.notes.begin(), package.notes.end(),
                     [at](const std::string& a, const std::string& b) {
                         return std::stoi(a.substr(at)) < std::stoi(b.substr(at));
                     });
    if (options.processor_given) {
        context.out.processor = options.processor;
    }
    if (!ce_package::Encode(context.out, package.instructions_bytes, error)) {
        error = options.inf + ": " + error;
        return false;
    }
    package.instructions = context.out;
    NameMembers(context, package);
    return true;
}

bool LayOut(const Options& options, Package& package, std::string& error, const std::string& cpu) {
    std::string text;
    if (!ReadWhole(options.inf, text)) {
        error = options.inf + ": cannot be read";
        return false;
    }
    return LayOutText(options, text, package, error, cpu);
}

std::string PackagePath(const Options& options, const std::string& cpu) {
    if (options.cpus.empty()) {
        return options.output;
    }
    const std::string name = BaseName(options.inf);
    const std::size_t dot = name.rfind('.');
    return options.output + "/" + (dot == std::string::npos ? name : name.substr(0, dot)) + "." +
           cpu + ".CAB";
}

bool BuildPackages(const Options& options, std::vector<std::string>& notes, std::string& error) {
    const std::vector<std::string> cpus =
        options.cpus.empty() ? std::vector<std::string>{std::string()} : options.cpus;
    std::vector<Package> packages(cpus.size());
    for (std::size_t k = 0; k < cpus.size(); ++k) {
        for (std::size_t before = 0; before < k; ++before) {
            if (Upper(cpus[before]) == Upper(cpus[k])) {
                error = options.inf + ": the processor " + cpus[k] + " is named twice";
                return false;
            }
        }
        if (!LayOut(options, packages[k], error, cpus[k])) {
            return false;
        }
        for (const std::string& note : packages[k].notes) {
            if (std::find(notes.begin(), notes.end(), note) == notes.end()) {
                notes.push_back(note);
            }
        }
    }
    for (std::size_t k = 0; k < cpus.size(); ++k) {
        if (!WriteCabinet(packages[k], PackagePath(options, cpus[k]), error)) {
            for (std::size_t written = 0; written < k; ++written) {
                std::remove(PackagePath(options, cpus[written]).c_str());
            }
            return false;
        }
    }
    return true;
}

bool BuildPackage(const Options& options, std::string& error) {
    std::vector<std::string> notes;
    return BuildPackages(options, notes, error);
}

}  // namespace package_builder
