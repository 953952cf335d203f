// A console for unit tests: key bytes come from a script, and every screen written is kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scripted {

// Starts afresh: the keys to hand out in order, and whether a console is there at all.
// Once the keys run out, a key read fails as an unreadable console would.
void Reset(std::vector<uint8_t> keys, bool consolePresent = true);

const std::vector<std::string>& Screens();
size_t KeysLeft();

}  // namespace scripted
