// Pseudo-terminals and controlling-terminal children for the console and interactive tests.
#include "tests/viewer/pty_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace pty {
namespace {

[[noreturn]] void Fail(const char* what) {
    perror(what);
    abort();
}

}  // namespace

Terminal::Terminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        Fail("posix_openpt");
    }
    slaveName = ptsname(master);
    winsize size = {};
    size.ws_row = 25;
    size.ws_col = 80;
    ioctl(master, TIOCSWINSZ, &size);
}

Terminal::~Terminal() {
    Close();
}

void Terminal::Type(std::string_view bytes) const {
    if (write(master, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        Fail("typing");
    }
}

termios Terminal::Mode() const {
    termios mode = {};
    if (tcgetattr(master, &mode) != 0) {
        Fail("tcgetattr");
    }
    return mode;
}

bool Terminal::AwaitKeyMode(std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while ((Mode().c_lflag & ICANON) != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string Terminal::Read(size_t length, std::chrono::milliseconds timeout) const {
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.size() < length) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready = {master, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, int(left.count())) < 0) {
            break;
        }
        char buffer[4096];
        ssize_t got = (ready.revents & POLLIN) != 0 ? read(master, buffer, sizeof buffer) : -1;
        if (got > 0) {
            text.append(buffer, size_t(got));
        } else {
            // No slave open yet (or any more): the child may still be on its way to it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return text;
}

void Terminal::Close() {
    if (master >= 0) {
        close(master);
        master = -1;
    }
}

void Terminal::BecomeControllingTerminal(Input input) const {
    close(master);  // a hang-up is only seen once no one holds the master
    setsid();
    int slave = open(slaveName.c_str(), O_RDWR);
    int in = input == Input::Terminal ? slave : open("/dev/null", O_RDONLY);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0 || in < 0 || dup2(in, 0) < 0) {
        _exit(126);
    }
    close(slave);
    if (in != slave) {
        close(in);
    }
}

pid_t Spawn(const Terminal& terminal, const std::function<int()>& body) {
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        Fail("fork");
    }
    if (child == 0) {
        terminal.BecomeControllingTerminal();
        int result = body();
        fflush(nullptr);
        exit(result);  // exit, not _exit: the way out through atexit is one of those tested
    }
    return child;
}

int Wait(pid_t child, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR) {
            Fail("waitpid");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace pty
