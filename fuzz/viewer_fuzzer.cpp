// Fuzz target: the interactive repair loop driven by fuzzed key bytes through the scripted
// console, on a fuzzed file set. Byte 0 is the number of key bytes that follow; the rest is the
// file set. When the keys run out the console fails and the viewer stops the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/repair_check.h"
#include "tests/viewer/scripted_console.h"

namespace {
std::string workDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    workDir = fuzz::MakeWorkDir();
    fuzz::CaptureStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t keyCount = size > 0 ? std::min<size_t>(data[0], size - 1) : 0;
    const uint8_t* keys = size > 0 ? data + 1 : data;
    scripted::Reset(std::vector<uint8_t>(keys, keys + keyCount));
    fuzz::FileSetInput set = fuzz::DecodeFileSet(keys + keyCount, size - (keys + keyCount - data));
    std::string output = fuzz::CapturedRun(set, workDir, false);
    fuzz::CheckOnlyReportedCountersChanged(set, output, workDir);
    return 0;
}
