// The shadowed page pairs in memory: loading, choosing the current copy, writing back.
#pragma once

#include <cstdint>

namespace fileio {

int LoadPatPair(uint32_t pair);
int WritePatPair(uint32_t pair);
int WriteFcrPair();
int LookupPatEntry(uint32_t logicalPage, uint32_t* physicalPage, uint16_t* flags,
                   uint16_t* compressedSize);
int UpdatePatEntry(uint32_t logicalPage, uint32_t physicalPage, uint16_t flags);
int LoadSecondControlPair();
int WriteSecondControlPair();

}  // namespace fileio
