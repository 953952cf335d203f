// Positioned I/O over the extents as one logical byte range.
#pragma once

#include <cstdint>

#include "fileio/records.h"

namespace fileio {

// Positions the handle of the extent that holds the offset. At or beyond the end of the last
// extent it fails with *extent set to extentCount.
int SeekLogical(LargeOffset offset, uint16_t* extent);
int ReadAt(LargeOffset offset, void* buffer, uint32_t length);
int WriteAt(LargeOffset offset, const void* buffer, uint32_t length);

int SeekSector(uint32_t sector, uint16_t* extent);
int ReadAtSector(uint32_t sector, void* buffer, uint32_t length);
int WriteAtSector(uint32_t sector, const void* buffer, uint32_t length);

}  // namespace fileio
