// Clearing what a Windows test or demo run left on the disk, shared by both.
#pragma once

#include "support/wide_string.h"

// Deletes the file or folder at `path` with everything below it, read-only entries included.
void RemoveTree(const WideString& path);
