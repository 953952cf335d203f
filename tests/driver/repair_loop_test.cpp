// The repair loop on real file sets, with the viewer's answers scripted: interactive walks,
// stepping back to the FCR pair, the automatic rule, and failed writes.
#include "driver/repair_loop.h"

#include "tests/driver/scripted_show_pair.h"
#include "tests/fileio/open_set.h"
#include "viewer/show_pair.h"

namespace {

using scripted::Keep;
using scripted::Other;

class RepairLoop : public FileSetTest {
protected:
    void SetUp() override {
        FileSetTest::SetUp();
        driver::AutoFixEnabled = false;
        driver::FileChanged = false;
        scripted::answers.clear();
        scripted::shown.clear();
        setSpec.version = 0x0800;
        setSpec.pageSize = 4096;
        setSpec.fcrCounters = {5, 9};
        setSpec.patPairCountInFcr = 3;
        setSpec.patCounters = {{1, 2}, {4, 3}, {0x20, 0x10}};
    }

    // Runs the loop over the set of `setSpec`, opened with `mode`; returns what it printed.
    std::string Run(std::deque<int> answers, int mode = fileio::ReadWrite) {
        EXPECT_EQ(Open(Write(setSpec), mode), 1);
        before = fixture::TakeSnapshot(dir);
        scripted::answers = std::move(answers);
        Captured run = Capture([] { driver::RepairPairs(); });
        errors = run.err;
        fileio::CloseFileSet();
        return run.out;
    }

    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const scripted::Shown& s : scripted::shown) {
            titles.push_back(s.title);
        }
        return titles;
    }

    std::vector<fixture::Change> Changes() const {
        return fixture::Diff(before, fixture::TakeSnapshot(dir));
    }

    // The changes of one copy's counter; pair 0 is the FCR pair.
    std::vector<fixture::Change> CounterChange(uint32_t pair, int copy, uint32_t from,
                                               uint32_t to) const {
        fixture::Placement at =
            fixture::Build(setSpec).Locate(fixture::CounterOffset(setSpec, pair, copy));
        return fixture::CounterChanges(at, from, to);
    }

    fixture::SetSpec setSpec;
    fixture::Snapshot before;
    std::string errors;
};

// The fixture's FCR copies differ in their first bytes, which pair 0 reports when loaded.
const char* const IdWarning = "==>PAT Page ID's Do Not Match.\n";

const char* const FcrTitle = "File Control Record Pages: (00000005/00000009)";
const char* const Pat1 = "Page Allocation Table Pair 1 of 3: (00000001/00000002)";
const char* const Pat2 = "Page Allocation Table Pair 2 of 3: (00000004/00000003)";
const char* const Pat3 = "Page Allocation Table Pair 3 of 3: (00000020/00000010)";

TEST_F(RepairLoop, KeepingEveryPairWritesNothing) {
    EXPECT_EQ(Run({Keep, Keep, Keep, Keep}), "");
    EXPECT_EQ(Titles(), (std::vector<std::string>{FcrTitle, Pat1, Pat2, Pat3}));
    EXPECT_EQ(scripted::shown[0].active, 1);
    EXPECT_EQ(scripted::shown[0].leftHead, "FC");  // the FCR copies, put where the viewer looks
    EXPECT_EQ(scripted::shown[1].active, 1);
    EXPECT_EQ(scripted::shown[2].active, 0);
    EXPECT_TRUE(Changes().empty());
    EXPECT_EQ(errors, "");
    EXPECT_FALSE(driver::FileChanged);
}

TEST_F(RepairLoop, ChangingAPatPairRewritesTheChosenCounter) {
    EXPECT_EQ(Run({Keep, Keep, Keep, Other}), "Writing 12e to PAT 1 in PAT Pair 3\n");
    EXPECT_EQ(Changes(), CounterChange(3, 1, 0x10, 0x12E));
    EXPECT_TRUE(driver::FileChanged);
}

TEST_F(RepairLoop, ChangingTheFcrPairRewritesItAndGoesOn) {
    EXPECT_EQ(Run({Other, Keep, Keep, Keep}), "Writing 117 to FCR 0\n");
    EXPECT_EQ(Changes(), CounterChange(0, 0, 5, 0x117));
    EXPECT_EQ(Titles().size(), 4u);
}

TEST_F(RepairLoop, BackspaceOrEscAtTheFcrStageEndsTheRun) {
    for (int answer : {viewer::StepBack, viewer::Stop}) {
        EXPECT_EQ(Run({answer}), "");
        EXPECT_EQ(Titles(), std::vector<std::string>{FcrTitle});
        EXPECT_EQ(fileio::fileSet.loadedPatPair, fileio::NoPatPairLoaded);
        scripted::shown.clear();
    }
}

TEST_F(RepairLoop, StepsBackThroughPairOneToTheFcrPairAndEnds) {
    const int back = viewer::StepBack;
    EXPECT_EQ(Run({Keep, Keep, Keep, back, back, back, back}), "");
    EXPECT_EQ(Titles(),
              (std::vector<std::string>{FcrTitle, Pat1, Pat2, Pat3, Pat2, Pat1,
                                        "Page Allocation Table Pair 0 of 3: (00000005/00000009)"}));
    EXPECT_EQ(scripted::shown.back().active, 1);  // the PAT rule: the higher counter
    EXPECT_EQ(scripted::shown.back().leftHead, "FC");
    EXPECT_EQ(errors, IdWarning);
}

TEST_F(RepairLoop, AChangeAtPairZeroRewritesTheFcrPair) {
    EXPECT_EQ(Run({Keep, viewer::StepBack, Other, Keep, viewer::Stop}), "Writing 117 to FCR 0\n");
    EXPECT_EQ(Titles().back(), Pat2);  // the walk goes on with pair 1, then pair 2
    EXPECT_EQ(errors, IdWarning);
    EXPECT_EQ(Changes(), CounterChange(0, 0, 5, 0x117));
    EXPECT_TRUE(driver::FileChanged);
}

TEST_F(RepairLoop, AutomaticRuleMakesCopyOneCurrentWhereItsCounterIsZero) {
    driver::AutoFixEnabled = true;
    setSpec.version = 0x0600;
    setSpec.pageSize = 1024;
    setSpec.fcrCounters = {5, 0};
    setSpec.patPairCountInFcr = 0x00010002;  // two bytes of it count below 7.00
    setSpec.patCounters = {{0, 0}, {0xFFFFFFF0, 0}, {3, 1}};
    EXPECT_EQ(Run({}),
              "File Control Record Pages: (00000005/00000000)\n"
              "Writing 113 to FCR 1\n"
              "Page Allocation Table Pair 1 of 2: (00000000/00000000)\n"
              "Page Allocation Table Pair 2 of 2: (fffffff0/00000000)\n"
              "Writing fe to PAT 1 in PAT Pair 2\n");
    std::vector<fixture::Change> expected = CounterChange(0, 1, 0, 0x113);
    for (const fixture::Change& c : CounterChange(2, 1, 0, 0xFE)) {
        expected.push_back(c);
    }
    EXPECT_EQ(Changes(), expected);
    EXPECT_TRUE(scripted::shown.empty());
}

TEST_F(RepairLoop, PatPairCountTakesFourBytesFromSevenOn) {
    driver::AutoFixEnabled = true;
    setSpec.version = 0x0700;
    setSpec.patPairCountInFcr = 0x00010002;
    setSpec.patCounters = {{1, 0}};
    EXPECT_EQ(Run({}),
              "Page Allocation Table Pair 1 of 65538: (00000001/00000000)\n"
              "Writing 10f to PAT 1 in PAT Pair 1\n");
}

TEST_F(RepairLoop, AFailedWriteIsReportedAndStillCountsAsAChange) {
    driver::AutoFixEnabled = true;
    setSpec.fcrCounters = {5, 0};
    setSpec.patCounters = {{7, 0}};
    EXPECT_EQ(Run({}, fileio::ReadShared),
              "File Control Record Pages: (00000005/00000000)\n"
              "Writing 113 to FCR 1\n"
              "Sorry, unable to change at this time.\n"
              "Page Allocation Table Pair 1 of 3: (00000007/00000000)\n"
              "Writing 115 to PAT 1 in PAT Pair 1\n"
              "Sorry, unable to change at this time.\n");
    EXPECT_TRUE(Changes().empty());
    EXPECT_TRUE(driver::FileChanged);
}

}  // namespace
