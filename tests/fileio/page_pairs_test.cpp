// PAT pairs and control pairs on real files: loading, the current-copy rule, the page-identity
// check, writing back in place, and single PAT entries.
#include "fileio/page_pairs.h"

#include <cstring>

#include "fileio/bytes.h"
#include "tests/fileio/open_set.h"

namespace {

using fileio::fileSet;
using fileio::patPagePair;

fixture::SetSpec SetOf(uint16_t version, uint16_t pageSize,
                       std::vector<std::array<uint32_t, 2>> counters) {
    fixture::SetSpec setSpec;
    setSpec.version = version;
    setSpec.pageSize = pageSize;
    setSpec.patCounters = std::move(counters);
    return setSpec;
}

class PagePairs : public FileSetTest {
protected:
    int Load(uint32_t pair) {
        int result = 0;
        loaded = Capture([&] { result = fileio::LoadPatPair(pair); });
        return result;
    }
    Captured loaded;
};

TEST_F(PagePairs, CopyOneIsCurrentWhenItsCounterIsHigherOrEqual) {
    struct Case {
        uint32_t u0, u1;
        int active;
        const char* trace;
    } cases[] = {
        {7, 7, 1, "Usage 0 (00000007) > Usage 1 (00000007) [Loaded PAT Pair 1]\n"},
        {5, 3, 0, "Usage 0 (00000005) > Usage 1 (00000003) [Loaded PAT Pair 1]\n"},
        {3, 5, 1, "Usage 0 (00000003) < Usage 1 (00000005) [Loaded PAT Pair 1]\n"},
        {0xFFFFFFFF, 0, 0, "Usage 0 (ffffffff) > Usage 1 (00000000) [Loaded PAT Pair 1]\n"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Open(Write(SetOf(0x0800, 4096, {{c.u0, c.u1}}))), 1);
        fileio::TraceEnabled = true;
        EXPECT_EQ(Load(1), 1);
        EXPECT_EQ(patPagePair.active, c.active);
        EXPECT_EQ(
            loaded.err,
            std::string("(1)Seeking PAT Pair 1 at Large Offset 00000000:00008000\n") + c.trace);
        fileio::TraceEnabled = false;
        fileio::CloseFileSet();
    }
}

TEST_F(PagePairs, LoadsEveryPairAtItsPlaceUntilTheEndOfTheFile) {
    fixture::SetSpec setSpec = SetOf(0x0600, 512, std::vector<std::array<uint32_t, 2>>(32, {1, 2}));
    setSpec.extentSizes = {1000000};
    ASSERT_EQ(Open(Write(setSpec)), 2);
    for (uint32_t pair = 1; pair <= 32; ++pair) {
        ASSERT_EQ(Load(pair), 1) << pair;
        char id[5];
        snprintf(id, sizeof id, "PA%.2X", pair);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(patPagePair.image[1]), 4), id);
    }
    EXPECT_EQ(Load(33), 0);
    EXPECT_EQ(fileSet.loadedPatPair, fileio::NoPatPairLoaded);
    EXPECT_EQ(Load(0), 1);
    EXPECT_EQ(memcmp(patPagePair.image[0], fileio::fcrPagePair.image[0], 512), 0);
}

TEST_F(PagePairs, TheLoadedPairIsNotReadAgain) {
    ASSERT_EQ(Open(Write(SetOf(0x0800, 4096, {{1, 2}}))), 1);
    ASSERT_EQ(Load(1), 1);
    const uint8_t changed = patPagePair.image[0][100] ^= 0xFF;
    fileio::TraceEnabled = true;
    EXPECT_EQ(Load(1), 1);
    EXPECT_EQ(loaded.out + loaded.err, "");
    EXPECT_EQ(patPagePair.image[0][100], changed);
}

TEST_F(PagePairs, WarnsWhenThePageIdentitiesDiffer) {
    fixture::SetSpec setSpec = SetOf(0x0800, 4096, {{1, 2}, {1, 2}});
    setSpec.mismatchedIdPairs = {2};
    ASSERT_EQ(Open(Write(setSpec)), 1);
    EXPECT_EQ(Load(1), 1);
    EXPECT_EQ(loaded.err, "");  // the copies differ from byte 6 on, where the counter is
    EXPECT_EQ(Load(2), 1);
    EXPECT_EQ(loaded.err, "==>PAT Page ID's Do Not Match.\n");
}

TEST_F(PagePairs, WritesBothCopiesBackInPlace) {
    fixture::SetSpec setSpec = SetOf(0x0950, 4096, {{1, 2}, {9, 0}});
    setSpec.extentSizes = {100000};
    std::string base = Write(setSpec);
    ASSERT_EQ(Open(base), 2);
    fixture::Snapshot before = fixture::TakeSnapshot(dir);
    ASSERT_EQ(Load(2), 1);
    fileio::WriteU32(patPagePair.image[1] + 8, 0x1234);
    EXPECT_EQ(fileio::WritePatPair(2), 1);
    fileio::CloseFileSet();
    fixture::Placement at = fixture::Build(setSpec).Locate(fixture::CounterOffset(setSpec, 2, 1));
    EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir)),
              fixture::CounterChanges(at, 0, 0x1234));
}

TEST_F(PagePairs, RefusesToWriteAPairOtherThanTheLoadedOne) {
    ASSERT_EQ(Open(Write(SetOf(0x0800, 4096, {{1, 2}, {3, 4}}))), 1);
    fixture::Snapshot before = fixture::TakeSnapshot(dir);
    ASSERT_EQ(Load(1), 1);
    int result = 1;
    Captured written = Capture([&] { result = fileio::WritePatPair(2); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(written.err, "Writing to incorrect PAT Pair!!!\r\n");
    EXPECT_TRUE(fixture::Diff(before, fixture::TakeSnapshot(dir)).empty());
}

TEST_F(PagePairs, UnknownGeometryEndsTheWalkWithItsReport) {
    fixture::FileSetImage image = fixture::Build(SetOf(0x0950, 1024, {{1, 0}}));
    image.Poke(0x2B, "\x02");  // 512-byte pages have no PAT layout in 9.50 files
    image.Poke(4096 + 0x2B, "\x02");
    ASSERT_EQ(Open(image.Write(dir)), 1);
    EXPECT_EQ(Load(1), 0);
    EXPECT_EQ(loaded.err, "Unexpected Page Size <512>\n");
    EXPECT_EQ(Load(0), 1);
}

TEST_F(PagePairs, PreSixFilesHaveNoPat) {
    fixture::SetSpec setSpec = SetOf(0x0500, 512, {});
    setSpec.oldLayout = true;
    ASSERT_EQ(Open(Write(setSpec)), 1);
    EXPECT_EQ(Load(0), 0);
    EXPECT_EQ(fileio::WriteFcrPair(), 0);
    uint32_t page = 0;
    uint16_t flags = 0, size = 0;
    EXPECT_EQ(fileio::LookupPatEntry(77, &page, &flags, &size), 1);
    EXPECT_EQ(page, 77u);
    EXPECT_EQ(size, 1);
}

TEST_F(PagePairs, LooksUpEntriesInTheCurrentCopy) {
    fixture::SetSpec setSpec = SetOf(0x0600, 512, {{1, 2}, {2, 1}});
    setSpec.patEntries = {{1, 0, 0x127856, 0x34}, {1, 125, 700, 1}, {2, 0, 0x123456, 0x78}};
    ASSERT_EQ(Open(Write(setSpec)), 1);
    struct Case {
        uint32_t logical, physical;
        uint16_t flags;
    } cases[] = {{1, 0x127856, 0x34}, {126, 700, 1}, {127, 0x123456, 0x78}};
    for (const Case& c : cases) {
        uint32_t page = 0;
        uint16_t flags = 0, size = 0;
        EXPECT_EQ(fileio::LookupPatEntry(c.logical, &page, &flags, &size), 1);
        EXPECT_EQ(page, c.physical) << c.logical;
        EXPECT_EQ(flags, c.flags) << c.logical;
    }
    EXPECT_EQ(patPagePair.active, 0);  // pair 2 has copy 0 current
    uint32_t page = 9;
    uint16_t flags = 9, size = 0;
    EXPECT_EQ(fileio::LookupPatEntry(126 * 2 + 1, &page, &flags, &size), 0);
    EXPECT_EQ(page, 0u);
    EXPECT_EQ(flags, 0);
}

TEST_F(PagePairs, LooksUpCompressedSizesOfNinePointFiftyFiles) {
    fixture::SetSpec setSpec = SetOf(0x0950, 4096, {{1, 2}});
    setSpec.compressed = true;
    setSpec.physicalPageSize = 1024;
    setSpec.patEntries = {{1, 3, 4000, 0x0041, 3}};
    ASSERT_EQ(Open(Write(setSpec)), 1);
    uint32_t page = 0;
    uint16_t flags = 0, size = 0;
    EXPECT_EQ(fileio::LookupPatEntry(4, &page, &flags, &size), 1);
    EXPECT_EQ(page, 4000u);
    EXPECT_EQ(flags, 0x41);
    EXPECT_EQ(size, 3);
}

TEST_F(PagePairs, UpdatesAnEntryInTheCurrentCopyAndWritesBoth) {
    fixture::SetSpec setSpec = SetOf(0x0600, 512, {{1, 2}});
    ASSERT_EQ(Open(Write(setSpec)), 1);
    fixture::Snapshot before = fixture::TakeSnapshot(dir);
    EXPECT_EQ(fileio::UpdatePatEntry(3, 0x000102, 0x1A7), 1);
    EXPECT_EQ(fileio::UpdatePatEntry(4, 0x01000000, 0), 0);  // too wide for a pre-8 entry
    fileio::CloseFileSet();
    std::vector<fixture::Change> changes = fixture::Diff(before, fixture::TakeSnapshot(dir));
    ASSERT_EQ(changes.size(), 4u);
    uint64_t entry = fixture::PatPairOffset(setSpec, 1) + 512 + 8 + 4 * 2;
    const int expected[4] = {0x00, 0xA7, 0x02, 0x01};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(changes[i].offset, entry + i);
        EXPECT_EQ(changes[i].after, expected[i]);
    }
}

TEST_F(PagePairs, SecondControlPairFromEightOn) {
    fixture::SetSpec setSpec = SetOf(0x0800, 1024, {});
    ASSERT_EQ(Open(Write(setSpec)), 1);
    fixture::Snapshot before = fixture::TakeSnapshot(dir);
    ASSERT_EQ(fileio::LoadSecondControlPair(), 1);
    const std::vector<uint8_t>& bytes = before.files["data.dat"].data.begin()->second;
    EXPECT_TRUE(std::equal(bytes.begin() + 4096, bytes.begin() + 6144,
                           fileio::secondControlPagePair.image[0]));
    EXPECT_TRUE(std::equal(bytes.begin() + 6144, bytes.begin() + 8192,
                           fileio::secondControlPagePair.image[1]));
    EXPECT_EQ(fileio::WriteSecondControlPair(), 1);
    fileio::CloseFileSet();
    EXPECT_TRUE(fixture::Diff(before, fixture::TakeSnapshot(dir)).empty());

    ASSERT_EQ(Open(Write(SetOf(0x0700, 1024, {}))), 1);
    EXPECT_EQ(fileio::LoadSecondControlPair(), 0);
    EXPECT_EQ(fileio::WriteSecondControlPair(), 0);
}

TEST_F(PagePairs, WritesTheFcrPairWhole) {
    fixture::SetSpec setSpec = SetOf(0x0800, 16384, {});
    setSpec.fcrCounters = {5, 0};
    ASSERT_EQ(Open(Write(setSpec)), 1);
    fixture::Snapshot before = fixture::TakeSnapshot(dir);
    fileio::WriteU32(fileio::fcrPagePair.image[1] + 6, 0x113);
    EXPECT_EQ(fileio::WriteFcrPair(), 1);
    fileio::CloseFileSet();
    fixture::Placement at = fixture::Build(setSpec).Locate(fixture::CounterOffset(setSpec, 0, 1));
    EXPECT_EQ(fixture::Diff(before, fixture::TakeSnapshot(dir)),
              fixture::CounterChanges(at, 0, 0x113));
}

}  // namespace
