// Loading the FCR pair: recognising a Btrieve file, its version class and page geometry facts,
// and which FCR copy is current.
#include "fileio/fcr.h"

#include <cstdio>
#include <cstring>

#include "fileio/bytes.h"
#include "fileio/positioned_io.h"
#include "fileio/records.h"

namespace fileio {

FileFormat fileFormat;
PagePair fcrPagePair;

namespace {

constexpr uint32_t FirstReadLength = 16384;
constexpr uint32_t MinimumFcrLength = 512;

enum class ReadResult { SeekFailed, ReadFailed, Read };

// Reads straight from the extent that holds the offset; the count read may come up short.
ReadResult ReadFromExtent(LargeOffset offset, uint8_t* buffer, uint32_t length, uint32_t* got,
                          uint16_t* extent) {
    *got = 0;
    if (!SeekLogical(offset, extent)) {
        return ReadResult::SeekFailed;
    }
    if (!platform::ReadBytes(fileSet.extentHandles[*extent], buffer, length, got)) {
        return ReadResult::ReadFailed;
    }
    return ReadResult::Read;
}

// The rest of copy 0, where it is longer than the first read. A copy is written back whole into
// the file it starts in, so it must lie in that file in full.
bool ReadRestOfCopyZero(uint32_t firstRead, uint16_t firstExtent) {
    const uint32_t length = fileFormat.fcrPageSize - firstRead;
    uint32_t got;
    uint16_t extent;
    return ReadFromExtent(firstRead, fcrPagePair.image[0] + firstRead, length, &got, &extent) ==
               ReadResult::Read &&
           extent == firstExtent && got == length;
}

int NotBtrieve(const char* message) {
    fputs(message, stderr);
    return 0;
}

bool DetectVersion(const uint8_t* image) {
    uint16_t version;
    if (ReadU32(image) == 0) {
        version = ReadU16(image + 0x06);
    } else if (image[0] != 'F' && image[1] != 'C') {
        return false;
    } else {
        version = ReadU16(image + 0x4A);
    }
    if (version > 0x8000) {
        version = uint16_t(0x10000 - version);
    }
    fileFormat.version = version;
    return true;
}

// Sets the page size, the FCR page size and the control-page offsets of the version class.
void ClassifyVersion(const uint8_t* image) {
    FileFormat& f = fileFormat;
    uint16_t doubled;
    if (f.version < 0x0800) {
        f.pageSize = uint16_t(image[0x09] * 256);
        f.fcrPageSize = f.pageSize;
        f.usageOffset = f.pageIdLength = f.pageHeaderSize = 4;
        return;
    }
    f.pageSize = uint16_t(image[0x2B] * 256);
    doubled = uint16_t(2 * f.pageSize);
    if (f.version < 0x0950) {
        f.fcrPageSize = f.pageSize == 8192 ? 8192 : (doubled < 2048 ? 2048 : doubled);
        f.usageOffset = f.pageIdLength = f.pageHeaderSize = 6;
    } else if (f.version == 0x0950) {
        f.fcrPageSize = f.pageSize >= 16384 ? 16384 : (doubled < 4096 ? 4096 : doubled);
        f.usageOffset = f.pageIdLength = f.pageHeaderSize = 8;
    } else {
        f.fcrPageSize = f.pageSize >= 16384 ? 16384 : doubled;
        f.usageOffset = f.pageIdLength = 8;
        f.pageHeaderSize = 16;
    }
}

// Control pages that cannot be held in a page image, or a page size of 0, have no geometry
// this layer could place a write by.
bool GeometryUsable() {
    if (fileFormat.pageSize == 0) {
        fputs("Not a supported Btrieve File: its page size is 0!\n", stderr);
        return false;
    }
    if (fileFormat.fcrPageSize > ImageCapacity) {
        fprintf(stderr,
                "Not a supported Btrieve File: its control pages of %u bytes are larger than "
                "%u bytes!\n",
                unsigned(fileFormat.fcrPageSize), unsigned(ImageCapacity));
        return false;
    }
    return true;
}

// An owner name stored in clear (printable characters, padded with zeros) decodes to itself;
// any other stored form is left undecoded.
bool DecodeOwnerName(const uint8_t* stored, uint8_t* decoded) {
    bool padding = false;
    for (int i = 0; i < 9; ++i) {
        if (stored[i] == 0) {
            padding = true;
        } else if (padding || stored[i] < 0x20 || stored[i] > 0x7E) {
            return false;
        }
        decoded[i] = stored[i];
    }
    return stored[0] != 0;
}

void TraceOwnerName(const char* label, const uint8_t* name) {
    printf("%s", label);
    for (int i = 0; i < 9; ++i) {
        printf("%.2x", name[i]);
    }
    printf("\r\n");
}

void ReadOwnerName(const uint8_t* current) {
    if (!(current[0x37] & 0x02)) {
        return;
    }
    fileFormat.ownerNamePresent = true;
    memcpy(fileFormat.ownerName, current + 0x2E, sizeof fileFormat.ownerName);
    if (TraceEnabled) {
        TraceOwnerName("Encoded Owner Name: ", fileFormat.ownerName);
        uint8_t decoded[9];
        if (DecodeOwnerName(fileFormat.ownerName, decoded)) {
            TraceOwnerName("Decoded Owner Name: ", decoded);
        }
    }
}

void ReadCompression(const uint8_t* current) {
    FileFormat& f = fileFormat;
    f.pageCompression = false;
    f.physicalPageSize = f.pageSize;
    if (f.version < 0x0950) {
        return;
    }
    uint16_t flags = ReadU16(current + (f.version == 0x0950 ? 0x190 : 0x9C));
    if (flags & 0x2000) {
        f.pageCompression = true;
        f.physicalPageSize = ReadU16(current + 0x50);
        printf("\nWarning: v9.50 files with Page Compression are not yet supported!\n\n");
    }
}

void WarnNewerVersion() {
    uint16_t version = fileFormat.version;
    if (version <= 0x0950) {
        return;
    }
    if (version == 0x0D30) {
        printf("\nWarning: v16 files are NOT completely supported!\n\n");
    } else {
        printf("\nWarning: v%d.%.2x files are NOT completely supported!\n\n", version >> 8,
               unsigned(version & 0xFF));
    }
}

int ReadCopyOne() {
    const uint32_t length = fileFormat.fcrPageSize;
    uint32_t got;
    uint16_t extent;
    ReadResult result = ReadFromExtent(length, fcrPagePair.image[1], length, &got, &extent);
    if (result == ReadResult::SeekFailed) {
        return NotBtrieve("Not a Btrieve File....\n");
    }
    if (result == ReadResult::ReadFailed || got != length) {
        return NotBtrieve("Not a Btrieve File.....\n");
    }
    return 1;
}

}  // namespace

int LoadFcr() {
    FileFormat& f = fileFormat;
    f.ownerNamePresent = false;
    memset(f.ownerName, 0, sizeof f.ownerName);
    f.version = 0;

    uint8_t* image0 = fcrPagePair.image[0];
    uint32_t firstRead;
    uint16_t firstExtent;
    if (ReadFromExtent(0, image0, FirstReadLength, &firstRead, &firstExtent) != ReadResult::Read ||
        firstRead < MinimumFcrLength || !DetectVersion(image0)) {
        return NotBtrieve("Not a Btrieve File!\n");
    }
    if (TraceEnabled) {
        fprintf(stderr, "File Version Found = %.4X\n", unsigned(f.version));
    }
    ClassifyVersion(image0);

    fcrPagePair.active = 0;
    if (f.version >= 0x0600) {
        if (!GeometryUsable() || !ReadCopyOne()) {
            return 0;
        }
        // The pair is written back whole, so copy 0 must be held in full.
        if (firstRead < f.fcrPageSize && !ReadRestOfCopyZero(firstRead, firstExtent)) {
            return NotBtrieve("Not a Btrieve File.....\n");
        }
        uint32_t u0 = ReadU32(image0 + f.usageOffset);
        uint32_t u1 = ReadU32(fcrPagePair.image[1] + f.usageOffset);
        fcrPagePair.active = u0 < u1 ? 1 : 0;
    }

    const uint8_t* current = fcrPagePair.image[fcrPagePair.active];
    uint32_t storedCount = ReadU32(current + 0x26);
    f.pageCount = f.version <= 0x0950 ? SwapHalves(storedCount) : storedCount;
    if (TraceEnabled) {
        printf("Found %lu pages in file.\n", (unsigned long)f.pageCount);
    }
    ReadOwnerName(current);
    ReadCompression(current);
    WarnNewerVersion();
    return 1;
}

void SetLargeOffsetThreshold() {
    const uint32_t pageSize = fileFormat.pageSize;
    bool listedPageSize = pageSize >= 512 && pageSize <= 4096 && pageSize % 512 == 0;
    if (fileFormat.version >= 0x0600 && fileFormat.version <= 0x06FF && listedPageSize) {
        fileFormat.largeOffsetThreshold = pageSize * (2 + 30 * pageSize / 4);
    }
}

}  // namespace fileio
