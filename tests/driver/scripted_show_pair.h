// A stand-in for the pair viewer that answers from a script and records what it was shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace scripted {

inline constexpr int Keep = -1;   // answer with the active copy, as Enter does
inline constexpr int Other = -2;  // answer with the other copy, as C does

struct Shown {
    int active;
    std::string title;
    std::string leftHead;  // the first bytes of the PAT page pair's images
    std::string rightHead;
};

extern std::deque<int> answers;  // an empty script answers Esc
extern std::vector<Shown> shown;

}  // namespace scripted
