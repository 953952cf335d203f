// The fault-injection switch of test builds: one chosen call of the file interface fails as the
// system would make it fail, or one read comes up short. Only orvane_platform_faulty has it.
#pragma once

#include <cstdint>

namespace platform::faults {

enum class Operation { Open, Size, Seek, Read, Write };
inline constexpr int OperationCount = 5;

// What a call does. Short: a read delivers half the bytes asked for, as one that meets the end
// of the file; a write's first system call moves one byte, as one cut short by a full disk.
// Opens, size queries and seeks fail for Short as for Fail.
enum class Effect { None, Fail, Short };

// The error code a failed open or size query reports: an I/O error.
inline constexpr uint32_t InjectedErrorCode = 5;

// Sets every count to 0; then the n-th call of the operation (counted from 1) takes the effect.
void Arm(Operation operation, uint32_t n, Effect effect);

// Sets every count to 0 and arms nothing.
void Reset();

// Calls of the operation since the last Arm or Reset.
uint32_t Calls(Operation operation);

}  // namespace platform::faults
