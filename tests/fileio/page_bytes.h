// Test support for page-level tests: recognisable byte patterns and filled header blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "fileio/page_services.h"

// Bytes that differ from offset to offset and from seed to seed.
inline std::string Pattern(size_t length, uint8_t seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = char(i * 13 + seed);
    }
    return bytes;
}

inline std::string Bytes(const void* data, size_t length) {
    return std::string(static_cast<const char*>(data), length);
}

inline fileio::PageHeaderBlock FilledBlock(uint8_t value) {
    fileio::PageHeaderBlock block;
    memset(block.bytes, value, sizeof block.bytes);
    return block;
}
