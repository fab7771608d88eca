// Host stand-in for the SDK's graphics device interface, served by the simulated device.
#pragma once

#include "windef.h"
