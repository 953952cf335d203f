// Where the usage counters of a file set's control page copies lie, worked out from the format's
// layout rules and the set's bytes alone, never through the program's own geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace fuzz {

struct Layout {
    uint16_t version = 0;
    uint32_t pageSize = 0;
    uint32_t fcrPageSize = 0;  // F: one copy of a control page
    uint32_t usageOffset = 0;
    uint64_t patPair1 = 0;  // where PAT pair 1 starts
    int64_t stride = 0;     // from one PAT pair to the next; 0 where PAT pairs have no place
};

// The layout a set's FCR describes, from the logical bytes before the run; none where those
// bytes are too short to be a Btrieve file of 6.00 or later.
std::optional<Layout> ReadLayout(const std::vector<uint8_t>& logical);

// Logical offset of the counter of a copy of PAT pair n (pair 0: the FCR pair); none where the
// layout places no such pair.
std::optional<uint64_t> CounterPlace(const Layout& layout, uint32_t pair, int copy);

}  // namespace fuzz
