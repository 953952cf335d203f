// The fuzzers' findings, kept as tests of the real program: each is the smallest file set that
// shows the fault, built by the fixture builder.
#include <gtest/gtest.h>

#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"

namespace {

const std::string AutoLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";
const std::string ClosingLines =
    "\n\nYou have changed all or part of your Btrieve file.\n"
    "Rebuild the file immediately to avoid further corruption.\n\n";

class Finding : public testing::Test {
protected:
    void SetUp() override { e2e::SetProgramCommand(ORVANE); }
    void TearDown() override { fixture::RemoveDir(dir_); }

    std::string dir_ = fixture::MakeTempDir();
};

// fuzz_repair: a base file shorter than one FCR copy, the rest of copy 0 in data.^01, and copy
// 1's counter lost. The FCR loader holds copy 0 in full, read from both files, but the pair was
// written back from offset 0 of the base file as one write of a whole copy: the base file grew
// by the bytes of data.^01 that copy 0 spans, and every later byte of the set moved. Copy 0 must
// go back where it was read, each part into its own file.
TEST_F(Finding, AnFcrCopyThatSpillsOutOfTheBaseFileIsWrittenBackWhereItWasRead) {
    struct Case {
        uint16_t version;
        uint16_t pageSize;
        uint64_t baseSize;  // below the FCR page size of 4096
        std::string warning;
    };
    const Case cases[] = {
        {0x0950, 1024, 589, ""},
        {0x0A00, 2048, 3071, "\nWarning: v10.00 files are NOT completely supported!\n\n"},
        {0x0800, 2048, 2048, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version << " " << std::dec << c.baseSize);
        fixture::SetSpec set{.version = c.version,
                             .pageSize = c.pageSize,
                             .fcrCounters = {5, 0},
                             .patCounters = {{1, 2}},
                             .extentSizes = {c.baseSize}};
        fixture::FileSetImage image = fixture::Build(set);
        image.Write(dir_);
        fixture::Snapshot before = fixture::TakeSnapshot(dir_);
        e2e::RunResult run = e2e::RunProgram(dir_, {"data.dat", "/A"});
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.warning + "File Control Record Pages: (00000005/00000000)\n" +
                               "Writing 113 to FCR 1\n" + ClosingLines);
        EXPECT_EQ(run.err, AutoLines);
        EXPECT_EQ(
            fixture::Diff(before, fixture::TakeSnapshot(dir_)),
            fixture::CounterChanges(image.Locate(fixture::CounterOffset(set, 0, 1)), 0, 0x113));
        fixture::RemoveDir(dir_);
        dir_ = fixture::MakeTempDir();
    }
}

}  // namespace
