// The fuzzers' findings, kept as tests of the real program: each is the smallest file set that
// shows the fault, built by the fixture builder.
#include <gtest/gtest.h>

#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"

namespace {

const std::string AutoLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";

class Finding : public testing::Test {
protected:
    void SetUp() override { e2e::SetProgramCommand(ORVANE); }
    void TearDown() override { fixture::RemoveDir(dir_); }

    std::string dir_ = fixture::MakeTempDir();
};

// fuzz_repair: a base file shorter than one FCR copy, the rest of copy 0 in data.^01, and copy
// 1's counter lost. The FCR pair was written back from offset 0 of the base file as one write
// of a whole copy, so the base file grew by the bytes of data.^01 that copy 0 spans, and every
// later byte of the set moved. A copy that cannot go back where it was read is refused, and
// nothing is written.
TEST_F(Finding, AnFcrCopyThatSpillsOutOfTheBaseFileIsRefused) {
    struct Case {
        uint16_t version;
        uint16_t pageSize;
        uint64_t baseSize;  // below the FCR page size of 4096
    };
    for (Case c : {Case{0x0950, 1024, 589}, Case{0x0A00, 2048, 3071}, Case{0x0800, 2048, 2048}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version << " " << std::dec << c.baseSize);
        fixture::SetSpec set{.version = c.version,
                             .pageSize = c.pageSize,
                             .fcrCounters = {5, 0},
                             .patCounters = {{1, 2}},
                             .extentSizes = {c.baseSize}};
        fixture::WriteSet(set, dir_);
        fixture::Snapshot before = fixture::TakeSnapshot(dir_);
        e2e::RunResult run = e2e::RunProgram(dir_, {"data.dat", "/A"});
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, AutoLines + "Not a Btrieve File.....\n");
        EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)),
                  std::vector<fixture::Change>{});
        fixture::RemoveDir(dir_);
        dir_ = fixture::MakeTempDir();
    }
}

}  // namespace
