// Host stand-in for <windows.h>: the simulated Pocket PC's programming interface. Only what the
// product and its tests use, with the SDK's names, types and constants.
#pragma once

#include "wcrt.h"
#include "winbase.h"
#include "windef.h"
#include "winerror.h"
#include "wingdi.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"
