// End-to-end tests of batch runs: the usage text, switches, open failures, sets in use, refused
// files, and automatic repairs over every version class, compared byte for byte (both streams,
// the exit status and every file of the set), each repair run twice to see the clean second pass.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"
#include "tests/viewer/pty_process.h"

namespace {

using namespace std::chrono_literals;
using e2e::OpenFailure;
using fixture::SetSpec;
using Args = std::vector<std::string>;

const std::string AutoLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";
const std::string ClosingLines =
    "\n\nYou have changed all or part of your Btrieve file.\n"
    "Rebuild the file immediately to avoid further corruption.\n\n";
const std::string DeltaLine = "Delta File Found and Opened!\r\n";
const std::string PreSixLine = "File Version is Pre-6.x. There is no PAT to fix!\n";
const std::string RealFiles = ORVANE_REAL_FILES;  // files written by a real engine

// The line that a failed open of a set's base file prints.
std::string Refusal(const std::string& name, OpenFailure failure) {
    e2e::SystemError error = e2e::ExpectedError(failure);
    return "Failed to Open File <" + name + ">, Status Code " + std::to_string(error.code) + ", " +
           error.text;
}

// A repair writes copy 1's usage counter, which was 0, of a PAT pair (pair 0: the FCR pair).
struct Rewrite {
    uint32_t pair;
    uint32_t counter;
};

struct RepairCase {
    std::string name;
    SetSpec set;
    std::string out;  // first run's standard output; the closing lines follow any rewrite
    std::vector<Rewrite> rewrites;
    std::string cleanOut;  // second run's standard output
    std::string err = AutoLines;
    Args args = {"data.dat", "/A"};
};

void PrintTo(const RepairCase& c, std::ostream* out) {
    *out << c.name;
}

class Batch : public testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) {
            printf("Files kept in %s\n", dir_.c_str());
        } else {
            fixture::RemoveDir(dir_);
        }
    }

    void ExpectRun(const Args& args, int status, const std::string& out, const std::string& err) {
        e2e::RunResult run = e2e::RunProgram(dir_, args);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, status);
        EXPECT_EQ(run.out, e2e::TargetText(out));
        EXPECT_EQ(run.err, e2e::TargetText(err));
    }

    // A run that must leave every file of the directory as it was.
    void ExpectUntouched(const Args& args, int status, const std::string& out,
                         const std::string& err) {
        fixture::Snapshot before = fixture::TakeSnapshot(dir_);
        ExpectRun(args, status, out, err);
        EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)),
                  std::vector<fixture::Change>{});
    }

    // Writes the set, repairs it and checks the changed counter bytes, then runs again.
    void ExpectRepair(const RepairCase& c) {
        fixture::FileSetImage image = fixture::Build(c.set);
        image.Write(dir_);
        std::vector<fixture::Change> expected;
        for (const Rewrite& rewrite : c.rewrites) {
            auto at = image.Locate(fixture::CounterOffset(c.set, rewrite.pair, 1));
            for (const auto& change : fixture::CounterChanges(at, 0, rewrite.counter)) {
                expected.push_back(change);
            }
        }
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            return std::tie(a.file, a.offset) < std::tie(b.file, b.offset);
        });

        fixture::Snapshot before = fixture::TakeSnapshot(dir_);
        {
            SCOPED_TRACE("first run");
            ExpectRun(c.args, 0, c.out + (c.rewrites.empty() ? "" : ClosingLines), c.err);
        }
        fixture::Snapshot repaired = fixture::TakeSnapshot(dir_);
        EXPECT_EQ(fixture::Diff(before, repaired), expected);
        SCOPED_TRACE("second run");
        ExpectUntouched(c.args, 0, c.cleanOut, c.err);
    }

    void CopyRealFile(const std::string& name) {
        std::ifstream in(RealFiles + "/" + name, std::ios::binary);
        std::ofstream out(dir_ + "/" + name, std::ios::binary);
        out << in.rdbuf();
        ASSERT_TRUE(in && out) << name;
    }

    std::string dir_ = fixture::MakeTempDir();
};

// --- Automatic repair of every version class and listed page size -----------------------------

struct ClassCase {
    uint16_t version;
    uint16_t pageSize;
    std::string warning;  // the format warning that opens standard output
    uint16_t storedVersion = 0;
    bool oldLayout = false;
};

// Pair 2 of three has lost copy 1's counter. The FCR's pair count is 3 in 16 bits below 7.00,
// 65539 in 32 bits from 7.00, so reading the wrong width shows in the title.
RepairCase PairTwoLost(const ClassCase& c) {
    RepairCase r;
    char name[64];
    snprintf(name, sizeof name, "V%.4X_%u%s%s", c.version, c.pageSize,
             c.storedVersion ? "_stored" : "", c.oldLayout ? "_old" : "");
    r.name = name;
    r.set = {.version = c.version,
             .oldLayout = c.oldLayout,
             .storedVersion = c.storedVersion,
             .pageSize = c.pageSize,
             .fcrCounters = {0x51, 0x52},
             .patPairCountInFcr = c.version < 0x0700 ? 3u : 65539u,
             .patCounters = {{0x21, 0x20}, {0x30, 0}, {0, 0x40}}};
    r.out = c.warning + "Page Allocation Table Pair 2 of " + (c.version < 0x0700 ? "3" : "65539") +
            ": (00000030/00000000)\nWriting 13e to PAT 1 in PAT Pair 2\n";
    r.rewrites = {{2, 0x13E}};
    r.cleanOut = c.warning;
    return r;
}

std::vector<RepairCase> ClassCases() {
    const std::string v951 = "\nWarning: v9.51 files are NOT completely supported!\n\n";
    const std::string v10 = "\nWarning: v10.00 files are NOT completely supported!\n\n";
    const std::string v11 = "\nWarning: v11.10 files are NOT completely supported!\n\n";
    const std::string v16 = "\nWarning: v16 files are NOT completely supported!\n\n";
    const ClassCase cases[] = {
        {0x0600, 512, ""},           {0x0600, 1024, ""},  {0x0610, 1536, ""},  {0x0620, 2048, ""},
        {0x0630, 2560, ""},          {0x0640, 3072, ""},  {0x06FF, 3584, ""},  {0x0600, 4096, ""},
        {0x0650, 512, "", 0xF9B0},  // stored negated
        {0x0600, 1024, "", 0, true}, {0x0700, 512, ""},   {0x0710, 4096, ""},  {0x07FF, 8192, ""},
        {0x0700, 16384, ""},         {0x0800, 512, ""},   {0x0800, 1024, ""},  {0x0800, 1536, ""},
        {0x0900, 2048, ""},          {0x0900, 2560, ""},  {0x0900, 3072, ""},  {0x094F, 3584, ""},
        {0x0800, 4096, ""},          {0x0800, 8192, ""},  {0x0950, 1024, ""},  {0x0950, 2048, ""},
        {0x0950, 4096, ""},          {0x0950, 8192, ""},  {0x0950, 16384, ""}, {0x0951, 1024, v951},
        {0x0A00, 2048, v10},         {0x0B10, 4096, v11}, {0x0D30, 8192, v16}, {0x0A00, 16384, v10},
    };
    std::vector<RepairCase> result;
    for (const ClassCase& c : cases) {
        result.push_back(PairTwoLost(c));
    }
    return result;
}

// --- Repair scenarios ------------------------------------------------------------------------

std::vector<std::array<uint32_t, 2>> HealthyPairs(uint32_t count) {
    std::vector<std::array<uint32_t, 2>> pairs;
    for (uint32_t n = 1; n <= count; ++n) {
        pairs.push_back({n + 0x100, n + 0x200});
    }
    return pairs;
}

std::string PatTitle(uint32_t pair, uint32_t count, const char* counters) {
    return "Page Allocation Table Pair " + std::to_string(pair) + " of " + std::to_string(count) +
           ": (" + counters + ")\n";
}

// The typical automatic run: an 8.x file, 4096-byte pages, PAT pair 4 at counters 7 and 0.
SetSpec TypicalSet() {
    return {.version = 0x0800,
            .pageSize = 4096,
            .fcrCounters = {0x41, 0x42},
            .patPairCountInFcr = 4,
            .patCounters = {{0x12, 0x13}, {0x21, 0x20}, {0x31, 0x32}, {7, 0}}};
}

const std::string TypicalOut =
    "Page Allocation Table Pair 4 of 4: (00000007/00000000)\nWriting 115 to PAT 1 in PAT Pair 4\n";

RepairCase Typical() {
    return {"Typical", TypicalSet(), TypicalOut, {{4, 0x115}}, ""};
}

RepairCase FcrAndPatLost() {
    SetSpec set = TypicalSet();
    set.fcrCounters = {5, 0};
    set.patCounters[1] = {0x22, 0};
    return {"FcrAndPatLost",
            set,
            "File Control Record Pages: (00000005/00000000)\nWriting 113 to FCR 1\n" +
                PatTitle(2, 4, "00000022/00000000") + "Writing 130 to PAT 1 in PAT Pair 2\n" +
                TypicalOut,
            {{0, 0x113}, {2, 0x130}, {4, 0x115}},
            ""};
}

RepairCase BothFcrCountersZero() {
    SetSpec set = TypicalSet();
    set.fcrCounters = {0, 0};
    set.patCounters[3] = {1, 2};
    return {"BothFcrCountersZero",
            set,
            "File Control Record Pages: (00000000/00000000)\nWriting 10e to FCR 1\n",
            {{0, 0x10E}},
            ""};
}

// Copy 1 is current on a tie, so the pair is announced on every run and never written.
RepairCase BothPatCountersZero() {
    SetSpec set = TypicalSet();
    set.patCounters[3] = {0, 0};
    std::string title = PatTitle(4, 4, "00000000/00000000");
    return {"BothPatCountersZero", set, title, {}, title};
}

RepairCase CounterWraps() {
    SetSpec set = TypicalSet();
    set.patCounters[3] = {0xFFFFFFF0, 0};
    return {"CounterWraps",
            set,
            PatTitle(4, 4, "fffffff0/00000000") + "Writing fe to PAT 1 in PAT Pair 4\n",
            {{4, 0xFE}},
            ""};
}

RepairCase PageIdsDiffer() {
    SetSpec set = TypicalSet();
    set.mismatchedIdPairs = {3, 4};
    RepairCase r{"PageIdsDiffer", set, TypicalOut, {{4, 0x115}}, ""};
    r.err = AutoLines + "==>PAT Page ID's Do Not Match.\n==>PAT Page ID's Do Not Match.\n";
    return r;
}

RepairCase WithDelta() {
    RepairCase r = Typical();
    r.name = "WithDelta";
    r.set.delta = true;
    r.err = AutoLines + DeltaLine;
    return r;
}

// 6.x files place PAT pairs from 31 on 4096 bytes further on; 7.x files do not. The walk goes on
// past the FCR's pair count of 30.
RepairCase PastPairThirtyOne(uint16_t version) {
    SetSpec set{.version = version, .pageSize = 512, .patPairCountInFcr = 30};
    set.patCounters = HealthyPairs(32);
    set.patCounters[29] = {0x30, 0};
    set.patCounters[30] = {0x31, 0};
    set.patCounters[31] = {0x32, 0};
    return {version < 0x0700 ? "SixXPastPairThirtyOne" : "SevenXPastPairThirtyOne",
            set,
            PatTitle(30, 30, "00000030/00000000") + "Writing 13e to PAT 1 in PAT Pair 30\n" +
                PatTitle(31, 30, "00000031/00000000") + "Writing 13f to PAT 1 in PAT Pair 31\n" +
                PatTitle(32, 30, "00000032/00000000") + "Writing 140 to PAT 1 in PAT Pair 32\n",
            {{30, 0x13E}, {31, 0x13F}, {32, 0x140}},
            ""};
}

// Extents: the base file ends inside PAT pair 2 (copy 1 opens data.^01), pair 3 lies in
// data.^01 and pair 4 in data.^02.
RepairCase AcrossExtents() {
    SetSpec set = TypicalSet();
    set.patCounters = {{1, 1}, {5, 0}, {6, 0}, {7, 0}};
    uint64_t base = fixture::PatPairOffset(set, 2) + fixture::GeometryOf(set).fcrPageSize;
    set.extentSizes = {base, fixture::PatPairOffset(set, 4) - base};
    return {"AcrossExtents",
            set,
            PatTitle(2, 4, "00000005/00000000") + "Writing 113 to PAT 1 in PAT Pair 2\n" +
                PatTitle(3, 4, "00000006/00000000") + "Writing 114 to PAT 1 in PAT Pair 3\n" +
                TypicalOut,
            {{2, 0x113}, {3, 0x114}, {4, 0x115}},
            ""};
}

// A sparse set of more than 4 GiB: pair 411 lies beyond 4 GiB in the base file, pair 412 opens
// the extension file.
RepairCase BeyondFourGiB() {
    SetSpec set{.version = 0x0800, .pageSize = 8192, .patPairCountInFcr = 412};
    set.patCounters = HealthyPairs(412);
    set.patCounters[410] = {0x11, 0};
    set.patCounters[411] = {0x12, 0};
    set.extentSizes = {fixture::PatPairOffset(set, 412)};
    return {"BeyondFourGiB",
            set,
            PatTitle(411, 412, "00000011/00000000") + "Writing 11f to PAT 1 in PAT Pair 411\n" +
                PatTitle(412, 412, "00000012/00000000") + "Writing 120 to PAT 1 in PAT Pair 412\n",
            {{411, 0x11F}, {412, 0x120}},
            ""};
}

// Compressed files space their PAT pairs by the on-disk page size. The flags word is at 0x190
// in 9.50 files and at 0x9C above.
RepairCase Compressed(uint16_t version, const std::string& warnings) {
    SetSpec set{.version = version,
                .pageSize = 4096,
                .patPairCountInFcr = 3,
                .compressed = true,
                .physicalPageSize = 2048,
                .patCounters = {{1, 1}, {0x30, 0}, {2, 2}}};
    return {version == 0x0950 ? "CompressedV950" : "CompressedV1000",
            set,
            warnings + PatTitle(2, 3, "00000030/00000000") + "Writing 13e to PAT 1 in PAT Pair 2\n",
            {{2, 0x13E}},
            warnings};
}

std::vector<RepairCase> ScenarioCases() {
    const std::string compression =
        "\nWarning: v9.50 files with Page Compression are not yet supported!\n\n";
    return {Typical(),
            FcrAndPatLost(),
            BothFcrCountersZero(),
            BothPatCountersZero(),
            CounterWraps(),
            PageIdsDiffer(),
            WithDelta(),
            PastPairThirtyOne(0x0600),
            PastPairThirtyOne(0x0700),
            AcrossExtents(),
            BeyondFourGiB(),
            Compressed(0x0950, compression),
            Compressed(0x0A00,
                       compression + "\nWarning: v10.00 files are NOT completely supported!\n\n")};
}

class Repair : public Batch, public testing::WithParamInterface<RepairCase> {};

TEST_P(Repair, RewritesCopyOneCountersThenRunsClean) {
    ExpectRepair(GetParam());
}

std::string CaseName(const testing::TestParamInfo<RepairCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(VersionClasses, Repair, testing::ValuesIn(ClassCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Scenarios, Repair, testing::ValuesIn(ScenarioCases()), CaseName);

// --- The trace --------------------------------------------------------------------------------

class Trace : public Batch, public testing::WithParamInterface<const char*> {};

// Positioning lines go to standard output; the other trace lines go to standard error.
TEST_P(Trace, ShowsOpeningLoadingSeekingAndWriting) {
    fixture::WriteSet({.version = 0x0800,
                       .pageSize = 512,
                       .fcrCounters = {3, 4},
                       .patPairCountInFcr = 1,
                       .pageCount = 65538,
                       .patCounters = {{2, 0}}},
                      dir_);
    const e2e::SystemError missing = e2e::ExpectedError(OpenFailure::Missing);
    const std::string openLines =
        "Opening File <data.dat>\r\n"
        "Opening File <data.dat>...Opened\r\n"
        "Opening File <data.^01>...Failed (" +
        std::to_string(missing.code) + "), " + missing.text +
        "Opening File <data.^^^>...Loading FCR\r\n"
        "File Version Found = 0800\n"
        "(1)Seeking PAT Pair 1 at Large Offset 00000000:00002000\n";
    const std::string loadLines =
        "Attempting to set position to Extent 00, Offset 00000000:00000000\n"
        "Attempting to set position to Extent 00, Offset 00000000:00000800\n"
        "Found 65538 pages in file.\n"
        "Attempting to set position to Extent 00, Offset 00000000:00002000\n"
        "Attempting to set position to Extent 00, Offset 00000000:00002800\n";
    const std::string endLines =
        "(1)Seeking PAT Pair 2 at Large Offset 00000000:0002a000\n"
        "Closing all files...\r\n";
    const std::string pastEnd =
        "Attempting to set position to Extent 01, Offset 00000000:00027000\n";
    const std::string switches = std::string("Debugging Mode Active\n") + AutoLines;
    Args args = {"data.dat", GetParam(), "/A"};

    fixture::Snapshot before = fixture::TakeSnapshot(dir_);
    ExpectRun(args, 0,
              loadLines +
                  "Page Allocation Table Pair 1 of 1: (00000002/00000000)\n"
                  "Writing 110 to PAT 1 in PAT Pair 1\n"
                  "Attempting to set position to Extent 00, Offset 00000000:00002000\n"
                  "Attempting to set position to Extent 00, Offset 00000000:00002800\n" +
                  pastEnd + ClosingLines,
              switches + openLines +
                  "Usage 0 (00000002) > Usage 1 (00000000) [Loaded PAT Pair 1]\n"
                  "(1)Seeking PAT Pair 1 at Large Offset 00000000:00002000\n" +
                  endLines);
    EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)),
              fixture::CounterChanges({"data.dat", 0x2000 + 0x800 + 6}, 0, 0x110));

    ExpectRun(args, 0, loadLines + pastEnd,
              switches + openLines +
                  "Usage 0 (00000002) < Usage 1 (00000110) [Loaded PAT Pair 1]\n" + endLines);
}

INSTANTIATE_TEST_SUITE_P(Switches, Trace, testing::Values("/D", "/d", "-D", "-d"));

// --- Runs that repair nothing -----------------------------------------------------------------

TEST_F(Batch, WithoutArgumentsPrintsTheUsageText) {
    ExpectRun({}, 1, "Using Keldar Version 2.42.15\r\n\r\n",
              "    This utility corrects corrupted PAT Usage Counters in Btrieve Files.\n"
              "    See the accompanying README.TXT file for more information.\n\n"
              "Usage: ORVANE <FileName> [/A]\n"
              "    <FileName> is file to process.\n"
              "    /A automatically fixes ORVANE Bug occurrences (Use with extreme caution).\n\n");
}

// Pre-6 files from a real engine are recognised, refused, and left as they were.
TEST_F(Batch, RefusesPreSixFiles) {
    for (const char* name : {"MBBSEMU.DAT", "VARIABLE.DAT"}) {
        SCOPED_TRACE(name);
        CopyRealFile(name);
        ExpectUntouched({name, "/A"}, 0, PreSixLine, AutoLines);
    }
}

// Switches are '/' or '-' and one letter in either case, anywhere after the file name; the
// acknowledgements show which were taken.
TEST_F(Batch, TakesOnlyWholeSwitches) {
    CopyRealFile("MBBSEMU.DAT");
    const std::pair<Args, std::string> cases[] = {
        {{"/A"}, AutoLines},
        {{"/a"}, AutoLines},
        {{"-A"}, AutoLines},
        {{"-a"}, AutoLines},
        {{"word", "/A"}, AutoLines},
        {{"/A", "-a"}, AutoLines + AutoLines},
        {{"/AUTO"}, ""},
        {{"--A"}, ""},
        {{"/A1"}, ""},
        {{"/"}, ""},
        {{"-"}, ""},
        {{"A"}, ""},
    };
    for (const auto& [switches, err] : cases) {
        Args args = {"MBBSEMU.DAT"};
        args.insert(args.end(), switches.begin(), switches.end());
        SCOPED_TRACE(testing::PrintToString(args));
        ExpectUntouched(args, 0, PreSixLine, err);
    }
}

// The first argument is the file name even when it is a switch.
TEST_F(Batch, OpensASwitchGivenAsTheOnlyArgument) {
    ExpectRun({"/A"}, 0, "", AutoLines + Refusal("/A", OpenFailure::Missing));
}

TEST_F(Batch, ReportsAMissingFile) {
    ExpectUntouched({"missing.dat", "/A"}, 0, "",
                    AutoLines + Refusal("missing.dat", OpenFailure::Missing));
    // A delta file is still opened when its base file is missing.
    std::ofstream(dir_ + "/missing.^^^") << "delta";
    ExpectUntouched({"missing.dat"}, 0, "",
                    Refusal("missing.dat", OpenFailure::Missing) + DeltaLine);
}

TEST_F(Batch, ReportsADirectoryInPlaceOfTheFile) {
    ASSERT_EQ(mkdir((dir_ + "/data.dat").c_str(), 0755), 0);
    ExpectRun({"data.dat", "/A"}, 0, "", AutoLines + Refusal("data.dat", OpenFailure::Directory));
}

TEST_F(Batch, RefusesFilesThatAreNotBtrieveFiles) {
    SetSpec set = TypicalSet();  // FCR copy 1 at 8192
    struct Case {
        const char* what;
        uint64_t length;
        std::string start;
        std::string message;
    };
    const Case cases[] = {
        {"511 bytes", 511, "", "Not a Btrieve File!\n"},
        {"neither F nor C", 0, "XY", "Not a Btrieve File!\n"},
        {"no room for copy 1", 8192, "", "Not a Btrieve File....\n"},
        {"copy 1 cut short", 10000, "", "Not a Btrieve File.....\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::FileSetImage image = fixture::Build(set);
        image.Poke(0, c.start);
        if (c.length != 0) {
            image.SetLength(c.length);
        }
        image.Write(dir_);
        ExpectUntouched({"data.dat", "/A"}, 0, "", AutoLines + c.message);
    }
}

// Another run of the program on a set, waiting in its viewer with the set open: a
// pseudo-terminal is its console, on its standard input too (a Windows build under wine finds
// its console there).
class ViewerRun {
public:
    explicit ViewerRun(const std::string& dir) : outputDir_(fixture::MakeTempDir()) {
        std::vector<std::string> words = e2e::CommandLine({"data.dat"});
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::string out = outputDir_ + "/out";
        fflush(nullptr);
        child_ = fork();
        if (child_ == 0) {
            terminal_.BecomeControllingTerminal(pty::Input::Terminal);
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 || chdir(dir.c_str()) != 0) {
                _exit(126);
            }
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }

    ~ViewerRun() {
        if (child_ > 0) {
            pty::Wait(child_, 0ms);  // kills a run that a failed test left behind
        }
        fixture::RemoveDir(outputDir_);
    }

    ViewerRun(const ViewerRun&) = delete;
    ViewerRun& operator=(const ViewerRun&) = delete;

    // Waits for the first screen: the set is open by then.
    bool AwaitFirstScreen() const {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (Output().find("File Control Record Pages") == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    // Esc at the first screen: the run ends without writing. Its exit status.
    int Stop() {
        EXPECT_TRUE(terminal_.AwaitKeyMode(10s)) << "the viewer took no keys";
        terminal_.Type("\x1B");
        int status = pty::Wait(child_, 10s);
        child_ = -1;
        return status;
    }

    std::string Output() const {
        std::ifstream in(outputDir_ + "/out", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    pty::Terminal terminal_;
    std::string outputDir_;
    pid_t child_ = -1;
};

// A set that another run holds open is not opened; once that run has ended, it is repaired.
TEST_F(Batch, LeavesASetAnotherRunHoldsAlone) {
    fixture::WriteSet(TypicalSet(), dir_);
    {
        ViewerRun holder(dir_);
        ASSERT_TRUE(holder.AwaitFirstScreen()) << holder.Output();
        ExpectUntouched({"data.dat", "/A"}, 0, "",
                        AutoLines + Refusal("data.dat", OpenFailure::InUse));
        EXPECT_EQ(holder.Stop(), 0) << holder.Output();
    }
    ExpectRun({"data.dat", "/A"}, 0, TypicalOut + ClosingLines, AutoLines);
}

// The same for any process that holds a writer's lock on the set.
TEST_F(Batch, LeavesASetAWriterHasLockedAlone) {
    if (e2e::WindowsTarget()) {
        GTEST_SKIP() << "wine does not honour POSIX locks, so no Linux process can hold a set "
                        "against a Windows build; another run holding it is tested";
    }
    fixture::WriteSet(TypicalSet(), dir_);
    int holder = open((dir_ + "/data.dat").c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    ExpectUntouched({"data.dat", "/A"}, 0, "", AutoLines + Refusal("data.dat", OpenFailure::InUse));
    close(holder);
    ExpectRun({"data.dat", "/A"}, 0, TypicalOut + ClosingLines, AutoLines);
}

// A page size for which the version has no PAT layout gives no PAT pairs to walk; the run must
// end rather than visit the same place forever.
TEST_F(Batch, EndsWhenThePageSizeHasNoPatLayout) {
    fixture::FileSetImage image = fixture::Build({.version = 0x0950, .pageSize = 512});
    image.SetLength(image.Length() + 65536);
    image.Write(dir_);
    fixture::Snapshot before = fixture::TakeSnapshot(dir_);
    e2e::RunResult run = e2e::RunProgram(dir_, {"data.dat", "/A"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(e2e::TargetText(AutoLines + "Unexpected Page Size <512>\n"), 0), 0u)
        << run.err;
    EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)), std::vector<fixture::Change>{});
}

}  // namespace
