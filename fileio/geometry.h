// Where things lie in a Btrieve file: PAT entries per page, PAT pair positions, page positions.
#pragma once

#include <cstdint>

#include "fileio/records.h"

namespace fileio {

int32_t EntriesPerPatPage();
int32_t PatPairStride();
void PatPairOffset(uint32_t pair, LargeOffset* offset);
int SeekPatPair(uint32_t pair, uint16_t* extent);
void PhysicalPageOffset(uint32_t page, LargeOffset* offset);
int PageToExtentOffset(uint32_t page, int32_t* extent, uint32_t* offset);
int ExtentOffsetToPage(uint32_t extent, LargeOffset offset, uint32_t* page);
int ExtentOffsetToPage32(uint32_t extent, uint32_t offset, uint32_t* page);

}  // namespace fileio
