// The system's message text for an error code, as FormatMessageA gives it (its own line end
// included), copied into a caller's buffer.
#pragma once

#include <windows.h>

#include <cstdio>

namespace platform {

inline void SystemText(DWORD code, char* text, size_t size) {
    char* message = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message),
        0, nullptr);
    if (length != 0 && message != nullptr) {
        snprintf(text, size, "%s", message);
    } else {
        snprintf(text, size, "System error %lu.\r\n", (unsigned long)code);
    }
    LocalFree(message);
}

}  // namespace platform
