// The setup library's hooks as the transcript shows them: a loader over the world's own whose
// hooks tell the stage of each call (the hook, its library, what it is given) before making it,
// so that a step shows which library's hook did what, in every world alike.
#pragma once

#include "standin/cab_installer.h"

// The loader that shows the calls of the hooks `inner` loads. It holds two libraries at a time,
// as an upgrade does: the new one, and the kept one of the installation it removes.
const SetupLibraryLoader& ShowingHookCalls(const SetupLibraryLoader& inner);
