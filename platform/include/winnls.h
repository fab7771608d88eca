// Host stand-in for the SDK's text conversion (code pages), served by the simulated device.
#pragma once

#include "windef.h"
