// Printing the benchmark's table and the targets it is held to.
#include "bench/report.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace bench {
namespace {

constexpr double RepairTargetSeconds = 0.2;
constexpr long RssTargetKiB = 4 * 1024;
constexpr double LinearSpread = 1.5;  // marginal costs per pair that agree within this factor

const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

// A target that the sizes asked for cannot show.
constexpr const char* NotMeasured = "n/a";

void PrintHeader() {
    printf(
        "orvane SET /A: 4096-byte pages, one damaged PAT pair near the end; wall time is the "
        "median of %d runs after a warm-up\n",
        TimedRuns);
    printf(
        "%-5s %4s %5s %6s %9s %13s %7s %8s %7s %7s %4s %6s %6s %5s %5s %5s %10s %11s %11s %10s "
        "%10s\n",
        "set", "GiB", "files", "pairs", "median ms", "range ms", "cpu ms", "cold ms", "us/pair",
        "RSS KiB", "open", "seek", "read", "write", "fsync", "close", "calls/pair", "bytes read",
        "minimum", "seq read s", "seq/repair");
}

void PrintRow(const RepairRow& row) {
    char range[32];
    snprintf(range, sizeof range, "%.2f-%.2f", row.fastestSeconds * 1e3, row.slowestSeconds * 1e3);
    const CallCounts& c = row.counted;
    printf(
        "%-5s %4llu %5u %6u %9.2f %13s %7.2f %8.1f %7.2f %7ld %4llu %6llu %6llu %5llu %5llu %5llu "
        "%10.2f "
        "%11llu %11llu %10.2f %9.0fx\n",
        row.set.c_str(), (unsigned long long)row.sizeGiB, row.files, row.pairs,
        row.medianSeconds * 1e3, range, row.medianCpuSeconds * 1e3, row.coldSeconds * 1e3,
        row.medianSeconds * 1e6 / row.pairs, row.peakRssKiB, (unsigned long long)c.open,
        (unsigned long long)c.seek, (unsigned long long)c.read, (unsigned long long)c.write,
        (unsigned long long)c.fsync, (unsigned long long)c.close, row.CallsPerPair(),
        (unsigned long long)c.bytesRead, (unsigned long long)row.minimum.bytesRead,
        row.sequentialSeconds, row.sequentialSeconds / row.medianSeconds);
}

// Every count that differs from the minimum, with the minimum beside it.
void PrintExcess(const RepairRow& row) {
    struct Pair {
        const char* name;
        uint64_t counted, minimum;
    };
    const CallCounts &c = row.counted, &m = row.minimum;
    const Pair pairs[] = {{"open", c.open, m.open},
                          {"failed open", c.openFailed, m.openFailed},
                          {"seek", c.seek, m.seek},
                          {"read", c.read, m.read},
                          {"write", c.write, m.write},
                          {"fsync", c.fsync, m.fsync},
                          {"close", c.close, m.close},
                          {"bytes read", c.bytesRead, m.bytesRead},
                          {"bytes written", c.bytesWritten, m.bytesWritten}};
    for (const Pair& pair : pairs) {
        if (pair.counted != pair.minimum) {
            printf("  %s %llu GiB: %s %llu, minimum %llu\n", row.set.c_str(),
                   (unsigned long long)row.sizeGiB, pair.name, (unsigned long long)pair.counted,
                   (unsigned long long)pair.minimum);
        }
    }
}

// The rows of one kind of set, in the order of their sizes.
std::vector<const RepairRow*> RowsOf(const std::vector<RepairRow>& rows, const std::string& set) {
    std::vector<const RepairRow*> found;
    for (const RepairRow& row : rows) {
        if (row.set == set) {
            found.push_back(&row);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const RepairRow* a, const RepairRow* b) { return a->sizeGiB < b->sizeGiB; });
    return found;
}

std::vector<std::string> SetNames(const std::vector<RepairRow>& rows) {
    std::vector<std::string> names;
    for (const RepairRow& row : rows) {
        if (std::find(names.begin(), names.end(), row.set) == names.end()) {
            names.push_back(row.set);
        }
    }
    return names;
}

void PrintTimeTarget(const std::vector<RepairRow>& rows) {
    bool met = true, measured = true;
    std::string figures;
    for (const std::string& name : SetNames(rows)) {
        const RepairRow& largest = *RowsOf(rows, name).back();
        measured = measured && largest.sizeGiB >= 64;
        met = met && largest.medianSeconds < RepairTargetSeconds;
        char figure[64];
        snprintf(figure, sizeof figure, "%s%s %llu GiB %.3f s", figures.empty() ? "" : ", ",
                 name.c_str(), (unsigned long long)largest.sizeGiB, largest.medianSeconds);
        figures += figure;
    }
    printf("  64 GiB set repaired in under 0.2 s:    %-6s %s\n",
           measured ? Verdict(met) : NotMeasured, figures.c_str());
}

bool PrintCountTargets(const std::vector<RepairRow>& rows) {
    bool fourPerPair = true, bytesAtMinimum = true, allAtMinimum = true;
    long peakRss = 0;
    for (const RepairRow& row : rows) {
        fourPerPair = fourPerPair && row.CallsPerPair() == 4.0;
        bytesAtMinimum = bytesAtMinimum && row.counted.bytesRead == row.minimum.bytesRead;
        allAtMinimum = allAtMinimum && row.AtMinimum();
        peakRss = std::max(peakRss, row.peakRssKiB);
    }
    printf("  system calls per PAT pair exactly 4:   %-6s %s\n", Verdict(fourPerPair),
           fourPerPair ? "4 in every row (2 positionings, 2 reads of F bytes)" : "see calls/pair");
    printf("  bytes read equal to the minimum:       %-6s %s\n", Verdict(bytesAtMinimum),
           "minimum = 16384 + F for the FCR loader, 2F per PAT pair");
    printf("  every count at its minimum:            %-6s %s\n", Verdict(allAtMinimum),
           "opens, seeks, reads, writes, fsyncs, closes, bytes");
    for (const RepairRow& row : rows) {
        PrintExcess(row);
    }
    printf("  peak resident memory under 4 MiB:      %-6s at most %ld KiB\n",
           Verdict(peakRss < RssTargetKiB), peakRss);
    return fourPerPair && bytesAtMinimum;
}

// Marginal processor time per pair between consecutive sizes of one kind of set, from the
// fastest runs: other work on the machine only ever adds time, and adds least to these.
void PrintLinearTarget(const std::vector<RepairRow>& rows) {
    bool met = true, measured = true;
    std::string figures;
    for (const std::string& name : SetNames(rows)) {
        std::vector<const RepairRow*> sized = RowsOf(rows, name);
        measured = measured && sized.size() > 1;
        double low = 1e300, high = 0;
        figures += (figures.empty() ? " " : "; ") + name;
        for (size_t i = 1; i < sized.size(); ++i) {
            double marginal = (sized[i]->fastestCpuSeconds - sized[i - 1]->fastestCpuSeconds) *
                              1e6 / (sized[i]->pairs - sized[i - 1]->pairs);
            low = std::min(low, marginal);
            high = std::max(high, marginal);
            char figure[64];
            snprintf(figure, sizeof figure, " %llu-%llu GiB %.2f us",
                     (unsigned long long)sized[i - 1]->sizeGiB,
                     (unsigned long long)sized[i]->sizeGiB, marginal);
            figures += figure;
        }
        met = met && low > 0 && high <= low * LinearSpread;
    }
    printf("  cost linear in the PAT pairs:          %-6s %s\n",
           measured ? Verdict(met) : NotMeasured,
           measured ? ("marginal processor time per pair, fastest runs:" + figures).c_str()
                    : "needs two sizes or more");
}

bool PrintViewer(const ViewerResult& v) {
    bool oneWrite = v.counts.output.write == v.screens;
    bool allCounted = v.counts.output.bytesWritten == v.outputBytes;
    bool everyKeyDrew = v.screens == v.keys + 1;
    printf(
        "\nviewer (orvane SET on a pseudo-terminal, 1 GiB 8.x set): %u keys, %u screens, %llu "
        "writes to standard output = %.2f per screen: %s\n",
        v.keys, v.screens, (unsigned long long)v.counts.output.write, v.WritesPerScreen(),
        Verdict(oneWrite && everyKeyDrew));
    printf(
        "  standard output holds %llu bytes, %llu of them written by the counted writes: %s; "
        "%llu reads and %llu positionings of the set for %u pairs shown\n",
        (unsigned long long)v.outputBytes, (unsigned long long)v.counts.output.bytesWritten,
        allCounted ? "all" : "NOT ALL", (unsigned long long)v.counts.files.read,
        (unsigned long long)v.counts.files.seek, v.pairsShown);
    return oneWrite && allCounted && everyKeyDrew;
}

bool PrintPreload(const PreloadResult& p) {
    bool twoReads = p.counts.read - p.opening.read == 2ull * p.pagesRead;
    printf(
        "\nPreloadPageHeaders (1 GiB 8.x set, in process): %u pages in %.3f s = %.2f us per "
        "page; %.2f reads and %.2f positionings per page: %s; peak RSS %ld KiB\n",
        p.pagesRead, p.seconds, p.seconds * 1e6 / p.pagesRead, p.ReadsPerPage(), p.SeeksPerPage(),
        Verdict(twoReads), p.peakRssKiB);
    return twoReads;
}

}  // namespace

bool PrintReport(const std::vector<RepairRow>& rows, const ServicesResult& services) {
    PrintHeader();
    for (const RepairRow& row : rows) {
        PrintRow(row);
    }
    printf("\ntargets, as measured on this machine:\n");
    PrintTimeTarget(rows);
    bool counts = PrintCountTargets(rows);
    PrintLinearTarget(rows);
    bool viewer = PrintViewer(services.viewer);
    bool preload = PrintPreload(services.preload);
    return counts && viewer && preload;
}

}  // namespace bench
