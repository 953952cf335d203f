// Page geometry: PAT entries per page, PAT pair stride and position, physical page positions,
// and the 4096-byte shift of 6.x files.
#include "fileio/geometry.h"

#include <cstdio>

#include "fileio/positioned_io.h"

namespace fileio {

namespace {

constexpr uint32_t LargeOffsetShift = 4096;

struct SizeEntry {
    uint16_t pageSize;
    int32_t value;
};

constexpr SizeEntry EntriesV8[] = {{512, 312},   {1024, 316},  {1536, 476},
                                   {2048, 636},  {2560, 796},  {3072, 956},
                                   {3584, 1116}, {4096, 1276}, {8192, 1278}};
constexpr SizeEntry EntriesV95[] = {
    {1024, 476}, {2048, 478}, {4096, 956}, {8192, 1596}, {16384, 1598}};
constexpr SizeEntry StridePagesV95[] = {
    {1024, 480}, {2048, 480}, {4096, 960}, {8192, 1600}, {16384, 1600}};

// The value listed for the page size, or 0 with the page-size report.
template <size_t N>
int32_t LookUp(const SizeEntry (&table)[N]) {
    for (const SizeEntry& entry : table) {
        if (entry.pageSize == fileFormat.pageSize) {
            return entry.value;
        }
    }
    fprintf(stderr, "Unexpected Page Size <%d>\n", int(fileFormat.pageSize));
    return 0;
}

uint32_t OnDiskPageSize() {
    return fileFormat.pageCompression ? fileFormat.physicalPageSize : fileFormat.pageSize;
}

}  // namespace

int32_t EntriesPerPatPage() {
    if (fileFormat.version < 0x0800) {
        return int32_t(fileFormat.fcrPageSize) / 4 - 2;
    }
    return fileFormat.version < 0x0950 ? LookUp(EntriesV8) : LookUp(EntriesV95);
}

int32_t PatPairStride() {
    if (fileFormat.version < 0x0950) {
        return EntriesPerPatPage() * int32_t(fileFormat.pageSize) +
               2 * int32_t(fileFormat.fcrPageSize);
    }
    return LookUp(StridePagesV95) * int32_t(OnDiskPageSize());
}

void PatPairOffset(uint32_t pair, LargeOffset* offset) {
    if (TraceEnabled) {
        fprintf(stderr, "(1)Seeking PAT Pair %lu at ", (unsigned long)pair);
    }
    *offset = 0;
    if (pair != 0) {
        const int64_t fcrPageSize = fileFormat.fcrPageSize;
        *offset = 2 * fcrPageSize;
        if (fileFormat.version >= 0x0800) {
            *offset += 2 * fcrPageSize;
        }
        if (fileFormat.version < 0x0700 && pair >= 31) {
            *offset += LargeOffsetShift;
        }
        *offset += int64_t(PatPairStride()) * int64_t(pair - 1);
    }
    if (TraceEnabled) {
        fprintf(stderr, "Large Offset %.8x:%.8x\n", HighHalf(*offset), LowHalf(*offset));
    }
}

int SeekPatPair(uint32_t pair, uint16_t* extent) {
    if (TraceEnabled) {
        fprintf(stderr, "(2)Seeking PAT Pair %lu at ", (unsigned long)pair);
    }
    LargeOffset offset;
    PatPairOffset(pair, &offset);
    if (TraceEnabled) {
        fprintf(stderr, "Large Offset %.8x:%.8x\n", HighHalf(offset), LowHalf(offset));
    }
    int result = SeekLogical(offset, extent);
    if (TraceEnabled && *extent >= fileSet.extentCount) {
        fprintf(stderr, "Calculated location outside valid file values!\n");
    }
    return result;
}

void PhysicalPageOffset(uint32_t page, LargeOffset* offset) {
    uint64_t position = uint64_t(page) * OnDiskPageSize();
    if (fileFormat.version >= 0x0180 && fileFormat.version <= 0x06FF &&
        position >= fileFormat.largeOffsetThreshold) {
        position += LargeOffsetShift;
    }
    *offset = LargeOffset(position);
}

int PageToExtentOffset(uint32_t page, int32_t* extent, uint32_t* offset) {
    *extent = 0;
    if (fileFormat.version < 0x0700) {
        *offset = page * uint32_t(fileFormat.pageSize);
        if (fileFormat.version >= 0x0600 && *offset >= fileFormat.largeOffsetThreshold) {
            *offset += LargeOffsetShift;
        }
        return 1;
    }
    uint32_t sectors = OnDiskPageSize() / SectorSize * page;
    uint16_t e = 0;
    // A page beyond the last extent ends the walk at extentCount.
    while (e < fileSet.extentCount && sectors >= fileSet.extentSizes[e] / SectorSize) {
        sectors -= uint32_t(fileSet.extentSizes[e] / SectorSize);
        ++e;
    }
    *extent = e;
    *offset = sectors * SectorSize;
    if (TraceEnabled) {
        printf("Calculated Extent %d, Offset %.8X\n", int(*extent), *offset);
    }
    return 1;
}

namespace {

// Pages are reckoned in sectors; a page size below one sector has no such reckoning.
uint32_t SectorsPerPage() {
    return OnDiskPageSize() / SectorSize;
}

// Pre-7 files are one flat range; a page size of 0 has no pages to name.
int PreSevenPage(uint32_t offset, uint32_t* page) {
    if (fileFormat.pageSize == 0) {
        return 0;
    }
    if (fileFormat.version >= 0x0600 && offset >= fileFormat.largeOffsetThreshold) {
        offset -= LargeOffsetShift;
    }
    *page = offset / fileFormat.pageSize;
    return 1;
}

uint32_t ExtentsBefore(uint32_t extent) {
    return extent < fileSet.extentCount ? extent : fileSet.extentCount;
}

}  // namespace

int ExtentOffsetToPage(uint32_t extent, LargeOffset offset, uint32_t* page) {
    *page = 0;
    if (fileFormat.version < 0x0700) {
        return PreSevenPage(LowHalf(offset), page);
    }
    if (SectorsPerPage() == 0) {
        return 0;
    }
    uint64_t sectors = uint64_t(offset) / SectorSize;
    for (uint32_t i = 0; i < ExtentsBefore(extent); ++i) {
        sectors += uint64_t(fileSet.extentSizes[i]) / SectorSize;
    }
    *page = uint32_t(sectors / SectorsPerPage());
    return 1;
}

int ExtentOffsetToPage32(uint32_t extent, uint32_t offset, uint32_t* page) {
    *page = 0;
    if (fileFormat.version < 0x0700) {
        return PreSevenPage(offset, page);
    }
    if (SectorsPerPage() == 0) {
        return 0;
    }
    uint32_t sectors = offset / SectorSize;
    for (uint32_t i = 0; i < ExtentsBefore(extent); ++i) {
        sectors += uint32_t(fileSet.extentSizes[i] / SectorSize);
    }
    *page = sectors / SectorsPerPage();
    return 1;
}

}  // namespace fileio
