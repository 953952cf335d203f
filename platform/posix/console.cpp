// POSIX backend of the console: keys from /dev/tty in raw mode, terminal escape sequences
// turned into the extended-key prefix convention, and the terminal put back on every way out.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console_api.h"

namespace platform {
namespace {

constexpr uint8_t Escape = 0x1B;
constexpr uint8_t Delete = 0x7F;
constexpr uint8_t Backspace = 0x08;
// The code of an extended key that has no use here: any sequence but PgUp and PgDn.
constexpr uint8_t OtherKeyCode = 0x00;
// How long an Esc waits for the rest of a sequence before it counts as the Esc key itself.
constexpr int EscapeDelayMs = 100;

enum class ConsoleState { Untried, Ready, Missing };
ConsoleState state = ConsoleState::Untried;
int ttyFd = -1;
termios savedMode;
volatile sig_atomic_t rawModeOn = 0;
bool codePending = false;
uint8_t pendingCode = 0;
// A byte read ahead that belongs to the next key: the second of two quick Esc presses.
bool byteHeld = false;
uint8_t heldByte = 0;

// Async-signal-safe: the signal handlers call it.
void RestoreTerminal() {
    if (rawModeOn) {
        tcsetattr(ttyFd, TCSANOW, &savedMode);
        rawModeOn = 0;
    }
}

void EnterRawMode() {
    termios raw = savedMode;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~tcflag_t(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // Output processing stays as it was, so "\n" still starts a new line on screen.
    if (tcsetattr(ttyFd, TCSANOW, &raw) == 0) {
        rawModeOn = 1;
    }
}

// Puts the terminal back, then lets the signal do what it would have done.
void RestoreAndReraise(int signal) {
    RestoreTerminal();
    raise(signal);  // the handler was reset on entry, so this one takes its default course
}

void Suspend(int);

// Signals the run was started with ignored (nohup, background jobs) stay ignored.
void Catch(int signal, const struct sigaction& action) {
    struct sigaction old = {};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
        sigaction(signal, &action, nullptr);
    }
}

void CatchSuspend() {
    struct sigaction action = {};
    action.sa_handler = Suspend;
    sigemptyset(&action.sa_mask);
    Catch(SIGTSTP, action);
}

// Ctrl+Z: the shell gets its terminal back while the run is stopped; raw mode returns after.
void Suspend(int) {
    int savedErrno = errno;
    RestoreTerminal();
    signal(SIGTSTP, SIG_DFL);
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &suspend, nullptr);
    raise(SIGTSTP);
    CatchSuspend();
    EnterRawMode();
    errno = savedErrno;
}

void CatchWaysOut() {
    struct sigaction action = {};
    action.sa_handler = RestoreAndReraise;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        Catch(signal, action);
    }
    CatchSuspend();
    atexit(RestoreTerminal);
}

void ReportMissing(const char* reason) {
    fprintf(stderr, "No console to read keys from (/dev/tty: %s); stopping.\n", reason);
}

// 1 with a byte, 0 when none came within timeoutMs (-1 waits for ever), -1 when the console
// cannot be read.
int ReadByte(uint8_t* byte, int timeoutMs) {
    if (byteHeld) {
        byteHeld = false;
        *byte = heldByte;
        return 1;
    }
    pollfd ready = {ttyFd, POLLIN, 0};
    for (;;) {
        int polled = poll(&ready, 1, timeoutMs);
        if (polled == 0) {
            return 0;
        }
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        ssize_t got = polled < 0 ? -1 : read(ttyFd, byte, 1);
        if (got == 1) {
            return 1;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        ReportMissing(got == 0 ? "end of input" : strerror(errno));
        return -1;
    }
}

// Reads the rest of a control sequence after "ESC [" and names the key it stands for.
int ReadControlSequence(uint8_t* code) {
    *code = OtherKeyCode;
    char parameters[8] = {};
    size_t length = 0;
    uint8_t byte = 0;
    for (;;) {
        int got = ReadByte(&byte, EscapeDelayMs);
        if (got <= 0) {
            return got;
        }
        if (byte == '[' && length == 0) {
            uint8_t final = 0;  // "ESC [ [ x": the Linux console's F1 to F5
            return ReadByte(&final, EscapeDelayMs);
        }
        if (byte < 0x20 || byte > 0x3F) {
            break;  // the final byte
        }
        if (length + 1 < sizeof parameters) {
            parameters[length++] = char(byte);
        }
    }
    if (byte == '~' && strcmp(parameters, "5") == 0) {
        *code = PageUpCode;
    } else if (byte == '~' && strcmp(parameters, "6") == 0) {
        *code = PageDownCode;
    }
    return 1;
}

// After an Esc: the Esc key alone (also when a second Esc follows at once), or a whole sequence
// consumed and named: "ESC [ ... final",
// "ESC O x" and "ESC x" (Alt+x).
int ReadAfterEscape(uint8_t* key) {
    uint8_t next = 0;
    int got = ReadByte(&next, EscapeDelayMs);
    if (got < 0) {
        return 0;
    }
    if (got == 0 || next == Escape) {
        heldByte = next;
        byteHeld = got == 1;
        *key = Escape;
        return 1;
    }
    uint8_t code = OtherKeyCode;
    if (next == '[') {
        got = ReadControlSequence(&code);
    } else if (next == 'O') {
        uint8_t final = 0;
        got = ReadByte(&final, EscapeDelayMs);
    }
    if (got < 0) {
        return 0;
    }
    *key = ExtendedKeyPrefix;
    pendingCode = code;
    codePending = true;
    return 1;
}

bool LocaleIsUtf8() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = getenv(variable);
        if (name != nullptr && *name != '\0') {
            break;
        }
    }
    if (name == nullptr) {
        return false;
    }
    std::string lower;
    for (const char* c = name; *c != '\0'; ++c) {
        lower += char(tolower(uint8_t(*c)));
    }
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// The box-drawing character that a code page 437 console shows for a frame byte, or null.
const char* FrameCharacter(uint8_t byte) {
    switch (byte) {
        case 0xB3:
            return "\u2502";
        case 0xC4:
            return "\u2500";
        case 0xDA:
            return "\u250C";
        case 0xBF:
            return "\u2510";
        case 0xC0:
            return "\u2514";
        case 0xD9:
            return "\u2518";
        default:
            return nullptr;
    }
}

void WriteAll(const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nothing is reported for a failed screen write
        }
        bytes += written;
        length -= size_t(written);
    }
}

}  // namespace

int OpenConsole() {
    if (state != ConsoleState::Untried) {
        return state == ConsoleState::Ready;
    }
    state = ConsoleState::Missing;
    ttyFd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (ttyFd < 0) {
        ReportMissing(strerror(errno));
        return 0;
    }
    if (tcgetattr(ttyFd, &savedMode) != 0) {
        ReportMissing(strerror(errno));
        close(ttyFd);
        return 0;
    }
    CatchWaysOut();
    EnterRawMode();
    state = ConsoleState::Ready;
    return 1;
}

int ReadConsoleKey(uint8_t* key) {
    if (!OpenConsole()) {
        return 0;
    }
    if (codePending) {
        codePending = false;
        *key = pendingCode;
        return 1;
    }
    uint8_t byte = 0;
    if (ReadByte(&byte, -1) < 0) {
        return 0;
    }
    if (byte == Escape) {
        return ReadAfterEscape(key);
    }
    if (byte == 0x00 || byte == ExtendedKeyPrefix) {
        // A terminal never sends these as prefixes; they must not swallow the next key.
        *key = ExtendedKeyPrefix;
        pendingCode = OtherKeyCode;
        codePending = true;
        return 1;
    }
    *key = byte == Delete ? Backspace : byte;
    return 1;
}

void WriteScreen(const char* bytes, size_t length) {
    static const bool frameAsUtf8 = isatty(STDOUT_FILENO) && LocaleIsUtf8();
    fflush(stdout);
    if (!frameAsUtf8) {
        WriteAll(bytes, length);
        return;
    }
    std::string shown;
    for (size_t i = 0; i < length; ++i) {
        const char* frame = FrameCharacter(uint8_t(bytes[i]));
        if (frame != nullptr) {
            shown += frame;
        } else {
            shown += bytes[i];
        }
    }
    WriteAll(shown.data(), shown.size());
}

}  // namespace platform
