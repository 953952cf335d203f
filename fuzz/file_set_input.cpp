// Decoding and encoding fuzz input as a file set, and writing the set into a work directory.
#include "fuzz/file_set_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {
namespace {

constexpr uint8_t ExtensionMask = 0x03;
constexpr uint8_t DeltaBit = 0x04;
constexpr uint8_t TraceBit = 0x08;

// Reads a little-endian field of `width` bytes; missing bytes read as 0.
uint32_t TakeField(const uint8_t*& data, size_t& size, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width && size > 0; ++i, ++data, --size) {
        value |= uint32_t(*data) << (8 * i);
    }
    return value;
}

void PutField(std::vector<uint8_t>& bytes, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        bytes.push_back(uint8_t(value >> (8 * i)));
    }
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            close(fd);
            return false;
        }
        done += size_t(put);
    }
    return close(fd) == 0;
}

}  // namespace

std::vector<uint8_t> FileSetInput::Logical() const {
    std::vector<uint8_t> logical;
    for (const std::vector<uint8_t>& extent : extents) {
        logical.insert(logical.end(), extent.begin(), extent.end());
    }
    return logical;
}

FileSetInput DecodeFileSet(const uint8_t* data, size_t size) {
    FileSetInput set;
    uint32_t flags = TakeField(data, size, 1);
    unsigned extensions = flags & ExtensionMask;
    set.hasDelta = (flags & DeltaBit) != 0;
    set.trace = (flags & TraceBit) != 0;
    std::vector<size_t> sizes;
    for (unsigned k = 0; k < extensions; ++k) {
        sizes.push_back(TakeField(data, size, 3));
    }
    if (set.hasDelta) {
        size_t deltaSize = std::min<size_t>(TakeField(data, size, 2), size);
        set.delta.assign(data + size - deltaSize, data + size);
        size -= deltaSize;
    }
    for (size_t extentSize : sizes) {
        extentSize = std::min(extentSize, size);
        set.extents.emplace_back(data, data + extentSize);
        data += extentSize;
        size -= extentSize;
    }
    set.extents.emplace_back(data, data + size);
    return set;
}

std::vector<uint8_t> EncodeFileSet(const FileSetInput& set) {
    unsigned extensions = unsigned(set.extents.size()) - 1;
    if (set.extents.empty() || extensions > MaxExtensionFiles) {
        Finding("cannot encode a set of", std::to_string(set.extents.size()) + " extents");
    }
    std::vector<uint8_t> bytes;
    PutField(bytes, extensions | (set.hasDelta ? DeltaBit : 0) | (set.trace ? TraceBit : 0), 1);
    for (unsigned k = 0; k < extensions; ++k) {
        PutField(bytes, uint32_t(set.extents[k].size()), 3);
    }
    if (set.hasDelta) {
        PutField(bytes, uint32_t(set.delta.size()), 2);
    }
    for (const std::vector<uint8_t>& extent : set.extents) {
        bytes.insert(bytes.end(), extent.begin(), extent.end());
    }
    bytes.insert(bytes.end(), set.delta.begin(), set.delta.end());
    return bytes;
}

std::string FileName(unsigned extent) {
    char name[16];
    if (extent == 0) {
        return "data.dat";
    }
    snprintf(name, sizeof name, "data.^%.2x", extent);
    return name;
}

namespace {

std::string workDir;

// At the process's end: the files a set may have left, then the directory.
void RemoveWorkDir() {
    for (unsigned k = 0; k <= MaxExtensionFiles; ++k) {
        unlink((workDir + "/" + FileName(k)).c_str());
    }
    unlink((workDir + "/" + DeltaFileName).c_str());
    rmdir(workDir.c_str());
}

}  // namespace

std::string MakeWorkDir() {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
    workDir = std::string(base != nullptr ? base : "/tmp") + "/orvane-fuzz-XXXXXX";
    if (mkdtemp(workDir.data()) == nullptr) {
        Finding("cannot make a work directory", strerror(errno));
    }
    atexit(RemoveWorkDir);
    return workDir;
}

std::string WriteFileSet(const FileSetInput& set, const std::string& dir) {
    for (unsigned k = 1; k <= MaxExtensionFiles; ++k) {
        unlink((dir + "/" + FileName(k)).c_str());
    }
    unlink((dir + "/" + DeltaFileName).c_str());
    for (unsigned k = 0; k < set.extents.size(); ++k) {
        if (!WriteWholeFile(dir + "/" + FileName(k), set.extents[k])) {
            Finding("cannot write", FileName(k));
        }
    }
    if (set.hasDelta && !WriteWholeFile(dir + "/" + DeltaFileName, set.delta)) {
        Finding("cannot write", DeltaFileName);
    }
    return dir + "/" + FileName(0);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    bytes->clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    uint8_t buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + got);
    }
    close(fd);
    return got == 0;
}

void Finding(const char* what, const std::string& detail) {
    fprintf(stderr, "FINDING: %s %s\n", what, detail.c_str());
    abort();
}

}  // namespace fuzz
