// The running application as both deliverables reach it: its hidden notification window, found
// by class and an empty title, which closes on WM_CLOSE.
#pragma once

#include <windows.h>

inline constexpr WCHAR kKorvessaWindowClass[] = TEXT("KorvessaNotify");
inline constexpr WCHAR kKorvessaWindowTitle[] = TEXT("");
