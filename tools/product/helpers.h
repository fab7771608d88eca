// Every helper of the utility library (registry, files, windows, theme, text, drawing), by name:
// the test image of the whole library exports each under this name (helper_exports.cpp, the
// device build), and the helper suites' device form calls each there (helpers_image.cpp, on ARM).
#pragma once

#include "support/draw.h"
#include "support/files.h"
#include "support/registry.h"
#include "support/text.h"
#include "support/theme.h"
#include "support/windows.h"

#define WRENFOLD_HELPERS(X)              \
    /* Registry */                       \
    X(ReadHklmString)                    \
    X(ReadHkcuString)                    \
    X(ReadRegString)                     \
    X(WriteHklmString)                   \
    X(WriteHkcuString)                   \
    X(WriteRegString)                    \
    X(ReadHklmDword)                     \
    X(ReadRegDword)                      \
    X(WriteHklmDword)                    \
    X(WriteHkcuDword)                    \
    X(WriteRegDword)                     \
    X(RegKeyExists)                      \
    X(OpenRegKey)                        \
    X(OpenHklmKey)                       \
    X(CloseRegKey)                       \
    X(NextRegSubkeyName)                 \
    X(NextRegValueName)                  \
    /* Files */                          \
    X(ReadWholeFile)                     \
    X(ReadFileHead)                      \
    X(WriteWholeFile)                    \
    X(ClearFileTime)                     \
    X(IsFileTimeZero)                    \
    X(GetFileWriteTime)                  \
    X(WalkFolderEntries)                 \
    X(ClearReadOnlyInFolder)             \
    X(ScrambleCopyFile)                  \
    X(MakeTempFileName)                  \
    /* Windows, processes, the system */ \
    X(ReadDialogItemText)                \
    X(IsPocketPcPlatform)                \
    X(FindDescendantByClass)             \
    X(FindChildByClass)                  \
    X(FindWindowByProcessId)             \
    X(MatchProcessWindow)                \
    X(ShowSystemError)                   \
    X(RegisterServerLibrary)             \
    /* Today theme */                    \
    X(InstallTodayTheme)                 \
    X(ReadCurrentTodayTheme)             \
    X(ResetTodayTheme)                   \
    X(RefreshTodayScreen)                \
    /* Text */                           \
    X(IsUrlSafeChar)                     \
    X(NibbleToHexChar)                   \
    X(HexCharValue)                      \
    X(UrlEscape)                         \
    X(UrlEscapeStrict)                   \
    X(UrlUnescape)                       \
    X(SplitString)                       \
    X(FormatHashNumber)                  \
    X(Utf8ToWide)                        \
    X(WideToUtf8)                        \
    X(ContainsNoCase)                    \
    X(TrimSpaces)                        \
    X(CaseConvertedCopy)                 \
    /* Drawing */                        \
    X(FillBandedGradient)                \
    X(IsHighDensityDisplay)
