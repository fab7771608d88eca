// The kit's programs: the world's (tools/world/programs.h), for the suites that run them.
#pragma once

#include "kit/kit.h"
#include "world/programs.h"
