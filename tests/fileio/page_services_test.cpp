// Page and record services on real file sets: page and header transfers by logical and physical
// page, the page-header cache and its progress display, records, misc data, run-length records
// and hex dumps.
#include "fileio/page_services.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fileio/records.h"
#include "tests/fileio/open_set.h"
#include "tests/fileio/page_bytes.h"
#include "tests/fixture/fixture.h"

namespace {

using fileio::PageHeaderBlock;

class PageServices : public FileSetTest {
protected:
    void TearDown() override {
        fileio::FreePageHeaderCache();
        FileSetTest::TearDown();
    }

    std::string FileBytes(uint64_t offset, size_t length) const {
        std::ifstream file(path, std::ios::binary);
        file.seekg(std::streamoff(offset));
        std::string bytes(length, '\0');
        file.read(bytes.data(), std::streamsize(length));
        return bytes.substr(0, size_t(file.gcount()));
    }
};

// 8.x, 1024-byte pages: PAT pair 1 at 8192 ends at 12288, so physical page 13 lies at 13312.
fixture::SetSpec Spec8x() {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0800;
    setSpec.pageSize = 1024;
    setSpec.patCounters = {{1, 2}};
    setSpec.patEntries = {{1, 0, 13, 0}};
    setSpec.tailBytes = 4 * 1024;
    return setSpec;
}

struct HeaderCase {
    uint16_t version;
    uint16_t pageSize;
    uint32_t headerSize;
};

TEST_F(PageServices, HeaderBlockTakesTheHeaderAndTheTwoBytesAfterIt) {
    const HeaderCase cases[] = {
        {0x0600, 512, 4}, {0x0800, 1024, 6}, {0x0950, 1024, 8}, {0x0A00, 1024, 16}};
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version);
        fixture::SetSpec setSpec;
        setSpec.version = c.version;
        setSpec.pageSize = c.pageSize;
        fixture::FileSetImage image = fixture::Build(setSpec);
        const uint32_t page = uint32_t(image.Length() / c.pageSize);
        const uint64_t at = uint64_t(page) * c.pageSize;
        const std::string content = Pattern(c.pageSize, 0x31);
        image.Poke(at, content);
        OpenImage(image);
        const uint32_t h = c.headerSize;

        PageHeaderBlock block = FilledBlock(0xEE);
        ASSERT_EQ(fileio::ReadPhysicalPageHeader(page, &block), 1);
        EXPECT_EQ(Bytes(block.bytes, h), content.substr(0, h));
        EXPECT_EQ(Bytes(block.bytes + h, 16 - h), std::string(16 - h, '\xEE'));
        EXPECT_EQ(Bytes(block.bytes + 16, 2), content.substr(h, 2));

        // Only the header goes back, never the two bytes after it.
        PageHeaderBlock written = FilledBlock(0x5A);
        ASSERT_EQ(fileio::WritePhysicalPageHeader(page, &written), 1);
        EXPECT_EQ(FileBytes(at, h + 2), std::string(h, '\x5A') + content.substr(h, 2));
    }
}

TEST_F(PageServices, LogicalPageGoesThroughThePat) {
    fixture::FileSetImage image = fixture::Build(Spec8x());
    const std::string content = Pattern(1024, 0x42);
    image.Poke(13312, content);
    OpenImage(image);

    std::string page(1024, '\0');
    ASSERT_EQ(fileio::ReadLogicalPage(1, page.data(), 1024), 1);
    EXPECT_EQ(page, content);
    EXPECT_EQ(fileio::ReadLogicalPage(1, page.data(), 1023), 0);

    fileio::TraceEnabled = true;
    PageHeaderBlock block = FilledBlock(0);
    Captured output = Capture([&] { EXPECT_EQ(fileio::ReadLogicalPageHeader(1, &block), 1); });
    EXPECT_EQ(output.out,
              "For Phys Page Number 0x0000000d, calculated Large Offset 00000000:00003400\n"
              "Attempting to set position to Extent 00, Offset 00000000:00003400\n"
              "Attempting to set position to Extent 00, Offset 00000000:00003406\n");
    EXPECT_EQ(Bytes(block.bytes, 6), content.substr(0, 6));
    fileio::TraceEnabled = false;

    // The write replaces page 13 and leaves its neighbours 12 and 14 alone.
    std::string pages = FileBytes(12288, 3072);
    const std::string replacement = Pattern(1024, 0x77);
    ASSERT_EQ(fileio::WriteLogicalPage(1, replacement.data()), 1);
    pages.replace(1024, 1024, replacement);
    EXPECT_EQ(FileBytes(12288, 3072), pages);

    // Logical page 317 belongs to PAT pair 2, which the file does not have.
    EXPECT_EQ(fileio::ReadLogicalPage(317, page.data(), 1024), 0);
    EXPECT_EQ(fileio::WriteLogicalPage(317, replacement.data()), 0);
    EXPECT_EQ(fileio::ReadLogicalPageHeader(317, &block), 0);
}

// 9.50 with 4096-byte pages stored in 1024 bytes: PAT pair 1 at 32768 ends at 49152, physical
// page 48.
TEST_F(PageServices, CompressedFileReadsItsCompressedSizeAndRefusesPageWrites) {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0950;
    setSpec.pageSize = 4096;
    setSpec.compressed = true;
    setSpec.physicalPageSize = 1024;
    setSpec.patCounters = {{1, 2}};
    setSpec.patEntries = {{1, 0, 48, 0, 3}, {1, 1, 50, 0, 17}, {1, 2, 52, 0, 1}, {1, 3, 56, 0, 4}};
    setSpec.tailBytes = 32 * 1024;
    fixture::FileSetImage image = fixture::Build(setSpec);
    image.Poke(48 * 1024, Pattern(20 * 1024, 0x11));
    // Page 56 (logical 4) is a whole data page with record 0 at 0x20..0x3F.
    image.PokeU16(56 * 1024 + 4094, 0x20);
    image.PokeU16(56 * 1024 + 4092, 0x40);
    image.PokeU16(56 * 1024 + 0x10, 0);
    OpenImage(image);

    std::string buffer(17 * 1024, '\xEE');
    ASSERT_EQ(fileio::ReadLogicalPage(1, buffer.data(), 16384), 1);
    EXPECT_EQ(buffer.substr(0, 3072), FileBytes(48 * 1024, 3072));
    EXPECT_EQ(buffer[3072], '\xEE');

    // 17 pages of 1024 bytes exceed the record reader's 16384-byte page.
    EXPECT_EQ(fileio::ReadLogicalPage(2, buffer.data(), 16384), 0);
    EXPECT_EQ(fileio::ReadLogicalPage(2, buffer.data(), 17 * 1024), 1);
    uint8_t record[4096];
    uint16_t length = 99;
    EXPECT_EQ(fileio::ReadRecord(2, 0, record, &length), 0);
    EXPECT_EQ(length, 0);

    // A one-page logical page leaves the slot table area unread: it must not be taken from the
    // page read before it.
    ASSERT_EQ(fileio::ReadRecord(4, 0, record, &length), 1);
    EXPECT_EQ(Bytes(record, length), FileBytes(56 * 1024 + 0x20, 0x20));
    EXPECT_EQ(fileio::ReadRecord(3, 0, record, &length), 0);

    const fixture::Snapshot before = fixture::TakeSnapshot(dir);
    EXPECT_EQ(fileio::WriteLogicalPage(1, buffer.data()), 0);
    EXPECT_EQ(fileio::WritePhysicalPages(48, buffer.data(), 1), 0);
    EXPECT_EQ(fileio::WritePagesAt(48 * 1024, buffer.data(), 1), 0);
    EXPECT_TRUE(fixture::Diff(before, fixture::TakeSnapshot(dir)).empty());

    PageHeaderBlock block = FilledBlock(0x5A);
    ASSERT_EQ(fileio::WritePhysicalPageHeader(48, &block), 1);
    const std::vector<fixture::Change> changes = fixture::Diff(before, fixture::TakeSnapshot(dir));
    ASSERT_EQ(changes.size(), 8u);
    EXPECT_EQ(changes.front().offset, 48u * 1024);
    EXPECT_EQ(changes.back().offset, 48u * 1024 + 7);
}

// 6.x files with 512-byte pages: the entry count is the file's sector count.
fixture::FileSetImage Image6x(uint64_t length) {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0600;
    setSpec.pageSize = 512;
    setSpec.tailBytes = length - 1024;  // after the FCR pair
    return fixture::Build(setSpec);
}

TEST_F(PageServices, PreloadShowsProgressEveryHundredthOfTheTable) {
    fixture::FileSetImage image = Image6x(2000 * 512);
    const std::string header = Pattern(6, 0x61);
    image.Poke(1999 * 512, header);
    OpenImage(image);

    Captured output = Capture([] { EXPECT_EQ(fileio::PreloadPageHeaders(true), 1); });
    std::string progress;
    for (int percent = 1; percent <= 99; ++percent) {
        char figure[16];
        snprintf(figure, sizeof figure, "%.3d%%\b\b\b\b", percent);
        progress += figure;
    }
    EXPECT_EQ(output.err, progress);
    EXPECT_EQ(output.out, "Pre-loaded 2000 physical page headers into memory.\n");

    PageHeaderBlock block = FilledBlock(0);
    ASSERT_EQ(fileio::GetCachedPageHeader(1999, &block), 1);
    EXPECT_EQ(Bytes(block.bytes, 4), header.substr(0, 4));
    EXPECT_EQ(Bytes(block.bytes + 16, 2), header.substr(4, 2));
    EXPECT_EQ(fileio::GetCachedPageHeader(2000, &block), 0);

    output = Capture([] { EXPECT_EQ(fileio::PreloadPageHeaders(true), 1); });
    EXPECT_EQ(output.out + output.err, "");

    fileio::FreePageHeaderCache();
    EXPECT_EQ(fileio::GetCachedPageHeader(1999, &block), 0);
    output = Capture([] { EXPECT_EQ(fileio::PreloadPageHeaders(false), 1); });
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(output.out, "Pre-loaded 2000 physical page headers into memory.\n");
}

struct PreloadCase {
    const char* name;
    uint64_t length;
    uint8_t pageSizeByte;  // 0: keep 512
    int result;
    const char* out;
};

TEST_F(PageServices, PreloadStaysInsideItsTable) {
    const PreloadCase cases[] = {
        {"page 4 last readable", 5 * 512, 0, 1,
         "Pre-loaded 5 physical page headers into memory.\n"},
        {"page 5 readable but has no entry", 5 * 512 + 100, 0, 1,
         "Pre-loaded 5 physical page headers into memory.\n"},
        {"page 4 readable but has no entry", 4 * 512 + 100, 0, 0, ""},
        {"pages below one sector", 4096, 1, 0, ""},
    };
    for (const PreloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::FileSetImage image = Image6x(c.length);
        if (c.pageSizeByte != 0) {
            image.Poke(0x09, Bytes(&c.pageSizeByte, 1));
            image.Poke(512 + 0x09, Bytes(&c.pageSizeByte, 1));
        }
        OpenImage(image);
        Captured output = Capture([&] { EXPECT_EQ(fileio::PreloadPageHeaders(true), c.result); });
        EXPECT_EQ(output.out, c.out);
        EXPECT_EQ(output.err, "");
        PageHeaderBlock block;
        EXPECT_EQ(fileio::GetCachedPageHeader(4, &block), c.result);
        fileio::FreePageHeaderCache();
    }
}

struct RecordCase {
    const char* name;
    uint16_t version;
    uint8_t fill;
    uint16_t limit;
    std::vector<std::pair<int, uint16_t>> slots;
    uint16_t record;
    int result;
    uint16_t start;
    uint16_t length;
};

TEST(FindRecordInPage, WalksTheSlotTable) {
    const RecordCase cases[] = {
        {"first record", 0x0800, 0, 3, {{0, 0x20}, {1, 0x30}}, 0, 1, 0x20, 0x10},
        {"next slot free", 0x0800, 0, 3, {{1, 0x30}, {2, 0xFFFF}, {3, 0x48}}, 1, 1, 0x30, 0x18},
        {"record at the limit", 0x0800, 0, 3, {{3, 0x48}, {4, 0x60}}, 3, 1, 0x48, 0x18},
        {"record above the limit", 0x0800, 0, 3, {{4, 0x60}, {5, 0x70}}, 4, 0, 0, 0},
        {"start beyond the page", 0x0800, 0, 3, {{0, 1025}, {1, 1030}}, 0, 0, 0, 0},
        {"empty record", 0x0800, 0, 3, {{0, 0x20}, {1, 0x20}}, 0, 0, 0, 0},
        {"end below start", 0x0800, 0, 3, {{0, 0x40}, {1, 0x20}}, 0, 0, 0, 0},
        {"record runs past the page", 0x0800, 0, 3, {{0, 1000}, {1, 1100}}, 0, 0, 0, 0},
        {"no slot in use below", 0x0800, 0xFF, 0xFFFF, {{0, 0x20}}, 0, 0, 0, 0},
        {"slot outside the page", 0x0800, 0xFF, 0xFFFF, {}, 600, 0, 0, 0},
        {"pre-8 limit at 0x0A", 0x0600, 0, 1, {{1, 0x30}, {2, 0x40}}, 1, 1, 0x30, 0x10},
        {"pre-8 limit refuses", 0x0600, 0, 1, {{2, 0x40}, {3, 0x50}}, 2, 0, 0, 0},
        {"9.50 limit at 0x10", 0x0950, 0, 1, {{1, 0x30}, {2, 0x40}}, 1, 1, 0x30, 0x10},
        {"9.50 limit refuses", 0x0950, 0, 1, {{2, 0x40}, {3, 0x50}}, 2, 0, 0, 0},
    };
    fileio::fileFormat = {};
    fileio::fileFormat.pageSize = 1024;
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        fileio::fileFormat.version = c.version;
        std::vector<uint8_t> page(1024, c.fill);
        const size_t limitAt = c.version < 0x0800 ? 0x0A : c.version < 0x0950 ? 0x0E : 0x10;
        page[limitAt] = uint8_t(c.limit);
        page[limitAt + 1] = uint8_t(c.limit >> 8);
        for (auto [slot, value] : c.slots) {
            page[1022 - 2 * slot] = uint8_t(value);
            page[1023 - 2 * slot] = uint8_t(value >> 8);
        }
        uint16_t start = 99;
        uint16_t length = 99;
        EXPECT_EQ(fileio::FindRecordInPage(page.data(), c.record, &start, &length), c.result);
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(length, c.length);
    }
}

// Data page 13 of the 8.x file: record limit 3; record 1 runs from 0x30 to the start in slot
// 3, slot 2 being free.
void PokeDataPage8x(fixture::FileSetImage& image) {
    const uint64_t page = 13312;
    image.PokeU16(page + 0x0E, 3);
    image.PokeU16(page + 1022, 0x20);
    image.PokeU16(page + 1020, 0x30);
    image.PokeU16(page + 1018, 0xFFFF);
    image.PokeU16(page + 1016, 0x48);
    image.Poke(page + 0x30, "Record one of page 13!!!");
}

TEST_F(PageServices, MiscDataRecordOf8xFileComesFromTheCurrentFcrCopy) {
    fixture::SetSpec setSpec = Spec8x();
    setSpec.fcrCounters = {1, 2};  // copy 1, at 2048, is current
    fixture::FileSetImage image = fixture::Build(setSpec);
    PokeDataPage8x(image);
    image.PokeU32(0x94, 0);
    image.PokeU32(2048 + 0x94, 1);
    image.PokeU16(2048 + 0x98, 1);
    OpenImage(image);

    uint8_t record[1024];
    uint16_t length = 0;
    ASSERT_EQ(fileio::ReadRecord(1, 1, record, &length), 1);
    EXPECT_EQ(Bytes(record, length), "Record one of page 13!!!");
    EXPECT_EQ(fileio::ReadRecord(1, 2, record, &length), 0);
    EXPECT_EQ(length, 0);

    fileio::TraceEnabled = true;
    memset(record, 0, sizeof record);
    Captured output =
        Capture([&] { EXPECT_EQ(fileio::ReadMiscDataRecord(record, 1, &length), 1); });
    EXPECT_EQ(Bytes(record, length), "Record one of page 13!!!");
    EXPECT_TRUE(
        output.out.starts_with("Misc Data Page Pointer: 0x00000001\r\n"
                               "Misc Data Record Number 0x0001\r\n"
                               "Attempting to set position"))
        << output.out;
}

TEST_F(PageServices, MiscDataRecordsOf950File) {
    // 9.50, 1024-byte pages: PAT pair 1 at 16384 ends at 24576, physical page 24.
    fixture::SetSpec setSpec;
    setSpec.version = 0x0950;
    setSpec.pageSize = 1024;
    setSpec.patCounters = {{1, 2}};
    setSpec.patEntries = {{1, 0, 24, 0}};
    setSpec.tailBytes = 2048;
    fixture::FileSetImage image = fixture::Build(setSpec);
    image.PokeU32(0x8C, 0);  // user misc data: no record
    image.PokeU16(0x90, 0x0102);
    image.PokeU16(0x92, 0x0304);
    image.PokeU32(0x94, 1);  // misc data: logical page 1, record 0
    image.PokeU16(0x98, 0);
    image.PokeU16(0x9A, 0xBEEF);
    image.PokeU16(24 * 1024 + 0x10, 0);
    image.PokeU16(24 * 1024 + 1022, 0x40);
    image.PokeU16(24 * 1024 + 1020, 0x45);
    image.Poke(24 * 1024 + 0x40, "9.50!");
    OpenImage(image);
    fileio::TraceEnabled = true;

    uint8_t record[1024];
    uint16_t length = 0;
    // No page pointer: the pointer is shown and nothing is read.
    Captured output =
        Capture([&] { EXPECT_EQ(fileio::ReadMiscDataRecord(record, 1, &length), 0); });
    EXPECT_EQ(output.out, std::string(6, ' ') + "User Misc Data Page Pointer: 0x00000000\r\n" +
                              std::string(5, ' ') + "User Misc Data Record Number: 0x0102\r\n" +
                              std::string(10, ' ') + "User Misc Data Reserved: 0x0304\r\n");
    EXPECT_EQ(output.err, "");

    output = Capture([&] { EXPECT_EQ(fileio::ReadMiscDataRecord(record, 2, &length), 1); });
    EXPECT_EQ(Bytes(record, length), "9.50!");
    const std::string misc = std::string(11, ' ') + "Misc Data Page Pointer: 0x00000001\r\n" +
                             std::string(10, ' ') + "Misc Data Record Number: 0x0000\r\n" +
                             std::string(15, ' ') + "Misc Data Reserved: 0xbeef\r\n";
    EXPECT_TRUE(output.out.starts_with(misc)) << output.out;
}

TEST_F(PageServices, MiscDataRecordOfPre8FileHasA24BitPagePointer) {
    // 6.x, 512-byte pages: PAT pair 1 at 1024 ends at 2048; physical page 5 lies at 2560.
    fixture::SetSpec setSpec;
    setSpec.version = 0x0600;
    setSpec.pageSize = 512;
    setSpec.patCounters = {{1, 2}};
    setSpec.patEntries = {{1, 0, 5, 0}};
    setSpec.tailBytes = 2048;
    fixture::FileSetImage image = fixture::Build(setSpec);
    const uint8_t pointer[] = {0x00, 0x01, 0x00, 0x00};  // record 0, logical page 1
    image.Poke(0x94, pointer, sizeof pointer);
    image.PokeU16(2560 + 0x0A, 0);
    image.PokeU16(2560 + 510, 0x10);
    image.PokeU16(2560 + 508, 0x18);
    image.Poke(2560 + 0x10, "pre-8 ok");
    OpenImage(image);
    fileio::TraceEnabled = true;

    uint8_t record[512];
    uint16_t length = 0;
    Captured output =
        Capture([&] { EXPECT_EQ(fileio::ReadMiscDataRecord(record, 1, &length), 1); });
    EXPECT_EQ(Bytes(record, length), "pre-8 ok");
    EXPECT_TRUE(output.out.starts_with("Misc Data Page Pointer: 0x00000100\r\nAttempting"))
        << output.out;
}

struct ExpandCase {
    const char* name;
    int type;
    std::vector<uint8_t> input;
    uint32_t capacity;
    int result;
    std::string output;
};

TEST(ExpandRecord, ExpandsRunLengthPairs) {
    const std::vector<uint8_t> abc = {3, 0, 'a', 'b', 'c', 4, 0, 'x'};
    const ExpandCase cases[] = {
        {"literal then fill", 1, abc, 7, 1, "abcxxxx"},
        {"room to spare", 1, abc, 100, 1, "abcxxxx"},
        {"fill overflows", 1, abc, 5, 0, "abc"},
        {"literal overflows", 1, abc, 2, 0, ""},
        {"ends after a literal", 1, {2, 0, 'A', 'B'}, 16, 1, "AB"},
        {"empty runs", 1, {0, 0, 0, 0, 'z', 1, 0, 'q'}, 4, 1, "q"},
        {"not compressed", 0, abc, 16, 1, ""},
        {"unknown type", 2, abc, 16, 0, ""},
        {"only the low byte of the type counts", 0x101, {2, 0, 'A', 'B'}, 16, 1, "AB"},
        {"literal past the input", 1, {5, 0, 'a', 'b'}, 16, 0, ""},
        {"fill header cut short", 1, {1, 0, 'a', 4, 0}, 16, 0, "a"},
        {"length header cut short", 1, {1, 0, 'a', 4, 0, 'x', 7}, 16, 0, "axxxx"},
    };
    for (const ExpandCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> input = c.input;  // exactly sized, so over-reads show
        std::vector<uint8_t> output(c.capacity, 0);
        uint32_t size = c.capacity;
        EXPECT_EQ(fileio::ExpandRecord(c.type, input.data(), uint32_t(input.size()), output.data(),
                                       &size),
                  c.result);
        ASSERT_LE(size, c.capacity);
        EXPECT_EQ(Bytes(output.data(), size), c.output);
    }
}

TEST(HexDump, WritesSixteenBytesToALineAndNoMoreThanItIsGiven) {
    std::vector<uint8_t> bytes(17);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(i * 0x11);
    }
    const std::string firstLine = "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n";
    EXPECT_EQ(Capture([&] { fileio::HexDump(bytes.data(), 17); }).err, firstLine + "10 \n");
    EXPECT_EQ(Capture([&] {
                  fileio::HexDump(bytes.data(), 16);
                  fileio::HexDump(bytes.data(), 0);
                  fileio::HexDump(bytes.data(), -5);
              }).err,
              firstLine);
}

}  // namespace
