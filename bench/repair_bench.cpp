// Timing and counting `orvane SET /A`: warm-up, timed runs (the damage put back after each), a
// run from a cold page cache, a counted run, then the sequential read for comparison.
#include "bench/repair_bench.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/process.h"

namespace bench {
namespace {

constexpr uint64_t GiB = uint64_t(1) << 30;
constexpr uint32_t CallsPerPairMinimum = 4;  // two positionings, two reads of F bytes
const char* const SwitchLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";

bool SameCounts(const CallCounts& a, const CallCounts& b) {
    return a.open == b.open && a.openFailed == b.openFailed && a.seek == b.seek &&
           a.read == b.read && a.write == b.write && a.fsync == b.fsync && a.close == b.close &&
           a.bytesRead == b.bytesRead && a.bytesWritten == b.bytesWritten;
}

// A run counts only if it repaired the damaged pair and nothing else, as the program should.
void CheckRepair(const BenchSet& set, const ChildRun& run) {
    std::string out = ReadWholeFile(set.Dir() + "/out");
    std::string err = ReadWholeFile(set.Dir() + "/err");
    if (run.status != 0 || out != set.RepairOutput() || err != SwitchLines) {
        Fail("unexpected repair of " + set.BasePath() + " (status " + std::to_string(run.status) +
             "):\n" + out + err);
    }
    if (set.DamagedCounter() != RepairedCounter) {
        Fail("the damaged counter of " + set.BasePath() + " was not rewritten");
    }
    set.PutDamageBack();
}

ChildRun Repair(const BenchSet& set) {
    ChildRun run = Run({OrvanePath, set.BasePath(), "/A"}, set.Dir() + "/out", set.Dir() + "/err");
    CheckRepair(set, run);
    return run;
}

void TimeRepairs(const BenchSet& set, RepairRow& row) {
    Repair(set);  // warm-up: the control pages come into the page cache
    std::vector<double> seconds, cpuSeconds;
    for (int run = 0; run < TimedRuns; ++run) {
        ChildRun timed = Repair(set);
        seconds.push_back(timed.seconds);
        cpuSeconds.push_back(timed.cpuSeconds);
        row.peakRssKiB = std::max(row.peakRssKiB, timed.peakRssKiB);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    row.medianSeconds = seconds[seconds.size() / 2];
    row.fastestSeconds = seconds.front();
    row.slowestSeconds = seconds.back();
    row.medianCpuSeconds = cpuSeconds[cpuSeconds.size() / 2];
    row.fastestCpuSeconds = cpuSeconds.front();
    set.DropFromCache();
    row.coldSeconds = Repair(set).seconds;
}

CallCounts CountRepair(const BenchSet& set) {
    IoCounts counts;
    ChildRun run = RunCounted({OrvanePath, set.BasePath(), "/A"}, set.Dir() + "/out",
                              set.Dir() + "/err", set.Dir() + "/counts", &counts);
    CheckRepair(set, run);
    return counts.files;
}

}  // namespace

double RepairRow::CallsPerPair() const {
    uint64_t fixed = minimum.seek + minimum.read - uint64_t(CallsPerPairMinimum) * pairs;
    return double(counted.seek + counted.read - fixed) / pairs;
}

bool RepairRow::AtMinimum() const {
    return SameCounts(counted, minimum);
}

CallCounts MinimumFor(const BenchSet& set) {
    uint64_t files = set.FilePaths().size();
    uint64_t f = set.FcrPageSize();
    uint64_t pairs = set.Pairs();
    CallCounts minimum;
    minimum.open = files + 2;
    minimum.openFailed = 2;
    minimum.seek = files + 2 + 2 * pairs + 2;
    minimum.read = 2 + 2 * pairs;
    minimum.write = 2;
    minimum.fsync = 1;
    minimum.close = files;
    minimum.bytesRead = FcrFirstRead + f + 2 * f * pairs;
    minimum.bytesWritten = 2 * f;
    return minimum;
}

RepairRow MeasureRepair(const SetKind& kind, uint64_t sizeGiB) {
    fprintf(stderr, "%s set of %llu GiB: building", kind.name, (unsigned long long)sizeGiB);
    BenchSet set(kind, sizeGiB * GiB);
    RepairRow row;
    row.set = kind.name;
    row.sizeGiB = sizeGiB;
    row.files = uint32_t(set.FilePaths().size());
    row.pairs = set.Pairs();
    fprintf(stderr, ", repairing");
    TimeRepairs(set, row);
    row.counted = CountRepair(set);
    row.minimum = MinimumFor(set);
    fprintf(stderr, ", reading sequentially");
    row.sequentialSeconds = set.ReadSequentially();
    fprintf(stderr, "\n");
    return row;
}

}  // namespace bench
