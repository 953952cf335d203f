// The console for the pair viewer: key bytes read from the console itself without echo, and
// whole screens written to standard output. Results, not OS types, cross this line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Extended keys arrive as two reads: this prefix, then the key's code.
inline constexpr uint8_t ExtendedKeyPrefix = 0xE0;
inline constexpr uint8_t PageUpCode = 0x49;
inline constexpr uint8_t PageDownCode = 0x51;

// Makes the console ready for key reads. 1 when it is; 0 when there is no console to read
// from, after a message on standard error saying so. Later calls give the same answer.
int OpenConsole();

// One key byte, without echo. 1 and the byte, or 0 when the console cannot be read (with a
// message on standard error).
int ReadConsoleKey(uint8_t* key);

// Writes one screen to standard output in a single write, after anything already buffered
// there. The code page 437 frame bytes are shown as such a console would show them.
void WriteScreen(const char* bytes, size_t length);

}  // namespace platform
