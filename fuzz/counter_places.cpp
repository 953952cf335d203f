// The layout rules of the version classes: FCR page size, counter offset, PAT entries per page
// and the PAT pair stride, as the format's tables list them.
#include "fuzz/counter_places.h"

namespace fuzz {
namespace {

struct Listed {
    uint32_t pageSize;
    int64_t value;
};

constexpr Listed EntriesV8[] = {{512, 312},  {1024, 316},  {1536, 476},  {2048, 636}, {2560, 796},
                                {3072, 956}, {3584, 1116}, {4096, 1276}, {8192, 1278}};
constexpr Listed EntriesV95[] = {
    {1024, 476}, {2048, 478}, {4096, 956}, {8192, 1596}, {16384, 1598}};
constexpr Listed StridePagesV95[] = {
    {1024, 480}, {2048, 480}, {4096, 960}, {8192, 1600}, {16384, 1600}};

template <size_t N>
int64_t Find(const Listed (&table)[N], uint32_t pageSize) {
    for (const Listed& row : table) {
        if (row.pageSize == pageSize) {
            return row.value;
        }
    }
    return 0;
}

uint32_t U16(const std::vector<uint8_t>& bytes, uint64_t at) {
    return at + 2 <= bytes.size() ? uint32_t(bytes[at] | bytes[at + 1] << 8) : 0;
}

uint32_t U32(const std::vector<uint8_t>& bytes, uint64_t at) {
    return U16(bytes, at) | U16(bytes, at + 2) << 16;
}

uint16_t Version(const std::vector<uint8_t>& logical) {
    uint32_t stored = U32(logical, 0) == 0 ? U16(logical, 6) : U16(logical, 0x4A);
    return uint16_t(stored > 0x8000 ? 0x10000 - stored : stored);
}

// The FCR page size by class; doubling is done in 16 bits before the minimum or cap.
uint32_t FcrPageSize(uint16_t version, uint32_t pageSize) {
    uint32_t doubled = (2 * pageSize) & 0xFFFF;
    if (version < 0x0800) {
        return pageSize;
    }
    if (version < 0x0950) {
        return pageSize == 8192 ? 8192 : (doubled < 2048 ? 2048 : doubled);
    }
    if (pageSize >= 16384) {
        return 16384;
    }
    return version == 0x0950 && doubled < 4096 ? 4096 : doubled;
}

// PAT pairs hold the page's E entries then the E pages they map, below 9.50; from 9.50 on they
// are a fixed count of on-disk pages apart.
int64_t Stride(const Layout& layout, const std::vector<uint8_t>& logical) {
    const uint32_t f = layout.fcrPageSize;
    if (layout.version < 0x0800) {
        int64_t entries = int64_t(f / 4) - 2;
        return entries > 0 ? entries * layout.pageSize + 2 * int64_t(f) : 0;
    }
    if (layout.version < 0x0950) {
        int64_t entries = Find(EntriesV8, layout.pageSize);
        return entries > 0 ? entries * layout.pageSize + 2 * int64_t(f) : 0;
    }
    if (Find(EntriesV95, layout.pageSize) == 0) {
        return 0;
    }
    // Compression is the current FCR copy's flag: copy 1 only with the higher counter.
    uint64_t current =
        U32(logical, f + layout.usageOffset) > U32(logical, layout.usageOffset) ? f : 0;
    uint32_t flags = U16(logical, current + (layout.version == 0x0950 ? 0x190 : 0x9C));
    uint32_t onDisk = (flags & 0x2000) != 0 ? U16(logical, current + 0x50) : layout.pageSize;
    return Find(StridePagesV95, layout.pageSize) * onDisk;
}

}  // namespace

std::optional<Layout> ReadLayout(const std::vector<uint8_t>& logical) {
    Layout layout;
    layout.version = Version(logical);
    if (logical.size() < 512 || layout.version < 0x0600) {
        return std::nullopt;
    }
    layout.pageSize = uint32_t(logical[layout.version < 0x0800 ? 0x09 : 0x2B]) * 256;
    layout.fcrPageSize = FcrPageSize(layout.version, layout.pageSize);
    layout.usageOffset = layout.version < 0x0800 ? 4 : layout.version < 0x0950 ? 6 : 8;
    uint64_t controlPairs = layout.version < 0x0800 ? 1 : 2;  // FCR, second control pair
    layout.patPair1 = 2 * controlPairs * layout.fcrPageSize;
    layout.stride = Stride(layout, logical);
    return layout;
}

std::optional<uint64_t> CounterPlace(const Layout& layout, uint32_t pair, int copy) {
    uint64_t counter = uint64_t(copy) * layout.fcrPageSize + layout.usageOffset;
    if (pair == 0) {
        return counter;
    }
    if (layout.stride <= 0) {
        return std::nullopt;
    }
    uint64_t shift = layout.version < 0x0700 && pair >= 31 ? 4096 : 0;
    return layout.patPair1 + shift + uint64_t(pair - 1) * uint64_t(layout.stride) + counter;
}

}  // namespace fuzz
