// Entry point: command line, opening the file set, the version check, the repair loop, closing.
#include <cstdio>

#include "driver/repair_loop.h"
#include "fileio/file_set.h"
#include "fileio/records.h"

namespace {

void PrintUsage() {
    printf("Using %s\r\n\r\n", fileio::IoLayerVersion);
    fprintf(stderr, "    This utility corrects corrupted PAT Usage Counters in Btrieve Files.\n");
    fprintf(stderr, "    See the accompanying README.TXT file for more information.\n\n");
    fprintf(stderr, "Usage: ORVANE <FileName> [/A]\n");
    fprintf(stderr, "    <FileName> is file to process.\n");
    fprintf(stderr,
            "    /A automatically fixes ORVANE Bug occurrences (Use with extreme caution).\n\n");
}

// The whole rest of a switch must be the one letter, in either case.
bool IsSwitchLetter(const char* rest, char letter) {
    return rest[0] != '\0' && rest[1] == '\0' && (rest[0] | 0x20) == letter;
}

void ScanSwitch(const char* argument) {
    if (argument[0] != '/' && argument[0] != '-') {
        return;
    }
    const char* rest = argument + 1;
    if (IsSwitchLetter(rest, 'd')) {
        fileio::TraceEnabled = true;
        fprintf(stderr, "Debugging Mode Active\n");
    }
    if (IsSwitchLetter(rest, 'a')) {
        driver::AutoFixEnabled = true;
        fprintf(stderr, "Auto-Fix-It Activated!\n");
        fprintf(stderr, "Man, I really hope you had a backup...\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage();
        return 1;
    }
    driver::FileChanged = false;
    for (int i = 1; i < argc; ++i) {
        ScanSwitch(argv[i]);
    }
    if (!fileio::OpenFileSetReadWrite(argv[1])) {
        return 0;
    }
    if (fileio::fileFormat.version < 0x0600) {
        printf("File Version is Pre-6.x. There is no PAT to fix!\n");
        fileio::CloseFileSet();
        return 0;
    }
    driver::RepairPairs();
    fileio::CloseFileSet();
    if (driver::FileChanged) {
        printf("\n\nYou have changed all or part of your Btrieve file.\n");
        printf("Rebuild the file immediately to avoid further corruption.\n\n");
    }
    return 0;
}
