// Fault injection over a whole automatic repair: each open, size query, positioning, read and
// write of the run is made to fail in turn (and each read and write to come up short), and every
// such run must end normally, say exactly what the program says for that failure, and change no
// byte but the counters it reported writing. A model of the run, written from the file layout
// and the order of the run's transfers, says what each failure must bring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <tuple>

#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"
#include "tests/hardening/fault_name.h"

namespace {

using hardening::Effect;
using hardening::Fault;
using hardening::Operation;
using hardening::Operations;

const std::string AutoLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";
const std::string ClosingLines =
    "\n\nYou have changed all or part of your Btrieve file.\n"
    "Rebuild the file immediately to avoid further corruption.\n\n";
const std::string Sorry = "Sorry, unable to change at this time.\n";
const std::string BaseName = "data.dat";
constexpr uint64_t FirstFcrRead = 16384;  // what the FCR loader asks of the base file
constexpr uint64_t MinimumFcrRead = 512;
constexpr uint32_t CounterStep = 270;

// An 8.x set in three extents and a delta file. The FCR pair and PAT pairs 2, 3 and 5 have lost
// copy 1's counter. Pair 2 has copy 0 at the end of the base file and copy 1 at the start of
// data.^01, pair 3 lies in data.^01, pairs 4 and 5 in data.^02.
fixture::SetSpec DamagedSet() {
    fixture::SetSpec set{
        .version = 0x0800,
        .pageSize = 4096,
        .fcrCounters = {5, 0},
        .patPairCountInFcr = 5,
        .patCounters = {{0x12, 0x13}, {0x21, 0}, {0x31, 0}, {0x41, 0x42}, {0x51, 0}},
        .delta = true};
    uint64_t base = fixture::PatPairOffset(set, 2) + fixture::GeometryOf(set).fcrPageSize;
    set.extentSizes = {base, fixture::PatPairOffset(set, 4) - base};
    return set;
}

struct Outcome {
    std::string out;
    std::string err;
    std::vector<fixture::Change> changes;
};

std::string Printed(const char* format, auto... values) {
    char text[128];
    snprintf(text, sizeof text, format, values...);
    return text;
}

// The run of "orvane data.dat /A" with one fault armed, transfer by transfer.
class Model {
public:
    Model(const fixture::SetSpec& setSpec, const Fault& fault)
        : spec_(setSpec),
          fault_(fault),
          image_(fixture::Build(setSpec)),
          fcrPageSize_(fixture::GeometryOf(setSpec).fcrPageSize) {}

    Outcome Run() {
        err_ = AutoLines;
        if (OpenSet() && LoadFcr()) {
            RepairFcr();
            RepairPats();
            if (changed_) {
                out_ += ClosingLines;
            }
        }
        std::sort(changes_.begin(), changes_.end(), [](const auto& a, const auto& b) {
            return std::tie(a.file, a.offset) < std::tie(b.file, b.offset);
        });
        return {out_, err_, changes_};
    }

    uint32_t Calls(Operation operation) const { return calls_[int(operation)]; }

private:
    Effect Call(Operation operation) {
        uint32_t n = ++calls_[int(operation)];
        return operation == fault_.operation && n == fault_.n ? fault_.effect : Effect::None;
    }

    // The files of the set as written: the extents' sizes.
    std::vector<uint64_t> ExtentFiles() const {
        std::vector<uint64_t> sizes = spec_.extentSizes;
        uint64_t listed = 0;
        for (uint64_t size : sizes) {
            listed += size;
        }
        sizes.push_back(image_.Length() - listed);
        return sizes;
    }

    void OpenFailed(const std::string& name) {
        err_ += "Failed to Open File <" + name + ">, Status Code 5, " + strerror(EIO) + "\n";
    }

    // Extents from the base file on, up to the first that is missing or fails; then the delta.
    bool OpenSet() {
        std::vector<uint64_t> files = ExtentFiles();
        for (unsigned k = 0;; ++k) {
            std::string name = k == 0 ? BaseName : fixture::ExtensionName(BaseName, k);
            if (Call(Operation::Open) != Effect::None) {
                OpenFailed(name);
                break;
            }
            if (k == files.size()) {
                break;  // not found: the normal end of the scan, silent
            }
            if (Call(Operation::Size) != Effect::None) {
                OpenFailed(name);
                break;
            }
            extents_.push_back(files[k]);
        }
        if (Call(Operation::Open) == Effect::None && spec_.delta &&
            Call(Operation::Size) == Effect::None) {
            err_ += "Delta File Found and Opened!\r\n";
        }
        return !extents_.empty();
    }

    // The extent that holds a logical offset, and the offset in it; false past the last one.
    bool Locate(uint64_t offset, size_t* extent, uint64_t* inExtent) const {
        for (size_t k = 0; k < extents_.size(); ++k) {
            if (offset < extents_[k]) {
                *extent = k;
                *inExtent = offset;
                return true;
            }
            offset -= extents_[k];
        }
        return false;
    }

    // A positioning that reaches the system only inside the opened extents.
    bool Seek(uint64_t offset, size_t* extent, uint64_t* inExtent) {
        return Locate(offset, extent, inExtent) && Call(Operation::Seek) == Effect::None;
    }

    // One positioning and one system read that must deliver every byte from one extent.
    bool ReadAt(uint64_t offset, uint64_t length) {
        size_t extent;
        uint64_t at;
        return Seek(offset, &extent, &at) && Call(Operation::Read) == Effect::None &&
               at + length <= extents_[extent];
    }

    // A write cut short by the system goes on with the rest.
    bool WriteAt(uint64_t offset) {
        size_t extent;
        uint64_t at;
        return Seek(offset, &extent, &at) && Call(Operation::Write) != Effect::Fail;
    }

    bool NotBtrieve(const char* message) {
        err_ += message;
        return false;
    }

    bool LoadFcr() {
        size_t extent;
        uint64_t at;
        if (!Seek(0, &extent, &at)) {
            return NotBtrieve("Not a Btrieve File!\n");
        }
        Effect first = Call(Operation::Read);
        uint64_t got =
            std::min(first == Effect::Short ? FirstFcrRead / 2 : FirstFcrRead, extents_[0]);
        if (first == Effect::Fail || got < MinimumFcrRead) {
            return NotBtrieve("Not a Btrieve File!\n");
        }
        if (!Seek(fcrPageSize_, &extent, &at)) {
            return NotBtrieve("Not a Btrieve File....\n");
        }
        if (Call(Operation::Read) != Effect::None || at + fcrPageSize_ > extents_[extent] ||
            (got < fcrPageSize_ && !ReadAt(got, fcrPageSize_ - got))) {
            return NotBtrieve("Not a Btrieve File.....\n");
        }
        return true;
    }

    // Both copies written back in place, copy 1 with its new counter; pair 0 is the FCR pair.
    void WritePair(uint32_t pair, uint32_t counter) {
        uint64_t at = fixture::PatPairOffset(spec_, pair);
        changed_ = true;
        if (!WriteAt(at) || !WriteAt(at + fcrPageSize_)) {
            out_ += Sorry;
            return;
        }
        fixture::Placement counterAt = image_.Locate(fixture::CounterOffset(spec_, pair, 1));
        for (const fixture::Change& change : fixture::CounterChanges(counterAt, 0, counter)) {
            changes_.push_back(change);
        }
    }

    // Copy 1's counter of 0 loses to copy 0's, which is never lower: copy 1 is rewritten.
    void RepairFcr() {
        auto [c0, c1] = spec_.fcrCounters;
        if (c1 != 0) {
            return;
        }
        uint32_t counter = c0 + CounterStep;
        out_ += Printed("File Control Record Pages: (%8.8lx/%8.8lx)\n", (unsigned long)c0,
                        (unsigned long)c1);
        out_ += Printed("Writing %lx to FCR 1\n", (unsigned long)counter);
        WritePair(0, counter);
    }

    void RepairPats() {
        for (uint32_t pair = 1;; ++pair) {
            uint64_t at = fixture::PatPairOffset(spec_, pair);
            if (!ReadAt(at, fcrPageSize_) || !ReadAt(at + fcrPageSize_, fcrPageSize_)) {
                return;
            }
            auto [c0, c1] = spec_.patCounters.at(pair - 1);
            if (c1 != 0) {
                continue;
            }
            out_ += Printed("Page Allocation Table Pair %d of %d: (%8.8lx/%8.8lx)\n", int(pair),
                            int(spec_.patPairCountInFcr), (unsigned long)c0, (unsigned long)c1);
            if (c0 == 0) {
                continue;  // a tie leaves copy 1 current
            }
            uint32_t counter = c0 + CounterStep;
            out_ +=
                Printed("Writing %lx to PAT 1 in PAT Pair %d\n", (unsigned long)counter, int(pair));
            WritePair(pair, counter);
        }
    }

    fixture::SetSpec spec_;
    Fault fault_;
    fixture::FileSetImage image_;
    uint64_t fcrPageSize_;
    uint32_t calls_[platform::faults::OperationCount] = {};
    std::vector<uint64_t> extents_;
    std::string out_, err_;
    std::vector<fixture::Change> changes_;
    bool changed_ = false;
};

using Counts = std::map<std::string, uint32_t>;

// Runs the fault-injecting program on a fresh copy of the set with the fault armed.
class FaultyRun {
public:
    FaultyRun(const fixture::SetSpec& setSpec, const Fault& fault) {
        fixture::WriteSet(setSpec, dir_);
        before_ = fixture::TakeSnapshot(dir_);
        e2e::SetProgramCommand(ORVANE_FAULTY);
        setenv("ORVANE_FAULT", hardening::FaultText(fault).c_str(), 1);
        setenv("ORVANE_FAULT_COUNTS", (countsDir_ + "/counts").c_str(), 1);
        run_ = e2e::RunProgram(dir_, {BaseName, "/A"});
        unsetenv("ORVANE_FAULT");
        unsetenv("ORVANE_FAULT_COUNTS");
    }
    ~FaultyRun() {
        fixture::RemoveDir(dir_);
        fixture::RemoveDir(countsDir_);
    }

    void Expect(const Outcome& expected) const {
        ASSERT_FALSE(run_.timedOut);
        EXPECT_EQ(run_.status, 0);
        EXPECT_EQ(run_.out, expected.out);
        EXPECT_EQ(run_.err, expected.err);
        EXPECT_EQ(fixture::Diff(before_, fixture::TakeSnapshot(dir_)), expected.changes);
    }

    Counts Calls() const {
        Counts counts;
        std::ifstream in(countsDir_ + "/counts");
        std::string name;
        uint32_t count;
        while (in >> name >> count) {
            counts[name] = count;
        }
        return counts;
    }

private:
    std::string dir_ = fixture::MakeTempDir();
    std::string countsDir_ = fixture::MakeTempDir();
    fixture::Snapshot before_;
    e2e::RunResult run_;
};

// Without a fault the program makes exactly the model's transfers, with the model's outcome, so
// the walks below reach every transfer of the run.
TEST(FaultInjection, TheUnfaultedRunMakesTheModelsTransfers) {
    fixture::SetSpec set = DamagedSet();
    Model model(set, {});
    Outcome outcome = model.Run();
    // New counters for the FCR pair and PAT pairs 2, 3 and 5: two bytes of each change.
    EXPECT_EQ(outcome.changes.size(), 4u * 2u);
    FaultyRun run(set, {});
    run.Expect(outcome);
    Counts expected;
    for (Operation operation : Operations) {
        expected[hardening::OperationName(operation)] = model.Calls(operation);
    }
    EXPECT_EQ(run.Calls(), expected);
}

struct Walk {
    Operation operation;
    Effect effect;
};

class FaultWalk : public testing::TestWithParam<Walk> {};

TEST_P(FaultWalk, EachFailingCallEndsTheRunAsItMust) {
    fixture::SetSpec set = DamagedSet();
    Model clean(set, {});
    clean.Run();
    uint32_t calls = clean.Calls(GetParam().operation);
    ASSERT_GT(calls, 0u);
    for (uint32_t n = 1; n <= calls; ++n) {
        Fault fault{GetParam().operation, n, GetParam().effect};
        SCOPED_TRACE(hardening::FaultText(fault));
        FaultyRun(set, fault).Expect(Model(set, fault).Run());
    }
}

std::string WalkName(const testing::TestParamInfo<Walk>& info) {
    return std::string(info.param.effect == Effect::Short ? "Short" : "Failed") +
           hardening::OperationName(info.param.operation);
}

INSTANTIATE_TEST_SUITE_P(
    EveryTransfer, FaultWalk,
    testing::Values(Walk{Operation::Open, Effect::Fail}, Walk{Operation::Size, Effect::Fail},
                    Walk{Operation::Seek, Effect::Fail}, Walk{Operation::Read, Effect::Fail},
                    Walk{Operation::Read, Effect::Short}, Walk{Operation::Write, Effect::Fail},
                    Walk{Operation::Write, Effect::Short}),
    WalkName);

}  // namespace
