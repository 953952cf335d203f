// The real program run as an operator runs it: a pseudo-terminal is its controlling terminal,
// its standard output and standard error go to files the test reads.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/viewer/pty_process.h"

namespace hardening {

struct Ended {
    std::string out;
    std::string err;
    int status;  // exit status, 128 + the signal that ended the run, -1 when it hung
};

class TerminalRun {
public:
    // Starts `program args...` in dir, with the terminal as its controlling terminal.
    TerminalRun(const pty::Terminal& terminal, const std::string& program, const std::string& dir,
                const std::vector<std::string>& args);
    ~TerminalRun();
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    // Waits until standard output holds `text`; false if it does not come within seconds.
    bool AwaitOutput(std::string_view text) const;

    void Type(std::string_view keys) const { terminal_.Type(keys); }
    void Signal(int signal) const;
    Ended Finish();

private:
    const pty::Terminal& terminal_;
    std::string outputDir_;
    pid_t child_ = -1;
};

// A terminal's settings as `stty -g` prints them.
std::string TerminalSettings(const pty::Terminal& terminal);

}  // namespace hardening
