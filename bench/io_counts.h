// Counts of file system calls, as the preloaded counting library writes them at a process's exit
// and the benchmark reads them back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// The environment variable that names the file the counts are written to.
inline constexpr const char* CountsVariable = "ORVANE_BENCH_COUNTS";

struct CallCounts {
    uint64_t open = 0;  // every attempt, failed ones included, whatever it opens
    uint64_t openFailed = 0;
    uint64_t seek = 0;
    uint64_t read = 0;
    uint64_t write = 0;
    uint64_t fsync = 0;
    uint64_t close = 0;
    uint64_t bytesRead = 0;
    uint64_t bytesWritten = 0;
};

// Calls on the regular files a process opened, and on its standard output.
struct IoCounts {
    CallCounts files;
    CallCounts output;
};

// One "scope name value" line per count; returns the length written (the text is cut to fit).
size_t FormatCounts(const IoCounts& counts, char* text, size_t capacity);

// False when the file is missing or lacks a count.
bool ReadCounts(const std::string& path, IoCounts* counts);

}  // namespace bench
