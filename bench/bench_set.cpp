// Benchmark file sets: sizing, building, the damaged counter, and a plain sequential read.
#include "bench/bench_set.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "bench/process.h"

namespace bench {
namespace {

constexpr uint32_t ExtentCount = 8;              // the base file and seven extension files
constexpr uint64_t ExtentAlignment = 1 << 20;    // no control page straddles two files
constexpr uint64_t ReadChunk = 1 << 20;          // what the sequential read asks for at once
constexpr uint64_t DropBehind = 64 * ReadChunk;  // how often it lets the page cache go

constexpr std::array<uint32_t, 2> GoodCounters = {5, 6};
constexpr std::array<uint32_t, 2> DamagedCounters = {DamagedCopy0Counter, 0};

// The largest pair count whose set, ending where the next pair would start, fits.
uint32_t PairsThatFit(const fixture::SetSpec& setSpec, const fixture::Geometry& g, uint64_t bytes) {
    if (bytes < uint64_t(g.patPair1) + 2 * g.stride) {
        Fail("a set of " + std::to_string(bytes) + " bytes holds fewer than two PAT pairs");
    }
    uint32_t pairs = uint32_t((bytes - g.patPair1) / g.stride);
    while (fixture::PatPairOffset(setSpec, pairs + 1) > bytes) {
        --pairs;
    }
    return pairs;
}

std::vector<uint64_t> ExtentSizes(uint64_t length) {
    uint64_t each = length / ExtentCount / ExtentAlignment * ExtentAlignment;
    return std::vector<uint64_t>(ExtentCount - 1, each);
}

int OpenOrFail(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open " + path);
    }
    return fd;
}

// The set is on disk before any run, so that no run pays for writing it back.
void Flush(const std::string& path) {
    int fd = OpenOrFail(path, O_RDONLY);
    fsync(fd);
    close(fd);
}

// Only pages that are on disk can be dropped.
void FlushAndDrop(const std::string& path) {
    int fd = OpenOrFail(path, O_RDONLY);
    fsync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

uint64_t ReadToEnd(const std::string& path, std::vector<uint8_t>& buffer) {
    int fd = OpenOrFail(path, O_RDONLY);
    uint64_t total = 0;
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
        total += uint64_t(got);
        if (total % DropBehind == 0) {
            posix_fadvise(fd, 0, off_t(total), POSIX_FADV_DONTNEED);
        }
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
    return total;
}

}  // namespace

BenchSet::BenchSet(const SetKind& kind, uint64_t logicalBytes)
    : geometry(fixture::GeometryFor(kind.version, PageSize)) {
    setSpec.version = kind.version;
    setSpec.pageSize = PageSize;
    pairs = PairsThatFit(setSpec, geometry, logicalBytes);
    length = fixture::PatPairOffset(setSpec, pairs + 1);
    setSpec.patPairCountInFcr = pairs;
    setSpec.pageCount = uint32_t(length / PageSize);
    setSpec.patCounters.assign(pairs, GoodCounters);
    setSpec.patCounters[DamagedPair() - 1] = DamagedCounters;
    setSpec.tailBytes =
        length - (fixture::PatPairOffset(setSpec, pairs) + 2 * geometry.fcrPageSize);
    if (kind.extensionFiles) {
        setSpec.extentSizes = ExtentSizes(length);
    }
    dir = fixture::MakeTempDir();
    RemoveOnFailure(dir);
    basePath = fixture::WriteSet(setSpec, dir);
    filePaths.push_back(basePath);
    for (size_t extent = 1; extent <= setSpec.extentSizes.size(); ++extent) {
        filePaths.push_back(dir + "/" + fixture::ExtensionName("data.dat", unsigned(extent)));
    }
    for (const std::string& path : filePaths) {
        Flush(path);
    }
    fixture::FileSetImage layout;
    layout.extentSizes = setSpec.extentSizes;
    damagedCounterAt = layout.Locate(fixture::CounterOffset(setSpec, DamagedPair(), 1));
}

BenchSet::~BenchSet() {
    KeepOnFailure(dir);
    fixture::RemoveDir(dir);
}

uint32_t BenchSet::DamagedCounter() const {
    int fd = OpenOrFail(dir + "/" + damagedCounterAt.file, O_RDONLY);
    uint8_t bytes[4] = {};
    if (pread(fd, bytes, sizeof bytes, off_t(damagedCounterAt.offset)) != sizeof bytes) {
        Fail("cannot read the damaged counter");
    }
    close(fd);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void BenchSet::PutDamageBack() const {
    int fd = OpenOrFail(dir + "/" + damagedCounterAt.file, O_WRONLY);
    const uint8_t zero[4] = {};
    if (pwrite(fd, zero, sizeof zero, off_t(damagedCounterAt.offset)) != sizeof zero) {
        Fail("cannot put the damaged counter back");
    }
    close(fd);
}

std::string BenchSet::RepairOutput() const {
    char text[512];
    snprintf(text, sizeof text,
             "Page Allocation Table Pair %u of %u: (%8.8x/00000000)\n"
             "Writing %x to PAT 1 in PAT Pair %u\n"
             "\n\nYou have changed all or part of your Btrieve file.\n"
             "Rebuild the file immediately to avoid further corruption.\n\n",
             DamagedPair(), pairs, DamagedCopy0Counter, RepairedCounter, DamagedPair());
    return text;
}

void BenchSet::DropFromCache() const {
    for (const std::string& path : filePaths) {
        FlushAndDrop(path);
    }
}

double BenchSet::ReadSequentially() const {
    std::vector<uint8_t> buffer(ReadChunk);
    auto start = std::chrono::steady_clock::now();
    uint64_t total = 0;
    for (const std::string& path : filePaths) {
        total += ReadToEnd(path, buffer);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (total != length) {
        Fail("the sequential read found " + std::to_string(total) + " bytes, not " +
             std::to_string(length));
    }
    return seconds;
}

}  // namespace bench
