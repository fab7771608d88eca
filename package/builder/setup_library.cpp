// CESetupDLL: the setup library, which goes into the package as its .999 member and is named
// nowhere in the .000.
#include "builder/context.h"

namespace package_builder {

bool ReadSetupLibrary(Context& context, const InfLine& line) {
    std::string name;
    if (!ExpandField(context, line, 0, name)) {
        return false;
    }
    if (line.fields.size() == 1 && name.empty()) {
        return true;  // "CESetupDLL=": no setup library, as cabwiz reads it
    }
    if (line.fields.size() != 1 || name.empty()) {
        return context.Fail(line.number, "CESetupDLL names one file");
    }
    context.setup_library.name = name;
    return SourcePath(context, name, line.number, context.setup_library.path);
}

}  // namespace package_builder
