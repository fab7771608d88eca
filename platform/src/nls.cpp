// Text conversion between UTF-8 and UTF-16, as the platform does it.
#include "internal.h"

namespace sim::detail {

void ResetTextConversion() {}

}  // namespace sim::detail
