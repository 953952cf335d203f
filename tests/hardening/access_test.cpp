// Concurrent runs and files the real program cannot use, end to end. A second run on a set that
// a first one holds in the viewer is refused, by any name it is given. The tests run as root,
// for whom permission bits stop nothing, so the read-only files here are what stops root as
// well: files marked immutable or append-only, and files that another process holds. A
// directory, a FIFO or a device in place of the base file is refused; in place of an extension
// file, it ends the set there and the base file is repaired alone; in place of the delta file,
// it is passed over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "tests/e2e/run_program.h"
#include "tests/fixture/fixture.h"
#include "tests/hardening/terminal_run.h"

namespace {

using fixture::SetSpec;

const std::string AutoLines = "Auto-Fix-It Activated!\nMan, I really hope you had a backup...\n";
const std::string DeltaLine = "Delta File Found and Opened!\r\n";
const std::string ClosingLines =
    "\n\nYou have changed all or part of your Btrieve file.\n"
    "Rebuild the file immediately to avoid further corruption.\n\n";

std::string Refusal(const std::string& name, int code, const std::string& text) {
    return "Failed to Open File <" + name + ">, Status Code " + std::to_string(code) + ", " + text +
           "\n";
}

std::string InUse(const std::string& name) {
    return Refusal(name, EBUSY, "The file is in use by another process");
}

// PAT pairs 1 and 2 have lost copy 1's counter; pair 1 lies in the base file, pair 2 in data.^01.
SetSpec TwoExtentSet(bool delta) {
    SetSpec set{.version = 0x0800,
                .pageSize = 4096,
                .fcrCounters = {5, 3},
                .patPairCountInFcr = 2,
                .patCounters = {{7, 0}, {8, 0}},
                .delta = delta};
    set.extentSizes = {fixture::PatPairOffset(set, 2)};
    return set;
}

const std::string PairOneRepaired =
    "Page Allocation Table Pair 1 of 2: (00000007/00000000)\n"
    "Writing 115 to PAT 1 in PAT Pair 1\n";
const std::string PairTwoRepaired =
    "Page Allocation Table Pair 2 of 2: (00000008/00000000)\n"
    "Writing 116 to PAT 1 in PAT Pair 2\n";

// Sets or clears an inode flag such as immutable; false where the file system has none.
bool SetInodeFlag(const std::string& path, int flag, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return done;
}

class Access : public testing::Test {
protected:
    void SetUp() override { e2e::SetProgramCommand(ORVANE); }

    void TearDown() override { Clear(); }

    // Lets go of the files and removes them; the next case starts in a fresh directory.
    void Clear() {
        for (const std::string& path : flagged_) {
            SetInodeFlag(path, FS_IMMUTABLE_FL | FS_APPEND_FL, false);
        }
        flagged_.clear();
        if (holder_ >= 0) {
            close(holder_);
            holder_ = -1;
        }
        fixture::RemoveDir(dir_);
    }

    void NextCase() {
        Clear();
        dir_ = fixture::MakeTempDir();
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // The file, already written, marked with an inode flag; false where that cannot be done.
    bool Flag(const std::string& name, int flag) {
        flagged_.push_back(Path(name));
        return SetInodeFlag(Path(name), flag, true);
    }

    // Another process's hold on the file: open for writing, locked.
    void Hold(const std::string& name) {
        holder_ = open(Path(name).c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(holder_, 0);
        ASSERT_EQ(flock(holder_, LOCK_EX), 0);
    }

    void Replace(const std::string& name, const std::function<int(const char*)>& make) {
        ASSERT_EQ(unlink(Path(name).c_str()), 0);
        ASSERT_EQ(make(Path(name).c_str()), 0) << strerror(errno);
    }

    // An automatic run, its output, and the changes it made to the regular files.
    void ExpectRun(const std::string& out, const std::string& err,
                   const std::vector<fixture::Change>& changes) {
        fixture::Snapshot before = fixture::TakeSnapshot(dir_);
        e2e::RunResult run = e2e::RunProgram(dir_, {"data.dat", "/A"});
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)), changes);
    }

    std::vector<fixture::Change> CounterChange(const SetSpec& set, uint32_t pair,
                                               uint32_t counter) const {
        return fixture::CounterChanges(
            fixture::Build(set).Locate(fixture::CounterOffset(set, pair, 1)), 0, counter);
    }

    std::string dir_ = fixture::MakeTempDir();
    std::vector<std::string> flagged_;
    int holder_ = -1;
};

// The first run is held in the viewer after a change; a second run by the set's name, by its
// full path, through a hard link, or by the name of an extension file is refused and changes
// nothing. Once the first run ends, the set opens again.
TEST_F(Access, ASecondRunIsRefusedWhileOneIsRepairing) {
    SetSpec set = TwoExtentSet(true);
    fixture::FileSetImage image = fixture::Build(set);
    image.Write(dir_);
    ASSERT_EQ(link(Path("data.dat").c_str(), Path("link.dat").c_str()), 0);
    fixture::Snapshot before = fixture::TakeSnapshot(dir_);

    pty::Terminal terminal;
    hardening::TerminalRun first(terminal, ORVANE, dir_, {"data.dat"});
    ASSERT_TRUE(first.AwaitOutput("File Control Record Pages"));
    first.Type("\r");
    ASSERT_TRUE(first.AwaitOutput("Page Allocation Table Pair 1 of 2"));
    first.Type("C");
    ASSERT_TRUE(first.AwaitOutput("Page Allocation Table Pair 2 of 2"));

    std::string otherDir = fixture::MakeTempDir();
    struct Second {
        std::string where;
        std::string name;
    };
    for (const Second& second : {Second{dir_, "data.dat"}, Second{otherDir, Path("data.dat")},
                                 Second{dir_, "link.dat"}, Second{dir_, "data.^01"}}) {
        SCOPED_TRACE(second.name);
        fixture::Snapshot held = fixture::TakeSnapshot(dir_);
        e2e::RunResult run = e2e::RunProgram(second.where, {second.name, "/A"});
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, AutoLines + InUse(second.name));
        EXPECT_EQ(fixture::Diff(held, fixture::TakeSnapshot(dir_)), std::vector<fixture::Change>{});
    }
    fixture::RemoveDir(otherDir);

    first.Type("\r");
    hardening::Ended ended = first.Finish();
    EXPECT_EQ(ended.status, 0);
    EXPECT_NE(ended.out.find("Writing 115 to PAT 1 in PAT Pair 1\n"), std::string::npos);
    EXPECT_TRUE(ended.out.ends_with(ClosingLines));
    EXPECT_EQ(ended.err, DeltaLine);

    std::vector<fixture::Change> firstChange = CounterChange(set, 1, 0x115);
    for (fixture::Change change : CounterChange(set, 1, 0x115)) {
        change.file = "link.dat";  // the same bytes, by the other name
        firstChange.push_back(change);
    }
    EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir_)), firstChange);
    ExpectRun(PairTwoRepaired + ClosingLines, AutoLines + DeltaLine, CounterChange(set, 2, 0x116));
}

// What cannot be opened for writing in place of the base file: refused, nothing written.
TEST_F(Access, ABaseFileItCannotUseIsRefused) {
    struct Case {
        const char* what;
        std::function<int(const char*)> make;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"a directory", [](const char* path) { return mkdir(path, 0755); }, EISDIR,
         strerror(EISDIR)},
        {"a FIFO", [](const char* path) { return mkfifo(path, 0644); }, EINVAL,
         "Not a regular file"},
        {"a link to a device", [](const char* path) { return symlink("/dev/zero", path); }, EINVAL,
         "Not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::WriteSet(TwoExtentSet(true), dir_);
        Replace("data.dat", c.make);
        ExpectRun("", AutoLines + Refusal("data.dat", c.code, c.text) + DeltaLine, {});
        NextCase();
    }
}

// Files root cannot open for writing either: marked immutable or append-only.
TEST_F(Access, AReadOnlyBaseFileIsRefused) {
    for (int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
        SCOPED_TRACE(flag == FS_IMMUTABLE_FL ? "immutable" : "append-only");
        fixture::WriteSet(TwoExtentSet(false), dir_);
        if (!Flag("data.dat", flag)) {
            GTEST_SKIP() << "this file system has no immutable or append-only files";
        }
        ExpectRun("", AutoLines + Refusal("data.dat", EPERM, strerror(EPERM)), {});
        NextCase();
    }
}

// An extension file that cannot be opened ends the set before it, with a message naming it; the
// pairs of the base file are repaired, the extension file is left as it was.
TEST_F(Access, AnExtensionFileItCannotUseEndsTheSetBeforeIt) {
    SetSpec set = TwoExtentSet(false);
    const std::string out = PairOneRepaired + ClosingLines;
    const std::vector<fixture::Change> changes = CounterChange(set, 1, 0x115);
    struct Case {
        const char* what;
        std::function<void()> make;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {"a directory", [&] { Replace("data.^01", [](const char* p) { return mkdir(p, 0755); }); },
         EISDIR, strerror(EISDIR)},
        {"a FIFO", [&] { Replace("data.^01", [](const char* p) { return mkfifo(p, 0644); }); },
         EINVAL, "Not a regular file"},
        {"held by another process", [&] { Hold("data.^01"); }, EBUSY,
         "The file is in use by another process"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::WriteSet(set, dir_);
        c.make();
        ExpectRun(out, AutoLines + Refusal("data.^01", c.code, c.text), changes);
        NextCase();
    }
    fixture::WriteSet(set, dir_);
    if (Flag("data.^01", FS_IMMUTABLE_FL)) {
        SCOPED_TRACE("immutable");
        ExpectRun(out, AutoLines + Refusal("data.^01", EPERM, strerror(EPERM)), changes);
    }
}

// The delta file is optional: one that cannot be opened is passed over in silence.
TEST_F(Access, ADeltaFileItCannotUseIsPassedOver) {
    SetSpec set = TwoExtentSet(true);
    for (auto make : {+[](const char* p) { return mkdir(p, 0755); },
                      +[](const char* p) { return mkfifo(p, 0644); }}) {
        fixture::WriteSet(set, dir_);
        Replace("data.^^^", make);
        std::vector<fixture::Change> changes = CounterChange(set, 2, 0x116);  // in data.^01
        for (const fixture::Change& change : CounterChange(set, 1, 0x115)) {
            changes.push_back(change);
        }
        ExpectRun(PairOneRepaired + PairTwoRepaired + ClosingLines, AutoLines, changes);
        NextCase();
    }
}

}  // namespace
