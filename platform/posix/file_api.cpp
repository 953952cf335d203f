// POSIX backend of the file interface. Share modes are emulated with advisory locks, so two
// writers (or an exclusive reader) can never hold one file at once.
#include "platform/file_api.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// Handles written to since they were opened; flushed before they are closed.
constexpr int MaxTracked = 256;
FileHandle dirtyHandles[MaxTracked];
int dirtyCount = 0;

void SetError(OpenError* error, uint32_t code, const char* text) {
    error->code = code;
    snprintf(error->text, sizeof error->text, "%s\n", text);
}

void SetErrno(OpenError* error, int code) {
    SetError(error, uint32_t(code), strerror(code));
}

bool IsDirty(FileHandle handle) {
    for (int i = 0; i < dirtyCount; ++i) {
        if (dirtyHandles[i] == handle) {
            return true;
        }
    }
    return false;
}

void MarkDirty(FileHandle handle) {
    if (!IsDirty(handle) && dirtyCount < MaxTracked) {
        dirtyHandles[dirtyCount++] = handle;
    }
}

void ForgetDirty(FileHandle handle) {
    for (int i = 0; i < dirtyCount; ++i) {
        if (dirtyHandles[i] == handle) {
            dirtyHandles[i] = dirtyHandles[--dirtyCount];
            return;
        }
    }
}

// Share::All lets everyone in; the other modes exclude any second writer or exclusive reader.
bool TakeShareLock(int fd, Share share) {
    if (share == Share::All) {
        return true;
    }
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

FileHandle OpenExisting(const char* path, Access access, Share share, OpenError* error) {
    // O_NONBLOCK keeps a FIFO from hanging the open; it is refused below anyway.
    int flags = (access == Access::ReadWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path, flags);
    if (fd < 0) {
        SetErrno(error, errno);
        return InvalidHandle;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        SetErrno(error, errno);
        close(fd);
        return InvalidHandle;
    }
    if (!S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) {
            SetErrno(error, EISDIR);
        } else {
            SetError(error, EINVAL, "Not a regular file");
        }
        close(fd);
        return InvalidHandle;
    }
    if (!TakeShareLock(fd, share)) {
        int code = errno == EWOULDBLOCK ? EBUSY : errno;
        SetError(error, uint32_t(code), "The file is in use by another process");
        close(fd);
        return InvalidHandle;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int FileSize(FileHandle handle, int64_t* size, OpenError* error) {
    off_t end = lseek(int(handle), 0, SEEK_END);
    if (end < 0) {
        SetErrno(error, errno);
        return 0;
    }
    *size = end;
    return 1;
}

int SeekFromStart(FileHandle handle, int64_t offset) {
    return lseek(int(handle), off_t(offset), SEEK_SET) >= 0 ? 1 : 0;
}

int ReadBytes(FileHandle handle, void* buffer, uint32_t length, uint32_t* transferred) {
    ssize_t got = read(int(handle), buffer, length);
    *transferred = got > 0 ? uint32_t(got) : 0;
    return got >= 0 ? 1 : 0;
}

int WriteBytes(FileHandle handle, const void* buffer, uint32_t length, uint32_t* transferred) {
    ssize_t put = write(int(handle), buffer, length);
    *transferred = put > 0 ? uint32_t(put) : 0;
    if (put < 0) {
        return 0;
    }
    MarkDirty(handle);
    return 1;
}

void CloseFile(FileHandle handle) {
    if (IsDirty(handle)) {
        fsync(int(handle));
        ForgetDirty(handle);
    }
    close(int(handle));
}

}  // namespace platform
