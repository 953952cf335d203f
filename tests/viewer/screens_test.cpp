// Byte-exact tests of the three screen layouts and the entry glyphs.
#include "viewer/screens.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fileio/bytes.h"
#include "fileio/records.h"
#include "tests/viewer/expected_screen.h"
#include "tests/viewer/scripted_console.h"

namespace {

using expected::Blank;
using expected::Join;
using expected::Repeat;
using expected::Row;
using expected::Screen;
using expected::TitleBlock;
using fileio::WriteU16;
using fileio::WriteU32;

const char* PatTitle = "Page Allocation Table Pair 1 of 2: (00000007/00000000)";
const char* FcrTitle = "File Control Record Pages: (00000005/00000000)";

// Two page copies as the viewer gets them, and the format facts the drawing reads.
class ScreensTest : public ::testing::Test {
protected:
    void SetUp() override {
        scripted::Reset({});
        fileio::fileFormat = {};
        left.assign(fileio::ImageCapacity, 0);
        right.assign(fileio::ImageCapacity, 0);
    }

    void Format(uint16_t version, uint16_t pageSize) {
        fileio::fileFormat.version = version;
        fileio::fileFormat.pageSize = pageSize;
        fileio::fileFormat.fcrPageSize = pageSize;
    }

    // The one screen the last drawing wrote.
    std::string Drawn() {
        EXPECT_EQ(scripted::Screens().size(), 1u);
        return scripted::Screens().empty() ? "" : scripted::Screens().back();
    }

    std::vector<uint8_t> left;
    std::vector<uint8_t> right;
};

TEST_F(ScreensTest, RawViewOfTheFcrPairShowsDotsForGlyphs) {
    Format(0x0600, 4096);
    left[0] = 0x46, left[1] = 0x43, left[4] = 0x05, left[255] = 0xAB;
    right[0] = 0x46, right[1] = 0x43, right[16] = 0x80;
    viewer::DrawRawSegment(0, FcrTitle, left.data(), right.data(), 1, 16);

    std::string zeros = "00000000000000000000000000000000";
    EXPECT_EQ(Drawn(),
              "  ORVANE  PAT usage counter repair for Btrieve files    file format (6.00)\r\n"
              "\r\n"
              "(1 of 16) File Control Record Pages: (00000005/00000000)\r\n" +
                  Screen("",
                         Join({{Row("46430000050000000000000000000000 ....<"
                                    "46430000000000000000000000000000 ...."),
                                Row(zeros + " ....<80000000000000000000000000000000 ....")},
                               Repeat(Row(zeros + " ....<" + zeros + " ...."), 13),
                               {Row("000000000000000000000000000000ab ....<" + zeros + " ....")}}),
                         expected::NextHint));
}

TEST_F(ScreensTest, RawViewOfAPatPairShowsGlyphsOfEveryFourthByte) {
    Format(0x0700, 4096);
    uint8_t* l = left.data() + 256;  // segment 2
    uint8_t* r = right.data() + 256;
    l[1] = 0x41, l[5] = 0x00, l[9] = 0x80, l[13] = 0x12;
    r[1] = 0x44, r[5] = 0x45, r[9] = 0x56, r[13] = 0xFF;
    viewer::DrawRawSegment(1, PatTitle, l, r, 2, 16);

    std::string zeros = "00000000000000000000000000000000";
    EXPECT_EQ(Drawn(), Screen(TitleBlock("7.00", "2 of 16", PatTitle),
                              Join({{Row("00410000000000000080000000120000 A I?>"
                                         "00440000004500000056000000ff0000 DEVI")},
                                    Repeat(Row(zeros + "     >" + zeros + "     "), 15)}),
                              expected::BothHint));
}

void V8Header(uint8_t* page, uint32_t number, uint16_t type, uint32_t usage, uint16_t entries,
              uint32_t free, uint32_t largest) {
    WriteU32(page, number);
    WriteU16(page + 4, type);
    WriteU32(page + 6, usage);
    WriteU16(page + 10, entries);
    WriteU32(page + 12, free);
    WriteU32(page + 16, largest);
}

TEST_F(ScreensTest, V8HeaderSegmentDecodesBothHeaders) {
    Format(0x0800, 4096);
    V8Header(left.data(), 1, 0x0050, 7, 0x04FC, 0x1A, 0x10);
    V8Header(right.data(), 0x00010001, 0xFFFF, 0, 0x0123, 0xDEADBEEF, 0x12345678);
    viewer::DrawV8PatSegment(0, PatTitle, left.data(), right.data(), 1, 41);

    EXPECT_EQ(
        Drawn(),
        Screen(TitleBlock("8.00", "1 of 41", PatTitle),
               {Blank(), Row(" LEFT HAND PAT PAGE HEADER"), Row("Logical Page Number: 00000001"),
                Row("     Page Type Code: 0050"), Row("        Usage Count: 00000007"),
                Row("        Entry Count: 04FC"), Row("         Free Count: 0000001A"),
                Row(" Largest Free Block: 00000010"), Blank(), Row(" RIGHT HAND PAT PAGE HEADER"),
                Row("Logical Page Number: 00010001"), Row("     Page Type Code: FFFF"),
                Row("        Usage Count: 00000000"), Row("        Entry Count: 0123"),
                Row("         Free Count: DEADBEEF"), Row(" Largest Free Block: 12345678")},
               expected::NextHint));
}

void Entry(uint8_t* entry, uint32_t page, uint16_t type) {
    WriteU32(entry, page);
    WriteU16(entry + 4, type);
}

TEST_F(ScreensTest, V8EntrySegmentShowsTwoEntriesOfEachCopyPerRow) {
    Format(0x0800, 4096);
    uint8_t* l = left.data() + 20;  // segment 2: entries 0 to 31
    uint8_t* r = right.data() + 20;
    Entry(l, 0x0102, 0x0044);
    Entry(l + 6, 0xABCD, 0x8041);
    Entry(r, 0x0102, 0x4544);
    Entry(r + 6, 0, 0x0141);
    Entry(l + 6 * 31, 0x01020304, 0x0056);
    viewer::DrawV8PatSegment(1, PatTitle, l, r, 2, 41);

    std::string zeros = "000000000000 000000000000";
    EXPECT_EQ(Drawn(),
              Screen(TitleBlock("8.00", "2 of 41", PatTitle),
                     Join({{Row("   020100004400 cdab00004180  D I    >    "
                                "020100004445 000000004101  d ?   ")},
                           Repeat(Row("   " + zeros + std::string(9, ' ') + ">    " + zeros), 14),
                           {Row("   000000000000 040302015600    V    >    " + zeros)}}),
                     expected::BothHint));
}

// Every entry of both copies typed "A"; the boundary cases mark single entries.
void FillEntries(std::vector<uint8_t>& page, int first, int width, int count) {
    for (int k = 0; k < count; ++k) {
        WriteU16(page.data() + first + width * k + 4, 0x0041);
    }
}

TEST_F(ScreensTest, V8LastSegmentBlanksTheRowsPastTheLastEntry) {
    struct Case {
        uint16_t pageSize;
        int entries;
        int shownRows;
    };
    for (Case c : {Case{4096, 1276, 14}, Case{8192, 1278, 15}}) {
        SCOPED_TRACE(c.entries);
        SetUp();
        Format(0x0800, c.pageSize);
        FillEntries(left, 20, 6, c.entries);
        FillEntries(right, 20, 6, c.entries);
        WriteU32(left.data() + 20 + 6 * 1248, 0x04E0);
        WriteU32(right.data() + 20 + 6 * (c.entries - 1), 0x04FB);
        int start = 20 + 192 * 39;
        viewer::DrawV8PatSegment(0, PatTitle, left.data() + start, right.data() + start, 41, 41);

        std::string typed = "000000004100 000000004100  A A    <    000000004100 000000004100  A A";
        EXPECT_EQ(Drawn(), Screen(TitleBlock("8.00", "41 of 41", PatTitle),
                                  Join({{Row("   e00400004100 000000004100  A A    <    "
                                             "000000004100 000000004100  A A")},
                                        Repeat(Row("   " + typed), c.shownRows - 2),
                                        {Row("   000000004100 000000004100  A A    <    "
                                             "000000004100 fb0400004100  A A")},
                                        Repeat(Blank(), 16 - c.shownRows)}),
                                  expected::PreviousHint));
    }
}

void V95Header(uint8_t* page, uint32_t id, uint16_t type, uint16_t flags, uint32_t usage,
               uint32_t unused) {
    WriteU32(page, id);
    WriteU16(page + 4, type);
    WriteU16(page + 6, flags);
    WriteU32(page + 8, usage);
    WriteU32(page + 12, unused);
}

TEST_F(ScreensTest, V95HeaderSegmentHasSeventeenRows) {
    Format(0x0950, 4096);
    V95Header(left.data(), 0x80012345, 0x0050, 0x0003, 0x10, 0x100);
    V95Header(right.data(), 0x4001ABCD, 0x0050, 0x0000, 0x11, 0xFFFF);
    viewer::DrawV95PatSegment(1, PatTitle, left.data(), right.data(), 1, 31);

    std::string pad = std::string(17, ' ');
    EXPECT_EQ(
        Drawn(),
        Screen(
            TitleBlock("9.50", "1 of 31", PatTitle),
            Join({{Blank(),
                   Row("  LEFT HAND PAT PAGE HEADER" + std::string(19, ' ') +
                       "RIGHT HAND PAT PAGE HEADER"),
                   Blank(),
                   // The pair number is the page ID without its top byte, low 16 bits.
                   Row("  PAT Pair Number: 2345" + std::string(23, ' ') + "PAT Pair Number: ABCD"),
                   Row("  Logical Page ID: 0x80012345" + pad + "Logical Page ID: 0x4001abcd"),
                   Row("   Page Type Code: 0x0050" + std::string(22, ' ') +
                       "Page Type Code: 0x0050"),
                   Row("       Page Flags: 0x0003" + std::string(26, ' ') + "Page Flags: 0x0000"),
                   Row(std::string(19, ' ') + "Compressed"),
                   Row(std::string(19, ' ') + "Encrypted"), Blank(),
                   Row("      Usage Count: 0x00000010" + std::string(21, ' ') +
                       "Usage Count: 0x00000011"),
                   Row("     Unused Bytes: 0x00000100" + std::string(20, ' ') +
                       "Unused Bytes: 0x0000FFFF")},
                  Repeat(Blank(), 5)}),
            expected::NextHint));
}

TEST_F(ScreensTest, V95PageFlagRowsFollowTheirMasks) {
    struct Case {
        uint16_t leftFlags, rightFlags;
        const char *leftCompressed, *rightCompressed, *leftEncrypted, *rightEncrypted;
    };
    // The left name is padded to 44 columns; only byte 6's masks 0x01 and 0x02 count.
    auto flagRow = [](std::string leftName, const char* rightName) {
        leftName.resize(44, ' ');
        return Row(std::string(19, ' ') + leftName + rightName);
    };
    for (Case c : {Case{0x0001, 0x0002, "Compressed", "", "", "Encrypted"},
                   Case{0x0000, 0x0003, "", "Compressed", "", "Encrypted"},
                   Case{0x0003, 0x0001, "Compressed", "Compressed", "Encrypted", ""},
                   Case{0x0304, 0x00FC, "", "", "", ""}}) {
        SCOPED_TRACE(c.leftFlags);
        SetUp();
        Format(0x0950, 4096);
        V95Header(left.data(), 1, 0x0050, c.leftFlags, 1, 0);
        V95Header(right.data(), 1, 0x0050, c.rightFlags, 1, 0);
        viewer::DrawV95PatSegment(0, PatTitle, left.data(), right.data(), 1, 31);
        std::string screen = Drawn();
        EXPECT_EQ(expected::Line(screen, 11) + "\n", flagRow(c.leftCompressed, c.rightCompressed));
        EXPECT_EQ(expected::Line(screen, 12) + "\n", flagRow(c.leftEncrypted, c.rightEncrypted));
    }
}

TEST_F(ScreensTest, V95EntrySegmentShowsTwoEntriesOfEachCopyPerRow) {
    Format(0x0950, 4096);
    uint8_t* l = left.data() + 16;  // segment 2: entries 0 to 31
    uint8_t* r = right.data() + 16;
    Entry(l, 0x0203, 0x0056);
    WriteU16(l + 6, 0x0100);
    Entry(r, 0x0203, 0xFFFF);
    Entry(r + 8, 0, 0x4544);
    viewer::DrawV95PatSegment(0, PatTitle, l, r, 2, 31);

    std::string zeros = "0000000000000000 0000000000000000";
    EXPECT_EQ(Drawn(), Screen(TitleBlock("9.50", "2 of 31", PatTitle),
                              Join({{Row("0302000056000001 0000000000000000 V  < "
                                         "03020000ffff0000 0000000044450000 Id")},
                                    Repeat(Row(zeros + "    < " + zeros + "   "), 15)}),
                              expected::BothHint));
}

TEST_F(ScreensTest, V95LastSegmentBlanksTheRowsPastTheLastEntry) {
    Format(0x0950, 4096);  // 956 entries: segment 31 holds entries 928 to 955
    FillEntries(left, 16, 8, 956);
    FillEntries(right, 16, 8, 956);
    int start = 16 + 256 * 29;
    viewer::DrawV95PatSegment(1, PatTitle, left.data() + start, right.data() + start, 31, 31);

    std::string typed = "0000000041000000 0000000041000000";
    EXPECT_EQ(Drawn(),
              Screen(TitleBlock("9.50", "31 of 31", PatTitle),
                     Join({Repeat(Row(typed + " AA > " + typed + " AA"), 14), Repeat(Blank(), 2)}),
                     expected::PreviousHint));
}

TEST_F(ScreensTest, TitleBlockNamesTheVersion) {
    using Draw = void (*)(int, const char*, const uint8_t*, const uint8_t*, int, int);
    struct Case {
        uint16_t version;
        Draw draw;
        const char* shown;
    };
    for (Case c : {Case{0x0D30, viewer::DrawRawSegment, "16.00"},
                   Case{0x0D30, viewer::DrawV8PatSegment, "16.00"},
                   Case{0x0D30, viewer::DrawV95PatSegment, "16.00"},
                   Case{0x0600, viewer::DrawRawSegment, "6.00"},
                   Case{0x07FF, viewer::DrawRawSegment, "7.ff"},
                   Case{0x094F, viewer::DrawV8PatSegment, "9.4f"},
                   Case{0x0A00, viewer::DrawV95PatSegment, "10.00"},
                   Case{0x0D31, viewer::DrawV95PatSegment, "13.31"}}) {
        SCOPED_TRACE(c.shown);
        SetUp();
        Format(c.version, 4096);
        c.draw(0, PatTitle, left.data(), right.data(), 3, 41);
        std::string block = TitleBlock(c.shown, "3 of 41", PatTitle);
        EXPECT_EQ(Drawn().substr(0, block.size()), block);
    }
}

TEST_F(ScreensTest, HintFollowsThePosition) {
    struct Case {
        int segment, count;
        const char* hint;
    };
    for (Case c : {Case{1, 1, expected::NextHint}, Case{1, 16, expected::NextHint},
                   Case{2, 16, expected::BothHint}, Case{16, 16, expected::PreviousHint}}) {
        SetUp();
        Format(0x0600, 4096);
        viewer::DrawRawSegment(0, FcrTitle, left.data(), right.data(), c.segment, c.count);
        std::string screen = Drawn();
        EXPECT_EQ(screen.substr(screen.rfind("<Space>\n") + 8), c.hint)
            << c.segment << " of " << c.count;
    }
}

TEST(EntryGlyphTest, MapsTypeBytes) {
    struct Case {
        uint8_t type;
        char glyph;
    };
    for (Case c : {Case{0x00, ' '}, Case{0x41, 'A'}, Case{0x44, 'D'}, Case{0x45, 'E'},
                   Case{0x56, 'V'}, Case{0x61, '?'}, Case{0x42, '?'}, Case{0x20, '?'},
                   Case{0x7F, '?'}, Case{0x80, 'I'}, Case{0xC1, 'I'}, Case{0xFF, 'I'}}) {
        EXPECT_EQ(viewer::EntryGlyph(c.type), c.glyph) << int(c.type);
    }
}

TEST(EntryGlyphTest, MapsTypeWords) {
    struct Case {
        uint16_t type;
        char glyph;
    };
    for (Case c : {Case{0x0000, ' '}, Case{0x0041, 'A'}, Case{0x0044, 'D'}, Case{0x0045, 'E'},
                   Case{0x0056, 'V'}, Case{0x4544, 'd'}, Case{0x8000, 'I'}, Case{0x8041, 'I'},
                   Case{0xC544, 'I'}, Case{0xFFFF, 'I'}, Case{0x0141, '?'}, Case{0x4541, '?'},
                   Case{0x4445, '?'}, Case{0x7F44, '?'}, Case{0x0042, '?'}, Case{0x0080, '?'},
                   Case{0x00FF, '?'}}) {
        EXPECT_EQ(viewer::EntryGlyphWord(c.type), c.glyph) << std::hex << c.type;
    }
}

TEST(BannerTest, IsSixtyEightCharactersAfterTwoSpacesAndTheName) {
    EXPECT_EQ(std::strlen(viewer::Banner), 68u);
    EXPECT_EQ(std::string(viewer::Banner).substr(0, 8), "  ORVANE");
}

}  // namespace
