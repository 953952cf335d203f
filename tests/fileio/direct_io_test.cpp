// Direct transfers on real file sets: reads and writes in a named extent, the uniform-extent
// write, page slots, header blocks and reads from the delta file, with their trace lines.
#include "fileio/direct_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fileio/records.h"
#include "tests/fileio/open_set.h"
#include "tests/fileio/page_bytes.h"
#include "tests/fixture/fixture.h"

namespace {

using fileio::PageHeaderBlock;

class DirectIo : public FileSetTest {
protected:
    std::string FileBytes(const std::string& name, uint64_t offset, size_t length) const {
        std::ifstream file(dir + "/" + name, std::ios::binary);
        file.seekg(std::streamoff(offset));
        std::string bytes(length, '\0');
        file.read(bytes.data(), std::streamsize(length));
        return bytes.substr(0, size_t(file.gcount()));
    }

    std::vector<fixture::Change> ChangesSince(const fixture::Snapshot& before) const {
        return fixture::Diff(before, fixture::TakeSnapshot(dir));
    }
};

// An 8.x set with 1024-byte pages in three extents of 8192 bytes: data.dat, data.^01, data.^02.
fixture::FileSetImage ThreeExtents() {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0800;
    setSpec.pageSize = 1024;
    setSpec.patCounters = {{1, 2}};
    setSpec.tailBytes = 12288;
    setSpec.extentSizes = {8192, 8192};
    return fixture::Build(setSpec);
}

fixture::FileSetImage Compressed950() {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0950;
    setSpec.pageSize = 4096;
    setSpec.compressed = true;
    setSpec.physicalPageSize = 1024;
    setSpec.tailBytes = 8192;
    return fixture::Build(setSpec);
}

TEST_F(DirectIo, ExtentReadsStayInTheNamedExtent) {
    fixture::FileSetImage image = ThreeExtents();
    image.Poke(16384 + 100, "in extent two");
    OpenImage(image);
    fileio::TraceEnabled = true;

    char buffer[16] = {};
    std::string out = Capture([&] {
                          EXPECT_EQ(fileio::ReadInExtent(100, buffer, 13, 2), 1);
                          EXPECT_EQ(fileio::SeekInExtent(0, 3), 0);
                      }).out;
    fileio::TraceEnabled = false;
    EXPECT_EQ(Bytes(buffer, 13), "in extent two");
    EXPECT_EQ(out,
              "Attempting to set position to Extent 02, Offset 00000000:00000064\n"
              "Attempting to set position to Extent 03, Offset 00000000:00000000\n");
    // A read never goes on into the next extent.
    EXPECT_EQ(fileio::ReadInExtent(8190, buffer, 4, 0), 0);
}

struct UniformCase {
    fileio::LargeOffset offset;
    int result;
    const char* file;
    uint64_t inExtent;
    const char* trace;
};

TEST_F(DirectIo, WriteAtUniformSteppingByTheFirstExtentsSize) {
    OpenImage(ThreeExtents());
    fileio::TraceEnabled = true;
    const UniformCase cases[] = {
        // Ends exactly at extent 0's end, and stays there.
        {8188, 1, "data.dat", 8188, "Extent 00, Offset 00000000:00001ffc"},
        {8192, 1, "data.^01", 0, "Extent 01, Offset 00000000:00000000"},
        {16384 + 8188, 1, "data.^02", 8188, "Extent 02, Offset 00000000:00001ffc"},
        {24576, 0, nullptr, 0, "Extent 03, Offset 00000000:00000000"},
        {-4, 0, nullptr, 0, "Extent 00, Offset ffffffff:fffffffc"},
    };
    for (const UniformCase& c : cases) {
        SCOPED_TRACE(c.trace);
        const fixture::Snapshot before = fixture::TakeSnapshot(dir);
        std::string out =
            Capture([&] { EXPECT_EQ(fileio::WriteAtUniform(c.offset, "WXYZ", 4), c.result); }).out;
        EXPECT_EQ(out,
                  std::string("Attempting to set position to ") + c.trace + " for writing data!\n");
        const std::vector<fixture::Change> changes = ChangesSince(before);
        if (c.result == 0) {
            EXPECT_TRUE(changes.empty());
            continue;
        }
        ASSERT_EQ(changes.size(), 4u);
        EXPECT_EQ(changes.front().file, c.file);
        EXPECT_EQ(changes.front().offset, c.inExtent);
        EXPECT_EQ(changes.back().offset, c.inExtent + 3);
        EXPECT_EQ(FileBytes(c.file, c.inExtent, 4), "WXYZ");
    }
}

TEST_F(DirectIo, ExtentPageFillsTheNamedSlot) {
    fixture::FileSetImage image = ThreeExtents();
    const std::string page = Pattern(1024, 0x23);
    image.Poke(16384 + 1024, page);
    OpenImage(image);

    memset(fileio::pageSlots, 0, sizeof fileio::pageSlots);
    ASSERT_EQ(fileio::ReadExtentPage(2, 1024, 1), 1);
    EXPECT_EQ(Bytes(fileio::pageSlots[1], 1024), page);
    EXPECT_EQ(Bytes(fileio::pageSlots[0], 1024), std::string(1024, '\0'));
    EXPECT_EQ(fileio::ReadExtentPage(2, 7168, 0), 1);  // the extent's last page
    EXPECT_EQ(Bytes(fileio::pageSlots[0], 1024), FileBytes("data.^02", 7168, 1024));

    EXPECT_EQ(fileio::ReadExtentPage(2, 7169, 0), 0);  // comes back short
    EXPECT_EQ(fileio::ReadExtentPage(3, 0, 0), 0);
    EXPECT_EQ(fileio::ReadExtentPage(2, 1024, 2), 0);
}

TEST_F(DirectIo, PageLargerThanASlotIsRefused) {
    // A 5.x file whose page-size byte says 32768.
    fixture::SetSpec setSpec;
    setSpec.version = 0x0500;
    setSpec.pageSize = 16384;
    setSpec.tailBytes = 32768;
    fixture::FileSetImage image = fixture::Build(setSpec);
    image.Poke(0x09, "\x80");
    OpenImage(image);
    ASSERT_EQ(fileio::fileFormat.pageSize, 32768);

    memset(fileio::pageSlots, 0, sizeof fileio::pageSlots);
    EXPECT_EQ(fileio::ReadExtentPage(0, 0, 0), 0);
    EXPECT_EQ(fileio::ReadExtentPage(0, 0, 1), 0);
    EXPECT_EQ(Bytes(fileio::pageSlots, sizeof fileio::pageSlots),
              std::string(sizeof fileio::pageSlots, '\0'));
}

struct ExtentHeaderCase {
    uint16_t version;
    uint32_t headerSize;
};

TEST_F(DirectIo, ExtentHeaderBlockAndItsWriteBack) {
    for (const ExtentHeaderCase& c : {ExtentHeaderCase{0x0950, 8}, ExtentHeaderCase{0x0A00, 16}}) {
        SCOPED_TRACE(c.headerSize);
        fixture::SetSpec setSpec;
        setSpec.version = c.version;
        setSpec.pageSize = 1024;
        setSpec.tailBytes = 2048;
        fixture::FileSetImage image = fixture::Build(setSpec);
        const uint32_t at = uint32_t(image.Length() - 2048);
        const std::string content = Pattern(1024, 0x57);
        image.Poke(at, content);
        OpenImage(image);
        const uint32_t h = c.headerSize;

        PageHeaderBlock block = FilledBlock(0xEE);
        ASSERT_EQ(fileio::ReadExtentHeader(0, at, &block), 1);
        EXPECT_EQ(Bytes(block.bytes, h), content.substr(0, h));
        EXPECT_EQ(Bytes(block.bytes + h, 16 - h), std::string(16 - h, '\xEE'));
        EXPECT_EQ(Bytes(block.bytes + 16, 2), content.substr(h, 2));

        PageHeaderBlock written = FilledBlock(0x5A);
        ASSERT_EQ(fileio::WriteExtentHeader(0, at, &written), 1);
        EXPECT_EQ(FileBytes("data.dat", at, h + 2), std::string(h, '\x5A') + content.substr(h, 2));

        // The two bytes after the header must arrive too.
        const uint32_t end = uint32_t(image.Length());
        EXPECT_EQ(fileio::ReadExtentHeader(0, end - h - 1, &block), 0);
        EXPECT_EQ(fileio::ReadExtentHeader(1, at, &block), 0);
        EXPECT_EQ(fileio::WriteExtentHeader(1, at, &written), 0);
    }
}

TEST_F(DirectIo, ExtentPageWriteIsRefusedOnCompressedFiles) {
    OpenImage(ThreeExtents());
    const std::string page = Pattern(1024, 0x61);
    ASSERT_EQ(fileio::WriteExtentPage(1, 1024, page.data()), 1);
    EXPECT_EQ(FileBytes("data.^01", 1024, 1024), page);
    EXPECT_EQ(fileio::WriteExtentPage(3, 0, page.data()), 0);

    OpenImage(Compressed950());
    const std::string wholePage(4096, 'p');
    const fixture::Snapshot before = fixture::TakeSnapshot(dir);
    EXPECT_EQ(fileio::WriteExtentPage(0, 32768, wholePage.data()), 0);
    EXPECT_TRUE(ChangesSince(before).empty());
    PageHeaderBlock block = FilledBlock(0x5A);
    ASSERT_EQ(fileio::WriteExtentHeader(0, 32768, &block), 1);
    EXPECT_EQ(ChangesSince(before).size(), 8u);
}

TEST_F(DirectIo, DeltaReadsAtPageOrByteOffset) {
    // An 8.x file with 4096-byte pages and a delta file of four such pages.
    fixture::SetSpec setSpec;
    setSpec.version = 0x0800;
    setSpec.pageSize = 4096;
    fixture::FileSetImage delta;
    const std::string content = Pattern(16384, 0x19);
    delta.Poke(0, content);
    delta.Write(dir, fixture::DeltaName("data.dat"));
    OpenImage(fixture::Build(setSpec));
    fileio::TraceEnabled = true;

    char buffer[4097];
    std::string out = Capture([&] {
                          EXPECT_EQ(fileio::ReadDeltaPage(3, buffer, 16), 1);
                          EXPECT_EQ(fileio::ReadDeltaAt(100, buffer + 16, 8), 1);
                          EXPECT_EQ(fileio::ReadDeltaPage(0x100000, buffer, 16), 0);
                      }).out;
    EXPECT_EQ(Bytes(buffer, 16), content.substr(12288, 16));
    EXPECT_EQ(Bytes(buffer + 16, 8), content.substr(100, 8));
    EXPECT_EQ(out,
              "Attempting to set position to Delta File, Offset 00000000:00003000\n"
              "Attempting to set position to Delta File, Offset 00000000:00000064\n"
              "Attempting to set position to Delta File, Offset 00000001:00000000\n");

    // Short reads fail.
    fileio::TraceEnabled = false;
    EXPECT_EQ(fileio::ReadDeltaPage(3, buffer, 4097), 0);
    EXPECT_EQ(fileio::ReadDeltaPage(4, buffer, 1), 0);
    EXPECT_EQ(fileio::ReadDeltaAt(16380, buffer, 8), 0);

    fileio::CloseFileSet();
    fixture::RemoveDir(dir);
    dir = fixture::MakeTempDir();
    OpenImage(fixture::Build(setSpec));
    EXPECT_EQ(fileio::ReadDeltaPage(3, buffer, 16), 0);
    EXPECT_EQ(fileio::ReadDeltaAt(0, buffer, 16), 0);
}

}  // namespace
