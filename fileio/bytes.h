// Little-endian field access for page images.
#pragma once

#include <cstdint>

namespace fileio {

inline uint16_t ReadU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void WriteU16(uint8_t* p, uint16_t value) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

inline void WriteU32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(value >> (8 * i));
    }
}

// Some 32-bit fields are stored high 16-bit word first.
inline uint32_t SwapHalves(uint32_t value) {
    return value << 16 | value >> 16;
}

}  // namespace fileio
