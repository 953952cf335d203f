// Fuzz target: the record parsers of the page services. Byte 0 picks one:
//   0  FindRecordInPage on a fuzzed page: version class, 16-bit page size and record number,
//      then the page's bytes;
//   1  ExpandRecord: type, 16-bit output capacity, then the compressed bytes, checked against
//      a plain reading of the run-length format;
//   2  ReadRecord and ReadMiscDataRecord through the PAT of a fuzzed file set (32-bit logical
//      page, 16-bit record number, then the set), and the page-header cache over it.
// Buffers are exactly as large as the callers promise, so any access past them is caught.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fileio/file_set.h"
#include "fileio/page_services.h"
#include "fileio/records.h"
#include "fuzz/file_set_input.h"

namespace {

std::string workDir;

struct Input {
    const uint8_t* data;
    size_t size;

    uint32_t Take(size_t width) {
        uint32_t value = 0;
        for (size_t i = 0; i < width && size > 0; ++i, ++data, --size) {
            value |= uint32_t(*data) << (8 * i);
        }
        return value;
    }
};

// A heap buffer of exactly n bytes (a real one also for n = 0), holding the input's first bytes.
std::unique_ptr<uint8_t[]> Buffer(size_t n, const Input& from) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[n]);
    memset(buffer.get(), 0, n);
    if (n > 0 && from.size > 0) {
        memcpy(buffer.get(), from.data, std::min(n, from.size));
    }
    return buffer;
}

void FindRecord(Input in) {
    static const uint16_t versions[] = {0x0600, 0x0800, 0x0950};
    fileio::fileFormat = {};
    fileio::fileFormat.version = versions[in.Take(1) % 3];
    fileio::fileFormat.pageSize = uint16_t(in.Take(2));
    uint16_t record = uint16_t(in.Take(2));
    std::unique_ptr<uint8_t[]> page = Buffer(fileio::fileFormat.pageSize, in);
    uint16_t start = 1, length = 1;
    int found = fileio::FindRecordInPage(page.get(), record, &start, &length);
    if (found ? length == 0 || start + length > fileio::fileFormat.pageSize
              : start != 0 || length != 0) {
        fuzz::Finding("FindRecordInPage gave a record outside the page", std::to_string(found));
    }
}

// The run-length format read plainly: literal runs and fill runs until the input ends; a run
// that would overflow the output, or a header or literal cut off by the input's end, fails
// with the bytes produced before it.
int PlainExpand(const uint8_t* in, uint32_t length, uint8_t* out, uint32_t capacity,
                uint32_t* produced) {
    uint32_t at = 0;
    *produced = 0;
    while (at < length) {
        if (length - at < 2) {
            return 0;
        }
        uint32_t literal = uint32_t(in[at] | in[at + 1] << 8);
        at += 2;
        if (literal > length - at || *produced + literal > capacity) {
            return 0;
        }
        memcpy(out + *produced, in + at, literal);
        at += literal;
        *produced += literal;
        if (at == length) {
            break;
        }
        if (length - at < 3) {
            return 0;
        }
        uint32_t fill = uint32_t(in[at] | in[at + 1] << 8);
        if (*produced + fill > capacity) {
            return 0;
        }
        memset(out + *produced, in[at + 2], fill);
        at += 3;
        *produced += fill;
    }
    return 1;
}

void Expand(Input in) {
    int type = int(in.Take(1));
    uint32_t capacity = in.Take(2);
    std::unique_ptr<uint8_t[]> input = Buffer(in.size, in);
    std::unique_ptr<uint8_t[]> output(new uint8_t[capacity]);
    uint32_t size = capacity;
    int result = fileio::ExpandRecord(type, input.get(), uint32_t(in.size), output.get(), &size);
    std::unique_ptr<uint8_t[]> plain(new uint8_t[capacity]);
    uint32_t plainSize = 0;
    int plainResult = 1;
    if (type == 1) {
        plainResult =
            PlainExpand(input.get(), uint32_t(in.size), plain.get(), capacity, &plainSize);
    } else if (type != 0) {
        plainResult = 0;
    }
    if (result != plainResult || size != plainSize ||
        memcmp(output.get(), plain.get(), size) != 0) {
        fuzz::Finding("ExpandRecord differs from the format", std::to_string(type));
    }
}

void CheckLength(int result, uint16_t length, const char* what) {
    if (length > fileio::fileFormat.pageSize || (!result && length != 0)) {
        fuzz::Finding(what, "gave a length beyond the page or after a failure");
    }
}

void ReadRecords(Input in) {
    uint32_t logicalPage = in.Take(4);
    uint16_t record = uint16_t(in.Take(2));
    fuzz::FileSetInput set = fuzz::DecodeFileSet(in.data, in.size);
    std::string path = fuzz::WriteFileSet(set, workDir);
    fileio::TraceEnabled = set.trace;
    fileio::fileFormat = {};
    if (fileio::OpenFileSetReadShared(path.c_str())) {
        std::unique_ptr<uint8_t[]> output(new uint8_t[fileio::fileFormat.pageSize]);
        uint16_t length = 1;
        CheckLength(fileio::ReadRecord(logicalPage, record, output.get(), &length), length,
                    "ReadRecord");
        for (int which : {0, 1}) {
            length = 1;
            int result = fileio::ReadMiscDataRecord(output.get(), which, &length);
            CheckLength(result, result ? length : 0, "ReadMiscDataRecord");
        }
        if (fileio::PreloadPageHeaders(set.trace)) {
            fileio::PageHeaderBlock block;
            fileio::GetCachedPageHeader(logicalPage, &block);
        }
        fileio::FreePageHeaderCache();
    }
    fileio::CloseFileSet();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    workDir = fuzz::MakeWorkDir();
    FILE* quiet = freopen("/dev/null", "w", stdout);  // the services' trace and progress lines
    return quiet != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    switch (in.Take(1) % 3) {
        case 0:
            FindRecord(in);
            break;
        case 1:
            Expand(in);
            break;
        default:
            ReadRecords(in);
            break;
    }
    return 0;
}
