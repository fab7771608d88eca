// <windows.h> as Windows CE declares it: the Pocket PC's programming interface, in CE's own
// layouts and signatures. Only what the product and its tests use, with the SDK's names, types
// and constants. The simulated device implements it on the host; on the device COREDLL.dll does.
#pragma once

#if defined(RC_INVOKED)
// A resource script needs only the constants of its own statements.
#define LANG_ENGLISH 0x09
#define SUBLANG_ENGLISH_UK 0x02
#else
#include "wcrt.h"
#include "winbase.h"
#include "windef.h"
#include "winerror.h"
#include "wingdi.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"
#endif
