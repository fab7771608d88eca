// System information, the system's message texts, local memory and loadable libraries.
#include "internal.h"

namespace sim::detail {

void ResetSystem() {}

int OpenLibraries() {
    return 0;
}

int OpenLocalMemory() {
    return 0;
}

}  // namespace sim::detail
