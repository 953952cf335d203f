// The program runner of the end-to-end tests.
#include "tests/e2e/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace e2e {
namespace {

// A run that takes this long has hung; the whole suite takes seconds.
constexpr auto Timeout = std::chrono::seconds(20);

std::vector<std::string> command;
bool windowsTarget = false;

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "run_program: %s: %s\n", what, strerror(errno));
    abort();
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void RunChild(const std::string& workDir, char* const* argv, int out, int err) {
    setsid();
    int input = open("/dev/null", O_RDONLY);
    if (chdir(workDir.c_str()) != 0 || input < 0 || dup2(input, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0) {
        _exit(126);
    }
    execvp(argv[0], argv);
    static const char message[] = "run_program: cannot execute the program\n";
    (void)!write(2, message, sizeof message - 1);
    _exit(127);
}

// Appends what a pipe holds; false once it has reached its end or failed.
bool ReadSome(int fd, std::string& sink) {
    char buffer[65536];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        sink.append(buffer, size_t(got));
        return true;
    }
    return got < 0 && errno == EINTR;
}

// Takes what is left in a pipe once the program has exited. Processes it started (wine's
// server, say) may still hold the write end, so this stops at an empty pipe, not at its end.
void Drain(int fd, std::string& sink) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    while (ReadSome(fd, sink)) {
    }
}

// Reads both pipes until the program has exited (or both pipes have ended); past the deadline
// the program's process group is killed.
bool Collect(pid_t child, int out, int err, RunResult& result) {
    int exited = int(syscall(SYS_pidfd_open, child, 0));
    if (exited < 0) {
        Fail("pidfd_open");
    }
    auto deadline = std::chrono::steady_clock::now() + Timeout;
    bool timedOut = false;
    pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {exited, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !timedOut) {
            kill(-child, SIGKILL);
            timedOut = true;
        }
        if (poll(fds, 3, timedOut ? -1 : int(left.count()) + 1) < 0 && errno != EINTR) {
            Fail("poll");
        }
        bool programEnded = fds[2].revents != 0;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents == 0 && !programEnded)) {
                continue;
            }
            if (programEnded) {
                Drain(fds[i].fd, *sinks[i]);
            }
            if (programEnded || !ReadSome(fds[i].fd, *sinks[i])) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    close(exited);
    return timedOut;
}

}  // namespace

void SetProgramCommand(const std::string& words) {
    command.clear();
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        command.push_back(word);
    }
}

void SetWindowsTarget(bool windows) {
    windowsTarget = windows;
}

bool WindowsTarget() {
    return windowsTarget;
}

std::vector<std::string> CommandLine(const std::vector<std::string>& args) {
    std::vector<std::string> words = command;
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

RunResult RunProgram(const std::string& workDir, const std::vector<std::string>& args) {
    std::vector<std::string> words = CommandLine(args);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        Fail("pipe");
    }
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        Fail("fork");
    }
    if (child == 0) {
        RunChild(workDir, argv.data(), out[1], err[1]);
    }
    close(out[1]);
    close(err[1]);
    RunResult result;
    result.timedOut = Collect(child, out[0], err[0], result);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            Fail("waitpid");
        }
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string TargetText(std::string_view text) {
    std::string target;
    for (char c : text) {
        if (c == '\n' && windowsTarget) {
            target += '\r';
        }
        target += c;
    }
    return target;
}

// A missing file and a directory: POSIX's codes with strerror's texts, or Windows's with its
// system messages. A file in use: the POSIX backend's lock conflict, or a sharing violation.
SystemError ExpectedError(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::Missing:
            return windowsTarget ? SystemError{2, "File not found.\r\n"}
                                 : SystemError{ENOENT, std::string(strerror(ENOENT)) + "\n"};
        case OpenFailure::Directory:
            return windowsTarget ? SystemError{5, "Access denied.\r\n"}
                                 : SystemError{EISDIR, std::string(strerror(EISDIR)) + "\n"};
        case OpenFailure::InUse:
            return windowsTarget ? SystemError{32, "Sharing violation.\r\n"}
                                 : SystemError{EBUSY, "The file is in use by another process\n"};
    }
    abort();
}

}  // namespace e2e
