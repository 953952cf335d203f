// Positioning, reading and writing in the logical byte range that the extents form.
#include "fileio/positioned_io.h"

#include <cstdio>

namespace fileio {

int SeekLogical(LargeOffset offset, uint16_t* extent) {
    uint16_t k = 0;
    *extent = k;
    while (k < fileSet.extentCount && offset >= fileSet.extentSizes[k]) {
        offset -= fileSet.extentSizes[k];
        *extent = ++k;
    }
    if (TraceEnabled) {
        printf("Attempting to set position to Extent %.2x, Offset %.8x:%.8x\n", unsigned(k),
               HighHalf(offset), LowHalf(offset));
    }
    if (k == fileSet.extentCount) {
        return 0;
    }
    return platform::SeekFromStart(fileSet.extentHandles[k], offset);
}

int ReadAt(LargeOffset offset, void* buffer, uint32_t length) {
    uint16_t extent;
    if (!SeekLogical(offset, &extent)) {
        return 0;
    }
    uint32_t got = 0;
    return platform::ReadBytes(fileSet.extentHandles[extent], buffer, length, &got) &&
           got == length;
}

int WriteAt(LargeOffset offset, const void* buffer, uint32_t length) {
    uint16_t extent;
    if (!SeekLogical(offset, &extent)) {
        return 0;
    }
    uint32_t put = 0;
    return platform::WriteBytes(fileSet.extentHandles[extent], buffer, length, &put);
}

namespace {
LargeOffset SectorOffset(uint32_t sector) {
    return LargeOffset(sector) * SectorSize;
}
}  // namespace

int SeekSector(uint32_t sector, uint16_t* extent) {
    return SeekLogical(SectorOffset(sector), extent);
}

int ReadAtSector(uint32_t sector, void* buffer, uint32_t length) {
    return ReadAt(SectorOffset(sector), buffer, length);
}

int WriteAtSector(uint32_t sector, const void* buffer, uint32_t length) {
    return WriteAt(SectorOffset(sector), buffer, length);
}

}  // namespace fileio
