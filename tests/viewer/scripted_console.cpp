// The scripted console behind the viewer's unit tests, in place of the platform's own.
#include "tests/viewer/scripted_console.h"

#include "platform/console_api.h"

namespace scripted {
namespace {

std::vector<uint8_t> script;
size_t next = 0;
bool present = true;
std::vector<std::string> screens;

}  // namespace

void Reset(std::vector<uint8_t> keys, bool consolePresent) {
    script = std::move(keys);
    next = 0;
    present = consolePresent;
    screens.clear();
}

const std::vector<std::string>& Screens() {
    return screens;
}
size_t KeysLeft() {
    return script.size() - next;
}

}  // namespace scripted

namespace platform {

int OpenConsole() {
    return scripted::present ? 1 : 0;
}

int ReadConsoleKey(uint8_t* key) {
    if (!scripted::present || scripted::next == scripted::script.size()) {
        return 0;
    }
    *key = scripted::script[scripted::next++];
    return 1;
}

void WriteScreen(const char* bytes, size_t length) {
    scripted::screens.emplace_back(bytes, length);
}

}  // namespace platform
