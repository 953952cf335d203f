// The viewer through a pseudo-terminal with the counting library preloaded, and the preload
// probe, on one 1 GiB 8.x set.
#include "bench/services_bench.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/bench_set.h"
#include "bench/process.h"
#include "tests/viewer/pty_process.h"

namespace bench {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t ServicesSetBytes = uint64_t(1) << 30;
constexpr uint32_t FirstCachedPage = 4;
constexpr uint32_t FcrReads = 2;

const std::string PgUp = "\x1B[5~";
const std::string PgDn = "\x1B[6~";
// Each key draws one screen: segments of the FCR pair, then pair 1, then pair 2.
const std::vector<std::string> ViewerKeys = {PgDn, PgDn, PgUp, "\r", PgDn, " "};
constexpr uint32_t ViewerPairs = 3;
const std::string LoneEsc = "\x1B";

uint64_t SizeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0;
}

// Waits for standard output to grow past `size`: the screen drawn for the last key.
uint64_t AwaitScreen(const std::string& path, uint64_t size) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (SizeOf(path) <= size) {
        if (std::chrono::steady_clock::now() > deadline) {
            Fail("the viewer drew no screen for a key");
        }
        std::this_thread::sleep_for(2ms);
    }
    std::this_thread::sleep_for(20ms);  // the rest of a screen that straddles a page
    return SizeOf(path);
}

uint32_t CountOf(std::string_view text, std::string_view part) {
    uint32_t count = 0;
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The program as its operator would run it, with the terminal as its console.
pid_t SpawnViewer(const pty::Terminal& terminal, const BenchSet& set) {
    std::string out = set.Dir() + "/out", err = set.Dir() + "/err";
    std::string counts = set.Dir() + "/counts", base = set.BasePath();
    return pty::Spawn(terminal, [&] {
        int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
            return 126;
        }
        PreloadCounting(counts);
        char* argv[] = {const_cast<char*>(OrvanePath), base.data(), nullptr};
        execv(argv[0], argv);
        return 127;
    });
}

ViewerResult MeasureViewer(const BenchSet& set) {
    pty::Terminal terminal;
    std::string out = set.Dir() + "/out";
    pid_t child = SpawnViewer(terminal, set);
    uint64_t size = AwaitScreen(out, 0);
    for (const std::string& key : ViewerKeys) {
        terminal.Type(key);
        size = AwaitScreen(out, size);
    }
    terminal.Type(LoneEsc);
    int status = pty::Wait(child, 10s);
    ViewerResult result;
    if (status != 0 || !ReadCounts(set.Dir() + "/counts", &result.counts)) {
        Fail("the viewer run ended with status " + std::to_string(status));
    }
    std::string screens = ReadWholeFile(out);
    result.keys = uint32_t(ViewerKeys.size());
    result.screens = CountOf(screens, "File Control Record Pages:") +
                     CountOf(screens, "Page Allocation Table Pair ");
    result.pairsShown = ViewerPairs;
    result.outputBytes = screens.size();
    return result;
}

PreloadResult MeasurePreload(const BenchSet& set) {
    IoCounts counts;
    ChildRun run = RunCounted({PreloadProbePath, set.BasePath()}, set.Dir() + "/out",
                              set.Dir() + "/err", set.Dir() + "/counts", &counts);
    std::string out = ReadWholeFile(set.Dir() + "/out");
    uint32_t loaded = 0;
    int result = 0;
    long long nanoseconds = 0;
    if (run.status != 0 ||
        sscanf(out.c_str(),
               "Pre-loaded %" SCNu32 " physical page headers into memory.\npreload %d %lld",
               &loaded, &result, &nanoseconds) != 3 ||
        result != 1 || loaded <= FirstCachedPage) {
        Fail("unexpected preload (status " + std::to_string(run.status) + "):\n" + out);
    }
    PreloadResult preload;
    preload.pagesRead = loaded - FirstCachedPage;
    preload.seconds = double(nanoseconds) / 1e9;
    preload.peakRssKiB = run.peakRssKiB;
    preload.counts = counts.files;
    preload.opening.seek = set.FilePaths().size() + FcrReads;
    preload.opening.read = FcrReads;
    return preload;
}

}  // namespace

double ViewerResult::WritesPerScreen() const {
    return double(counts.output.write) / screens;
}

double PreloadResult::ReadsPerPage() const {
    return double(counts.read - opening.read) / pagesRead;
}

double PreloadResult::SeeksPerPage() const {
    return double(counts.seek - opening.seek) / pagesRead;
}

ServicesResult MeasureServices() {
    fprintf(stderr, "8.x set of 1 GiB: viewer and page-header preload\n");
    BenchSet set(V8Set, ServicesSetBytes);
    return {MeasureViewer(set), MeasurePreload(set)};
}

}  // namespace bench
