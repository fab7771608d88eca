// The device's records of an installed application, where the CE installer keeps them, and what
// an installation put on the device, in the order it put it there, so that removal, or an
// installation undone, takes away exactly that and never what was there before.
//
// For the application `name` ("Provider AppName"): HKLM\Software\Apps\<name>, which lists it in
// Remove Programs; the removal record \Windows\<name>.unload (the Control Panel header's
// UNLOAD_SCRIPT; its layout is not public, so this one is the stand-in's own); in \Windows\AppMgr
// the kept setup library <name>.dll and <name>.dat, the package's instructions (its .000), which
// removal reads for what it must do beyond deleting.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/wide_string.h"

WideString AppsKeyPath(const WideString& name);
WideString RemovalRecordPath(const WideString& name);
WideString KeptLibraryPath(const WideString& name);
WideString KeptInstructionsPath(const WideString& name);

enum class RecordKind { Folder, File, Key, Value, Link };

struct RecordEntry {
    RecordKind kind = RecordKind::File;
    HKEY root = nullptr;  // keys and values
    WideString path;      // the folder, file or link; the key's path
    WideString name;      // a value's name
};

// The record as a file on the device (one entry a line, UTF-16); false when it cannot be written.
bool WriteRecord(const WideString& path, const std::vector<RecordEntry>& entries);
// False, with nothing read, when there is no record or it is damaged.
bool ReadRecord(const WideString& path, std::vector<RecordEntry>& entries);

// Takes the entries away, the latest first: links, values and files are deleted, keys and
// folders only once they are empty (the application's own files and values keep theirs), at any
// depth: the Pocket PC's uninstaller is said to leave folders more than two levels deep (knowledge
// base 816052), which would leave what the package made behind, so this one does not. Gives
// how many should have gone and are still there; `left` receives every entry still there, in
// its order, and `failures` (where given) those that should have gone.
std::size_t RemoveRecorded(const std::vector<RecordEntry>& entries, std::vector<RecordEntry>& left,
                           std::vector<RecordEntry>* failures = nullptr);

// How a removal names an entry to the user: a path, or a key or value below its root.
WideString Described(const RecordEntry& entry);

// What the Apps key says of an installed application: Instl (non-zero: installed), InstlDir,
// IsvFile (the kept setup library; "" when the package had none), CmdFile (the kept
// instructions), CabFile (the package it came from), InstlDirCnt.
struct Listing {
    WideString installDir;
    WideString library;
    WideString instructions;
    WideString package;
    DWORD folders = 0;  // InstlDirCnt
};

// Whether the application is installed, with what the key lists: kUnreadable when the key or
// a value is there and cannot be read, which is not the same as its absence.
enum class Listed { kNo, kYes, kUnreadable };
Listed ReadListing(const WideString& name, Listing& listing);

// Writes every record of an installation: the kept setup library (when `library` is not null)
// and instructions, the removal record, then the Apps key with `listing`'s values, InstallDir
// besides InstlDir, and InstlDirCnt counted from `entries`. False when any cannot be written.
bool WriteRecords(const WideString& name, const std::string* library,
                  const std::string& instructions, const Listing& listing,
                  const std::vector<RecordEntry>& entries);
// Deletes every record of the application; false when any is still there.
bool DeleteRecords(const WideString& name);
