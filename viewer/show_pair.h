// The pair viewer: shows the PAT page pair side by side and returns the operator's decision.
#pragma once

namespace viewer {

inline constexpr int StepBack = 100;  // Backspace
inline constexpr int Stop = 200;      // Esc

// Returns the copy to make current (activeCopy kept, or the other one), StepBack or Stop.
int ShowPair(int activeCopy, const char* title);

}  // namespace viewer
