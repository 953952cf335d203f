// The POSIX console through a real pseudo-terminal: key translation, the terminal's mode while
// reading and after every way out, no console at all, and how screens reach standard output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "platform/console_api.h"
#include "tests/viewer/pty_process.h"

namespace {

using namespace std::chrono_literals;

// A pipe from a child back to the test.
struct Pipe {
    Pipe() {
        if (pipe(ends) != 0) {
            abort();
        }
    }
    ~Pipe() {
        close(ends[0]);
        close(ends[1]);
    }

    void Send(std::string_view bytes) const {
        if (write(ends[1], bytes.data(), bytes.size()) < 0) {
            _exit(125);
        }
    }

    std::string Receive(size_t length, std::chrono::milliseconds timeout = 2s) const {
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (text.size() < length) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready = {ends[0], POLLIN, 0};
            if (left.count() <= 0 || poll(&ready, 1, int(left.count())) <= 0) {
                break;
            }
            char byte;
            if (read(ends[0], &byte, 1) != 1) {
                break;
            }
            text += byte;
        }
        return text;
    }

    int ends[2];
};

// Opens the console, says so, then reads keys until the console fails, sending each byte on.
int EchoKeys(const Pipe& keys) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 2);  // the hang-up at the end may be reported
    if (!platform::OpenConsole()) {
        return 3;
    }
    keys.Send("R");
    uint8_t key = 0;
    while (platform::ReadConsoleKey(&key)) {
        keys.Send(std::string(1, char(key)));
    }
    return 0;
}

TEST(ConsoleTest, TerminalInputBecomesKeyBytes) {
    struct Case {
        std::string typed;
        std::string keys;
    };
    const std::string other = "\xE0" + std::string(1, '\0');  // an extended key of no use here
    const Case cases[] = {
        {"\r", "\r"},
        {" ", " "},
        {"c", "c"},
        {"C", "C"},
        {"\x7F", "\x08"},
        {"\x08", "\x08"},
        {"\t", "\t"},
        {"\x1B[5~", "\xE0\x49"},
        {"\x1B[6~", "\xE0\x51"},
        {"\x1B[5~c",
         "\xE0\x49"
         "c"},
        {"\x1B[A", other},
        {"\x1B[D", other},
        {"\x1B[H", other},
        {"\x1BOF", other},
        {"\x1B[1~", other},
        {"\x1BOP", other},
        {"\x1B[15~", other},
        {"\x1B[24~", other},
        {"\x1B[1;5C", other},  // Ctrl+Right: its final byte is a C
        {"\x1B[5;5~", other},
        {"\x1B[[C", other},  // F3 on the Linux console
        {"\x1B"
         "c",
         other},  // Alt+c
        {std::string(1, '\0'), other},
        {"\xE0", other},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\x1B", "\x1B"},
        {"\x1B\x1B", "\x1B\x1B"},
    };
    pty::Terminal terminal;
    Pipe keys;
    pid_t child = pty::Spawn(terminal, [&] { return EchoKeys(keys); });
    ASSERT_EQ(keys.Receive(1), "R");
    for (const Case& c : cases) {
        terminal.Type(c.typed);
        EXPECT_EQ(keys.Receive(c.keys.size()), c.keys) << testing::PrintToString(c.typed);
    }
    EXPECT_EQ(keys.Receive(1, 300ms), "") << "keys beyond those typed";
    // A hang-up ends the reader: through SIGHUP, or through the failed read if that comes first.
    terminal.Close();
    int status = pty::Wait(child, 5s);
    EXPECT_TRUE(status == 128 + SIGHUP || status == 0) << status;
}

bool SameMode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

void ExpectReadingMode(const termios& mode, const termios& original) {
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | IEXTEN), 0u);
    EXPECT_EQ(mode.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_NE(mode.c_lflag & ISIG, 0u) << "Ctrl+C must still interrupt";
    EXPECT_EQ(mode.c_oflag, original.c_oflag) << "output must still start lines";
}

// Opens the console, tells the test, then reads keys; "a" is a fatal error.
int ReadUntilEnter(const Pipe& ready) {
    rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (!platform::OpenConsole()) {
        return 3;
    }
    ready.Send("R");
    uint8_t key = 0;
    while (platform::ReadConsoleKey(&key)) {
        if (key == 'a') {
            abort();
        }
        if (key == '\r') {
            return 0;
        }
    }
    return 4;
}

TEST(ConsoleTest, TerminalIsRestoredOnEveryWayOut) {
    struct Case {
        const char* name;
        const char* typed;
        int signal;
        int status;
    };
    for (Case c : {Case{"normal end", "\r", 0, 0}, Case{"Ctrl+C", "\x03", 0, 128 + SIGINT},
                   Case{"fatal error", "a", 0, 128 + SIGABRT},
                   Case{"SIGTERM", nullptr, SIGTERM, 128 + SIGTERM},
                   Case{"SIGHUP", nullptr, SIGHUP, 128 + SIGHUP},
                   Case{"SIGQUIT", nullptr, SIGQUIT, 128 + SIGQUIT}}) {
        SCOPED_TRACE(c.name);
        pty::Terminal terminal;
        termios original = terminal.Mode();
        Pipe ready;
        pid_t child = pty::Spawn(terminal, [&] { return ReadUntilEnter(ready); });
        ASSERT_EQ(ready.Receive(1), "R");
        ExpectReadingMode(terminal.Mode(), original);
        if (c.typed != nullptr) {
            terminal.Type(c.typed);
        } else {
            kill(child, c.signal);
        }
        EXPECT_EQ(pty::Wait(child, 5s), c.status);
        EXPECT_TRUE(SameMode(terminal.Mode(), original));
    }
}

TEST(ConsoleTest, SignalsIgnoredAtStartStayIgnored) {
    pty::Terminal terminal;
    Pipe ready;
    pid_t child = pty::Spawn(terminal, [&] {
        signal(SIGHUP, SIG_IGN);  // as nohup starts a program
        return ReadUntilEnter(ready);
    });
    ASSERT_EQ(ready.Receive(1), "R");
    kill(child, SIGHUP);
    terminal.Type("\r");
    EXPECT_EQ(pty::Wait(child, 5s), 0);
}

// Like a shell with job control: runs the reader as a foreground job of its own, and reports
// its process id and each stop. Only such a job can be stopped by Ctrl+Z.
int RunAsForegroundJob(const Pipe& ready, const Pipe& events) {
    int tty = open("/dev/tty", O_RDWR);
    signal(SIGTTOU, SIG_IGN);
    pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        signal(SIGTTOU, SIG_DFL);
        exit(ReadUntilEnter(ready));
    }
    setpgid(job, job);
    tcsetpgrp(tty, job);
    events.Send(std::to_string(job) + "\n");
    for (;;) {
        int status = 0;
        if (waitpid(job, &status, WUNTRACED) != job) {
            return 5;
        }
        if (!WIFSTOPPED(status)) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 6;
        }
        events.Send("S");
    }
}

TEST(ConsoleTest, SuspendGivesTheTerminalBackAndResumeTakesItAgain) {
    pty::Terminal terminal;
    termios original = terminal.Mode();
    Pipe ready, events;
    pid_t shell = pty::Spawn(terminal, [&] { return RunAsForegroundJob(ready, events); });
    std::string jobLine;
    for (std::string byte; (byte = events.Receive(1)) != "\n" && !byte.empty();) {
        jobLine += byte;
    }
    ASSERT_EQ(ready.Receive(1), "R");
    ExpectReadingMode(terminal.Mode(), original);

    terminal.Type("\x1A");  // Ctrl+Z
    ASSERT_EQ(events.Receive(1), "S");
    EXPECT_TRUE(SameMode(terminal.Mode(), original));

    kill(pid_t(std::stoi(jobLine)), SIGCONT);
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (SameMode(terminal.Mode(), original) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ExpectReadingMode(terminal.Mode(), original);
    terminal.Type("\r");
    EXPECT_EQ(pty::Wait(shell, 5s), 0);
    EXPECT_TRUE(SameMode(terminal.Mode(), original));
}

TEST(ConsoleTest, NoConsoleIsReportedOnceAndReadsFail) {
    Pipe results, errors;
    pid_t child = fork();
    if (child == 0) {
        setsid();  // a session without a controlling terminal
        dup2(errors.ends[1], 2);
        uint8_t key = 0;
        int opened = platform::OpenConsole();
        int again = platform::OpenConsole();
        int read = platform::ReadConsoleKey(&key);
        results.Send(std::to_string(opened) + std::to_string(again) + std::to_string(read));
        _exit(0);
    }
    EXPECT_EQ(results.Receive(3), "000");
    EXPECT_EQ(pty::Wait(child, 5s), 0);
    EXPECT_EQ(errors.Receive(200, 300ms),
              "No console to read keys from (/dev/tty: No such device or address); stopping.\n");
}

TEST(ConsoleTest, ScreensKeepTheirFrameBytesExceptOnAUtf8Terminal) {
    const std::string screen = "ab\xDA\xC4\xBF\xB3\xC0\xD9\xB4\xE0z";
    const std::string boxes = "ab\u250C\u2500\u2510\u2502\u2514\u2518\xB4\xE0z";
    struct Case {
        bool toTerminal;
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        std::string shown;
    };
    for (const Case& c : {
             Case{false, nullptr, nullptr, "C.UTF-8", screen},
             Case{true, nullptr, nullptr, "C.UTF-8", boxes},
             Case{true, nullptr, "en_US.utf8", nullptr, boxes},
             Case{true, "C", nullptr, "C.UTF-8", screen},
             Case{true, "", nullptr, "de_DE.UTF-8", boxes},
             Case{true, nullptr, nullptr, nullptr, screen},
             Case{true, nullptr, nullptr, "en_US.ISO-8859-1", screen},
         }) {
        SCOPED_TRACE(testing::Message()
                     << c.toTerminal << " " << (c.lcAll ? c.lcAll : "-") << " "
                     << (c.lcCtype ? c.lcCtype : "-") << " " << (c.lang ? c.lang : "-"));
        pty::Terminal terminal;
        Pipe fileSide, seen;
        pid_t child = pty::Spawn(terminal, [&] {
            int out =
                c.toTerminal ? open(terminal.SlaveName().c_str(), O_WRONLY) : fileSide.ends[1];
            dup2(out, 1);
            const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
            const char* values[] = {c.lcAll, c.lcCtype, c.lang};
            for (int i = 0; i < 3; ++i) {
                values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
            }
            printf("before ");  // still buffered: it must come first
            platform::WriteScreen(screen.data(), screen.size());
            seen.Receive(1);  // the session's end would discard output not yet read
            return 0;
        });
        std::string expected = "before " + c.shown;
        std::string got =
            c.toTerminal ? terminal.Read(expected.size(), 2s) : fileSide.Receive(expected.size());
        EXPECT_EQ(got, expected);
        seen.Send("x");
        EXPECT_EQ(pty::Wait(child, 5s), 0);
    }
}

}  // namespace
