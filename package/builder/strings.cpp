// The names and the substitutions: [Version], [CEStrings] and [Strings], and what a %name%
// stands for wherever cabwiz replaces it.
#include "builder/context.h"

namespace package_builder {
namespace {

// A %CEn% folder the package may name: one some CE version defines, and on CE 3.0 one that
// CE 3.0 has, unless [CEDevice] keeps the package off CE 3.0 devices.
bool CheckCeFolder(Context& context, int line, const std::string& name, unsigned folder) {
    if (folder < 1 || folder > ce_package::kMaxCeFolder) {
        return context.Fail(line, "%" + name +
                                      "% is not a folder any CE version defines (they are "
                                      "%CE1% to %CE17%)");
    }
    if (ce_package::CeFolder(folder) != nullptr || !AllowsCe3(context.out)) {
        return true;
    }
    const ce_package::Instructions& out = context.out;
    const std::string why = out.min_major == 0 && out.min_minor == 0
                                ? "with no VersionMin the package is for CE 3.0 too"
                                : "VersionMin=" + std::to_string(out.min_major) + "." +
                                      std::to_string(out.min_minor) + " lets CE 3.0 install it";
    return context.Fail(line, "%" + name +
                                  "% is a folder CE 3.0 lacks (it has %CE1%, %CE2%, %CE4%, "
                                  "%CE5%, %CE11%, %CE15% and %CE17%), and " +
                                  why + ": give VersionMin=4.0 or another folder");
}

// Expand's work, `depth` strings deep.
bool ExpandAt(Context& context, const std::string& text, int line, InstallDirIs install_dir,
              std::string& result, bool* device_tokens, int depth) {
    if (depth > 8) {
        return context.Fail(line, "the [Strings] refer to each other in a loop");
    }
    result.clear();
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '%') {
            result += text[k];
            continue;
        }
        const std::size_t close = text.find('%', k + 1);
        if (close == std::string::npos) {
            return context.Fail(line, "a % without its closing % in \"" + text + "\"");
        }
        const std::string name = text.substr(k + 1, close - k - 1);
        k = close;
        unsigned folder = 0;
        bool device = false;
        if (name.empty()) {
            result += '%';
        } else if (ce_package::ParseCeFolder("%" + name + "%", folder)) {
            if (!CheckCeFolder(context, line, name, folder)) {
                return false;
            }
            result += "%CE" + std::to_string(folder) + "%";
            device = true;
        } else if (Upper(name) == "INSTALLDIR" && install_dir == InstallDirIs::kLeft) {
            result += "%InstallDir%";
            device = true;
        } else {
            const auto found = context.strings.find(Upper(name));
            if (found == context.strings.end()) {
                return context.Fail(
                    line, "%" + name + "% is defined in neither [Strings] nor " + "[CEStrings]");
            }
            std::string inner;
            if (!ExpandAt(context, found->second.first, line, install_dir, inner, device_tokens,
                          depth + 1)) {
                return false;
            }
            result += inner;
        }
        if (device && device_tokens != nullptr) {
            *device_tokens = true;
        }
    }
    return true;
}

bool IsSignature(const std::string& text) {
    const std::string upper = Upper(text);
    return upper == "$WINDOWS NT$" || upper == "$WINDOWS 95$" || upper == "$CHICAGO$";
}

}  // namespace

bool ReadVersion(Context& context) {
    const InfSection* section = context.Required("Version");
    std::map<std::string, const InfLine*> keys;
    if (section == nullptr ||
        !context.Keys(*section, {"SIGNATURE", "CESIGNATURE", "PROVIDER"}, keys)) {
        return false;
    }
    const auto signature = keys.find("SIGNATURE");
    if (signature == keys.end() || !IsSignature(signature->second->fields[0])) {
        return context.Fail(signature == keys.end() ? section->number : signature->second->number,
                            R"([Version] needs Signature="$Windows NT$" (or "$Windows 95$" or )"
                            R"("$Chicago$"))");
    }
    const auto ce = keys.find("CESIGNATURE");
    if (ce == keys.end() || Upper(ce->second->fields[0]) != "$WINDOWS CE$") {
        return context.Fail(ce == keys.end() ? section->number : ce->second->number,
                            "[Version] needs CESignature=\"$Windows CE$\"");
    }
    const auto provider = keys.find("PROVIDER");
    if (provider == keys.end()) {
        return context.Fail(section->number, "[Version] needs a Provider");
    }
    context.provider = provider->second;
    return true;
}

bool ReadStrings(Context& context) {
    const InfSection* ce = context.Required("CEStrings");
    std::map<std::string, const InfLine*> keys;
    if (ce == nullptr || !context.Keys(*ce, {"APPNAME", "INSTALLDIR"}, keys)) {
        return false;
    }
    if (keys.count("APPNAME") == 0) {
        return context.Fail(ce->number, "[CEStrings] needs an AppName");
    }
    for (const auto& key : keys) {
        context.strings[key.first] = {key.second->fields[0], key.second->number};
    }
    if (const InfSection* free = context.Section("Strings")) {
        std::map<std::string, const InfLine*> more;
        if (!context.Keys(*free, {}, more)) {
            return false;
        }
        for (const auto& key : more) {
            if (!context.strings
                     .emplace(key.first, std::make_pair(key.second->fields[0], key.second->number))
                     .second) {
                return context.Fail(key.second->number,
                                    key.second->key + " is given in [CEStrings] already");
            }
        }
    }
    // cabwiz's own default, when neither section gives the install folder.
    context.strings.emplace("INSTALLDIR", std::make_pair("%CE1%\\%AppName%", ce->number));
    return true;
}

bool ExpandNames(Context& context) {
    if (!ExpandField(context, *context.provider, 0, context.out.provider)) {
        return false;
    }
    if (context.out.provider.empty()) {
        return context.Fail(context.provider->number, "the Provider is empty");
    }
    const auto& app_name = context.strings["APPNAME"];
    if (!Expand(context, app_name.first, app_name.second, InstallDirIs::kExpanded,
                context.out.app_name)) {
        return false;
    }
    if (context.out.app_name.empty()) {
        return context.Fail(app_name.second, "the AppName is empty");
    }
    return true;
}

bool Expand(Context& context, const std::string& text, int line, InstallDirIs install_dir,
            std::string& result, bool* device_tokens) {
    return ExpandAt(context, text, line, install_dir, result, device_tokens, 0);
}

bool ExpandList(Context& context, const InfLine& line, std::vector<std::string>& names) {
    names.clear();
    if (line.fields.size() == 1 && line.fields[0].empty()) {
        return true;
    }
    for (std::size_t k = 0; k < line.fields.size(); ++k) {
        std::string name;
        if (!ExpandField(context, line, k, name)) {
            return false;
        }
        if (name.empty()) {
            return context.Fail(line.number, "an empty name in " + line.key);
        }
        names.push_back(name);
    }
    return true;
}

bool ExpandField(Context& context, const InfLine& line, std::size_t index, std::string& result,
                 InstallDirIs install_dir) {
    const std::string text = index < line.fields.size() ? line.fields[index] : std::string();
    return Expand(context, text, line.number, install_dir, result);
}

}  // namespace package_builder
