// Test support: a file set written into a fresh directory, opened through the layer, with the
// layer's output captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fileio/file_set.h"
#include "fileio/records.h"
#include "tests/fixture/fixture.h"

struct Captured {
    std::string out;
    std::string err;
};

// Runs f with standard output and standard error captured.
template <typename F>
Captured Capture(F f) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    fflush(stdout);
    Captured captured;
    captured.out = testing::internal::GetCapturedStdout();
    captured.err = testing::internal::GetCapturedStderr();
    return captured;
}

class FileSetTest : public testing::Test {
protected:
    void SetUp() override {
        fileio::TraceEnabled = false;
        fileio::fileFormat = {};
    }
    void TearDown() override {
        fileio::CloseFileSet();
        fileio::TraceEnabled = false;
        fixture::RemoveDir(dir);
    }

    std::string Write(const fixture::SetSpec& setSpec) { return fixture::WriteSet(setSpec, dir); }

    // Opens the set in read-write mode, keeping what the open printed.
    uint16_t Open(const std::string& path, int mode = fileio::ReadWrite) {
        uint16_t extents = 0;
        opened = Capture([&] { extents = fileio::OpenFileSet(path.c_str(), mode); });
        return extents;
    }

    // Writes the image and opens it read-write, closing any set opened before.
    void OpenImage(const fixture::FileSetImage& image) {
        fileio::CloseFileSet();
        path = image.Write(dir);
        ASSERT_NE(Open(path), 0);
    }

    std::string dir = fixture::MakeTempDir();
    std::string path;  // base file of the set last written by OpenImage
    Captured opened;
};
