// The file set: the base file, its extension files and its delta file, opened with one mode.
#pragma once

#include <cstdint>

namespace fileio {

enum OpenMode : int { ReadExclusive = 0, ReadWrite = 1, ReadShared = 2 };

// Opens the set and loads the FCR. Returns the number of extents opened, or 0 on failure.
uint16_t OpenFileSet(const char* path, int mode);
uint16_t OpenFileSetReadExclusive(const char* path);
uint16_t OpenFileSetReadWrite(const char* path);
uint16_t OpenFileSetReadShared(const char* path);

void CloseFileSet();

}  // namespace fileio
