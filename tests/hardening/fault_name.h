// How a test names a fault for the fault-injecting program: "write:3" fails the third write,
// "short-read:2" cuts the second read short. The program reads it from ORVANE_FAULT.
#pragma once

#include <cstdint>
#include <string>

#include "platform/fault_injection.h"

namespace hardening {

using platform::faults::Effect;
using platform::faults::Operation;

inline constexpr Operation Operations[] = {Operation::Open, Operation::Size, Operation::Seek,
                                           Operation::Read, Operation::Write};

inline const char* OperationName(Operation operation) {
    switch (operation) {
        case Operation::Open:
            return "open";
        case Operation::Size:
            return "size";
        case Operation::Seek:
            return "seek";
        case Operation::Read:
            return "read";
        case Operation::Write:
            return "write";
    }
    return "";
}

struct Fault {
    Operation operation = Operation::Open;
    uint32_t n = 0;  // 0: none
    Effect effect = Effect::None;
};

inline std::string FaultText(const Fault& fault) {
    return std::string(fault.effect == Effect::Short ? "short-" : "") +
           OperationName(fault.operation) + ":" + std::to_string(fault.n);
}

}  // namespace hardening
