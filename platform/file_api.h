// Operating-system file access for the file-access layer: open existing files with an access
// and share mode, size, position, read, write, close. Results, not OS types, cross this line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using FileHandle = intptr_t;
inline constexpr FileHandle InvalidHandle = -1;

enum class Access { Read, ReadWrite };

// What other openers may still do with the file while this handle is open.
enum class Share { None, Read, All };

// Why an open (or the size query after it) failed: the system's code and its message text,
// which ends in the system's own line end.
struct OpenError {
    uint32_t code = 0;
    char text[256] = {};
};

// Opens an existing regular file; never creates one. InvalidHandle on failure.
FileHandle OpenExisting(const char* path, Access access, Share share, OpenError* error);

// Size in bytes; leaves the file pointer at the end, as the system's own size query does.
int FileSize(FileHandle handle, int64_t* size, OpenError* error);

// Positions the handle at a signed byte offset from the start of the file.
int SeekFromStart(FileHandle handle, int64_t offset);

// One system read or write at the current position; the count moved is reported back.
int ReadBytes(FileHandle handle, void* buffer, uint32_t length, uint32_t* transferred);
int WriteBytes(FileHandle handle, const void* buffer, uint32_t length, uint32_t* transferred);

// Closes the handle; a file that was written to is flushed to stable storage first.
void CloseFile(FileHandle handle);

}  // namespace platform
