// Linked into orvane_faulty only: arms the fault named by ORVANE_FAULT before the program starts,
// and writes the count of each operation to the file named by ORVANE_FAULT_COUNTS at its end.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/hardening/fault_name.h"

namespace hardening {
namespace {

void WriteCounts() {
    const char* path = getenv("ORVANE_FAULT_COUNTS");
    FILE* file = path != nullptr ? fopen(path, "w") : nullptr;
    if (file == nullptr) {
        return;
    }
    for (Operation operation : Operations) {
        fprintf(file, "%s %u\n", OperationName(operation),
                unsigned(platform::faults::Calls(operation)));
    }
    fclose(file);
}

// "[short-]operation:n"; anything else arms nothing.
bool ArmFromEnvironment() {
    platform::faults::Reset();
    atexit(WriteCounts);
    const char* text = getenv("ORVANE_FAULT");
    if (text == nullptr) {
        return false;
    }
    Effect effect = Effect::Fail;
    if (strncmp(text, "short-", 6) == 0) {
        effect = Effect::Short;
        text += 6;
    }
    for (Operation operation : Operations) {
        size_t length = strlen(OperationName(operation));
        if (strncmp(text, OperationName(operation), length) == 0 && text[length] == ':') {
            platform::faults::Arm(operation, uint32_t(strtoul(text + length + 1, nullptr, 10)),
                                  effect);
            return true;
        }
    }
    return false;
}

[[maybe_unused]] const bool armed = ArmFromEnvironment();

}  // namespace
}  // namespace hardening
