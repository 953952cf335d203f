// orvane_bench_run RESULT PRELOAD PROGRAM [ARG...]: runs PROGRAM as a child of this small process,
// as time(1) would, with PRELOAD as its LD_PRELOAD ("-" for none), and writes its exit status,
// wall time and processor time in seconds and peak resident size in KiB to RESULT. A child's peak
// starts at the resident pages it inherits, so the benchmark itself is too big a parent to measure
// from.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "Usage: orvane_bench_run RESULT PRELOAD PROGRAM [ARG...]\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (strcmp(argv[2], "-") != 0) {
            setenv("LD_PRELOAD", argv[2], 1);
        }
        execv(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage = {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        perror("orvane_bench_run");
        return 1;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FILE* result = fopen(argv[1], "w");
    if (result == nullptr) {
        perror(argv[1]);
        return 1;
    }
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    fprintf(result, "%d %.9f %.6f %ld\n", code, seconds, cpu, usage.ru_maxrss);
    return fclose(result) == 0 ? 0 : 1;
}
