// What the test process holds at a moment: resident memory, open
// descriptors, threads and memory mappings, read from /proc/self. Tests
// compare two readings to show a job left nothing running or open.
#pragma once

#include <cstddef>
#include <string>

namespace sl::test {

struct ProcessUsage {
    long residentKb = -1;
    size_t descriptors = 0;
    size_t threads = 0;
    size_t mappings = 0;
};

ProcessUsage MeasureProcess();

// "resident 1234 kB, 9 descriptors, 3 threads, 410 mappings", for messages.
std::string Describe(const ProcessUsage &u);

}  // namespace sl::test
