// Whole files on the device, through its own file calls, for the stand-ins and the tools that
// use them (they use the product's headers, not its code, so they have their own).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The file's bytes; false, with `bytes` empty, when it cannot be opened or read to its end.
bool ReadFileBytes(const WCHAR* path, std::string& bytes);

// Writes the whole file, replacing one there; on failure leaves none.
bool WriteFileBytes(const WCHAR* path, const void* data, std::size_t size);
inline bool WriteFileBytes(const WCHAR* path, const std::string& bytes) {
    return WriteFileBytes(path, bytes.data(), bytes.size());
}
