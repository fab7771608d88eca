// The test image's export table: every helper under its plain name, which the suites' device
// form looks up (GCC mangles a name differently for each side's WCHAR). The deliverable exports
// only the hooks; this image is built from the same objects, checked as the deliverables are,
// and never packaged.
#include "product/abi.h"
#include "product/helpers.h"

namespace {

// Directives to the linker, as a compiler's dllexport would write them.
[[gnu::used]] void ExportDirectives() {
#define WRENFOLD_EXPORT(name)                                        \
    asm volatile(".pushsection .drectve\n\t.ascii \" -export:" #name \
                 "=%c0\"\n\t.popsection" ::"X"(&name));
    WRENFOLD_HELPERS(WRENFOLD_EXPORT)
#undef WRENFOLD_EXPORT
}

}  // namespace
