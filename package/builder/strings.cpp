// The names and the substitutions: [Version], [CEStrings] and [Strings], and what a %name%
// in any other section stands for.
#include "builder/context.h"

namespace package_builder {
namespace {

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
        const std::string upper = Upper(name);
        unsigned folder = 0;
        if (name.empty()) {
            result += '%';
        } else if (ce_package::ParseCeFolder("%" + name + "%", folder)) {
            if (ce_package::CeFolder(folder) == nullptr) {
                return context.Fail(line, "%" + name +
                                              "% is not a folder CE 3.0 defines (it has %CE1%, "
                                              "%CE2%, %CE4%, %CE5%, %CE11%, %CE15% and %CE17%)");
            }
            result += "%CE" + std::to_string(folder) + "%";
            if (device_tokens != nullptr) {
                *device_tokens = true;
            }
        } else if (upper == "INSTALLDIR" && install_dir == InstallDirIs::kLeft) {
            result += "%InstallDir%";
            if (device_tokens != nullptr) {
                *device_tokens = true;
            }
        } else {
            const auto found = context.strings.find(upper);
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
    }
    return true;
}

bool ReadVersion(Context& context) {
    const InfSection* section = context.Required("Version");
    std::map<std::string, const InfLine*> keys;
    if (section == nullptr ||
        !context.Keys(*section, {"SIGNATURE", "CESIGNATURE", "PROVIDER"}, keys)) {
        return false;
    }
    const auto signature = keys.find("SIGNATURE");
    if (signature == keys.end() || (signature->second->fields[0] != "$Windows NT$" &&
                                    signature->second->fields[0] != "$Windows 95$")) {
        return context.Fail(section->number,
                            R"([Version] needs Signature="$Windows NT$" (or "$Windows 95$"))");
    }
    const auto ce = keys.find("CESIGNATURE");
    if (ce == keys.end() || ce->second->fields[0] != "$Windows CE$") {
        return context.Fail(section->number, "[Version] needs CESignature=\"$Windows CE$\"");
    }
    const auto provider = keys.find("PROVIDER");
    if (provider == keys.end()) {
        return context.Fail(section->number, "[Version] needs a Provider");
    }
    if (!ExpandField(context, *provider->second, 0, context.out.provider)) {
        return false;
    }
    if (context.out.provider.empty()) {
        return context.Fail(provider->second->number, "the Provider is empty");
    }
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
    if (keys.count("INSTALLDIR") == 0) {
        context.strings["INSTALLDIR"] = {"%CE1%\\%AppName%", ce->number};
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

}  // namespace

bool ReadNames(Context& context) {
    return ReadVersion(context) && ReadStrings(context);
}

bool Expand(Context& context, const std::string& text, int line, InstallDirIs install_dir,
            std::string& result, bool* device_tokens) {
    return ExpandAt(context, text, line, install_dir, result, device_tokens, 0);
}

bool ExpandField(Context& context, const InfLine& line, std::size_t index, std::string& result,
                 InstallDirIs install_dir) {
    const std::string text = index < line.fields.size() ? line.fields[index] : std::string();
    return Expand(context, text, line.number, install_dir, result);
}

}  // namespace package_builder
