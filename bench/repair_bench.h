// The repair benchmark: `orvane SET /A` on one file set, timed, its memory and system calls
// measured, beside the physical minimum and a plain sequential read of the same set.
#pragma once

#include <cstdint>
#include <string>

#include "bench/bench_set.h"
#include "bench/io_counts.h"

namespace bench {

inline constexpr int TimedRuns = 15;

struct RepairRow {
    std::string set;
    uint64_t sizeGiB = 0;
    uint32_t files = 0;
    uint32_t pairs = 0;
    double medianSeconds = 0;
    double fastestSeconds = 0;
    double slowestSeconds = 0;
    double coldSeconds = 0;  // one run with the set out of the page cache
    double medianCpuSeconds = 0;
    double fastestCpuSeconds = 0;
    long peakRssKiB = 0;
    CallCounts counted;  // on the set's files
    CallCounts minimum;
    double sequentialSeconds = 0;

    // Positionings and reads per PAT pair, once those of the fixed part are taken off.
    double CallsPerPair() const;
    bool AtMinimum() const;
};

// The counts no repair of this set can go below: the file set's opens (the scan ends at the
// first missing name, then the delta file is tried), a size query per file, the FCR loader's
// two reads, two positioned reads of F bytes per PAT pair, and the damaged pair written back.
CallCounts MinimumFor(const BenchSet& set);

RepairRow MeasureRepair(const SetKind& kind, uint64_t sizeGiB);

}  // namespace bench
