// Writing and reading the counts file of the preloaded counting library.
#include "bench/io_counts.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace bench {
namespace {

struct Field {
    const char* name;
    uint64_t CallCounts::*member;
};

constexpr Field Fields[] = {
    {"open", &CallCounts::open},
    {"open_failed", &CallCounts::openFailed},
    {"seek", &CallCounts::seek},
    {"read", &CallCounts::read},
    {"write", &CallCounts::write},
    {"fsync", &CallCounts::fsync},
    {"close", &CallCounts::close},
    {"bytes_read", &CallCounts::bytesRead},
    {"bytes_written", &CallCounts::bytesWritten},
};
constexpr size_t FieldCount = sizeof Fields / sizeof Fields[0];

struct Scope {
    const char* name;
    CallCounts IoCounts::*member;
};

constexpr Scope Scopes[] = {{"files", &IoCounts::files}, {"stdout", &IoCounts::output}};

}  // namespace

size_t FormatCounts(const IoCounts& counts, char* text, size_t capacity) {
    size_t length = 0;
    for (const Scope& scope : Scopes) {
        for (const Field& field : Fields) {
            int put = snprintf(text + length, capacity - length, "%s %s %" PRIu64 "\n", scope.name,
                               field.name, (counts.*scope.member).*field.member);
            if (put < 0 || size_t(put) >= capacity - length) {
                return length;
            }
            length += size_t(put);
        }
    }
    return length;
}

bool ReadCounts(const std::string& path, IoCounts* counts) {
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    *counts = {};
    size_t found = 0;
    char scopeName[16], fieldName[16];
    uint64_t value = 0;
    while (fscanf(file, "%15s %15s %" SCNu64, scopeName, fieldName, &value) == 3) {
        for (const Scope& scope : Scopes) {
            for (const Field& field : Fields) {
                if (strcmp(scope.name, scopeName) == 0 && strcmp(field.name, fieldName) == 0) {
                    (counts->*scope.member).*field.member = value;
                    ++found;
                }
            }
        }
    }
    fclose(file);
    return found == FieldCount * (sizeof Scopes / sizeof Scopes[0]);
}

}  // namespace bench
