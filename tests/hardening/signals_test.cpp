// Signals while the viewer waits for a key, on the real program: Ctrl+C, SIGTERM and SIGHUP end
// the run, the terminal's settings are exactly those it had before the run, and the files hold
// the change made before the pending decision and nothing of that decision.
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/fixture/fixture.h"
#include "tests/hardening/terminal_run.h"

namespace {

const fixture::SetSpec Set = {.version = 0x0800,
                              .pageSize = 4096,
                              .fcrCounters = {5, 3},
                              .patPairCountInFcr = 2,
                              .patCounters = {{0x20, 5}, {3, 4}}};

TEST(Signals, LeaveTheTerminalAndTheFilesAsTheyWereBeforeThePendingDecision) {
    struct Case {
        const char* name;
        const char* typed;  // or else the signal is sent
        int signal;
    };
    for (Case c : {Case{"Ctrl+C", "\x03", SIGINT}, Case{"SIGTERM", nullptr, SIGTERM},
                   Case{"SIGHUP", nullptr, SIGHUP}}) {
        SCOPED_TRACE(c.name);
        std::string dir = fixture::MakeTempDir();
        fixture::FileSetImage image = fixture::Build(Set);
        image.Write(dir);
        fixture::Snapshot before = fixture::TakeSnapshot(dir);
        pty::Terminal terminal;
        std::string settings = hardening::TerminalSettings(terminal);

        hardening::TerminalRun run(terminal, ORVANE, dir, {"data.dat"});
        ASSERT_TRUE(run.AwaitOutput("File Control Record Pages"));
        run.Type("\r");
        ASSERT_TRUE(run.AwaitOutput("Page Allocation Table Pair 1 of 2"));
        run.Type("C");  // copy 1 of pair 1 becomes current: 0x20 + 270
        ASSERT_TRUE(run.AwaitOutput("Writing 12e to PAT 1 in PAT Pair 1\n"));
        ASSERT_TRUE(run.AwaitOutput("Page Allocation Table Pair 2 of 2"));
        if (c.typed != nullptr) {
            run.Type(c.typed);
        } else {
            run.Signal(c.signal);
        }
        hardening::Ended ended = run.Finish();

        EXPECT_EQ(ended.status, 128 + c.signal);
        EXPECT_EQ(ended.err, "");
        EXPECT_EQ(hardening::TerminalSettings(terminal), settings);
        EXPECT_EQ(
            fixture::Diff(before, fixture::TakeSnapshot(dir)),
            fixture::CounterChanges(image.Locate(fixture::CounterOffset(Set, 1, 1)), 5, 0x12E));
        fixture::RemoveDir(dir);
    }
}

}  // namespace
