// Win32 backend of the console: key bytes through _getch, which reads the console itself
// without echo and gives extended keys as a prefix byte and a code, and screens through the C
// runtime's standard output in its text mode like all other output, frame bytes unconverted.
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/console_api.h"
#include "platform/win32/system_text.h"

namespace platform {
namespace {

constexpr uint8_t Escape = 0x1B;

enum class ConsoleState { Untried, Ready, Missing };
ConsoleState state = ConsoleState::Untried;
HANDLE consoleInput = INVALID_HANDLE_VALUE;
// _getch has handed out a prefix byte and holds the key's code for the next call.
bool codeHeld = false;

void ReportMissing(DWORD code) {
    char text[256];
    SystemText(code, text, sizeof text);
    text[strcspn(text, "\r\n")] = '\0';
    fprintf(stderr, "No console to read keys from (CONIN$: %s); stopping.\n", text);
}

// _getch reads CONIN$ and, where there is none, gives bytes that look like keys; so the
// console input is checked before the first read.
bool OpenConsoleInput() {
    consoleInput =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (consoleInput == INVALID_HANDLE_VALUE) {
        ReportMissing(GetLastError());
        return false;
    }
    DWORD mode = 0;
    if (!GetConsoleMode(consoleInput, &mode)) {
        ReportMissing(GetLastError());
        return false;
    }
    return true;
}

// The cursor block (Home to Del) is the range of keys without a character that every _getch
// turns into a prefix byte and a code.
bool InCursorBlock(const KEY_EVENT_RECORD& key) {
    return key.wVirtualScanCode >= 0x47 && key.wVirtualScanCode <= 0x53;
}

enum class Press { ForGetch, Escape, Failed };

// Waits for the next key press that _getch is to read, and takes off the console what it
// need not see: releases, mouse and focus events, and presses without a character outside the
// cursor block (Shift, Ctrl, function keys), which the viewer ignores and which some _getch
// drop only to read on and swallow the next key with them. An Escape press without its
// character, as a terminal console under wine delivers Esc, would be dropped that way too; it
// is taken here and given its byte.
Press WaitForPress() {
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (WaitForSingleObject(consoleInput, INFINITE) != WAIT_OBJECT_0 ||
            !PeekConsoleInputA(consoleInput, &record, 1, &count)) {
            ReportMissing(GetLastError());
            return Press::Failed;
        }
        if (count == 0) {
            continue;
        }
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        bool press = record.EventType == KEY_EVENT && key.bKeyDown;
        bool hasCharacter = press && key.uChar.AsciiChar != 0;
        if (hasCharacter || (press && InCursorBlock(key))) {
            return Press::ForGetch;
        }
        bool escape = press && key.wVirtualKeyCode == VK_ESCAPE;
        ReadConsoleInputA(consoleInput, &record, 1, &count);
        if (escape) {
            return Press::Escape;
        }
    }
}

// As _getch does, the wait runs with the console's input processing off, so that Ctrl+C is a
// key like any other.
Press WaitForKey() {
    DWORD mode = 0;
    GetConsoleMode(consoleInput, &mode);
    SetConsoleMode(consoleInput, 0);
    Press press = WaitForPress();
    SetConsoleMode(consoleInput, mode);
    return press;
}

}  // namespace

int OpenConsole() {
    if (state == ConsoleState::Untried) {
        state = OpenConsoleInput() ? ConsoleState::Ready : ConsoleState::Missing;
    }
    return state == ConsoleState::Ready;
}

int ReadConsoleKey(uint8_t* key) {
    if (!OpenConsole()) {
        return 0;
    }
    if (!codeHeld) {
        Press press = WaitForKey();
        if (press == Press::Failed) {
            return 0;
        }
        if (press == Press::Escape) {
            *key = Escape;
            return 1;
        }
    }
    int byte = _getch();
    if (byte == EOF) {
        ReportMissing(GetLastError());
        return 0;
    }
    *key = uint8_t(byte);
    codeHeld = !codeHeld && (*key == 0x00 || *key == ExtendedKeyPrefix);
    return 1;
}

// Through the same stream as every other line, so that a screen keeps its place among them and
// its line ends take the same translation.
void WriteScreen(const char* bytes, size_t length) {
    fwrite(bytes, 1, length, stdout);
    fflush(stdout);
}

}  // namespace platform
