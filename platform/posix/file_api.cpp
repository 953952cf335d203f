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

#include "platform/fault_injection.h"
#include "platform/written_handles.h"

namespace platform {
namespace {

using faults::Effect;
using faults::Operation;

#ifdef ORVANE_FAULT_INJECTION
static_assert(faults::InjectedErrorCode == EIO);

struct Armed {
    Operation operation = Operation::Open;
    uint32_t n = 0;
    Effect effect = Effect::None;
};
Armed armed;
uint32_t calls[faults::OperationCount];

// Counts the call; the effect it is to take.
Effect Injected(Operation operation) {
    uint32_t call = ++calls[int(operation)];
    return operation == armed.operation && call == armed.n ? armed.effect : Effect::None;
}
#else
// The shipped program has no faults to inject.
constexpr Effect Injected(Operation) {
    return Effect::None;
}
#endif

void SetError(OpenError* error, uint32_t code, const char* text) {
    error->code = code;
    snprintf(error->text, sizeof error->text, "%s\n", text);
}

void SetErrno(OpenError* error, int code) {
    SetError(error, uint32_t(code), strerror(code));
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
    if (Injected(Operation::Open) != Effect::None) {
        SetErrno(error, EIO);
        return InvalidHandle;
    }
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
    if (Injected(Operation::Size) != Effect::None) {
        SetErrno(error, EIO);
        return 0;
    }
    off_t end = lseek(int(handle), 0, SEEK_END);
    if (end < 0) {
        SetErrno(error, errno);
        return 0;
    }
    *size = end;
    return 1;
}

int SeekFromStart(FileHandle handle, int64_t offset) {
    if (Injected(Operation::Seek) != Effect::None) {
        return 0;
    }
    return lseek(int(handle), off_t(offset), SEEK_SET) >= 0 ? 1 : 0;
}

int ReadBytes(FileHandle handle, void* buffer, uint32_t length, uint32_t* transferred) {
    Effect effect = Injected(Operation::Read);
    if (effect == Effect::Fail) {
        *transferred = 0;
        return 0;
    }
    if (effect == Effect::Short) {
        length /= 2;
    }
    ssize_t got = read(int(handle), buffer, length);
    *transferred = got > 0 ? uint32_t(got) : 0;
    return got >= 0 ? 1 : 0;
}

// A system write may move fewer bytes than asked (a full disk, a signal); the rest follows, so
// that a write reported done has put every byte in place.
int WriteBytes(FileHandle handle, const void* buffer, uint32_t length, uint32_t* transferred) {
    Effect effect = Injected(Operation::Write);
    *transferred = 0;
    if (effect == Effect::Fail) {
        return 0;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    while (*transferred < length) {
        uint32_t ask = effect == Effect::Short ? 1 : length - *transferred;
        effect = Effect::None;
        ssize_t put = write(int(handle), bytes + *transferred, ask);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return 0;
        }
        *transferred += uint32_t(put);
        NoteWritten(handle);
    }
    return 1;
}

void CloseFile(FileHandle handle) {
    if (TakeWritten(handle)) {
        fsync(int(handle));
    }
    close(int(handle));
}

#ifdef ORVANE_FAULT_INJECTION
namespace faults {

void Arm(Operation operation, uint32_t n, Effect effect) {
    Reset();
    armed = {operation, n, effect};
}

void Reset() {
    armed = {};
    for (uint32_t& count : calls) {
        count = 0;
    }
}

uint32_t Calls(Operation operation) {
    return calls[int(operation)];
}

}  // namespace faults
#endif

}  // namespace platform
