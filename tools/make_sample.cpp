// orvane_make_sample DIR: writes DIR/data.dat, a damaged 8.x file with 4096-byte pages whose
// PAT pair 4 has lost copy 1's usage counter, for trying out an automatic repair.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tests/fixture/fixture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "Usage: orvane_make_sample DIR\n");
        return 1;
    }
    if (mkdir(argv[1], 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "Cannot make %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    fixture::SetSpec setSpec{.version = 0x0800,
                             .pageSize = 4096,
                             .fcrCounters = {0x41, 0x42},
                             .patPairCountInFcr = 4,
                             .pageCount = 5120,
                             .patCounters = {{0x12, 0x13}, {0x21, 0x20}, {0x31, 0x32}, {7, 0}}};
    printf("Wrote %s\n", fixture::WriteSet(setSpec, argv[1]).c_str());
    return 0;
}
