// The benchmark's report: one table of the repairs, the targets with what was measured against
// them, the viewer's and the preload's figures.
#pragma once

#include <vector>

#include "bench/repair_bench.h"
#include "bench/services_bench.h"

namespace bench {

// Prints the report; false when a count misses its target (the times and sizes only report).
bool PrintReport(const std::vector<RepairRow>& rows, const ServicesResult& services);

}  // namespace bench
