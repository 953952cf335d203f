// Entry point of the end-to-end test programs: GoogleTest's flags, then
// --orvane=COMMAND (the program to run, several words allowed) and --crlf (it is a Windows
// console program: its streams end lines with "\r\n", its errors are Windows's).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/e2e/run_program.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--orvane=", 9) == 0) {
            e2e::SetProgramCommand(argv[i] + 9);
            haveCommand = true;
        } else if (strcmp(argv[i], "--crlf") == 0) {
            e2e::SetWindowsTarget(true);
        } else {
            fprintf(stderr, "Unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (!haveCommand) {
        fprintf(stderr, "Usage: %s [gtest flags] --orvane=COMMAND [--crlf]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
