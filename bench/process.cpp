// Child processes of the benchmark: started through the runner, which times them and takes their
// peak resident size, optionally with the counting library preloaded.
#include "bench/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "tests/fixture/fixture.h"

namespace bench {

const char* const OrvanePath = ORVANE_BENCH_ORVANE;
const char* const CountingPreload = ORVANE_BENCH_COUNTING_PRELOAD;
const char* const PreloadProbePath = ORVANE_BENCH_PRELOAD_PROBE;
const char* const RunnerPath = ORVANE_BENCH_RUNNER;

namespace {

// The environment of a run: this process's, with the counts file named when asked for.
std::vector<std::string> ChildEnvironment(const std::string& countsPath) {
    std::vector<std::string> variables;
    std::string countsPrefix = std::string(CountsVariable) + "=";
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (!std::string_view(*variable).starts_with(countsPrefix)) {
            variables.push_back(*variable);
        }
    }
    if (!countsPath.empty()) {
        variables.push_back(countsPrefix + countsPath);
    }
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Spawn(std::vector<std::string> words, std::vector<std::string> environment,
            const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv = Pointers(words), envp = Pointers(environment);
    pid_t child = -1;
    int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        Fail("cannot start " + words[0] + ": " + strerror(failed));
    }
    return child;
}

// The program runs under the small runner, which times it and takes its peak resident size.
ChildRun RunWith(const std::vector<std::string>& words, const std::string& outPath,
                 const std::string& errPath, const std::string& countsPath) {
    std::string resultPath = outPath + ".run";
    std::vector<std::string> runner = {RunnerPath, resultPath,
                                       countsPath.empty() ? "-" : CountingPreload};
    runner.insert(runner.end(), words.begin(), words.end());
    pid_t child = Spawn(runner, ChildEnvironment(countsPath), outPath, errPath);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("the runner could not run " + words[0]);
    }
    ChildRun run;
    FILE* result = fopen(resultPath.c_str(), "r");
    int fields = result ? fscanf(result, "%d %lf %lf %ld", &run.status, &run.seconds,
                                 &run.cpuSeconds, &run.peakRssKiB)
                        : 0;
    if (result) {
        fclose(result);
    }
    if (fields != 4) {
        Fail("no result from the runner in " + resultPath);
    }
    return run;
}

}  // namespace

ChildRun Run(const std::vector<std::string>& argv, const std::string& outPath,
             const std::string& errPath) {
    return RunWith(argv, outPath, errPath, "");
}

ChildRun RunCounted(const std::vector<std::string>& argv, const std::string& outPath,
                    const std::string& errPath, const std::string& countsPath, IoCounts* counts) {
    ChildRun run = RunWith(argv, outPath, errPath, countsPath);
    if (!ReadCounts(countsPath, counts)) {
        Fail("no call counts from " + argv[0] + " in " + countsPath);
    }
    return run;
}

void PreloadCounting(const std::string& countsPath) {
    setenv("LD_PRELOAD", CountingPreload, 1);
    setenv(CountsVariable, countsPath.c_str(), 1);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

namespace {
std::vector<std::string> dirsToRemove;
}  // namespace

void RemoveOnFailure(const std::string& dir) {
    dirsToRemove.push_back(dir);
}

void KeepOnFailure(const std::string& dir) {
    std::erase(dirsToRemove, dir);
}

void Fail(const std::string& what) {
    for (const std::string& dir : dirsToRemove) {
        fixture::RemoveDir(dir);
    }
    fflush(stdout);
    fprintf(stderr, "orvane_bench: %s\n", what.c_str());
    exit(1);
}

}  // namespace bench
