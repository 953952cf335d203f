// Page and header transfers by logical page, physical page and offset, the page-header cache,
// records in data pages, run-length expansion, record pointers and hex dumps.
#include "fileio/page_services.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileio/bytes.h"
#include "fileio/geometry.h"
#include "fileio/page_pairs.h"
#include "fileio/positioned_io.h"

namespace fileio {
namespace {

constexpr uint32_t FirstCachedPage = 4;
constexpr uint32_t ProgressMinEntries = 500;
constexpr uint16_t FreeSlot = 0xFFFF;

struct PageHeaderCache {
    uint32_t entryCount;
    PageHeaderBlock* table;
};

PageHeaderCache headerCache;
uint8_t recordPage[MaxPageSize];

uint32_t PageBytes(uint16_t count) {
    return uint32_t(count) * fileFormat.physicalPageSize;
}

int LookupPage(uint32_t logicalPage, uint32_t* physicalPage, uint16_t* count) {
    uint16_t flags = 0;
    return LookupPatEntry(logicalPage, physicalPage, &flags, count);
}

uint32_t RecordLimitOffset() {
    if (fileFormat.version < 0x0800) {
        return 0x0A;
    }
    return fileFormat.version < 0x0950 ? 0x0E : 0x10;
}

void ShowProgress(uint32_t page, uint32_t entryCount) {
    if (entryCount <= ProgressMinEntries || page % (entryCount / 100) != 0) {
        return;
    }
    // Widened so that the figure stays right for tables of more than 42 million pages.
    int percent = int(uint64_t(page) * 100 / entryCount);
    fprintf(stderr, "%.3d%%%c%c%c%c", percent, 8, 8, 8, 8);
}

}  // namespace

int ReadLogicalPage(uint32_t logicalPage, void* buffer, uint32_t capacity) {
    uint32_t physicalPage = 0;
    uint16_t count = 0;
    if (!LookupPage(logicalPage, &physicalPage, &count) || PageBytes(count) > capacity) {
        return 0;
    }
    return ReadPhysicalPages(physicalPage, buffer, count);
}

int ReadPhysicalPages(uint32_t physicalPage, void* buffer, uint16_t count) {
    LargeOffset offset = 0;
    PhysicalPageOffset(physicalPage, &offset);
    return ReadPagesAt(offset, buffer, count);
}

int ReadPagesAt(LargeOffset offset, void* buffer, uint16_t count) {
    return ReadAt(offset, buffer, PageBytes(count));
}

int WriteLogicalPage(uint32_t logicalPage, const void* buffer) {
    uint32_t physicalPage = 0;
    uint16_t count = 0;
    if (!LookupPage(logicalPage, &physicalPage, &count)) {
        return 0;
    }
    return WritePhysicalPages(physicalPage, buffer, count);
}

int WritePhysicalPages(uint32_t physicalPage, const void* buffer, uint16_t count) {
    LargeOffset offset = 0;
    PhysicalPageOffset(physicalPage, &offset);
    return WritePagesAt(offset, buffer, count);
}

int WritePagesAt(LargeOffset offset, const void* buffer, uint16_t count) {
    if (fileFormat.pageCompression) {
        return 0;
    }
    return WriteAt(offset, buffer, PageBytes(count));
}

int ReadLogicalPageHeader(uint32_t logicalPage, PageHeaderBlock* block) {
    uint32_t physicalPage = 0;
    uint16_t count = 0;
    if (!LookupPage(logicalPage, &physicalPage, &count)) {
        return 0;
    }
    return ReadPhysicalPageHeader(physicalPage, block);
}

int ReadPhysicalPageHeader(uint32_t physicalPage, PageHeaderBlock* block) {
    LargeOffset offset = 0;
    PhysicalPageOffset(physicalPage, &offset);
    if (TraceEnabled) {
        printf("For Phys Page Number 0x%.8x, calculated Large Offset %.8x:%.8x\n",
               unsigned(physicalPage), HighHalf(offset), LowHalf(offset));
    }
    return ReadPageHeaderAt(offset, block);
}

int ReadPageHeaderAt(LargeOffset offset, PageHeaderBlock* block) {
    uint32_t headerSize = fileFormat.pageHeaderSize;
    return ReadAt(offset, block->bytes, headerSize) &&
           ReadAt(offset + headerSize, block->bytes + TrailerOffset, 2);
}

int WriteLogicalPageHeader(uint32_t logicalPage, const PageHeaderBlock* block) {
    uint32_t physicalPage = 0;
    uint16_t count = 0;
    if (!LookupPage(logicalPage, &physicalPage, &count)) {
        return 0;
    }
    return WritePhysicalPageHeader(physicalPage, block);
}

int WritePhysicalPageHeader(uint32_t physicalPage, const PageHeaderBlock* block) {
    LargeOffset offset = 0;
    PhysicalPageOffset(physicalPage, &offset);
    return WritePageHeaderAt(offset, block);
}

int WritePageHeaderAt(LargeOffset offset, const PageHeaderBlock* block) {
    return WriteAt(offset, block->bytes, fileFormat.pageHeaderSize);
}

int PreloadPageHeaders(bool showProgress) {
    if (fileFormat.version < 0x0600) {
        return 0;
    }
    if (headerCache.table) {
        return 1;
    }
    uint32_t sectorsPerPage = fileFormat.pageSize / SectorSize;
    if (sectorsPerPage == 0) {
        return 0;  // pages below one sector give no page count
    }
    uint32_t entryCount = fileSet.totalSectors / sectorsPerPage;
    if (entryCount <= FirstCachedPage) {
        return 0;  // the table would have no entry for the first page it caches
    }
    void* table = calloc(entryCount, sizeof(PageHeaderBlock));
    if (!table) {
        printf("Unable to allocate sufficient memory for %lu page headers.\n",
               (unsigned long)entryCount);
        return 0;
    }
    headerCache = {entryCount, static_cast<PageHeaderBlock*>(table)};
    uint32_t page = FirstCachedPage;
    if (!ReadPhysicalPageHeader(page, &headerCache.table[page])) {
        FreePageHeaderCache();
        return 0;
    }
    // Ends at the first unreadable page, or when the table is full.
    for (;;) {
        if (showProgress) {
            ShowProgress(page, entryCount);
        }
        ++page;
        if (page == entryCount || !ReadPhysicalPageHeader(page, &headerCache.table[page])) {
            break;
        }
    }
    printf("Pre-loaded %d physical page headers into memory.\n", int(page));
    return 1;
}

void FreePageHeaderCache() {
    free(headerCache.table);
    headerCache = {0, nullptr};
}

int GetCachedPageHeader(uint32_t physicalPage, PageHeaderBlock* block) {
    if (!headerCache.table || physicalPage >= headerCache.entryCount) {
        return 0;
    }
    *block = headerCache.table[physicalPage];
    return 1;
}

int FindRecordInPage(const uint8_t* page, uint16_t record, uint16_t* start, uint16_t* length) {
    *start = 0;
    *length = 0;
    const int32_t pageSize = fileFormat.pageSize;
    const int32_t limitAt = int32_t(RecordLimitOffset());
    if (limitAt + 2 > pageSize || ReadU16(page + limitAt) < record) {
        return 0;
    }
    int32_t slotAt = pageSize - 2 - 2 * int32_t(record);
    if (slotAt < 0) {
        return 0;
    }
    uint16_t first = ReadU16(page + slotAt);
    if (first > pageSize) {
        return 0;
    }
    // The record ends where the next slot in use below it starts; the scan stays in the page.
    int32_t nextAt = slotAt - 2;
    while (nextAt >= 0 && ReadU16(page + nextAt) == FreeSlot) {
        nextAt -= 2;
    }
    if (nextAt < 0) {
        return 0;
    }
    uint16_t size = uint16_t(ReadU16(page + nextAt) - first);
    if (size == 0 || first + size > pageSize) {
        return 0;
    }
    *start = first;
    *length = size;
    return 1;
}

int ReadRecord(uint32_t logicalPage, uint16_t record, uint8_t* output, uint16_t* length) {
    *length = 0;
    // The record search reads a whole page of pageSize bytes from the buffer.
    if (fileFormat.pageSize > MaxPageSize) {
        return 0;
    }
    // A page shorter than pageSize on disk reads as zeros beyond its end, never as stale bytes.
    memset(recordPage, 0, sizeof recordPage);
    uint16_t start = 0;
    uint16_t size = 0;
    if (!ReadLogicalPage(logicalPage, recordPage, MaxPageSize) ||
        !FindRecordInPage(recordPage, record, &start, &size)) {
        return 0;
    }
    memcpy(output, recordPage + start, size);
    *length = size;
    return 1;
}

namespace {

// Where the FCR keeps a misc data pointer from 8.x on: page u32, record u16, reserved u16.
constexpr uint32_t MiscDataAt = 0x94;
constexpr uint32_t UserMiscDataAt = 0x8C;

RecordPointer MiscDataPointer(const uint8_t* fcr, int which) {
    RecordPointer pointer;
    uint16_t version = fileFormat.version;
    if (version < 0x0800) {
        // A one-byte record number, then a 24-bit page pointer.
        SetRecordPointer(&pointer, ReadU32(fcr + MiscDataAt) >> 8, fcr[MiscDataAt], 0);
    } else {
        uint32_t at = version >= 0x0950 && which == 1 ? UserMiscDataAt : MiscDataAt;
        uint16_t reserved = version >= 0x0950 ? ReadU16(fcr + at + 6) : 0;
        SetRecordPointer(&pointer, ReadU32(fcr + at), ReadU16(fcr + at + 4), reserved);
    }
    return pointer;
}

// Each field most significant byte first.
void TraceMiscDataPointer(const uint8_t* fcr, int which) {
    uint16_t version = fileFormat.version;
    if (version < 0x0950) {
        const uint8_t* p = fcr + MiscDataAt;
        printf("Misc Data Page Pointer: 0x%.2x%.2x%.2x%.2x\r\n", p[3], p[2], p[1], p[0]);
        if (version >= 0x0800) {
            printf("Misc Data Record Number 0x%.2x%.2x\r\n", p[5], p[4]);
        }
        return;
    }
    bool user = which == 1;
    const uint8_t* p = fcr + (user ? UserMiscDataAt : MiscDataAt);
    const char* prefix = user ? "User " : "";
    char label[40];
    snprintf(label, sizeof label, "%sMisc Data Page Pointer", prefix);
    printf("%33s: 0x%.2x%.2x%.2x%.2x\r\n", label, p[3], p[2], p[1], p[0]);
    snprintf(label, sizeof label, "%sMisc Data Record Number", prefix);
    printf("%33s: 0x%.2x%.2x\r\n", label, p[5], p[4]);
    snprintf(label, sizeof label, "%sMisc Data Reserved", prefix);
    printf("%33s: 0x%.2x%.2x\r\n", label, p[7], p[6]);
}

}  // namespace

int ReadMiscDataRecord(uint8_t* output, int which, uint16_t* length) {
    *length = 0;
    const uint8_t* fcr = fcrPagePair.image[fcrPagePair.active];
    RecordPointer pointer = MiscDataPointer(fcr, which);
    if (TraceEnabled) {
        TraceMiscDataPointer(fcr, which);
    }
    if (pointer.pagePointer == 0) {
        return 0;
    }
    return ReadRecord(pointer.pagePointer, pointer.recordNumber, output, length);
}

namespace {

// Expands run-length pairs. *produced follows the output position, so a run that would
// overflow the output or reach past the input fails with the bytes produced before it.
int ExpandRuns(const uint8_t* input, uint32_t inputLength, uint8_t* output, uint32_t capacity,
               uint32_t* produced) {
    uint32_t in = 0;
    uint32_t& out = *produced;
    while (in < inputLength) {
        if (inputLength - in < 2) {
            return 0;
        }
        uint32_t literal = ReadU16(input + in);
        in += 2;
        if (literal > inputLength - in || literal > capacity - out) {
            return 0;
        }
        memcpy(output + out, input + in, literal);
        in += literal;
        out += literal;
        if (in == inputLength) {
            return 1;  // the stream may end after a literal run
        }
        if (inputLength - in < 3) {
            return 0;
        }
        uint32_t fill = ReadU16(input + in);
        if (fill > capacity - out) {
            return 0;
        }
        memset(output + out, input[in + 2], fill);
        in += 3;
        out += fill;
    }
    return 1;
}

}  // namespace

int ExpandRecord(int type, const uint8_t* input, uint32_t inputLength, uint8_t* output,
                 uint32_t* size) {
    const uint32_t capacity = *size;
    *size = 0;
    switch (uint8_t(type)) {
        case 0:
            return 1;  // not compressed: nothing to produce
        case 1:
            return ExpandRuns(input, inputLength, output, capacity, size);
        default:
            return 0;
    }
}

void SetRecordPointer(RecordPointer* record, uint32_t pagePointer, uint16_t recordNumber,
                      uint16_t reserved) {
    *record = {pagePointer, recordNumber, reserved};
}

void GetRecordPointer(uint32_t* pagePointer, uint16_t* recordNumber, uint16_t* reserved,
                      const RecordPointer* record) {
    *pagePointer = record->pagePointer;
    *recordNumber = record->recordNumber;
    *reserved = record->reserved;
}

void HexDump(const uint8_t* bytes, int32_t length) {
    // The last line holds only the bytes there are.
    for (int32_t line = 0; line < length; line += 16) {
        int32_t end = std::min(line + 16, length);
        for (int32_t i = line; i < end; ++i) {
            fprintf(stderr, "%.2X ", bytes[i]);
        }
        fprintf(stderr, "\n");
    }
}

}  // namespace fileio
