// FCR loading on real files: recognition, version classes, the current copy, warnings, faults.
#include "fileio/fcr.h"

#include <fstream>

#include "fileio/bytes.h"
#include "tests/fileio/open_set.h"

namespace {

using fileio::fcrPagePair;
using fileio::fileFormat;

fixture::SetSpec SetOf(uint16_t version, uint16_t pageSize) {
    fixture::SetSpec setSpec;
    setSpec.version = version;
    setSpec.pageSize = pageSize;
    return setSpec;
}

class FcrLoad : public FileSetTest {
protected:
    // Writes the set with bytes changed at the start of FCR copy 0, and opens it.
    uint16_t OpenPoked(const fixture::SetSpec& setSpec, uint64_t at, const std::string& bytes) {
        fixture::FileSetImage image = fixture::Build(setSpec);
        image.Poke(at, bytes);
        return Open(image.Write(dir));
    }
    void WriteRaw(const std::string& bytes) {
        std::ofstream(dir + "/data.dat", std::ios::binary) << bytes;
    }
};

TEST_F(FcrLoad, ClassifiesEveryVersionClassAndPageSize) {
    struct Row {
        uint16_t version, pageSize, fcrPageSize;
        uint32_t usageOffset, headerSize;
    } rows[] = {
        {0x0600, 512, 512, 4, 4},     {0x0600, 4096, 4096, 4, 4},   {0x0700, 16384, 16384, 4, 4},
        {0x0800, 512, 2048, 6, 6},    {0x0800, 1024, 2048, 6, 6},   {0x0800, 1536, 3072, 6, 6},
        {0x0900, 2048, 4096, 6, 6},   {0x0800, 4096, 8192, 6, 6},   {0x0800, 8192, 8192, 6, 6},
        {0x094F, 16384, 32768, 6, 6}, {0x0950, 512, 4096, 8, 8},    {0x0950, 1024, 4096, 8, 8},
        {0x0950, 2048, 4096, 8, 8},   {0x0950, 4096, 8192, 8, 8},   {0x0950, 8192, 16384, 8, 8},
        {0x0950, 16384, 16384, 8, 8}, {0x0A00, 512, 1024, 8, 16},   {0x0A00, 1024, 2048, 8, 16},
        {0x0951, 1536, 3072, 8, 16},  {0x0B10, 8192, 16384, 8, 16}, {0x0D30, 16384, 16384, 8, 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << row.version << std::dec << " " << row.pageSize);
        EXPECT_EQ(Open(Write(SetOf(row.version, row.pageSize))), 1);
        EXPECT_EQ(fileFormat.version, row.version);
        EXPECT_EQ(fileFormat.pageSize, row.pageSize);
        EXPECT_EQ(fileFormat.fcrPageSize, row.fcrPageSize);
        EXPECT_EQ(fileFormat.usageOffset, row.usageOffset);
        EXPECT_EQ(fileFormat.pageIdLength, row.usageOffset);
        EXPECT_EQ(fileFormat.pageHeaderSize, row.headerSize);
        fileio::CloseFileSet();
    }
}

TEST_F(FcrLoad, RecognisesTheSignatureByEitherByte) {
    fixture::SetSpec setSpec = SetOf(0x0800, 4096);
    EXPECT_EQ(OpenPoked(setSpec, 0, "FX"), 1);
    fileio::CloseFileSet();
    EXPECT_EQ(OpenPoked(setSpec, 0, "XC"), 1);
    fileio::CloseFileSet();
    EXPECT_EQ(OpenPoked(setSpec, 0, "XY"), 0);
    EXPECT_EQ(opened.err, "Not a Btrieve File!\n");
}

TEST_F(FcrLoad, RejectsShortOrUnreadableFiles) {
    // An 8.x FCR with 1024-byte pages puts copy 1 at 2048.
    auto fcr = [](size_t length) {
        std::string bytes(length, '\x11');
        bytes.replace(0, 2, "FC");
        bytes[0x2B] = 4;
        bytes.replace(0x4A, 2, std::string("\x00\x08", 2));
        return bytes;
    };
    struct Case {
        std::string bytes;
        const char* message;
    } cases[] = {
        {std::string(511, '\0'), "Not a Btrieve File!\n"},
        {fcr(600), "Not a Btrieve File....\n"},
        {fcr(3000), "Not a Btrieve File.....\n"},
    };
    for (const Case& c : cases) {
        WriteRaw(c.bytes);
        EXPECT_EQ(Open(dir + "/data.dat"), 0);
        EXPECT_EQ(opened.err, c.message);
        fileio::CloseFileSet();
    }
    WriteRaw(std::string(512, '\0'));
    EXPECT_EQ(Open(dir + "/data.dat"), 1);
    EXPECT_EQ(fileFormat.version, 0);
}

TEST_F(FcrLoad, StoredVersionsAboveHexEightThousandAreNegated) {
    struct Case {
        uint16_t stored, version;
    } cases[] = {{0xF9B0, 0x0650}, {0x8001, 0x7FFF}, {0x8000, 0x8000}};
    for (const Case& c : cases) {
        fixture::SetSpec setSpec = SetOf(c.version, 4096);
        setSpec.storedVersion = c.stored;
        EXPECT_EQ(Open(Write(setSpec)), 1);
        EXPECT_EQ(fileFormat.version, c.version);
        fileio::CloseFileSet();
    }
}

TEST_F(FcrLoad, CopyOneIsCurrentOnlyWithTheHigherCounter) {
    struct Case {
        uint32_t u0, u1;
        int active;
    } cases[] = {{7, 7, 0}, {0xFFFFFFFF, 0, 0}, {1, 2, 1}, {0, 0x80000000, 1}};
    for (const Case& c : cases) {
        fixture::SetSpec setSpec = SetOf(0x0600, 1024);
        setSpec.fcrCounters = {c.u0, c.u1};
        EXPECT_EQ(Open(Write(setSpec)), 1);
        EXPECT_EQ(fcrPagePair.active, c.active) << c.u0 << " " << c.u1;
        fileio::CloseFileSet();
    }
}

TEST_F(FcrLoad, PreSixFilesReadOnlyCopyZero) {
    fixture::SetSpec setSpec = SetOf(0x0500, 512);
    setSpec.oldLayout = true;
    setSpec.pageCount = 0x00010002;
    setSpec.fcrCounters = {1, 9};
    fixture::FileSetImage image = fixture::Build(setSpec);
    image.SetLength(512);
    EXPECT_EQ(Open(image.Write(dir)), 1);
    EXPECT_EQ(fcrPagePair.active, 0);
    EXPECT_EQ(fileFormat.pageCount, 0x00010002u);
}

TEST_F(FcrLoad, PageCountHalvesAreSwappedUpToNinePointFifty) {
    for (uint16_t version : {uint16_t(0x0950), uint16_t(0x0A00)}) {
        fixture::SetSpec setSpec = SetOf(version, 4096);
        OpenPoked(setSpec, 0x26, std::string("\x01\x00\x02\x00", 4));
        EXPECT_EQ(fileFormat.pageCount, version == 0x0950 ? 65538u : 131073u);
        fileio::CloseFileSet();
    }
}

TEST_F(FcrLoad, CompressionFlagIsReadWhereTheVersionKeepsIt) {
    const std::string warning =
        "\nWarning: v9.50 files with Page Compression are not yet supported!\n\n";
    fixture::SetSpec setSpec = SetOf(0x0950, 4096);
    setSpec.compressed = true;
    setSpec.physicalPageSize = 1024;
    EXPECT_EQ(Open(Write(setSpec)), 1);
    EXPECT_TRUE(fileFormat.pageCompression);
    EXPECT_EQ(fileFormat.physicalPageSize, 1024);
    EXPECT_EQ(opened.out, warning);
    fileio::CloseFileSet();

    setSpec.compressed = false;  // the fixture sets the bit at 0x9C instead
    EXPECT_EQ(Open(Write(setSpec)), 1);
    EXPECT_FALSE(fileFormat.pageCompression);
    EXPECT_EQ(fileFormat.physicalPageSize, 4096);
    EXPECT_EQ(opened.out, "");
    fileio::CloseFileSet();

    setSpec.version = 0x0A00;
    setSpec.compressed = true;
    EXPECT_EQ(Open(Write(setSpec)), 1);
    EXPECT_TRUE(fileFormat.pageCompression);
    EXPECT_EQ(opened.out, warning + "\nWarning: v10.00 files are NOT completely supported!\n\n");
}

TEST_F(FcrLoad, WarnsAboutNewerVersions) {
    struct Case {
        uint16_t version;
        const char* warning;
    } cases[] = {
        {0x0950, ""},
        {0x0A00, "\nWarning: v10.00 files are NOT completely supported!\n\n"},
        {0x0B10, "\nWarning: v11.10 files are NOT completely supported!\n\n"},
        {0x0D30, "\nWarning: v16 files are NOT completely supported!\n\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Open(Write(SetOf(c.version, 4096))), 1);
        EXPECT_EQ(opened.out, c.warning);
        fileio::CloseFileSet();
    }
}

TEST_F(FcrLoad, TracesPageCountAndOwnerName) {
    fixture::SetSpec setSpec = SetOf(0x0600, 1024);
    setSpec.pageCount = 42;
    setSpec.ownerName = true;
    fixture::FileSetImage image = fixture::Build(setSpec);
    image.Poke(0x2E, std::string("secret\0\0\0", 9));
    image.Poke(1024 + 0x2E, std::string("\x81\x82\x83\x84\x85\x86\x87\x88\x89", 9));
    fileio::TraceEnabled = true;
    EXPECT_EQ(Open(image.Write(dir)), 1);
    EXPECT_TRUE(fileFormat.ownerNamePresent);
    EXPECT_EQ(opened.out,
              "Attempting to set position to Extent 00, Offset 00000000:00000000\n"
              "Attempting to set position to Extent 00, Offset 00000000:00000400\n"
              "Found 42 pages in file.\n"
              "Encoded Owner Name: 736563726574000000\r\n"
              "Decoded Owner Name: 736563726574000000\r\n");
}

TEST_F(FcrLoad, SetsTheLargeOffsetThresholdForSixXOnly) {
    struct Case {
        uint16_t version, pageSize;
        uint32_t threshold;
    } cases[] = {
        {0x0600, 512, 1967104},     {0x06FF, 1024, 7866368},    {0x0600, 1536, 17697792},
        {0x0600, 2048, 31461376},   {0x0600, 2560, 49157120},   {0x0600, 3072, 70785024},
        {0x0600, 3584, 96345088},   {0x0600, 4096, 125837312},  {0x0600, 8192, 0xFFFFFFFF},
        {0x05FF, 4096, 0xFFFFFFFF}, {0x0700, 4096, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        fileFormat = {};
        fileFormat.version = c.version;
        fileFormat.pageSize = c.pageSize;
        fileio::SetLargeOffsetThreshold();
        EXPECT_EQ(fileFormat.largeOffsetThreshold, c.threshold) << c.version << " " << c.pageSize;
    }
}

TEST_F(FcrLoad, HoldsCopyZeroInFullWhereItOutrunsTheFirstRead) {
    // 16384-byte pages of an 8.x file make control pages of 32768 bytes.
    fixture::SetSpec setSpec = SetOf(0x0800, 16384);
    fixture::FileSetImage image = fixture::Build(setSpec);
    EXPECT_EQ(Open(image.Write(dir)), 1);
    ASSERT_EQ(fileFormat.fcrPageSize, 32768);
    fixture::Snapshot disk = fixture::TakeSnapshot(dir);
    const std::vector<uint8_t>& bytes = disk.files["data.dat"].data.begin()->second;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 32768, fcrPagePair.image[0]));
}

// A copy is written back whole into the file it starts in; one that spills into the next
// extension file could not go back where it was read.
TEST_F(FcrLoad, RefusesACopyZeroThatSpillsIntoAnExtension) {
    fixture::SetSpec setSpec = SetOf(0x0800, 1024);
    setSpec.extentSizes = {1000};
    EXPECT_EQ(Open(Write(setSpec)), 0);
    EXPECT_EQ(opened.err, "Not a Btrieve File.....\n");
}

TEST_F(FcrLoad, RefusesPageSizesWhoseControlPagesCannotBeHeld) {
    fixture::SetSpec setSpec = SetOf(0x0800, 4096);
    EXPECT_EQ(OpenPoked(setSpec, 0x2B, std::string(1, '\0')), 0);
    EXPECT_EQ(opened.err, "Not a supported Btrieve File: its page size is 0!\n");
    fileio::CloseFileSet();
    EXPECT_EQ(OpenPoked(setSpec, 0x2B, "\x41"), 0);
    EXPECT_EQ(opened.err,
              "Not a supported Btrieve File: its control pages of 33280 bytes are larger than "
              "32768 bytes!\n");
}

}  // namespace
