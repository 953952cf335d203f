// Preloaded into a benchmarked process: counts its opens, and its seeks, reads, writes, fsyncs and
// closes on regular files and standard output; writes them at exit to $ORVANE_BENCH_COUNTS.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/io_counts.h"

namespace {

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using SeekFn = off_t (*)(int, off_t, int);
using TransferFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using FdFn = int (*)(int);

// What a call on a descriptor is counted as: a regular file this process opened, standard
// output, or neither (a terminal, a pipe), which is not counted.
enum class Scope { File, Output, None };

constexpr int MaxTrackedFd = 4096;
bool regularFile[MaxTrackedFd];
bench::IoCounts counts;

template <typename F>
F Next(F& slot, const char* name) {
    if (slot == nullptr) {
        void* symbol = dlsym(RTLD_NEXT, name);
        memcpy(&slot, &symbol, sizeof slot);
    }
    return slot;
}

OpenFn RealOpen() {
    static OpenFn real;
    return Next(real, "open");
}
WriteFn RealWrite() {
    static WriteFn real;
    return Next(real, "write");
}
FdFn RealClose() {
    static FdFn real;
    return Next(real, "close");
}

bool Tracked(int fd) {
    return fd >= 0 && fd < MaxTrackedFd;
}

Scope ScopeOf(int fd) {
    if (Tracked(fd) && regularFile[fd]) {
        return Scope::File;
    }
    return fd == STDOUT_FILENO ? Scope::Output : Scope::None;
}

bench::CallCounts* CountsOf(int fd) {
    switch (ScopeOf(fd)) {
        case Scope::File:
            return &counts.files;
        case Scope::Output:
            return &counts.output;
        case Scope::None:
            break;
    }
    return nullptr;
}

// Every attempt to open counts, failed ones too; only regular files are followed afterwards.
int NoteOpen(int fd) {
    ++counts.files.open;
    if (fd < 0) {
        ++counts.files.openFailed;
        return fd;
    }
    struct stat info;
    if (Tracked(fd)) {
        regularFile[fd] = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    }
    return fd;
}

bool NeedsMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

__attribute__((destructor)) void WriteCounts() {
    const char* path = getenv(bench::CountsVariable);
    if (path == nullptr) {
        return;
    }
    char text[2048];
    size_t length = bench::FormatCounts(counts, text, sizeof text);
    int fd = RealOpen()(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t written = RealWrite()(fd, text, length);
        (void)written;  // a short file is refused by the reader
        RealClose()(fd);
    }
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    mode_t mode = NeedsMode(flags) ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    return NoteOpen(RealOpen()(path, flags, mode));
}

int openat(int dir, const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    mode_t mode = NeedsMode(flags) ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    static OpenAtFn real;
    return NoteOpen(Next(real, "openat")(dir, path, flags, mode));
}

off_t lseek(int fd, off_t offset, int whence) noexcept {
    static SeekFn real;
    if (bench::CallCounts* c = CountsOf(fd)) {
        ++c->seek;
    }
    return Next(real, "lseek")(fd, offset, whence);
}

ssize_t read(int fd, void* buffer, size_t length) {
    static TransferFn real;
    ssize_t got = Next(real, "read")(fd, buffer, length);
    if (bench::CallCounts* c = CountsOf(fd)) {
        ++c->read;
        c->bytesRead += got > 0 ? uint64_t(got) : 0;
    }
    return got;
}

ssize_t write(int fd, const void* buffer, size_t length) {
    ssize_t put = RealWrite()(fd, buffer, length);
    if (bench::CallCounts* c = CountsOf(fd)) {
        ++c->write;
        c->bytesWritten += put > 0 ? uint64_t(put) : 0;
    }
    return put;
}

int fsync(int fd) {
    static FdFn real;
    if (bench::CallCounts* c = CountsOf(fd)) {
        ++c->fsync;
    }
    return Next(real, "fsync")(fd);
}

int close(int fd) {
    if (bench::CallCounts* c = CountsOf(fd)) {
        ++c->close;
    }
    if (Tracked(fd)) {
        regularFile[fd] = false;
    }
    return RealClose()(fd);
}

}  // extern "C"
