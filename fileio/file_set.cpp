// Opening and closing the file set: base file, extension files .^01 to .^7f, delta file .^^^.
#include "fileio/file_set.h"

#include <cstdio>
#include <cstring>

#include "fileio/fcr.h"
#include "fileio/records.h"

namespace fileio {

namespace {

// A set with no file open: every handle invalid, no PAT pair loaded.
FileSet ClosedFileSet() {
    FileSet set{};
    for (platform::FileHandle& handle : set.extentHandles) {
        handle = platform::InvalidHandle;
    }
    set.deltaHandle = platform::InvalidHandle;
    set.loadedPatPair = NoPatPairLoaded;
    return set;
}

}  // namespace

bool TraceEnabled = false;
FileSet fileSet = ClosedFileSet();

namespace {

// Every derived name is the stem plus four characters: ".^01" to ".^7f", or ".^^^".
constexpr size_t SuffixLength = 4;

char nameBuffer[MaxPathLength];

struct ModeRights {
    platform::Access access;
    platform::Share share;
};

ModeRights RightsFor(int mode) {
    switch (mode) {
        case ReadWrite:
            return {platform::Access::ReadWrite, platform::Share::Read};
        case ReadShared:
            return {platform::Access::Read, platform::Share::All};
        default:
            return {platform::Access::Read, platform::Share::None};
    }
}

size_t StemLength(const char* path) {
    const char* dot = strrchr(path, '.');
    return dot ? size_t(dot - path) : strlen(path);
}

// The delta size is kept from an earlier open; it means something only with a delta handle.
void ResetTables() {
    int64_t deltaSize = fileSet.deltaSize;
    fileSet = ClosedFileSet();
    fileSet.deltaSize = deltaSize;
}

void ReportOpenFailure(uint16_t extent, const platform::OpenError& error) {
    if (TraceEnabled) {
        fprintf(stderr, "Failed (%lu), %s", (unsigned long)error.code, error.text);
    } else if (extent == 0 || error.code != 2) {
        fprintf(stderr, "Failed to Open File <%s>, Status Code %lu, %s", nameBuffer,
                (unsigned long)error.code, error.text);
    }
}

// Opens the current name and takes its size; a size that cannot be taken fails the open.
platform::FileHandle OpenSized(ModeRights rights, int64_t* size, platform::OpenError* error) {
    platform::FileHandle handle =
        platform::OpenExisting(nameBuffer, rights.access, rights.share, error);
    if (handle == platform::InvalidHandle) {
        return handle;
    }
    if (!platform::FileSize(handle, size, error)) {
        platform::CloseFile(handle);
        return platform::InvalidHandle;
    }
    return handle;
}

uint16_t OpenExtents(size_t stemLength, ModeRights rights) {
    uint16_t k = 0;
    while (k < MaxExtents) {
        if (TraceEnabled) {
            fprintf(stderr, "Opening File <%s>...", nameBuffer);
        }
        platform::OpenError error;
        int64_t size = 0;
        platform::FileHandle handle = OpenSized(rights, &size, &error);
        if (handle == platform::InvalidHandle) {
            ReportOpenFailure(k, error);
            break;
        }
        if (TraceEnabled) {
            fprintf(stderr, "Opened\r\n");
        }
        fileSet.extentHandles[k] = handle;
        fileSet.extentSizes[k] = size;
        fileSet.totalSectors += uint32_t(size / SectorSize);
        ++k;
        snprintf(nameBuffer + stemLength, SuffixLength + 1, ".^%.2x", unsigned(k));
    }
    return k;
}

void OpenDelta(size_t stemLength, ModeRights rights) {
    snprintf(nameBuffer + stemLength, SuffixLength + 1, ".^^^");
    if (TraceEnabled) {
        fprintf(stderr, "Opening File <%s>...", nameBuffer);
    }
    platform::OpenError error;
    int64_t size = 0;
    fileSet.deltaHandle = OpenSized(rights, &size, &error);
    if (fileSet.deltaHandle != platform::InvalidHandle) {
        fileSet.deltaSize = size;
        fprintf(stderr, "Delta File Found and Opened!\r\n");
    }
}

}  // namespace

uint16_t OpenFileSet(const char* path, int mode) {
    if (TraceEnabled) {
        fprintf(stderr, "Opening File <%s>\r\n", path);
    }
    ResetTables();
    size_t stemLength = StemLength(path);
    if (strlen(path) >= MaxPathLength || stemLength + SuffixLength >= MaxPathLength) {
        fprintf(stderr,
                "Failed to Open File <%s>, the name is too long: a file set name may have at "
                "most %u characters, its stem at most %u.\n",
                path, MaxPathLength - 1, unsigned(MaxPathLength - 1 - SuffixLength));
        fileSet.extentCount = 0;
        return 0;
    }
    strcpy(nameBuffer, path);

    ModeRights rights = RightsFor(mode);
    fileSet.extentCount = OpenExtents(stemLength, rights);
    OpenDelta(stemLength, rights);
    if (fileSet.extentCount == 0) {
        return 0;
    }
    if (TraceEnabled) {
        fprintf(stderr, "Loading FCR\r\n");
    }
    if (!LoadFcr()) {
        return 0;
    }
    SetLargeOffsetThreshold();
    return fileSet.extentCount;
}

uint16_t OpenFileSetReadExclusive(const char* path) {
    return OpenFileSet(path, ReadExclusive);
}
uint16_t OpenFileSetReadWrite(const char* path) {
    return OpenFileSet(path, ReadWrite);
}
uint16_t OpenFileSetReadShared(const char* path) {
    return OpenFileSet(path, ReadShared);
}

void CloseFileSet() {
    if (TraceEnabled) {
        fprintf(stderr, "Closing all files...\r\n");
    }
    for (platform::FileHandle& handle : fileSet.extentHandles) {
        if (handle != platform::InvalidHandle) {
            platform::CloseFile(handle);
            handle = platform::InvalidHandle;
        }
    }
    if (fileSet.deltaHandle != platform::InvalidHandle) {
        platform::CloseFile(fileSet.deltaHandle);
        fileSet.deltaHandle = platform::InvalidHandle;
    }
}

}  // namespace fileio
