// File helpers: whole-file reads and writes, last-write times, clearing read-only bits in a
// folder, the scrambled copy and temporary file names.
//
// Nothing is reported but the results: flags are TRUE (1) for success and FALSE (0) for
// failure. A buffer that a reader returns was taken with malloc and belongs to the caller, who
// releases it with free. Every file, stream and folder search is closed again before return.
#pragma once

#include <windows.h>

#include "support/wide_string.h"

// The whole file in a fresh buffer of its size + 1 bytes, and its size. A zero byte always
// follows the bytes read, so the buffer is also a zero-terminated text. When the read call fails
// or stops short, the buffer is still returned and `size` is the count it delivered (normally
// 0). Null with size 0 for a file that cannot be opened, an empty file, a file of 0xFFFFFFFF
// bytes (one more would not fit the count) or a failed allocation. Only the low 32 bits of a
// file's size count.
BYTE* ReadWholeFile(WideString path, DWORD& size);

// At most `size` bytes from the start of the file, in a fresh buffer of that many bytes (no
// terminating zero); `size` becomes the count read. Null with size 0 for a file that cannot be
// opened, an empty file or a failed allocation. Asked for 0 bytes of a file that has some, it
// returns what the heap gives for 0 bytes (the caller still frees it) and size 0.
BYTE* ReadFileHead(WideString path, DWORD& size);

// Replaces the file (created, or cut to length 0) with `size` bytes of `data`, written through
// to the medium. Whether it could be created or written is not reported.
void WriteWholeFile(WideString path, const void* data, DWORD size);

// Sets both halves to 0, the value for "no time", and returns the same file time.
FILETIME& ClearFileTime(FILETIME& time);

// TRUE when both halves are 0.
BOOL IsFileTimeZero(const FILETIME& time);

// The file's last-write time, or 0 when the file cannot be opened for reading or its times
// cannot be read.
void GetFileWriteTime(LPCWSTR path, FILETIME& time);

// One visit of a folder walk: the entry found, and its full path, or null when that path does
// not fit the walk's arrays.
using FolderEntryVisit = void (*)(const WIN32_FIND_DATAW& entry, LPCWSTR path, void* context);

// Calls `visit` for every entry of `folder` (with or without a trailing "\") that `pattern`
// matches, the "." and ".." entries aside; folders are not entered. `prefix` and `path` are the
// caller's arrays of `units` units each: the folder with its separator, and the search pattern
// and then each entry's path. Returns -1, having visited nothing, for an empty folder text, a
// folder or pattern that does not fit, or a search that finds nothing; else what closing the
// search returned (non-zero).
int WalkFolderEntries(LPCWSTR folder, LPCWSTR pattern, LPWSTR prefix, LPWSTR path, DWORD units,
                      FolderEntryVisit visit, void* context);

// Clears the read-only bit of every entry of `folder` (with or without a trailing "\") that
// `pattern` (such as "*.*") matches, keeping its other bits; folders are not entered. Returns
// the number of entries that matched, files and folders alike, or 0 for an empty folder text,
// no match, or a folder or pattern too long for the 256-unit working arrays. An entry whose full
// path does not fit there is counted but left unchanged; so is one whose change is refused.
int ClearReadOnlyInFolder(LPCWSTR folder, LPCWSTR pattern);

// Copies `source` to `target` (created, or cut to length 0) with every byte mixed by
// exclusive-or with a fixed 64-byte key, byte k of the key going to every file offset that is k
// modulo 64. Mixing is its own inverse: scrambling the copy restores the source. FALSE, with
// nothing opened, when the two paths are the same text without regard to letter case (the copy
// would empty its own source). FALSE when the
// source cannot be opened (then nothing is created), or when the target cannot be opened, the
// copy block cannot be taken, or a read or write fails (the target then holds what was
// written).
BOOL ScrambleCopyFile(LPCWSTR source, LPCWSTR target);

// A bare file name "attmp_<t><i>.tmp": <t> the low 32 bits of the current universal time as a
// file time, <i> the calling thread's identifier, both in lowercase hexadecimal without leading
// zeros. At most 26 characters. Two calls on one thread that read the same clock value return
// the same name; no file is made or looked for.
WideString MakeTempFileName();
