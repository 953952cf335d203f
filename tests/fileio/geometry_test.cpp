// Page geometry against the published figures for every listed version class and page size.
#include "fileio/geometry.h"

#include <gtest/gtest.h>

#include "fileio/records.h"

namespace {

using fileio::fileFormat;

void SetFormat(uint16_t version, uint16_t pageSize, uint16_t fcrPageSize) {
    fileFormat = {};
    fileFormat.version = version;
    fileFormat.pageSize = pageSize;
    fileFormat.fcrPageSize = fcrPageSize;
    fileFormat.physicalPageSize = pageSize;
}

struct GeometryRow {
    uint16_t version, pageSize, fcrPageSize;
    int32_t entries, stride;
    int64_t firstPair;
};

const GeometryRow GeometryTable[] = {
    {0x0600, 512, 512, 126, 65536, 1024},         {0x0600, 1024, 1024, 254, 262144, 2048},
    {0x0700, 4096, 4096, 1022, 4194304, 8192},    {0x0800, 512, 2048, 312, 163840, 8192},
    {0x0800, 1024, 2048, 316, 327680, 8192},      {0x0800, 1536, 3072, 476, 737280, 12288},
    {0x0800, 2048, 4096, 636, 1310720, 16384},    {0x0900, 2560, 5120, 796, 2048000, 20480},
    {0x0900, 3072, 6144, 956, 2949120, 24576},    {0x094F, 3584, 7168, 1116, 4014080, 28672},
    {0x0800, 4096, 8192, 1276, 5242880, 32768},   {0x0800, 8192, 8192, 1278, 10485760, 32768},
    {0x0950, 1024, 4096, 476, 491520, 16384},     {0x0951, 1024, 2048, 476, 491520, 8192},
    {0x0950, 2048, 4096, 478, 983040, 16384},     {0x0A00, 4096, 8192, 956, 3932160, 32768},
    {0x0950, 8192, 16384, 1596, 13107200, 65536}, {0x0D30, 16384, 16384, 1598, 26214400, 65536},
};

TEST(Geometry, MatchesPublishedTable) {
    for (const GeometryRow& row : GeometryTable) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << row.version << " " << std::dec << row.pageSize);
        SetFormat(row.version, row.pageSize, row.fcrPageSize);
        EXPECT_EQ(fileio::EntriesPerPatPage(), row.entries);
        EXPECT_EQ(fileio::PatPairStride(), row.stride);
        fileio::LargeOffset offset = -1;
        fileio::PatPairOffset(1, &offset);
        EXPECT_EQ(offset, row.firstPair);
        fileio::PatPairOffset(2, &offset);
        EXPECT_EQ(offset, row.firstPair + row.stride);
        fileio::PatPairOffset(0, &offset);
        EXPECT_EQ(offset, 0);
    }
}

TEST(Geometry, SixXShiftsPairsFromThirtyOneAndPagesFromThreshold) {
    SetFormat(0x0600, 512, 512);
    fileFormat.largeOffsetThreshold = 1967104;
    fileio::LargeOffset offset;
    fileio::PatPairOffset(30, &offset);
    EXPECT_EQ(offset, 1901568);
    fileio::PatPairOffset(31, &offset);
    EXPECT_EQ(offset, 1971200);
    fileio::PhysicalPageOffset(3841, &offset);
    EXPECT_EQ(offset, 1966592);
    fileio::PhysicalPageOffset(3842, &offset);
    EXPECT_EQ(offset, 1971200);

    fileFormat.version = 0x0700;
    fileFormat.largeOffsetThreshold = 0xFFFFFFFF;
    fileio::PatPairOffset(31, &offset);
    EXPECT_EQ(offset, 1967104);
}

TEST(Geometry, PairOffsetsBeyondFourGigabytes) {
    SetFormat(0x0800, 4096, 8192);
    fileio::LargeOffset offset;
    fileio::PatPairOffset(1000, &offset);
    EXPECT_EQ(offset, 32768 + int64_t(999) * 5242880);
    EXPECT_GT(offset, int64_t(1) << 32);
}

TEST(Geometry, CompressedStrideUsesPhysicalPageSize) {
    SetFormat(0x0950, 4096, 8192);
    fileFormat.pageCompression = true;
    fileFormat.physicalPageSize = 1024;
    EXPECT_EQ(fileio::PatPairStride(), 960 * 1024);
    EXPECT_EQ(fileio::EntriesPerPatPage(), 956);
}

TEST(Geometry, UnlistedPageSizeIsReportedAndYieldsZero) {
    struct Case {
        uint16_t version, pageSize;
    } cases[] = {{0x0950, 512}, {0x0800, 16384}, {0x0A00, 3072}};
    for (const Case& c : cases) {
        SetFormat(c.version, c.pageSize, 4096);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fileio::EntriesPerPatPage(), 0);
        std::string expected = "Unexpected Page Size <" + std::to_string(c.pageSize) + ">\n";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    }
    SetFormat(0x0950, 512, 4096);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fileio::PatPairStride(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unexpected Page Size <512>\n");
}

TEST(Geometry, PageToExtentOffsetWalksExtentsAndStopsAtTheLast) {
    SetFormat(0x0800, 4096, 8192);
    fileio::fileSet.extentCount = 2;
    fileio::fileSet.extentSizes[0] = 1048576;
    fileio::fileSet.extentSizes[1] = 1048576;
    struct Case {
        uint32_t page;
        int32_t extent;
        uint32_t offset;
    } cases[] = {{255, 0, 1044480}, {256, 1, 0}, {511, 1, 1044480}, {512, 2, 0}, {100000, 2, 0}};
    for (const Case& c : cases) {
        int32_t extent = -1;
        uint32_t offset = 1;
        EXPECT_EQ(fileio::PageToExtentOffset(c.page, &extent, &offset), 1);
        EXPECT_EQ(extent, c.extent) << c.page;
        if (c.page < 100000) {
            EXPECT_EQ(offset, c.offset) << c.page;
            uint32_t page = 0;
            fileio::ExtentOffsetToPage(uint32_t(extent), offset, &page);
            EXPECT_EQ(page, c.page);
            fileio::ExtentOffsetToPage32(uint32_t(extent), offset, &page);
            EXPECT_EQ(page, c.page);
        }
    }
    fileio::fileSet.extentCount = 0;
}

TEST(Geometry, PreSevenPagesAreOneFlatRangeWithTheShift) {
    SetFormat(0x0600, 512, 512);
    fileFormat.largeOffsetThreshold = 1967104;
    int32_t extent = -1;
    uint32_t offset = 0;
    fileio::PageToExtentOffset(3842, &extent, &offset);
    EXPECT_EQ(extent, 0);
    EXPECT_EQ(offset, 1971200u);
    uint32_t page = 0;
    EXPECT_EQ(fileio::ExtentOffsetToPage32(5, 1971200, &page), 1);
    EXPECT_EQ(page, 3842u);

    fileFormat.pageSize = 0;
    EXPECT_EQ(fileio::ExtentOffsetToPage32(0, 1024, &page), 0);
}

}  // namespace
