// The file set and positioned I/O on real files: naming, extents, failures, the trace lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "fileio/positioned_io.h"
#include "platform/file_api.h"
#include "tests/fileio/open_set.h"

namespace {

using fileio::fileSet;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A pre-6 file set whose extents have the given sizes: the FCR needs only the first 512 bytes.
fixture::SetSpec OldSet(std::vector<uint64_t> extentSizes, uint64_t tail) {
    fixture::SetSpec setSpec;
    setSpec.version = 0x0500;
    setSpec.oldLayout = true;
    setSpec.pageSize = 512;
    setSpec.extentSizes = std::move(extentSizes);
    setSpec.tailBytes = tail;
    return setSpec;
}

class FileSetOpen : public FileSetTest {};

TEST_F(FileSetOpen, DerivesExtensionAndDeltaNamesFromTheStem) {
    struct Case {
        std::string base, extension, delta;
    } cases[] = {
        {"data.dat", "data.^01", "data.^^^"},
        {"a.b.dat", "a.b.^01", "a.b.^^^"},
        {"file", "file.^01", "file.^^^"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        fixture::Build(OldSet({}, 0)).Write(dir, c.base);
        WriteFile(dir + "/" + c.extension, std::string(512, 'x'));
        WriteFile(dir + "/" + c.delta, "delta");
        EXPECT_EQ(Open(dir + "/" + c.base), 2);
        EXPECT_EQ(opened.err, "Delta File Found and Opened!\r\n");
        EXPECT_EQ(fileSet.deltaSize, 5);
        fileio::CloseFileSet();
    }
}

TEST_F(FileSetOpen, CutsTheStemInTheDirectoryNameWhenTheFileHasNoDot) {
    std::string sub = dir + "/old.dir";
    mkdir(sub.c_str(), 0755);
    fixture::Build(OldSet({}, 0)).Write(sub, "file");
    WriteFile(dir + "/old.^01", std::string(700, 'x'));
    EXPECT_EQ(Open(sub + "/file"), 2);
    EXPECT_EQ(fileSet.extentSizes[1], 700);
}

TEST_F(FileSetOpen, StopsAtTheFirstMissingExtension) {
    std::string base = Write(OldSet({}, 0));
    WriteFile(dir + "/data.^01", "1");
    WriteFile(dir + "/data.^03", "3");
    EXPECT_EQ(Open(base), 2);
    EXPECT_EQ(opened.out + opened.err, "");
}

TEST_F(FileSetOpen, OpensAtMostOneHundredTwentySevenExtensions) {
    std::string base = Write(OldSet({}, 0));
    for (unsigned k = 1; k <= 128; ++k) {
        WriteFile(dir + "/" + fixture::ExtensionName("data.dat", k), "");
    }
    EXPECT_EQ(Open(base), 128);
    EXPECT_TRUE(std::ifstream(dir + "/data.^0a").good());
}

TEST_F(FileSetOpen, CountsWholeSectors) {
    std::string base = Write(OldSet({1000}, 1024));
    EXPECT_EQ(Open(base), 2);
    EXPECT_EQ(fileSet.extentSizes[0], 1000);
    EXPECT_EQ(fileSet.totalSectors, 1u + 2u);
}

TEST_F(FileSetOpen, MissingBaseFileIsReportedAndTheDeltaStillOpens) {
    WriteFile(dir + "/data.^^^", "d");
    std::string base = dir + "/data.dat";
    EXPECT_EQ(Open(base), 0);
    EXPECT_EQ(opened.err, "Failed to Open File <" + base +
                              ">, Status Code 2, No such file or directory\n"
                              "Delta File Found and Opened!\r\n");
}

TEST_F(FileSetOpen, TracesEveryStepOfTheOpen) {
    std::string base = Write(OldSet({}, 0));
    fileio::TraceEnabled = true;
    EXPECT_EQ(Open(base), 1);
    std::string stem = dir + "/data";
    EXPECT_EQ(opened.err, "Opening File <" + base + ">\r\nOpening File <" + base +
                              ">...Opened\r\nOpening File <" + stem +
                              ".^01>...Failed (2), No such file or directory\nOpening File <" +
                              stem + ".^^^>...Loading FCR\r\nFile Version Found = 0500\n");
    EXPECT_EQ(opened.out,
              "Attempting to set position to Extent 00, Offset 00000000:00000000\n"
              "Found 0 pages in file.\n");
    fileio::CloseFileSet();
    EXPECT_EQ(Capture([] { fileio::CloseFileSet(); }).err, "Closing all files...\r\n");
}

TEST_F(FileSetOpen, RefusesNamesTooLongForTheSet) {
    std::string longest(250, 'n');  // the stem may take 250, leaving room for ".^7f"
    for (const std::string& name : {std::string(255, 'n'), longest + "x.dat", longest + "x"}) {
        EXPECT_EQ(Open(name), 0);
        EXPECT_NE(opened.err.find("the name is too long"), std::string::npos) << opened.err;
    }
}

TEST_F(FileSetOpen, RefusesWhatIsNotARegularFile) {
    std::string fifo = dir + "/fifo.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Open(fifo), 0);
    EXPECT_EQ(opened.err,
              "Failed to Open File <" + fifo + ">, Status Code 22, Not a regular file\n");
    EXPECT_EQ(Open(dir), 0);
    EXPECT_EQ(opened.err, "Failed to Open File <" + dir + ">, Status Code 21, Is a directory\n");
}

TEST_F(FileSetOpen, AnExtensionThatCannotBeOpenedEndsTheScanWithItsMessage) {
    std::string base = Write(OldSet({}, 0));
    mkdir((dir + "/data.^01").c_str(), 0755);
    EXPECT_EQ(Open(base), 1);
    EXPECT_EQ(opened.err,
              "Failed to Open File <" + dir + "/data.^01>, Status Code 21, Is a directory\n");
}

TEST_F(FileSetOpen, AFileHeldForWritingElsewhereIsInUse) {
    std::string base = Write(OldSet({}, 0));
    platform::OpenError error;
    platform::FileHandle other = platform::OpenExisting(base.c_str(), platform::Access::ReadWrite,
                                                        platform::Share::Read, &error);
    ASSERT_NE(other, platform::InvalidHandle);
    EXPECT_EQ(Open(base), 0);
    EXPECT_EQ(opened.err, "Failed to Open File <" + base +
                              ">, Status Code 16, The file is in use by another process\n");
    EXPECT_EQ(Open(base, fileio::ReadShared), 1);
    platform::CloseFile(other);
}

class PositionedIo : public FileSetTest {
protected:
    // Extents of 1000, 0 and 2000 bytes.
    void SetUp() override {
        FileSetTest::SetUp();
        fixture::FileSetImage image = fixture::Build(OldSet({1000, 0}, 0));
        image.SetLength(3000);
        image.Poke(1000, std::string(2000, 'b'));
        ASSERT_EQ(Open(image.Write(dir)), 3);
    }
};

TEST_F(PositionedIo, SeeksThroughTheExtentsAsOneRange) {
    struct Case {
        fileio::LargeOffset offset;
        int result;
        uint16_t extent;
    } cases[] = {{0, 1, 0}, {999, 1, 0}, {1000, 1, 2}, {2999, 1, 2}, {3000, 0, 3}};
    for (const Case& c : cases) {
        uint16_t extent = 99;
        EXPECT_EQ(fileio::SeekLogical(c.offset, &extent), c.result) << c.offset;
        EXPECT_EQ(extent, c.extent) << c.offset;
    }
    fileio::TraceEnabled = true;
    uint16_t extent;
    Captured traced = Capture([&] { fileio::SeekLogical(3000 + (int64_t(1) << 32), &extent); });
    EXPECT_EQ(traced.out, "Attempting to set position to Extent 03, Offset 00000001:00000000\n");
    traced = Capture([&] { fileio::SeekSector(5, &extent); });
    EXPECT_EQ(traced.out, "Attempting to set position to Extent 02, Offset 00000000:00000618\n");
}

TEST_F(PositionedIo, ReadsOnlyWhatOneExtentHolds) {
    char buffer[100];
    EXPECT_EQ(fileio::ReadAt(950, buffer, 100), 0);
    EXPECT_EQ(fileio::ReadAt(1000, buffer, 100), 1);
    EXPECT_EQ(std::string(buffer, 100), std::string(100, 'b'));
    EXPECT_EQ(fileio::ReadAtSector(2, buffer, 100), 1);
    EXPECT_EQ(fileio::ReadAt(2950, buffer, 100), 0);
}

TEST_F(PositionedIo, WritesInsideTheRangeAndGrowsOnlyTheLastExtent) {
    EXPECT_EQ(fileio::WriteAt(3000, "x", 1), 0);
    EXPECT_EQ(fileio::WriteAt(2990, "0123456789abcdef", 16), 1);
    EXPECT_EQ(fileio::WriteAtSector(1, "S", 1), 1);
    fileio::CloseFileSet();
    struct stat info;
    stat((dir + "/data.^02").c_str(), &info);
    EXPECT_EQ(info.st_size, 2006);
    std::ifstream in(dir + "/data.^02", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.substr(1990), "0123456789abcdef");
    EXPECT_EQ(fixture::TakeSnapshot(dir).files["data.dat"].data.begin()->second[512], 'S');
}

}  // namespace
