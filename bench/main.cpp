// orvane_bench [--sizes 1,8,64]: repairs of sparse 8.x, 9.50 and 6.x file sets of the given
// logical sizes in GiB, timed and counted, then the viewer and the page-header preload.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/report.h"

namespace {

[[noreturn]] void Usage() {
    fprintf(stderr, "Usage: orvane_bench [--sizes GiB,GiB,...]   (default 1,8,64)\n");
    exit(2);
}

std::vector<uint64_t> ParseSizes(const char* list) {
    std::vector<uint64_t> sizes;
    for (const char* at = list; *at != '\0';) {
        char* end = nullptr;
        unsigned long long size = strtoull(at, &end, 10);
        if (end == at || size == 0 || (*end != ',' && *end != '\0')) {
            Usage();
        }
        sizes.push_back(size);
        at = *end == ',' ? end + 1 : end;
    }
    return sizes;
}

std::vector<uint64_t> SizesFrom(int argc, char** argv) {
    if (argc == 1) {
        return {1, 8, 64};
    }
    if (argc != 3 || strcmp(argv[1], "--sizes") != 0) {
        Usage();
    }
    return ParseSizes(argv[2]);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint64_t> sizes = SizesFrom(argc, argv);
    std::vector<bench::RepairRow> rows;
    for (const bench::SetKind& kind : {bench::V8Set, bench::V950Set, bench::V6Set}) {
        for (uint64_t size : sizes) {
            rows.push_back(bench::MeasureRepair(kind, size));
        }
    }
    bench::ServicesResult services = bench::MeasureServices();
    return bench::PrintReport(rows, services) ? 0 : 1;
}
