// The package's side of the stand-in CE installer: a CE package read (the cabinet, then its
// `.000`) and checked against the device, and its contents laid onto the device in the CE
// installer's order, each thing it puts there recorded for removal.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ce_package/layout.h"
#include "standin/cabinet.h"
#include "standin/install_record.h"
#include "support/wide_string.h"
#include "world/text.h"

struct Package {
    WideString path;  // on the device
    std::vector<CabinetMember> members;
    const CabinetMember* instructions = nullptr;  // the .000
    ce_package::Layout layout;                    // what the package puts where
    std::vector<const CabinetMember*> fileBytes;  // each of layout.files' member
    const CabinetMember* setupLibrary = nullptr;  // the .999, if any
    WideString name;                              // "Provider AppName", as removal names it
    WideString installDir;
};

// What could not be installed, by kind, as Install_Exit is told; a file that could not be
// registered counts as one not installed.
struct Counts {
    WORD folders = 0, files = 0, keys = 0, values = 0, links = 0;
    std::vector<WideString> missed;  // each part not installed, as the user is told of it
    std::vector<WideString> warned;  // files not installed whose flags ask for a warning at once
    bool unskippable = false;        // a file that may not be skipped was not installed
};

// Reads the package at `package.path`: its members (one cabinet whose size field is the file's,
// plain member names, no number twice), its instructions (every file they name must be a
// member), decoded and laid out once; its setup library, name and install folder. False, saying
// why, when it is no CE package this installer can read.
bool ReadPackage(Package& package, std::string& error);

// Whether the package is for this device: its processor, CE version and build.
bool SuitsDevice(const ce_package::Requirements& package, std::string& error);
// The device's platform when the package lists it as unsupported, which the user is warned
// about and asked to confirm; empty otherwise (and when the device does not say).
WideString UnsupportedPlatform(const ce_package::Requirements& package);

// A package that carries programs is no theme, and /safe refuses it.
bool CarriesPrograms(const Package& package);

// Folders, files (each flagged so registered once all are copied), registry values and
// shortcuts, in the CE installer's order; gives what failed.
Counts InstallContents(const Package& package, std::vector<RecordEntry>& record);

// ---- What the installer's run shares ------------------------------------------------------

bool Exists(const WideString& path);
// Makes the folder and any missing above it, recording each it made.
bool MakeFolders(const WideString& path, std::vector<RecordEntry>& record);
