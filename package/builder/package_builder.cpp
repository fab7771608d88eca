// The package laid out from the .inf: [DefaultInstall] names the sections to read, each family
// read by its own unit (context.h lists them), then the `.000` encoded and the members named.
#include "builder/package_builder.h"

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

// The sections [DefaultInstall] names under `key`, each of which must exist.
bool Named(Context& context, const std::map<std::string, const InfLine*>& install,
           const std::string& key, std::vector<const InfSection*>& sections) {
    const auto found = install.find(Upper(key));
    if (found == install.end()) {
        return true;
    }
    for (const std::string& name : found->second->fields) {
        const InfSection* section = name.empty() ? nullptr : context.Section(name);
        if (section == nullptr) {
            return context.Fail(found->second->number, std::string(key) + " names the section [" +
                                                           name + "], which does not exist");
        }
        sections.push_back(section);
    }
    return true;
}

// Every section [DefaultInstall] names, read in the order the tables need: the files first,
// which values may name and shortcuts point to.
bool ReadInstall(Context& context) {
    const InfSection* section = context.Required("DefaultInstall");
    std::map<std::string, const InfLine*> keys;
    if (section == nullptr ||
        !context.Keys(*section, {"COPYFILES", "ADDREG", "CESHORTCUTS", "CESETUPDLL"}, keys)) {
        return false;
    }
    std::vector<const InfSection*> copies;
    std::vector<const InfSection*> registry;
    std::vector<const InfSection*> shortcuts;
    if (!Named(context, keys, "CopyFiles", copies) || !Named(context, keys, "AddReg", registry) ||
        !Named(context, keys, "CEShortcuts", shortcuts) || !CheckDestinations(context)) {
        return false;
    }
    for (const InfSection* copy : copies) {
        if (!CopyFiles(context, *copy)) {
            return false;
        }
    }
    for (const InfSection* values : registry) {
        if (!AddRegistry(context, *values)) {
            return false;
        }
    }
    for (const InfSection* links : shortcuts) {
        if (!AddShortcuts(context, *links)) {
            return false;
        }
    }
    const auto setup = keys.find("CESETUPDLL");
    return setup == keys.end() || ReadSetupLibrary(context, *setup->second);
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

bool LayOut(const Options& options, Package& package, std::string& error) {
    Context context{options, &error, {}, {}, {}, {}, {}, {}, {}};
    std::string text;
    if (!ReadWhole(options.inf, text)) {
        error = options.inf + ": cannot be read";
        return false;
    }
    if (!ParseInf(options.inf, text, context.inf, error) || !ReadNames(context) ||
        !ReadInstallFolder(context) || !ReadDevice(context) || !ReadSources(context) ||
        !ReadInstall(context)) {
        return false;
    }
    if (options.processor_given) {
        context.out.processor = options.processor;
    }
    if (!ce_package::Encode(context.out, package.instructions_bytes, error)) {
        error = options.inf + ": " + error;
        return false;
    }
    if (package.instructions_bytes.size() > ce_package::kMaxInstructionsSize) {
        return context.FailWhole("the instructions (.000) come to " +
                                 std::to_string(package.instructions_bytes.size()) +
                                 " bytes, over the 32768 a CE package may have");
    }
    package.instructions = context.out;
    NameMembers(context, package);
    return true;
}

bool BuildPackage(const Options& options, std::string& error) {
    Package package;
    return LayOut(options, package, error) && WriteCabinet(package, options.output, error);
}

}  // namespace package_builder
