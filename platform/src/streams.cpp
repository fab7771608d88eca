// The runtime library's streams over the device's files (_wfopen and the FILE functions).
#include "internal.h"

namespace sim::detail {

void ResetStreams() {}

int OpenStreams() {
    return 0;
}

}  // namespace sim::detail
