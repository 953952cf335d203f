// The Win32 file backend against the system itself: error codes and texts, the system's share
// modes, 64-bit positions (low half 0xFFFFFFFF included) and refusal of devices.
#include "platform/file_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using platform::Access;
using platform::FileHandle;
using platform::InvalidHandle;
using platform::OpenError;
using platform::Share;

constexpr uint32_t FileNotFound = 2;
constexpr uint32_t SharingViolation = 32;

class Win32FileApi : public testing::Test {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() /
                    ("orvane-" +
                     std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string MakeFile(const std::string& bytes, const char* name = "data.dat") {
        std::string path = (directory / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::filesystem::path directory;
};

TEST_F(Win32FileApi, MissingFileGivesCodeTwoAndSystemText) {
    OpenError error;
    std::string path = (directory / "absent.dat").string();
    EXPECT_EQ(platform::OpenExisting(path.c_str(), Access::ReadWrite, Share::Read, &error),
              InvalidHandle);
    EXPECT_EQ(error.code, FileNotFound);
    std::string text = error.text;
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_FALSE(std::filesystem::exists(path)) << "an open must never create the file";
}

TEST_F(Win32FileApi, DevicesAndDirectoriesAreRefused) {
    for (std::string path : {std::string("NUL"), directory.string()}) {
        OpenError error;
        EXPECT_EQ(platform::OpenExisting(path.c_str(), Access::Read, Share::All, &error),
                  InvalidHandle)
            << path;
        EXPECT_NE(error.code, 0u) << path;
        EXPECT_NE(error.text[0], '\0') << path;
    }
}

struct ShareCase {
    Access firstAccess;
    Share firstShare;
    Access secondAccess;
    Share secondShare;
    bool secondOpens;
};

TEST_F(Win32FileApi, ShareModesAreTheSystems) {
    const ShareCase cases[] = {
        // The repair mode lets readers that tolerate a writer in, and keeps writers out.
        {Access::ReadWrite, Share::Read, Access::Read, Share::All, true},
        {Access::ReadWrite, Share::Read, Access::ReadWrite, Share::Read, false},
        {Access::ReadWrite, Share::Read, Access::Read, Share::None, false},
        // An exclusive reader keeps everyone out.
        {Access::Read, Share::None, Access::Read, Share::All, false},
        // A shared reader admits a writer that lets it read on.
        {Access::Read, Share::All, Access::ReadWrite, Share::Read, true},
    };
    std::string path = MakeFile("0123456789");
    for (const ShareCase& c : cases) {
        OpenError error;
        FileHandle first =
            platform::OpenExisting(path.c_str(), c.firstAccess, c.firstShare, &error);
        ASSERT_NE(first, InvalidHandle);
        FileHandle second =
            platform::OpenExisting(path.c_str(), c.secondAccess, c.secondShare, &error);
        EXPECT_EQ(second != InvalidHandle, c.secondOpens);
        if (second != InvalidHandle) {
            platform::CloseFile(second);
        } else {
            EXPECT_EQ(error.code, SharingViolation);
        }
        platform::CloseFile(first);
    }
}

TEST_F(Win32FileApi, ReadsWritesAndSizes) {
    std::string path = MakeFile("0123456789");
    OpenError error;
    FileHandle handle =
        platform::OpenExisting(path.c_str(), Access::ReadWrite, Share::Read, &error);
    ASSERT_NE(handle, InvalidHandle);

    int64_t size = 0;
    ASSERT_EQ(platform::FileSize(handle, &size, &error), 1);
    EXPECT_EQ(size, 10);
    char buffer[16] = {};
    uint32_t moved = 99;
    EXPECT_EQ(platform::ReadBytes(handle, buffer, 4, &moved), 1) << "the size leaves it at the end";
    EXPECT_EQ(moved, 0u);

    ASSERT_EQ(platform::SeekFromStart(handle, 8), 1);
    EXPECT_EQ(platform::ReadBytes(handle, buffer, 4, &moved), 1);
    EXPECT_EQ(moved, 2u) << "a read past the end comes back short";
    EXPECT_EQ(std::string(buffer, 2), "89");

    ASSERT_EQ(platform::SeekFromStart(handle, 9), 1);
    EXPECT_EQ(platform::WriteBytes(handle, "XYZ", 3, &moved), 1);
    EXPECT_EQ(moved, 3u);
    EXPECT_EQ(platform::SeekFromStart(handle, -1), 0);
    platform::CloseFile(handle);

    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "012345678XYZ");
}

TEST_F(Win32FileApi, ReadOnlyHandleRefusesWrites) {
    std::string path = MakeFile("abc");
    OpenError error;
    FileHandle handle = platform::OpenExisting(path.c_str(), Access::Read, Share::All, &error);
    ASSERT_NE(handle, InvalidHandle);
    uint32_t moved = 99;
    EXPECT_EQ(platform::WriteBytes(handle, "x", 1, &moved), 0);
    EXPECT_EQ(moved, 0u);
    platform::CloseFile(handle);
}

// Positions and sizes beyond 4 GiB travel as two halves; a low half of 0xFFFFFFFF is a valid
// value, not the failure mark.
TEST_F(Win32FileApi, PositionsAndSizesBeyondFourGigabytes) {
    constexpr int64_t LowHalfAllOnes = 0x1FFFFFFFF;
    std::string path = MakeFile("");
    std::filesystem::resize_file(path, LowHalfAllOnes);  // sparse
    OpenError error;
    FileHandle handle =
        platform::OpenExisting(path.c_str(), Access::ReadWrite, Share::Read, &error);
    ASSERT_NE(handle, InvalidHandle);

    int64_t size = 0;
    ASSERT_EQ(platform::FileSize(handle, &size, &error), 1);
    EXPECT_EQ(size, LowHalfAllOnes);
    uint32_t moved = 0;
    ASSERT_EQ(platform::SeekFromStart(handle, LowHalfAllOnes), 1);
    ASSERT_EQ(platform::WriteBytes(handle, "M", 1, &moved), 1);
    ASSERT_EQ(platform::FileSize(handle, &size, &error), 1);
    EXPECT_EQ(size, LowHalfAllOnes + 1);

    char got[2] = {};
    ASSERT_EQ(platform::SeekFromStart(handle, LowHalfAllOnes - 1), 1);
    ASSERT_EQ(platform::ReadBytes(handle, got, 2, &moved), 1);
    EXPECT_EQ(moved, 2u);
    EXPECT_EQ(std::string(got, 2), std::string("\0M", 2));
    platform::CloseFile(handle);
}

}  // namespace
