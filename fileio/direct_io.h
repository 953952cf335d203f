// Transfers straight on one named extent's handle or on the delta file, beside the positioned
// I/O over the logical range.
#pragma once

#include <cstdint>

#include "fileio/page_services.h"
#include "fileio/records.h"

namespace fileio {

inline constexpr uint32_t PageSlotSize = 16384;

// The two page buffers that ReadExtentPage fills.
extern uint8_t pageSlots[2][PageSlotSize];

// In-extent offsets: positions inside the given extent, not in the logical range.
int SeekInExtent(LargeOffset offset, uint16_t extent);
int ReadInExtent(LargeOffset offset, void* buffer, uint32_t length, uint16_t extent);

// Writes at a logical offset, finding the extent as if every extent had the size of extent 0.
int WriteAtUniform(LargeOffset offset, const void* buffer, uint32_t length);

// Page and header transfers at a 32-bit offset inside extent k.
int ReadExtentPage(uint16_t extent, uint32_t offset, uint32_t slot);
int ReadExtentHeader(uint16_t extent, uint32_t offset, PageHeaderBlock* block);
int WriteExtentHeader(uint16_t extent, uint32_t offset, const PageHeaderBlock* block);
int WriteExtentPage(uint16_t extent, uint32_t offset, const void* buffer);

int ReadDeltaPage(uint32_t page, void* buffer, uint32_t length);
int ReadDeltaAt(uint32_t offset, void* buffer, uint32_t length);

}  // namespace fileio
