// The in-process run and the counters-only check shared by the repair and viewer fuzzers.
#include "fuzz/repair_check.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include "driver/repair_loop.h"
#include "fileio/file_set.h"
#include "fileio/records.h"
#include "fuzz/counter_places.h"

namespace fuzz {
namespace {

int capturedOutput = -1;

void ResetModuleState(bool trace, bool automatic) {
    fileio::TraceEnabled = trace;
    fileio::fileFormat = {};
    memset(&fileio::fcrPagePair, 0, sizeof fileio::fcrPagePair);
    memset(&fileio::patPagePair, 0, sizeof fileio::patPagePair);
    memset(&fileio::secondControlPagePair, 0, sizeof fileio::secondControlPagePair);
    driver::AutoFixEnabled = automatic;
    driver::FileChanged = false;
}

struct Report {
    uint32_t pair;  // 0: the FCR pair
    int copy;
    uint32_t counter;
    bool failed;  // "Sorry, unable to change at this time." followed
};

std::optional<Report> ParseReport(const std::string& line) {
    unsigned long counter = 0;
    int copy = 0;
    int pair = 0;
    int end = 0;
    if (sscanf(line.c_str(), "Writing %lx to FCR %d%n", &counter, &copy, &end) == 2 &&
        size_t(end) == line.size()) {
        return Report{0, copy, uint32_t(counter), false};
    }
    end = 0;
    if (sscanf(line.c_str(), "Writing %lx to PAT %d in PAT Pair %d%n", &counter, &copy, &pair,
               &end) == 3 &&
        size_t(end) == line.size()) {
        return Report{uint32_t(pair), copy, uint32_t(counter), false};
    }
    if (line.rfind("Writing ", 0) == 0) {
        Finding("a report line of unknown form:", line);
    }
    return std::nullopt;
}

std::vector<Report> Reports(const std::string& output) {
    std::vector<Report> reports;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line == "Sorry, unable to change at this time." && !reports.empty()) {
            reports.back().failed = true;
        } else if (std::optional<Report> report = ParseReport(line)) {
            reports.push_back(*report);
        }
    }
    return reports;
}

// Bytes a failed rewrite may have left either way.
constexpr int Either = -1;

// The logical bytes the set must hold after the reported rewrites, Either where unknown.
std::vector<int> ExpectedLogical(const FileSetInput& set, const std::string& output) {
    std::vector<uint8_t> logical = set.Logical();
    std::vector<int> expected(logical.begin(), logical.end());
    std::vector<Report> reports = Reports(output);
    if (reports.empty()) {
        return expected;
    }
    std::optional<Layout> layout = ReadLayout(logical);
    if (!layout) {
        Finding("a rewrite reported for a set that is no Btrieve file of 6.00 or later", output);
    }
    for (const Report& report : reports) {
        std::optional<uint64_t> place = CounterPlace(*layout, report.pair, report.copy);
        if (!place || report.copy < 0 || report.copy > 1 || *place + 4 > expected.size()) {
            Finding("a rewrite reported where the layout has no such copy:", output);
        }
        for (uint64_t i = 0; i < 4; ++i) {
            expected[*place + i] = report.failed ? Either : int((report.counter >> (8 * i)) & 0xFF);
        }
    }
    return expected;
}

}  // namespace

void CaptureStandardOutput() {
    capturedOutput = memfd_create("orvane-stdout", MFD_CLOEXEC);
    if (capturedOutput < 0 || dup2(capturedOutput, STDOUT_FILENO) < 0) {
        Finding("cannot capture standard output", strerror(errno));
    }
}

std::string CapturedRun(const FileSetInput& set, const std::string& dir, bool automatic) {
    std::string path = WriteFileSet(set, dir);
    fflush(stdout);
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) {
        Finding("cannot reset the captured output", strerror(errno));
    }
    ResetModuleState(set.trace, automatic);
    if (fileio::OpenFileSetReadWrite(path.c_str()) && fileio::fileFormat.version >= 0x0600) {
        driver::RepairPairs();
    }
    fileio::CloseFileSet();  // also after a failed open, which leaves its handles to the caller
    fflush(stdout);
    std::string output;
    char buffer[65536];
    ssize_t got;
    for (off_t at = 0; (got = pread(STDOUT_FILENO, buffer, sizeof buffer, at)) > 0; at += got) {
        output.append(buffer, size_t(got));
    }
    return output;
}

void CheckOnlyReportedCountersChanged(const FileSetInput& set, const std::string& output,
                                      const std::string& dir) {
    std::vector<int> expected = ExpectedLogical(set, output);
    uint64_t start = 0;
    for (unsigned k = 0; k < set.extents.size(); ++k) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(dir + "/" + FileName(k), &bytes) ||
            bytes.size() != set.extents[k].size()) {
            Finding("a file of the set changed its size:", FileName(k));
        }
        for (uint64_t i = 0; i < bytes.size(); ++i) {
            int want = expected[start + i];
            if (want != Either && want != bytes[i]) {
                Finding("a byte changed that no report accounts for, in",
                        FileName(k) + " at " + std::to_string(i));
            }
        }
        start += bytes.size();
    }
    std::vector<uint8_t> delta;
    if (set.hasDelta && (!ReadWholeFile(dir + "/" + DeltaFileName, &delta) || delta != set.delta)) {
        Finding("the delta file changed", "");
    }
}

}  // namespace fuzz
