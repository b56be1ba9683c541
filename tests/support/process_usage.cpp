#include "support/process_usage.h"

#include <dirent.h>

#include <cstdio>

namespace sl::test {

namespace {

size_t CountEntries(const char *dir) {
    size_t n = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

long ResidentKb() {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1) break;
    std::fclose(f);
    return kb;
}

size_t CountLines(const char *path) {
    FILE *f = std::fopen(path, "r");
    if (!f) return 0;
    size_t n = 0;
    for (int c; (c = std::fgetc(f)) != EOF;)
        if (c == '\n') ++n;
    std::fclose(f);
    return n;
}

}  // namespace

ProcessUsage MeasureProcess() {
    ProcessUsage u;
    // Descriptors first: the readers below open files of their own.
    u.descriptors = CountEntries("/proc/self/fd");
    u.threads = CountEntries("/proc/self/task");
    u.residentKb = ResidentKb();
    u.mappings = CountLines("/proc/self/maps");
    return u;
}

std::string Describe(const ProcessUsage &u) {
    return "resident " + std::to_string(u.residentKb) + " kB, " + std::to_string(u.descriptors) +
           " descriptors, " + std::to_string(u.threads) + " threads, " + std::to_string(u.mappings) +
           " mappings";
}

}  // namespace sl::test
