// A pseudo-terminal for tests, and child processes that have it as their controlling terminal,
// so that what they read from /dev/tty is what the test types.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pty {

// A child's standard input: /dev/null, or the terminal itself for a program that finds its
// console through its standard streams (one run under wine does).
enum class Input { Null, Terminal };

class Terminal {
public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Sends bytes as if typed, in one write.
    void Type(std::string_view bytes) const;

    // The terminal's current mode, as the child last set it.
    termios Mode() const;

    // Waits until the child has turned canonical mode off, so that keys typed from then on
    // reach it unedited; false if that does not happen within the timeout.
    bool AwaitKeyMode(std::chrono::milliseconds timeout) const;

    // Reads what the child has written to the terminal until `length` bytes have come or the
    // timeout has passed.
    std::string Read(size_t length, std::chrono::milliseconds timeout) const;

    // Hangs the terminal up: the child's session loses it.
    void Close();

    // In a forked child: a new session whose controlling terminal is this one's slave, with
    // standard input as given and no hold on the master. Only async-signal-safe calls.
    void BecomeControllingTerminal(Input input = Input::Null) const;

    const std::string& SlaveName() const { return slaveName; }

private:
    int master = -1;
    std::string slaveName;
};

// Forks a child that takes the terminal, runs `body` and exits with its result.
pid_t Spawn(const Terminal& terminal, const std::function<int()>& body);

// Waits for the child; its exit status, 128 + the signal that ended it, or -1 after killing it
// when the timeout passes first.
int Wait(pid_t child, std::chrono::milliseconds timeout);

}  // namespace pty
