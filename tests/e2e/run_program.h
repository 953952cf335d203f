// Runs the built program as a user would: in a working directory, with arguments, standard
// input from /dev/null and no controlling terminal, capturing both output streams exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct RunResult {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error, byte for byte
    int status = -1;  // exit status, or 128 + signal number
    bool timedOut = false;
};

// The program's command, as words separated by spaces (e.g. "wine /path/orvane.exe").
void SetProgramCommand(const std::string& words);

// Whether the program's streams translate "\n" into "\r\n", as a Windows console program's do.
void SetCrlfTarget(bool crlf);

RunResult RunProgram(const std::string& workDir, const std::vector<std::string>& args);

// Text as the program means it, with "\n" line ends, turned into what its streams carry.
std::string TargetText(std::string_view text);

}  // namespace e2e
