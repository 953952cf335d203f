// Fuzz input as a Btrieve file set: the first bytes say how the rest is cut into the base file,
// extension files and a delta file; the set is written into a work directory for a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

inline constexpr unsigned MaxExtensionFiles = 3;

// Byte 0: bits 0-1 the number of extension files, bit 2 a delta file, bit 3 the trace (/D).
// Then a 24-bit little-endian size for the base file and each extension file but the last,
// which takes the rest; then, with a delta file, its 16-bit size, taken from the end of the
// bytes that remain. What is left is the set's logical bytes. Sizes are cut to what there is.
struct FileSetInput {
    std::vector<std::vector<uint8_t>> extents;  // the base file, then the extension files
    std::vector<uint8_t> delta;
    bool hasDelta = false;
    bool trace = false;

    // The logical byte range: the extents joined.
    std::vector<uint8_t> Logical() const;
};

FileSetInput DecodeFileSet(const uint8_t* data, size_t size);
std::vector<uint8_t> EncodeFileSet(const FileSetInput& set);

// Names as the program derives them from "data.dat".
std::string FileName(unsigned extent);  // 0: data.dat, k: data.^0k
inline const char* const DeltaFileName = "data.^^^";

// A directory of its own for the runs of this process, on /dev/shm where there is one; it is
// removed when the process ends.
std::string MakeWorkDir();

// Writes the set's files into dir, removing those of an earlier set; returns the base's path.
std::string WriteFileSet(const FileSetInput& set, const std::string& dir);

// A whole file's bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

// Aborts with the reason, so that the fuzzer keeps the input.
[[noreturn]] void Finding(const char* what, const std::string& detail);

}  // namespace fuzz
