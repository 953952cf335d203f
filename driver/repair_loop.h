// The pair repair loop: the FCR pair, then every PAT pair, decided by the operator or by /A.
#pragma once

namespace driver {

extern bool AutoFixEnabled;
extern bool FileChanged;

void RepairPairs();

}  // namespace driver
