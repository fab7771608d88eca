// The kit on the simulated device: the device's own control surface does the work.
#include "kit/kit.h"
#include "sim.h"

namespace kit {

void ResetWorld() {
    sim::Reset();
}

std::string LeakReport() {
    return sim::OpenHandlesReport();
}

void RefuseNextWrite(HKEY /*root*/, const WCHAR* /*path*/) {
    sim::FailNextRegistryCall(sim::RegistryCall::Set, ERROR_ACCESS_DENIED);
}

}  // namespace kit
