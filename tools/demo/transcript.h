// The demo's text on either build.
#pragma once

#include <windows.h>

#include <string>

#include "support/wide_string.h"

// The text in UTF-8, converted by the platform.
std::string Utf8(const WideString& text);

// A message box as the transcript shows it: a heading with its caption, flags and owner, then
// its text, one "| " line for each of its lines, each line indented by `indent`.
std::string BoxLines(const WideString& caption, const WideString& text, UINT flags, bool owned,
                     const std::string& indent);
