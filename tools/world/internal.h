// Shared by the world's common part and its two builds' parts.
#pragma once

#include "world/world.h"

namespace world::detail {

// Reports what the world could not arrange; false, for the caller to give back.
bool Failed(const std::string& what);

// Registers `className` with a procedure that records every message (once per process) and
// creates a hidden top-level window of it.
HWND CreateRecordingWindowHere(const WCHAR* className, const WCHAR* title);

// Records the box and shows it to the watcher, if any.
void RecordBox(Box box);
void ClearRecordings();

}  // namespace world::detail
