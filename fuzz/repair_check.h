// One in-process run of the program's repair on a fuzzed file set, with standard output
// captured, and the check of what it did to the files.
#pragma once

#include <string>

#include "fuzz/file_set_input.h"

namespace fuzz {

// Points standard output at an in-memory file for CapturedRun; once per process.
void CaptureStandardOutput();

// Runs the program's sequence on the set in dir: open read-write, the version check, the repair
// loop (automatic or through the viewer), close. Returns what it printed on standard output.
// Module state is reset first, so every run starts as a fresh process would.
std::string CapturedRun(const FileSetInput& set, const std::string& dir, bool automatic);

// Aborts unless every byte that changed lies in the usage counter of a copy that the output
// reports writing ("Writing %lx to ..."), holding the value reported last for it, and no file
// of the set changed otherwise or changed its size.
void CheckOnlyReportedCountersChanged(const FileSetInput& set, const std::string& output,
                                      const std::string& dir);

}  // namespace fuzz
