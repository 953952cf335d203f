// The scripted pair viewer, linked into the repair loop's tests in place of the real one.
#include "tests/driver/scripted_show_pair.h"

#include "fileio/records.h"
#include "viewer/show_pair.h"

namespace scripted {

std::deque<int> answers;
std::vector<Shown> shown;

}  // namespace scripted

namespace viewer {

int ShowPair(int activeCopy, const char* title) {
    auto head = [](int copy) {
        return std::string(reinterpret_cast<const char*>(fileio::patPagePair.image[copy]), 2);
    };
    scripted::shown.push_back({activeCopy, title, head(0), head(1)});
    if (scripted::answers.empty()) {
        return Stop;
    }
    int answer = scripted::answers.front();
    scripted::answers.pop_front();
    if (answer == scripted::Keep) {
        return activeCopy;
    }
    return answer == scripted::Other ? 1 - activeCopy : answer;
}

}  // namespace viewer
