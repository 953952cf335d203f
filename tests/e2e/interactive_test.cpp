// Interactive runs of the real program: a pseudo-terminal is its controlling terminal, real
// terminal key sequences are typed into it, and every screen byte on standard output, the
// report and closing lines, standard error, the status and every file byte are checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

#include "fileio/bytes.h"
#include "fileio/records.h"
#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"
#include "tests/viewer/pty_process.h"
#include "tests/viewer/scripted_console.h"
#include "viewer/screens.h"

namespace {

using namespace std::chrono_literals;

const std::string Enter = "\r";
const std::string Del = "\x7F";  // what a terminal sends for Backspace
const std::string LoneEsc = "\x1B";
const std::string PgUp = "\x1B[5~";
const std::string PgDn = "\x1B[6~";
// Keys the viewer must ignore: arrows, Ctrl+arrow, F1, Home, F5, letters, a digit, Tab.
const std::string Ignored = "\x1B[A\x1B[B\x1B[D\x1B[1;5C\x1BOP\x1B[H\x1B[15~xZ1\t";
const std::string Closing =
    "\n\nYou have changed all or part of your Btrieve file.\n"
    "Rebuild the file immediately to avoid further corruption.\n\n";

std::string Times(const std::string& text, int count) {
    std::string repeated;
    for (int i = 0; i < count; ++i) {
        repeated += text;
    }
    return repeated;
}

struct Outcome {
    std::string out;
    std::string err;
    int status;
};

// One run of the program on a file, with the test's terminal as its console (or none).
class ProgramRun {
public:
    ProgramRun(const std::string& dir, const std::string& fileName, bool console = true)
        : outputDir(fixture::MakeTempDir()) {
        std::vector<std::string> words = e2e::CommandLine({fileName});
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::string outPath = outputDir + "/out", errPath = outputDir + "/err";
        fflush(nullptr);
        child = fork();
        if (child == 0) {
            if (console) {
                // A Linux build is given /dev/null: it must read its keys from /dev/tty. Wine
                // gives a Windows build a console only when a terminal is its standard input.
                terminal.BecomeControllingTerminal(e2e::WindowsTarget() ? pty::Input::Terminal
                                                                        : pty::Input::Null);
            } else {
                setsid();  // no controlling terminal at all
                int input = open("/dev/null", O_RDONLY);
                dup2(input, 0);
            }
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(dir.c_str()) != 0) {
                _exit(126);
            }
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }

    ~ProgramRun() { fixture::RemoveDir(outputDir); }

    // Waits until standard output holds `length` bytes; false if it does not come to that.
    bool AwaitOutput(size_t length) const {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (fixture::ReadFile(outputDir + "/out").size() < length) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    // Types once the program reads single keys: before that, the terminal's line editing
    // would take some of them (a Windows build's console switches it a moment after its first
    // read).
    void Type(const std::string& keys) const {
        if (keys.empty()) {
            return;
        }
        EXPECT_TRUE(terminal.AwaitKeyMode(10s)) << "the terminal stayed in canonical mode";
        terminal.Type(keys);
    }

    Outcome Finish() {
        int status = pty::Wait(child, 10s);
        return {fixture::ReadFile(outputDir + "/out"), fixture::ReadFile(outputDir + "/err"),
                status};
    }

private:
    pty::Terminal terminal;
    std::string outputDir;
    pid_t child = -1;
};

using Images = std::array<std::vector<uint8_t>, 2>;

// What the program should show of a file set: its pairs as they lie in the files before the
// run, with the counters the run rewrites, drawn by the viewer's tested layouts.
class Expected {
public:
    Expected(const fixture::SetSpec& setSpec, const std::string& basePath)
        : setSpec(setSpec), geometry(fixture::GeometryOf(setSpec)), image(fixture::Build(setSpec)) {
        std::string bytes = fixture::ReadFile(basePath);
        for (uint32_t pair = 0; pair <= setSpec.patCounters.size(); ++pair) {
            uint64_t at = fixture::PatPairOffset(setSpec, pair);
            for (int copy = 0; copy < 2; ++copy) {
                pairs[pair][copy].assign(fileio::ImageCapacity, 0);
                memcpy(pairs[pair][copy].data(), bytes.data() + at + copy * geometry.fcrPageSize,
                       geometry.fcrPageSize);
            }
        }
    }

    uint32_t Counter(uint32_t pair, int copy) const {
        return fileio::ReadU32(pairs.at(pair)[copy].data() + geometry.usageOffset);
    }

    void SetCounter(uint32_t pair, int copy, uint32_t value) {
        fileio::WriteU32(pairs[pair][copy].data() + geometry.usageOffset, value);
    }

    // The copy that is current: FCR copy 1 only with the higher counter, PAT copy 1 on a tie too.
    int FcrActive() const { return Counter(0, 1) > Counter(0, 0) ? 1 : 0; }
    int PatActive(uint32_t pair) const { return Counter(pair, 1) >= Counter(pair, 0) ? 1 : 0; }

    int FcrSegments() const { return int(geometry.fcrPageSize / 256); }
    int PatSegments() const {
        if (setSpec.version < 0x0800) {
            return FcrSegments();
        }
        return int((geometry.entriesPerPat + 31) / 32 + 1);
    }

    std::string FcrScreen(int segment = 1) {
        char title[80];
        snprintf(title, sizeof title, "File Control Record Pages: (%8.8lx/%8.8lx)",
                 (unsigned long)Counter(0, 0), (unsigned long)Counter(0, 1));
        return Draw(viewer::DrawRawSegment, 256 * (segment - 1), pairs[0], FcrActive(), title,
                    segment, FcrSegments());
    }

    std::string PatScreen(uint32_t pair, int segment = 1) {
        char title[80];
        snprintf(title, sizeof title, "Page Allocation Table Pair %d of %d: (%8.8lx/%8.8lx)",
                 int(pair), int(setSpec.patPairCountInFcr), (unsigned long)Counter(pair, 0),
                 (unsigned long)Counter(pair, 1));
        int count = PatSegments();
        if (setSpec.version < 0x0800) {
            return Draw(viewer::DrawRawSegment, 256 * (segment - 1), pairs[pair], PatActive(pair),
                        title, segment, count);
        }
        if (setSpec.version < 0x0950) {
            return Draw(viewer::DrawV8PatSegment, segment == 1 ? 0 : 20 + 192 * (segment - 2),
                        pairs[pair], PatActive(pair), title, segment, count);
        }
        return Draw(viewer::DrawV95PatSegment, segment == 1 ? 0 : 16 + 256 * (segment - 2),
                    pairs[pair], PatActive(pair), title, segment, count);
    }

    // The bytes a counter rewrite changes in the files.
    std::vector<fixture::Change> CounterChange(uint32_t pair, int copy, uint32_t before,
                                               uint32_t after) const {
        return fixture::CounterChanges(image.Locate(fixture::CounterOffset(setSpec, pair, copy)),
                                       before, after);
    }

private:
    using Drawing = void (*)(int, const char*, const uint8_t*, const uint8_t*, int, int);

    std::string Draw(Drawing draw, int start, const Images& images, int active, const char* title,
                     int segment, int count) const {
        fileio::fileFormat = {};
        fileio::fileFormat.version = setSpec.version;
        fileio::fileFormat.pageSize = setSpec.pageSize;
        fileio::fileFormat.fcrPageSize = uint16_t(geometry.fcrPageSize);
        scripted::Reset({});
        draw(active, title, images[0].data() + start, images[1].data() + start, segment, count);
        return scripted::Screens().back();
    }

    fixture::SetSpec setSpec;
    fixture::Geometry geometry;
    fixture::FileSetImage image;
    std::map<uint32_t, Images> pairs;
};

// Keys typed, then the output they should bring.
struct Step {
    std::string keys;
    std::string output;
};

class InteractiveTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!dir.empty()) {
            fixture::RemoveDir(dir);
        }
    }

    Expected Make(const fixture::SetSpec& wanted) {
        if (!dir.empty()) {
            fixture::RemoveDir(dir);
        }
        setSpec = wanted;
        dir = fixture::MakeTempDir();
        std::string base = fixture::WriteSet(setSpec, dir);
        before = fixture::TakeSnapshot(dir);
        return Expected(setSpec, base);
    }

    // Runs the program step by step, waiting for each step's output before the next keys.
    Outcome Play(const std::vector<Step>& steps) {
        ProgramRun run(dir, "data.dat");
        std::string expected;
        for (const Step& step : steps) {
            run.Type(step.keys);
            expected += e2e::TargetText(step.output);
            if (!run.AwaitOutput(expected.size())) {
                ADD_FAILURE() << "the output stopped short of step " << &step - steps.data();
                break;
            }
        }
        Outcome outcome = run.Finish();
        EXPECT_EQ(outcome.out.size(), expected.size());
        EXPECT_TRUE(outcome.out == expected) << FirstDifference(outcome.out, expected);
        return outcome;
    }

    static std::string FirstDifference(const std::string& got, const std::string& expected) {
        size_t at = 0;
        while (at < got.size() && at < expected.size() && got[at] == expected[at]) {
            ++at;
        }
        size_t from = at < 200 ? 0 : at - 200;
        return "first difference at byte " + std::to_string(at) +
               "\n got: " + testing::PrintToString(got.substr(from, 400)) +
               "\n expected: " + testing::PrintToString(expected.substr(from, 400));
    }

    std::vector<fixture::Change> Changes() const {
        return fixture::Diff(before, fixture::TakeSnapshot(dir));
    }

    fixture::SetSpec setSpec;
    std::string dir;
    fixture::Snapshot before;
};

TEST_F(InteractiveTest, KeepingEveryPairWritesNothingInEveryVersionClass) {
    struct Case {
        uint16_t version, pageSize;
        const char* warning;  // what the open says of formats above 9.50
    };
    for (Case c : {Case{0x0600, 512, ""}, Case{0x0700, 1024, ""}, Case{0x0800, 4096, ""},
                   Case{0x0900, 1024, ""}, Case{0x0950, 4096, ""},
                   Case{0x0A00, 2048, "\nWarning: v10.00 files are NOT completely supported!\n\n"},
                   Case{0x0D30, 4096, "\nWarning: v16 files are NOT completely supported!\n\n"}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version << " " << std::dec << c.pageSize);
        Expected shown = Make({.version = c.version,
                               .oldLayout = c.version < 0x0800,
                               .pageSize = c.pageSize,
                               .fcrCounters = {5, 3},
                               .patPairCountInFcr = 2,
                               .patCounters = {{3, 4}, {9, 2}}});
        Outcome outcome = Play({{"", c.warning + shown.FcrScreen()},
                                {Ignored + Enter, shown.PatScreen(1)},
                                {Ignored + " ", shown.PatScreen(2)},
                                {Ignored + Enter, ""}});
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(Changes(), std::vector<fixture::Change>{});
    }
}

TEST_F(InteractiveTest, ChangeOnAPatPairRewritesItsCounter) {
    Expected shown = Make({.version = 0x0800,
                           .pageSize = 4096,
                           .fcrCounters = {0x41, 0x42},
                           .patPairCountInFcr = 3,
                           .patCounters = {{0x12, 0x13}, {0x21, 0x20}, {0x20, 0x05}}});
    Outcome outcome = Play({{"", shown.FcrScreen()},
                            {Enter, shown.PatScreen(1)},
                            {Enter, shown.PatScreen(2)},
                            {Enter, shown.PatScreen(3)},
                            {PgDn, shown.PatScreen(3, 2)},
                            {PgDn, shown.PatScreen(3, 3)},
                            {"C", "Writing 12e to PAT 1 in PAT Pair 3\n" + Closing}});
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Changes(), shown.CounterChange(3, 1, 0x05, 0x12E));
}

TEST_F(InteractiveTest, ChangeAtTheFcrStageThenEsc) {
    Expected shown = Make({.version = 0x0950,
                           .pageSize = 4096,
                           .fcrCounters = {7, 3},
                           .patPairCountInFcr = 2,
                           .patCounters = {{1, 2}, {3, 4}}});
    Outcome outcome = Play({{"", shown.FcrScreen()},
                            {"c", "Writing 115 to FCR 1\n" + shown.PatScreen(1)},
                            {LoneEsc, Closing}});
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Changes(), shown.CounterChange(0, 1, 3, 0x115));
}

TEST_F(InteractiveTest, BackspaceReachesTheFcrPairAsPairZeroAndAChangeThereRewritesTheFcr) {
    Expected shown = Make({.version = 0x0800,
                           .pageSize = 4096,
                           .fcrCounters = {5, 3},
                           .patPairCountInFcr = 3,
                           .patCounters = {{1, 2}, {3, 4}, {5, 6}}});
    std::vector<Step> steps = {{"", shown.FcrScreen()},
                               {Enter, shown.PatScreen(1)},
                               {Enter, shown.PatScreen(2)},
                               {Del, shown.PatScreen(1)},
                               {Del, shown.PatScreen(0)}};
    shown.SetCounter(0, 1, 0x113);  // what the change writes; pair 0 is read afresh later
    steps.push_back({"c", "Writing 113 to FCR 1\n" + shown.PatScreen(1)});
    steps.push_back({Del, shown.PatScreen(0)});
    steps.push_back({Del, Closing});  // Backspace at pair 0 ends the run
    Outcome outcome = Play(steps);
    // Pair 0 is loaded as a PAT pair, whose copies are compared by their page ids.
    EXPECT_EQ(outcome.err, e2e::TargetText(Times("==>PAT Page ID's Do Not Match.\n", 2)));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Changes(), shown.CounterChange(0, 1, 3, 0x113));
}

TEST_F(InteractiveTest, EscOrBackspaceAtTheFcrStageEndsTheRunUntouched) {
    for (const std::string& key : {LoneEsc, Del, std::string("\x08")}) {
        SCOPED_TRACE(testing::PrintToString(key));
        Expected shown = Make({.version = 0x0800,
                               .pageSize = 4096,
                               .fcrCounters = {1, 0},
                               .patPairCountInFcr = 1,
                               .patCounters = {{1, 0}}});
        Outcome outcome = Play({{"", shown.FcrScreen()}, {Ignored + key, ""}});
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(Changes(), std::vector<fixture::Change>{});
    }
}

TEST_F(InteractiveTest, PagingToTheLastSegmentAndBack) {
    for (uint16_t version : {0x0800, 0x0950}) {
        SCOPED_TRACE(testing::Message() << std::hex << version);
        Expected shown = Make({.version = version,
                               .pageSize = 4096,
                               .fcrCounters = {2, 9},
                               .patPairCountInFcr = 2,
                               .patCounters = {{4, 3}, {1, 1}}});
        std::vector<Step> steps = {{"", shown.FcrScreen()}, {PgUp, ""}};  // PgUp on the first
        for (int segment = 2; segment <= shown.FcrSegments(); ++segment) {
            steps.push_back({PgDn, shown.FcrScreen(segment)});
        }
        steps.push_back({PgDn + Enter, shown.PatScreen(1)});  // PgDn on the last: nothing
        int last = shown.PatSegments();
        for (int segment = 2; segment <= last; ++segment) {
            steps.push_back({PgDn, shown.PatScreen(1, segment)});
        }
        steps.push_back({PgDn + Ignored + PgUp, shown.PatScreen(1, last - 1)});
        for (int segment = last - 2; segment >= 1; --segment) {
            steps.push_back({PgUp, shown.PatScreen(1, segment)});
        }
        steps.push_back({PgUp + Enter, shown.PatScreen(2)});
        steps.push_back({LoneEsc, ""});
        Outcome outcome = Play(steps);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(Changes(), std::vector<fixture::Change>{});
    }
}

TEST_F(InteractiveTest, WithoutAConsoleTheRunStopsWithAMessage) {
    Make({.version = 0x0800, .pageSize = 4096, .patPairCountInFcr = 1, .patCounters = {{1, 0}}});
    ProgramRun run(dir, "data.dat", false);
    Outcome outcome = run.Finish();
    EXPECT_EQ(outcome.out, "");
    if (e2e::WindowsTarget()) {
        // A Windows build names its own console and reason.
        EXPECT_EQ(outcome.err.rfind("No console to read keys from (", 0), 0u) << outcome.err;
        EXPECT_TRUE(outcome.err.ends_with("); stopping.\r\n")) << outcome.err;
    } else {
        EXPECT_EQ(outcome.err,
                  "No console to read keys from (/dev/tty: No such device or address); "
                  "stopping.\n");
    }
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(Changes(), std::vector<fixture::Change>{});
}

}  // namespace
