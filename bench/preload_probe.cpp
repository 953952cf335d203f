// orvane_preload_probe FILE: opens a file set read-only, fills the page-header cache once and
// prints the layer's own line, then "preload <result> <nanoseconds>" for the call alone.
#include <chrono>
#include <cstdio>

#include "fileio/file_set.h"
#include "fileio/page_services.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "Usage: orvane_preload_probe FILE\n");
        return 2;
    }
    if (!fileio::OpenFileSetReadShared(argv[1])) {
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    int result = fileio::PreloadPageHeaders(false);
    auto elapsed = std::chrono::steady_clock::now() - start;
    printf("preload %d %lld\n", result,
           (long long)std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count());
    fileio::FreePageHeaderCache();
    fileio::CloseFileSet();
    return result ? 0 : 1;
}
