// Page and record services over the open file set: page and header transfers, the page-header
// cache, records in data pages, run-length expansion, record pointers and hex dumps.
#pragma once

#include <cstdint>

#include "fileio/records.h"

namespace fileio {

inline constexpr uint32_t PageHeaderBlockSize = 18;
inline constexpr uint32_t TrailerOffset = 16;  // where a block keeps the two bytes after a header
inline constexpr uint32_t MaxPageSize = 16384;

// One page's header in bytes 0 to pageHeaderSize - 1, the two page bytes that follow the header
// in bytes 16 and 17. Bytes between the two keep whatever they held.
struct PageHeaderBlock {
    uint8_t bytes[PageHeaderBlockSize];
};

struct RecordPointer {
    uint32_t pagePointer;  // a logical page number, 0 for none
    uint16_t recordNumber;
    uint16_t reserved;
};

// Page reads move count * physicalPageSize bytes. A logical page's count is its compressed size
// from the PAT, so its read also takes the buffer's capacity and refuses a page that exceeds it.
int ReadLogicalPage(uint32_t logicalPage, void* buffer, uint32_t capacity);
int ReadPhysicalPages(uint32_t physicalPage, void* buffer, uint16_t count);
int ReadPagesAt(LargeOffset offset, void* buffer, uint16_t count);

// Page writes are refused on files with page compression.
int WriteLogicalPage(uint32_t logicalPage, const void* buffer);
int WritePhysicalPages(uint32_t physicalPage, const void* buffer, uint16_t count);
int WritePagesAt(LargeOffset offset, const void* buffer, uint16_t count);

int ReadLogicalPageHeader(uint32_t logicalPage, PageHeaderBlock* block);
int ReadPhysicalPageHeader(uint32_t physicalPage, PageHeaderBlock* block);
int ReadPageHeaderAt(LargeOffset offset, PageHeaderBlock* block);

// Header writes put back only the header bytes, also on compressed files.
int WriteLogicalPageHeader(uint32_t logicalPage, const PageHeaderBlock* block);
int WritePhysicalPageHeader(uint32_t physicalPage, const PageHeaderBlock* block);
int WritePageHeaderAt(LargeOffset offset, const PageHeaderBlock* block);

// The cache of every physical page's header block, indexed by physical page number and filled
// from page 4 on. 1 when the cache exists afterwards.
int PreloadPageHeaders(bool showProgress);
void FreePageHeaderCache();
int GetCachedPageHeader(uint32_t physicalPage, PageHeaderBlock* block);

// Finds record r of a data page of pageSize bytes through the slot table at the page's end.
int FindRecordInPage(const uint8_t* page, uint16_t record, uint16_t* start, uint16_t* length);
// The output holds up to pageSize bytes.
int ReadRecord(uint32_t logicalPage, uint16_t record, uint8_t* output, uint16_t* length);
// which = 1 is the user misc data record (from 9.50 on); anything else the misc data record.
int ReadMiscDataRecord(uint8_t* output, int which, uint16_t* length);

// Type 0: not compressed, nothing produced. Type 1: run-length pairs. *size is the output's
// capacity on entry and the count of bytes produced on return.
int ExpandRecord(int type, const uint8_t* input, uint32_t inputLength, uint8_t* output,
                 uint32_t* size);

void SetRecordPointer(RecordPointer* record, uint32_t pagePointer, uint16_t recordNumber,
                      uint16_t reserved);
void GetRecordPointer(uint32_t* pagePointer, uint16_t* recordNumber, uint16_t* reserved,
                      const RecordPointer* record);

// Writes the bytes to standard error, 16 to a line.
void HexDump(const uint8_t* bytes, int32_t length);

}  // namespace fileio
