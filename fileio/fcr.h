// Loading the FCR pair and detecting the file format.
#pragma once

namespace fileio {

// Reads both FCR copies, fills fileFormat and picks the current copy. 1 when recognised.
int LoadFcr();

// Sets the offset from which 6.x files shift every page by 4096 bytes.
void SetLargeOffsetThreshold();

}  // namespace fileio
