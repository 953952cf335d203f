// Seeks, reads and writes on a named extent's handle, the uniform-extent write, and reads from
// the delta file. Each transfer is one positioning and one system call, without buffering.
#include "fileio/direct_io.h"

#include <cstdio>

namespace fileio {

uint8_t pageSlots[2][PageSlotSize];

namespace {

// Reads succeed only when every byte asked for arrives.
int ReadFully(platform::FileHandle handle, void* buffer, uint32_t length) {
    uint32_t got = 0;
    return platform::ReadBytes(handle, buffer, length, &got) && got == length;
}

int WriteOnce(platform::FileHandle handle, const void* buffer, uint32_t length) {
    uint32_t put = 0;
    return platform::WriteBytes(handle, buffer, length, &put);
}

// Positions the handle of extent k; fails for an extent that is not open.
int PositionExtent(uint16_t extent, LargeOffset offset) {
    return extent < fileSet.extentCount &&
           platform::SeekFromStart(fileSet.extentHandles[extent], offset);
}

int SeekDelta(LargeOffset offset) {
    if (TraceEnabled) {
        printf("Attempting to set position to Delta File, Offset %.8x:%.8x\n", HighHalf(offset),
               LowHalf(offset));
    }
    return fileSet.deltaHandle != platform::InvalidHandle &&
           platform::SeekFromStart(fileSet.deltaHandle, offset);
}

}  // namespace

int SeekInExtent(LargeOffset offset, uint16_t extent) {
    if (TraceEnabled) {
        printf("Attempting to set position to Extent %.2x, Offset %.8x:%.8x\n", unsigned(extent),
               HighHalf(offset), LowHalf(offset));
    }
    return PositionExtent(extent, offset);
}

int ReadInExtent(LargeOffset offset, void* buffer, uint32_t length, uint16_t extent) {
    return SeekInExtent(offset, extent) && ReadFully(fileSet.extentHandles[extent], buffer, length);
}

int WriteAtUniform(LargeOffset offset, const void* buffer, uint32_t length) {
    // The same walk as the logical seek, only with every step the size of extent 0: a write
    // that ends exactly at an extent's end stays in that extent. Bounded by the extent count,
    // so an empty extent 0 cannot make it endless.
    uint16_t k = 0;
    if (fileSet.extentCount >= 2) {
        while (k < fileSet.extentCount && offset >= fileSet.extentSizes[0]) {
            offset -= fileSet.extentSizes[0];
            ++k;
        }
    }
    if (TraceEnabled) {
        printf("Attempting to set position to Extent %.2x, Offset %.8x:%.8x for writing data!\n",
               unsigned(k), HighHalf(offset), LowHalf(offset));
    }
    return PositionExtent(k, offset) && WriteOnce(fileSet.extentHandles[k], buffer, length);
}

int ReadExtentPage(uint16_t extent, uint32_t offset, uint32_t slot) {
    // A page that does not fit a slot is refused rather than overrunning it.
    if (slot > 1 || fileFormat.pageSize > PageSlotSize) {
        return 0;
    }
    return PositionExtent(extent, offset) &&
           ReadFully(fileSet.extentHandles[extent], pageSlots[slot], fileFormat.pageSize);
}

int ReadExtentHeader(uint16_t extent, uint32_t offset, PageHeaderBlock* block) {
    // The second read goes on where the first left the file pointer, right after the header.
    return PositionExtent(extent, offset) &&
           ReadFully(fileSet.extentHandles[extent], block->bytes, fileFormat.pageHeaderSize) &&
           ReadFully(fileSet.extentHandles[extent], block->bytes + TrailerOffset, 2);
}

int WriteExtentHeader(uint16_t extent, uint32_t offset, const PageHeaderBlock* block) {
    return PositionExtent(extent, offset) &&
           WriteOnce(fileSet.extentHandles[extent], block->bytes, fileFormat.pageHeaderSize);
}

int WriteExtentPage(uint16_t extent, uint32_t offset, const void* buffer) {
    return PositionExtent(extent, offset) && !fileFormat.pageCompression &&
           WriteOnce(fileSet.extentHandles[extent], buffer, fileFormat.pageSize);
}

int ReadDeltaPage(uint32_t page, void* buffer, uint32_t length) {
    LargeOffset offset = LargeOffset(fileFormat.pageSize) * page;
    return SeekDelta(offset) && ReadFully(fileSet.deltaHandle, buffer, length);
}

int ReadDeltaAt(uint32_t offset, void* buffer, uint32_t length) {
    return SeekDelta(offset) && ReadFully(fileSet.deltaHandle, buffer, length);
}

}  // namespace fileio
