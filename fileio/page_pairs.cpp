// The PAT pair and second control pair in memory: loading, the current-copy rule, page-identity
// check, writing back in place, and single PAT entries.
#include "fileio/page_pairs.h"

#include <cstdio>
#include <cstring>

#include "fileio/bytes.h"
#include "fileio/geometry.h"
#include "fileio/positioned_io.h"
#include "fileio/records.h"

namespace fileio {

PagePair patPagePair;
PagePair secondControlPagePair;

namespace {

uint32_t UsageCounter(const PagePair& pair, int copy) {
    return ReadU32(pair.image[copy] + fileFormat.usageOffset);
}

// PAT pairs past the FCR are placed by E and the stride; without both there is no placing them.
bool PatGeometryKnown(uint32_t pair) {
    return pair == 0 || (EntriesPerPatPage() > 0 && PatPairStride() > 0);
}

LargeOffset PatPairLocation(uint32_t pair) {
    LargeOffset offset;
    PatPairOffset(pair, &offset);
    return offset;
}

void ChooseCurrentCopy(uint32_t pair) {
    uint32_t u0 = UsageCounter(patPagePair, 0);
    uint32_t u1 = UsageCounter(patPagePair, 1);
    patPagePair.active = u1 >= u0 ? 1 : 0;
    if (TraceEnabled) {
        fprintf(stderr, "Usage 0 (%.8x) %c Usage 1 (%.8x) [Loaded PAT Pair %lu]\n", u0,
                u0 < u1 ? '<' : '>', u1, (unsigned long)pair);
    }
}

// Locates the PAT entry of a logical page: its pair number and its byte offset in a copy.
bool LocateEntry(uint32_t logicalPage, uint32_t* pair, uint32_t* entryOffset) {
    int32_t entries = EntriesPerPatPage();
    if (entries <= 0) {
        return false;
    }
    uint32_t index = (logicalPage - 1) % uint32_t(entries);
    *pair = (logicalPage - 1) / uint32_t(entries) + 1;
    if (fileFormat.version < 0x0800) {
        *entryOffset = 8 + 4 * index;
    } else if (fileFormat.version < 0x0950) {
        *entryOffset = 20 + 6 * index;
    } else {
        *entryOffset = 16 + 8 * index;
    }
    return true;
}

int ReadControlPair(PagePair& pair, LargeOffset offset) {
    const uint32_t length = fileFormat.fcrPageSize;
    return ReadAt(offset, pair.image[0], length) && ReadAt(offset + length, pair.image[1], length);
}

int WriteControlPair(const PagePair& pair, LargeOffset offset) {
    const uint32_t length = fileFormat.fcrPageSize;
    return WriteAt(offset, pair.image[0], length) &&
           WriteAt(offset + length, pair.image[1], length);
}

}  // namespace

int LoadPatPair(uint32_t pair) {
    if (fileFormat.version < 0x0600) {
        return 0;
    }
    if (pair == fileSet.loadedPatPair) {
        return 1;
    }
    if (!PatGeometryKnown(pair) || !ReadControlPair(patPagePair, PatPairLocation(pair))) {
        // The images may hold part of the failed pair now; the next load must read afresh.
        fileSet.loadedPatPair = NoPatPairLoaded;
        return 0;
    }
    fileSet.loadedPatPair = pair;
    ChooseCurrentCopy(pair);
    if (memcmp(patPagePair.image[0], patPagePair.image[1], fileFormat.pageIdLength) != 0) {
        fprintf(stderr, "==>PAT Page ID's Do Not Match.\n");
    }
    return 1;
}

int WritePatPair(uint32_t pair) {
    if (fileFormat.version < 0x0600) {
        return 0;
    }
    if (pair != fileSet.loadedPatPair) {
        fprintf(stderr, "Writing to incorrect PAT Pair!!!\r\n");
        return 0;
    }
    return WriteControlPair(patPagePair, PatPairLocation(pair));
}

int WriteFcrPair() {
    if (fileFormat.version < 0x0600) {
        return 0;
    }
    return WriteControlPair(fcrPagePair, 0);
}

int LookupPatEntry(uint32_t logicalPage, uint32_t* physicalPage, uint16_t* flags,
                   uint16_t* compressedSize) {
    *compressedSize = 1;
    if (fileFormat.version < 0x0600) {
        *physicalPage = logicalPage;
        return 1;
    }
    uint32_t pair, entryOffset;
    if (!LocateEntry(logicalPage, &pair, &entryOffset) || !LoadPatPair(pair)) {
        *physicalPage = 0;
        *flags = 0;
        return 0;
    }
    const uint8_t* entry = patPagePair.image[patPagePair.active] + entryOffset;
    if (fileFormat.version < 0x0800) {
        uint32_t value = SwapHalves(ReadU32(entry));
        *physicalPage = value & 0x00FFFFFF;
        *flags = uint16_t(value >> 24);
        return 1;
    }
    *physicalPage = ReadU32(entry);
    *flags = ReadU16(entry + 4);
    if (fileFormat.version >= 0x0950 && fileFormat.pageCompression) {
        *compressedSize = ReadU16(entry + 6);
    }
    return 1;
}

int UpdatePatEntry(uint32_t logicalPage, uint32_t physicalPage, uint16_t flags) {
    uint32_t pair, entryOffset;
    if (fileFormat.version < 0x0600 || !LocateEntry(logicalPage, &pair, &entryOffset) ||
        !LoadPatPair(pair)) {
        return 0;
    }
    uint8_t* entry = patPagePair.image[patPagePair.active] + entryOffset;
    if (fileFormat.version < 0x0800) {
        // A page number past 24 bits would run into the flags byte of the entry.
        if (physicalPage > 0x00FFFFFF) {
            return 0;
        }
        WriteU32(entry, SwapHalves(uint32_t(flags & 0xFF) << 24 | physicalPage));
    } else {
        WriteU32(entry, physicalPage);
        WriteU16(entry + 4, flags);
    }
    return WritePatPair(pair);
}

int LoadSecondControlPair() {
    if (fileFormat.version < 0x0800) {
        return 0;
    }
    return ReadControlPair(secondControlPagePair, 2 * LargeOffset(fileFormat.fcrPageSize));
}

int WriteSecondControlPair() {
    if (fileFormat.version < 0x0800) {
        return 0;
    }
    return WriteControlPair(secondControlPagePair, 2 * LargeOffset(fileFormat.fcrPageSize));
}

}  // namespace fileio
