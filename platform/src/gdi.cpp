// The graphics device interface over pixel canvases: the screen and memory device contexts.
#include "internal.h"

namespace sim::detail {

void ResetGdi() {}

int OpenGdiObjects() {
    return 0;
}

int OpenDeviceContexts() {
    return 0;
}

}  // namespace sim::detail
