// Win32 backend of the file interface: CreateFileA, SetFilePointer, ReadFile and WriteFile on
// the system's own handles. Share modes are the operating system's.
#include "platform/file_api.h"

#include <windows.h>

#include "platform/win32/system_text.h"
#include "platform/written_handles.h"

namespace platform {
namespace {

HANDLE ToSystem(FileHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

void SetError(OpenError* error, DWORD code) {
    error->code = code;
    SystemText(code, error->text, sizeof error->text);
}

DWORD DesiredAccess(Access access) {
    return access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}

DWORD ShareMode(Share share) {
    switch (share) {
        case Share::Read:
            return FILE_SHARE_READ;
        case Share::All:
            return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        default:
            return 0;
    }
}

// Moves the file pointer; false only on a real failure, not on a low half of 0xFFFFFFFF.
bool MovePointer(HANDLE handle, int64_t distance, DWORD method, int64_t* position) {
    LONG high = LONG(uint32_t(uint64_t(distance) >> 32));
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle, LONG(uint32_t(distance)), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        return false;
    }
    *position = int64_t(uint64_t(uint32_t(high)) << 32 | low);
    return true;
}

}  // namespace

FileHandle OpenExisting(const char* path, Access access, Share share, OpenError* error) {
    HANDLE handle = CreateFileA(path, DesiredAccess(access), ShareMode(share), nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        SetError(error, GetLastError());
        return InvalidHandle;
    }
    // Devices and pipes open too, but a read could block on them and a write reach hardware.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        SetError(error, ERROR_INVALID_FUNCTION);
        return InvalidHandle;
    }
    return reinterpret_cast<FileHandle>(handle);
}

int FileSize(FileHandle handle, int64_t* size, OpenError* error) {
    if (!MovePointer(ToSystem(handle), 0, FILE_END, size)) {
        SetError(error, GetLastError());
        return 0;
    }
    return 1;
}

int SeekFromStart(FileHandle handle, int64_t offset) {
    int64_t position = 0;
    return MovePointer(ToSystem(handle), offset, FILE_BEGIN, &position) ? 1 : 0;
}

int ReadBytes(FileHandle handle, void* buffer, uint32_t length, uint32_t* transferred) {
    DWORD got = 0;
    BOOL ok = ReadFile(ToSystem(handle), buffer, length, &got, nullptr);
    *transferred = got;
    return ok ? 1 : 0;
}

// A write that moves fewer bytes than asked goes on with the rest, so that a write reported
// done has put every byte in place; one that moves nothing has failed.
int WriteBytes(FileHandle handle, const void* buffer, uint32_t length, uint32_t* transferred) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    *transferred = 0;
    while (*transferred < length) {
        DWORD put = 0;
        BOOL ok =
            WriteFile(ToSystem(handle), bytes + *transferred, length - *transferred, &put, nullptr);
        *transferred += put;
        if (put > 0) {
            NoteWritten(handle);
        }
        if (!ok || put == 0) {
            return 0;
        }
    }
    return 1;
}

void CloseFile(FileHandle handle) {
    if (TakeWritten(handle)) {
        FlushFileBuffers(ToSystem(handle));
    }
    CloseHandle(ToSystem(handle));
}

}  // namespace platform
