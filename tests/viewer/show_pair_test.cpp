// The viewer's dialogue with a scripted console: choice of layout, segment counts and starts,
// paging, the deciding keys and the keys that must be ignored.
#include "viewer/show_pair.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fileio/bytes.h"
#include "fileio/records.h"
#include "tests/viewer/expected_screen.h"
#include "tests/viewer/scripted_console.h"

namespace {

using Keys = std::vector<uint8_t>;

const Keys PgUp = {0xE0, 0x49};
const Keys PgDn = {0xE0, 0x51};
const uint8_t Enter = 0x0D;
const char* PatTitle = "Page Allocation Table Pair 3 of 9: (00000020/00000000)";
const char* FcrTitle = "File Control Record Pages: (00000005/00000000)";

Keys Script(std::initializer_list<Keys> parts) {
    Keys keys;
    for (const Keys& part : parts) {
        keys.insert(keys.end(), part.begin(), part.end());
    }
    return keys;
}

Keys Times(const Keys& key, int count) {
    Keys keys;
    for (int i = 0; i < count; ++i) {
        keys.insert(keys.end(), key.begin(), key.end());
    }
    return keys;
}

// "n of m" from a screen's third line.
std::string Position(const std::string& screen) {
    std::string line = expected::Line(screen, 2);
    return line.substr(1, line.find(')') - 1);
}

std::vector<std::string> Positions() {
    std::vector<std::string> positions;
    for (const std::string& screen : scripted::Screens()) {
        positions.push_back(Position(screen));
    }
    return positions;
}

// The text between the bars of framed row `row` (from 1) of a screen.
std::string RowText(const std::string& screen, int row) {
    std::string line = expected::Line(screen, 3 + row);
    return line.substr(1, 75);
}

class ShowPairTest : public ::testing::Test {
protected:
    void SetUp() override {
        fileio::fileFormat = {};
        std::memset(&fileio::patPagePair, 0, sizeof fileio::patPagePair);
        Format(0x0800, 4096, 4096);
    }

    void Format(uint16_t version, uint16_t pageSize, uint16_t fcrPageSize) {
        fileio::fileFormat.version = version;
        fileio::fileFormat.pageSize = pageSize;
        fileio::fileFormat.fcrPageSize = fcrPageSize;
    }

    int Show(const Keys& keys, int activeCopy = 0, const char* title = PatTitle) {
        scripted::Reset(keys);
        return viewer::ShowPair(activeCopy, title);
    }
};

TEST_F(ShowPairTest, DecidingKeysAnswerAtOnceWithoutAnotherScreen) {
    struct Case {
        uint8_t key;
        int activeCopy;
        int result;
    };
    for (Case c : {Case{Enter, 0, 0}, Case{Enter, 1, 1}, Case{' ', 0, 0}, Case{' ', 1, 1},
                   Case{'C', 0, 1}, Case{'c', 1, 0}, Case{'c', 0, 1}, Case{0x1B, 1, viewer::Stop},
                   Case{0x08, 0, viewer::StepBack}}) {
        for (const char* title : {PatTitle, FcrTitle}) {
            SCOPED_TRACE(testing::Message()
                         << "key " << int(c.key) << " active " << c.activeCopy << " " << title);
            EXPECT_EQ(Show(Script({PgDn, {c.key}, {Enter}}), c.activeCopy, title), c.result);
            EXPECT_EQ(scripted::Screens().size(), 2u);
            EXPECT_EQ(scripted::KeysLeft(), 1u);
        }
    }
}

TEST_F(ShowPairTest, OtherKeysAreIgnoredWithoutOutput) {
    // Extended codes that equal letters or deciding keys must not be taken for them.
    Keys ignored = {'x',  '1',  '\t', 'a',  'Z',  0x7F, 0x0A, 0xE0, 0x48, 0xE0, 0x50, 0xE0, 0x4B,
                    0xE0, 0x4D, 0xE0, 0x47, 0xE0, 0x4F, 0x00, 0x3B, 0x00, 0x86, 0xE0, 0x43, 0x00,
                    0x63, 0xE0, 0x0D, 0x00, 0x20, 0xE0, 0x1B, 0x00, 0x08, 0xE0, 0x00};
    EXPECT_EQ(Show(Script({ignored, {Enter}}), 1), 1);
    EXPECT_EQ(scripted::Screens().size(), 1u);
    EXPECT_EQ(scripted::KeysLeft(), 0u);
}

TEST_F(ShowPairTest, PagingRedrawsOnlyWhenTheSegmentChanges) {
    Format(0x0600, 512, 512);  // two raw segments
    fileio::patPagePair.image[0][256] = 0xAB;
    fileio::patPagePair.image[1][511] = 0xCD;
    EXPECT_EQ(Show(Script({PgUp, PgDn, PgDn, PgDn, PgUp, PgUp, {Enter}})), 0);
    EXPECT_EQ(Positions(), (std::vector<std::string>{"1 of 2", "2 of 2", "1 of 2"}));
    std::string second = scripted::Screens()[1];
    EXPECT_EQ(RowText(second, 1).substr(0, 4), "ab00");
    EXPECT_EQ(RowText(second, 16).substr(66, 4), "00cd");
    EXPECT_NE(second.find(expected::PreviousHint), std::string::npos);
}

TEST_F(ShowPairTest, ViewAndSegmentCountFollowTheVersionAndTitle) {
    enum class View { Raw, V8, V95 };
    struct Case {
        uint16_t version, pageSize, fcrPageSize;
        const char* title;
        View view;
        const char* position;
    };
    for (Case c : {Case{0x0950, 4096, 4096, FcrTitle, View::Raw, "1 of 16"},
                   Case{0x0600, 1024, 1024, FcrTitle, View::Raw, "1 of 4"},
                   Case{0x0700, 4096, 4096, PatTitle, View::Raw, "1 of 16"},
                   Case{0x07FF, 8192, 8192, PatTitle, View::Raw, "1 of 32"},
                   Case{0x0800, 4096, 4096, FcrTitle, View::Raw, "1 of 16"},
                   Case{0x0800, 4096, 4096, PatTitle, View::V8, "1 of 41"},
                   Case{0x0800, 512, 4096, PatTitle, View::V8, "1 of 11"},
                   Case{0x094F, 8192, 8192, PatTitle, View::V8, "1 of 41"},
                   Case{0x0950, 4096, 4096, PatTitle, View::V95, "1 of 31"},
                   Case{0x0950, 16384, 16384, PatTitle, View::V95, "1 of 51"},
                   Case{0x0D30, 2048, 2048, PatTitle, View::V95, "1 of 16"},
                   Case{0x0950, 4096, 4096, "Page Allocation Table Pair 0 of 3: (1/0)", View::V95,
                        "1 of 31"}}) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.version << " " << std::dec << c.pageSize << " " << c.title);
        SetUp();
        Format(c.version, c.pageSize, c.fcrPageSize);
        Show({Enter}, 0, c.title);
        ASSERT_EQ(scripted::Screens().size(), 1u);
        std::string screen = scripted::Screens()[0];
        EXPECT_EQ(Position(screen), c.position);
        const char* secondRow = c.view == View::Raw  ? "0000000000000000"
                                : c.view == View::V8 ? " LEFT HAND PAT PAGE HEADER  "
                                                     : "  LEFT HAND PAT PAGE HEADER  ";
        EXPECT_EQ(RowText(screen, 2).substr(0, std::strlen(secondRow)), secondRow);
    }
}

TEST_F(ShowPairTest, LastSegmentsStartAtTheirEntries) {
    struct Case {
        uint16_t version;
        int last, firstEntry, entryStart, entryWidth;
        const char* firstRow;
    };
    for (Case c : {Case{0x0800, 41, 1248, 20, 6, "   e00400000000 000000000000"},
                   Case{0x0950, 31, 928, 16, 8, "a003000000000000 0000000000000000"}}) {
        SCOPED_TRACE(c.version);
        SetUp();
        Format(c.version, 4096, 4096);
        uint8_t* entry = fileio::patPagePair.image[0] + c.entryStart + c.entryWidth * c.firstEntry;
        fileio::WriteU32(entry, uint32_t(c.firstEntry));
        EXPECT_EQ(Show(Script({Times(PgDn, c.last + 1), {Enter}})), 0);  // one PgDn too many
        ASSERT_EQ(scripted::Screens().size(), size_t(c.last));
        std::string last = scripted::Screens().back();
        EXPECT_EQ(Position(last), std::to_string(c.last) + " of " + std::to_string(c.last));
        EXPECT_EQ(RowText(last, 1).substr(0, std::strlen(c.firstRow)), c.firstRow);
    }
}

TEST_F(ShowPairTest, RawViewStopsAtTheEndOfTheBuffer) {
    Format(0x0600, 0xFE00, 0xFE00);  // 254 segments' worth, more than a buffer holds
    fileio::patPagePair.image[1][fileio::ImageCapacity - 1] = 0xEE;
    Show(Script({Times(PgDn, 200), {Enter}}));
    ASSERT_EQ(scripted::Screens().size(), 128u);
    std::string last = scripted::Screens().back();
    EXPECT_EQ(Position(last), "128 of 128");
    EXPECT_EQ(RowText(last, 16).substr(68, 2), "ee");
}

TEST_F(ShowPairTest, UnknownPageSizeLeavesOnlyTheHeaderSegment) {
    Format(0x0950, 512, 512);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Show(Script({PgDn, PgDn, {'c'}}), 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unexpected Page Size <512>\n");
    ASSERT_EQ(scripted::Screens().size(), 1u);
    EXPECT_EQ(Position(scripted::Screens()[0]), "1 of 1");
    EXPECT_NE(scripted::Screens()[0].find(expected::NextHint), std::string::npos);
}

TEST_F(ShowPairTest, EveryCallStartsAtTheFirstSegment) {
    scripted::Reset(Script({PgDn, PgDn, {Enter}, PgDn, {Enter}}));
    viewer::ShowPair(0, PatTitle);
    viewer::ShowPair(0, PatTitle);
    EXPECT_EQ(Positions(),
              (std::vector<std::string>{"1 of 41", "2 of 41", "3 of 41", "1 of 41", "2 of 41"}));
}

TEST_F(ShowPairTest, NoConsoleStopsWithoutAScreen) {
    scripted::Reset({Enter}, false);
    EXPECT_EQ(viewer::ShowPair(0, PatTitle), viewer::Stop);
    EXPECT_TRUE(scripted::Screens().empty());
}

TEST_F(ShowPairTest, AConsoleThatFailsMidwayStops) {
    EXPECT_EQ(Show({}), viewer::Stop);
    EXPECT_EQ(Show({0xE0}), viewer::Stop);  // the extended key's code never comes
    EXPECT_EQ(scripted::Screens().size(), 1u);
}

}  // namespace
