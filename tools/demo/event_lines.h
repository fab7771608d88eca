// Host only: the simulated device's event log as the transcript's lines.
#pragma once

#include <string>

#include "sim.h"

// One readable line, e.g. `sent WM_CLOSE (0x0, 0x0) to window KorvessaNotify ""`.
std::string EventLine(const sim::Event& event);
