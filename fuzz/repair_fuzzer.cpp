// Fuzz target: arbitrary bytes as a file set, repaired automatically in-process (open, version
// check, the repair loop with /A, close); afterwards only the reported counters may differ.
#include <cstddef>
#include <cstdint>

#include "fuzz/repair_check.h"

namespace {
std::string workDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    workDir = fuzz::MakeWorkDir();
    fuzz::CaptureStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FileSetInput set = fuzz::DecodeFileSet(data, size);
    std::string output = fuzz::CapturedRun(set, workDir, true);
    fuzz::CheckOnlyReportedCountersChanged(set, output, workDir);
    return 0;
}
