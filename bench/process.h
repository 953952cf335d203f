// Running a benchmarked program as a child process: its streams to files, its wall time from
// start to exit, its peak resident memory, and optionally its counted file system calls.
#pragma once

#include <string>
#include <vector>

#include "bench/io_counts.h"

namespace bench {

// Built beside the benchmark: the program, the preload probe, the runner; and what LD_PRELOAD
// holds for a counted run: the counting library (after the sanitizer runtime, when built with it).
extern const char* const OrvanePath;
extern const char* const CountingPreload;
extern const char* const PreloadProbePath;
extern const char* const RunnerPath;

struct ChildRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time: what a busy machine adds least to
    long peakRssKiB = 0;
};

// Runs argv with standard input from /dev/null and its output streams written to files.
ChildRun Run(const std::vector<std::string>& argv, const std::string& outPath,
             const std::string& errPath);

// The same with the counting library preloaded; the counts are read back into *counts.
ChildRun RunCounted(const std::vector<std::string>& argv, const std::string& outPath,
                    const std::string& errPath, const std::string& countsPath, IoCounts* counts);

// Sets the variables that preload the counting library into a program exec'd after this.
void PreloadCounting(const std::string& countsPath);

std::string ReadWholeFile(const std::string& path);

// Ends the benchmark: a run that did not do the expected work measures nothing. The directories
// kept on the list are removed first.
[[noreturn]] void Fail(const std::string& what);
void RemoveOnFailure(const std::string& dir);
void KeepOnFailure(const std::string& dir);

}  // namespace bench
