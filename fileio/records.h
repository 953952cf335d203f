// Shared records and constants of the file-access layer: the file set, the format facts read
// from the FCR, and the shadowed page pairs. All of it is module-level state for the run.
#pragma once

#include <cstdint>

#include "platform/file_api.h"

namespace fileio {

// A signed 64-bit byte position; trace lines print it as its high and low 32-bit halves.
using LargeOffset = int64_t;
inline uint32_t HighHalf(LargeOffset offset) {
    return uint32_t(uint64_t(offset) >> 32);
}
inline uint32_t LowHalf(LargeOffset offset) {
    return uint32_t(uint64_t(offset));
}

inline constexpr uint16_t MaxExtents = 128;
inline constexpr unsigned MaxPathLength = 255;  // name buffer, terminating zero included
inline constexpr uint32_t SectorSize = 512;
inline constexpr uint32_t ImageCapacity = 32768;
inline constexpr uint32_t NoPatPairLoaded = 0xFFFFFFFF;
inline constexpr const char* IoLayerVersion = "Keldar Version 2.42.15";

struct ExtentTable {
    platform::FileHandle extentHandles[MaxExtents];
    int64_t extentSizes[MaxExtents];
    uint16_t extentCount;
    platform::FileHandle deltaHandle;
    int64_t deltaSize;
};

struct FileSet : ExtentTable {
    uint32_t totalSectors;   // sum of whole 512-byte sectors over the extents, modulo 2^32
    uint32_t loadedPatPair;  // pair held by the PAT page pair, NoPatPairLoaded for none
};

struct FileFormat {
    uint16_t version;
    uint16_t pageSize;
    uint16_t fcrPageSize;  // bytes in one copy of a control page; also where FCR copy 1 starts
    uint32_t usageOffset;
    uint32_t pageIdLength;
    uint32_t pageHeaderSize;
    uint32_t pageCount;
    bool ownerNamePresent;
    uint8_t ownerName[9];
    bool pageCompression;
    uint16_t physicalPageSize;
    uint32_t largeOffsetThreshold = 0xFFFFFFFF;  // no shift until a 6.x file sets it
};

// Two copies of one shadowed control page; image[0] lies first in the file.
struct PagePair {
    uint8_t image[2][ImageCapacity];
    int active;
};

extern bool TraceEnabled;
extern FileSet fileSet;
extern FileFormat fileFormat;
extern PagePair fcrPagePair;
extern PagePair patPagePair;
extern PagePair secondControlPagePair;

}  // namespace fileio
