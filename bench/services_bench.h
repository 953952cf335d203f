// The interactive viewer's writes per screen, and the page-header preload's time and reads per
// page, both on a 1 GiB 8.x set.
#pragma once

#include <cstdint>

#include "bench/io_counts.h"

namespace bench {

struct ViewerResult {
    uint32_t keys = 0;     // typed before the closing Esc, each one drawing a screen
    uint32_t screens = 0;  // pair titles found in standard output
    uint32_t pairsShown = 0;
    IoCounts counts;
    uint64_t outputBytes = 0;  // what standard output holds at the end

    double WritesPerScreen() const;
};

struct PreloadResult {
    uint32_t pagesRead = 0;
    double seconds = 0;  // the call alone, measured in the process
    long peakRssKiB = 0;
    CallCounts counts;   // on the set's files, opening the set included
    CallCounts opening;  // what opening the set costs: size queries and the FCR loader's reads

    double ReadsPerPage() const;
    double SeeksPerPage() const;
};

struct ServicesResult {
    ViewerResult viewer;
    PreloadResult preload;
};

ServicesResult MeasureServices();

}  // namespace bench
