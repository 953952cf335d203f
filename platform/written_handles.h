// Handles written to since they were opened, so that each backend flushes them before closing.
#pragma once

#include "platform/file_api.h"

namespace platform {

void NoteWritten(FileHandle handle);

// Whether the handle was written to; it is forgotten either way, as it is about to be closed.
bool TakeWritten(FileHandle handle);

}  // namespace platform
