// The handles written to: a small table, since a file set holds at most 129 files.
#include "platform/written_handles.h"

namespace platform {
namespace {

constexpr int MaxTracked = 256;
FileHandle writtenHandles[MaxTracked];
int writtenCount = 0;

int Find(FileHandle handle) {
    for (int i = 0; i < writtenCount; ++i) {
        if (writtenHandles[i] == handle) {
            return i;
        }
    }
    return -1;
}

}  // namespace

void NoteWritten(FileHandle handle) {
    if (Find(handle) < 0 && writtenCount < MaxTracked) {
        writtenHandles[writtenCount++] = handle;
    }
}

bool TakeWritten(FileHandle handle) {
    int i = Find(handle);
    if (i < 0) {
        return false;
    }
    writtenHandles[i] = writtenHandles[--writtenCount];
    return true;
}

}  // namespace platform
