// A benchmark file set: sparse, written by the fixture builder into a directory of its own, with
// 4096-byte pages and one damaged PAT pair near the end whose counter is put back between runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fixture/fixture.h"

namespace bench {

struct SetKind {
    const char* name;
    uint16_t version;
    bool extensionFiles;  // spread over a base file and extension files, or one file
};

inline constexpr SetKind V8Set = {"8.x", 0x0800, true};
inline constexpr SetKind V950Set = {"9.50", 0x0950, true};
inline constexpr SetKind V6Set = {"6.x", 0x0600, false};  // pre-7 files are one flat range

inline constexpr uint32_t PageSize = 4096;
inline constexpr uint32_t FcrFirstRead = 16384;  // the FCR loader's first read, before F is known
inline constexpr uint32_t DamagedCopy0Counter = 7;
inline constexpr uint32_t RepairedCounter = DamagedCopy0Counter + 270;

class BenchSet {
public:
    // As many whole PAT pairs (each with the pages it maps) as fit in `logicalBytes`.
    BenchSet(const SetKind& kind, uint64_t logicalBytes);
    ~BenchSet();
    BenchSet(const BenchSet&) = delete;
    BenchSet& operator=(const BenchSet&) = delete;

    const std::string& Dir() const { return dir; }
    const std::string& BasePath() const { return basePath; }
    const std::vector<std::string>& FilePaths() const { return filePaths; }
    uint32_t Pairs() const { return pairs; }
    uint32_t DamagedPair() const { return pairs - 1; }
    uint64_t Length() const { return length; }
    uint32_t FcrPageSize() const { return geometry.fcrPageSize; }

    // Copy 1's counter of the damaged pair, as it lies on disk.
    uint32_t DamagedCounter() const;
    void PutDamageBack() const;

    // What `orvane SET /A` prints on standard output when it repairs the set.
    std::string RepairOutput() const;

    // Writes the set back and lets the page cache drop it, as after a reboot.
    void DropFromCache() const;

    // Reads every file of the set once from start to end, as a user's copy would; seconds.
    double ReadSequentially() const;

private:
    fixture::SetSpec setSpec;
    fixture::Geometry geometry;
    uint32_t pairs = 0;
    uint64_t length = 0;
    std::string dir;
    std::string basePath;
    std::vector<std::string> filePaths;
    fixture::Placement damagedCounterAt;
};

}  // namespace bench
