// Runs of the real program on a pseudo-terminal for the signal and concurrency tests.
#include "tests/hardening/terminal_run.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/fixture/fixture.h"

namespace hardening {

using namespace std::chrono_literals;

TerminalRun::TerminalRun(const pty::Terminal& terminal, const std::string& program,
                         const std::string& dir, const std::vector<std::string>& args)
    : terminal_(terminal), outputDir_(fixture::MakeTempDir()) {
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::string outPath = outputDir_ + "/out", errPath = outputDir_ + "/err";
    fflush(nullptr);
    child_ = fork();
    if (child_ == 0) {
        terminal_.BecomeControllingTerminal();
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
}

TerminalRun::~TerminalRun() {
    if (child_ > 0) {
        pty::Wait(child_, 0ms);  // kills a run a failed test left behind
    }
    fixture::RemoveDir(outputDir_);
}

bool TerminalRun::AwaitOutput(std::string_view text) const {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (fixture::ReadFile(outputDir_ + "/out").find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void TerminalRun::Signal(int signal) const {
    kill(child_, signal);
}

Ended TerminalRun::Finish() {
    int status = pty::Wait(child_, 10s);
    child_ = -1;
    return {fixture::ReadFile(outputDir_ + "/out"), fixture::ReadFile(outputDir_ + "/err"), status};
}

std::string TerminalSettings(const pty::Terminal& terminal) {
    std::string command = "stty -g -F " + terminal.SlaveName();
    FILE* stty = popen(command.c_str(), "r");
    std::string settings;
    char buffer[512];
    for (size_t got; stty != nullptr && (got = fread(buffer, 1, sizeof buffer, stty)) > 0;) {
        settings.append(buffer, got);
    }
    if (stty == nullptr || pclose(stty) != 0) {
        return "stty failed";
    }
    return settings;
}

}  // namespace hardening
