// Writes the fuzzers' seed corpus into a directory: file sets from the fixture builder for every
// version class, page sizes with and without a PAT layout, extents, a delta file and damaged
// counters (repair/), the same with key scripts (viewer/), and data pages, run-length streams
// and sets whose PAT maps a page of records (records/).
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/file_set_input.h"
#include "tests/fixture/fixture.h"

namespace {

using fixture::SetSpec;
using Bytes = std::vector<uint8_t>;

// What the fixture builder writes for the set, as fuzz input.
Bytes Encoded(const fixture::FileSetImage& image, bool trace) {
    std::string dir = fixture::MakeTempDir();
    image.Write(dir);
    fuzz::FileSetInput set;
    set.trace = trace;
    for (unsigned k = 0; k <= image.extentSizes.size(); ++k) {
        set.extents.emplace_back();
        fuzz::ReadWholeFile(dir + "/" + fuzz::FileName(k), &set.extents.back());
    }
    set.hasDelta = image.delta;
    if (set.hasDelta) {
        fuzz::ReadWholeFile(dir + "/" + fuzz::DeltaFileName, &set.delta);
    }
    fixture::RemoveDir(dir);
    return fuzz::EncodeFileSet(set);
}

void Save(const std::string& dir, const std::string& name, const Bytes& bytes) {
    std::string path = dir + "/" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        fclose(file) != 0) {
        fuzz::Finding("cannot write the seed", path);
    }
}

struct Seed {
    const char* name;
    SetSpec set;
    bool trace = false;
};

// Damaged sets small enough to fuzz: copy 1 of the FCR or of PAT pairs has lost its counter.
std::vector<Seed> RepairSeeds() {
    std::vector<Seed> seeds = {
        {"v600_512_three_pairs",
         {.version = 0x0600,
          .pageSize = 512,
          .fcrCounters = {5, 0},
          .patPairCountInFcr = 3,
          .patCounters = {{1, 0}, {2, 3}, {0, 0}}}},
        {"v650_stored_negated",
         {.version = 0x0650, .storedVersion = 0xF9B0, .pageSize = 512, .patCounters = {{4, 0}}}},
        {"v600_1024_old_layout",
         {.version = 0x0600, .oldLayout = true, .pageSize = 1024, .patCounters = {{3, 0}}}},
        {"v700_512_trace",
         {.version = 0x0700, .pageSize = 512, .patCounters = {{1, 2}, {9, 0}}},
         true},
        {"v710_4096", {.version = 0x0710, .pageSize = 4096, .patCounters = {{7, 0}}}},
        {"v7ff_8192", {.version = 0x07FF, .pageSize = 8192, .fcrCounters = {0, 0}}},
        {"v700_16384", {.version = 0x0700, .pageSize = 16384, .patCounters = {{2, 0}}}},
        {"v800_512", {.version = 0x0800, .pageSize = 512, .patCounters = {{0x30, 0}}}},
        {"v800_1536", {.version = 0x0800, .pageSize = 1536, .patCounters = {{1, 1}}}},
        {"v900_2048", {.version = 0x0900, .pageSize = 2048, .fcrCounters = {9, 0}}},
        {"v800_4096", {.version = 0x0800, .pageSize = 4096, .patCounters = {{7, 0}}}},
        {"v800_8192", {.version = 0x0800, .pageSize = 8192, .patCounters = {{0xFFFFFFF0, 0}}}},
        {"v800_16384_no_pat_layout", {.version = 0x0800, .pageSize = 16384, .fcrCounters = {3, 0}}},
        {"v950_512_no_pat_layout", {.version = 0x0950, .pageSize = 512, .tailBytes = 8192}},
        {"v950_1024", {.version = 0x0950, .pageSize = 1024, .patCounters = {{5, 0}}}},
        {"v950_4096", {.version = 0x0950, .pageSize = 4096, .patCounters = {{0, 0}}}},
        {"v950_16384", {.version = 0x0950, .pageSize = 16384, .patCounters = {{6, 0}}}},
        {"v951_1024", {.version = 0x0951, .pageSize = 1024, .patCounters = {{8, 0}}}},
        {"va00_2048", {.version = 0x0A00, .pageSize = 2048, .patCounters = {{1, 0}}}},
        {"vd30_8192", {.version = 0x0D30, .pageSize = 8192, .patCounters = {{2, 0}}}},
        {"v950_compressed",
         {.version = 0x0950,
          .pageSize = 1024,
          .compressed = true,
          .physicalPageSize = 64,
          .patCounters = {{1, 0}, {2, 0}, {3, 3}}}},
        {"va00_compressed",
         {.version = 0x0A00,
          .pageSize = 2048,
          .compressed = true,
          .physicalPageSize = 128,
          .patCounters = {{1, 1}, {4, 0}}}},
        {"v500_pre_six", {.version = 0x0500, .oldLayout = true, .pageSize = 512}},
    };
    // Extents: cut inside the PAT walk, one at a copy boundary, one with a delta file.
    Seed extents = {"v600_512_extents_delta", seeds[0].set};
    uint64_t pair2 = fixture::PatPairOffset(extents.set, 2);
    extents.set.extentSizes = {pair2 + 512, 30000};
    extents.set.delta = true;
    seeds.push_back(extents);
    Seed copyCut = {"v800_4096_copy_one_in_extension", seeds[10].set};
    copyCut.set.extentSizes = {fixture::PatPairOffset(copyCut.set, 1) + 8192};
    seeds.push_back(copyCut);
    Seed deltaOnly = {"v950_1024_delta", seeds[14].set};
    deltaOnly.set.delta = true;
    seeds.push_back(deltaOnly);
    return seeds;
}

void WriteRepairAndViewerSeeds(const std::string& dir) {
    const std::vector<Bytes> keyScripts = {
        Bytes{'\r', '\r', '\r', '\r'},
        Bytes{'C', '\r', 'c'},
        Bytes{0xE0, 0x51, 0xE0, 0x51, 0xE0, 0x49, ' ', 0x00, 0x51, '\r'},
        Bytes{'\r', '\r', 0x08, 0x08, 'C', '\r', 0x08, 0x08},
        Bytes{'x', 0xE0, 0x47, 0x1B},
    };
    size_t script = 0;
    for (const Seed& seed : RepairSeeds()) {
        Bytes set = Encoded(fixture::Build(seed.set), seed.trace);
        Save(dir + "/repair", seed.name, set);
        const Bytes& keys = keyScripts[script++ % keyScripts.size()];
        Bytes viewer = {uint8_t(keys.size())};
        viewer.insert(viewer.end(), keys.begin(), keys.end());
        viewer.insert(viewer.end(), set.begin(), set.end());
        Save(dir + "/viewer", seed.name, viewer);
    }
}

void PutU16(Bytes& bytes, size_t at, uint16_t value) {
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}

// An 8.x data page of 512 bytes: record limit 3 at 0x0E; records 0 and 1, slot 2 free, then the
// slot that ends record 1.
Bytes DataPage() {
    Bytes page(512, 0x5A);
    PutU16(page, 0x0E, 3);
    PutU16(page, 510, 0x20);
    PutU16(page, 508, 0x40);
    PutU16(page, 506, 0xFFFF);
    PutU16(page, 504, 0x80);
    return page;
}

Bytes Concatenated(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// An 8.x set whose logical page 1 is physical page 24, a data page, to which the FCR's misc
// data pointer also points.
Bytes RecordSet() {
    SetSpec setSpec{.version = 0x0800,
                    .pageSize = 512,
                    .patCounters = {{1, 2}},
                    .patEntries = {{.pair = 1, .index = 0, .physicalPage = 24, .flags = 0}},
                    .tailBytes = 512};
    fixture::FileSetImage image = fixture::Build(setSpec);
    Bytes page = DataPage();
    image.Poke(24 * 512, page.data(), page.size());
    for (uint64_t copy : {0u, 2048u}) {
        image.PokeU32(copy + 0x94, 1);
        image.PokeU16(copy + 0x98, 1);
    }
    return Encoded(image, false);
}

void WriteRecordSeeds(const std::string& dir) {
    Bytes page = DataPage();
    for (uint8_t record : {0, 1, 3}) {
        Save(dir + "/records", "find_record_" + std::to_string(record),
             Concatenated({{0, 1, 0x00, 0x02, record, 0}, page}));
    }
    Save(dir + "/records", "expand_runs", {1, 1, 7, 0, 3, 0, 'a', 'b', 'c', 4, 0, 'x'});
    Save(dir + "/records", "expand_overflow", {1, 1, 5, 0, 3, 0, 'a', 'b', 'c', 4, 0, 'x'});
    Save(dir + "/records", "expand_literal_only", {1, 1, 16, 0, 2, 0, 'A', 'B'});
    Save(dir + "/records", "expand_plain", {1, 0, 16, 0, 'z'});
    for (uint8_t record : {0, 1}) {
        Save(dir + "/records", "read_record_" + std::to_string(record),
             Concatenated({{2, 1, 0, 0, 0, record, 0}, RecordSet()}));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "Usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    for (const char* corpus : {"", "/repair", "/viewer", "/records"}) {
        mkdir((dir + corpus).c_str(), 0755);
    }
    WriteRepairAndViewerSeeds(dir);
    WriteRecordSeeds(dir);
    return 0;
}
