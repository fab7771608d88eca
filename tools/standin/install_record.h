// What an installation put on the device, in the order it put it there, so that removal, or an
// installation undone, takes away exactly that and never what was there before.
#pragma once

#include <windows.h>

#include <vector>

#include "support/wide_string.h"

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
// folders only once they are empty (the application's own files and values keep theirs). Gives
// how many should have gone and are still there; `left` receives every entry still there, in
// its order.
std::size_t RemoveRecorded(const std::vector<RecordEntry>& entries, std::vector<RecordEntry>& left);
