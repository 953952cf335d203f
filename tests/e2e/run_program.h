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

// Whether the program is a Windows console program: its streams translate "\n" into "\r\n",
// and its failed opens report Windows's error codes and texts.
void SetWindowsTarget(bool windows);
bool WindowsTarget();

// The program's command words, then `args`.
std::vector<std::string> CommandLine(const std::vector<std::string>& args);

RunResult RunProgram(const std::string& workDir, const std::vector<std::string>& args);

// Text as the program means it, with "\n" line ends, turned into what its streams carry.
std::string TargetText(std::string_view text);

// Why the tests make an open fail.
enum class OpenFailure { Missing, Directory, InUse };

struct SystemError {
    int code;
    std::string text;  // the message as the program has it, with the system's own line end
};

// What the target's system reports for a failed open.
SystemError ExpectedError(OpenFailure failure);

}  // namespace e2e
