#pragma once
// Counts the heap allocations of the whole process while switched on, and
// tells by call site whose they are: the program's own code (anything
// linked into the test binary) or a library (libcurl, libavformat, Qt ...).
// Linking CountingAllocator.cpp replaces malloc and its relatives in the
// binary; not for sanitizer builds, which replace them themselves.

#include <cstddef>
#include <string>
#include <vector>

namespace cx::test {

struct AllocationSite {
    std::string where;   // "ours" or the library's file name
    std::string caller;  // the first function of ours on the stack, with its file and line
    size_t count = 0;
};

struct AllocationReport {
    size_t own = 0;
    size_t library = 0;
    size_t unrecorded = 0;  // counted, but past the record's capacity (not classified)
    std::vector<AllocationSite> sites;  // most allocations first
};

class AllocationCounter {
public:
    // Forgets what was counted and starts counting.
    static void start();
    static void stop();
    // Classifies what was counted between start and stop.
    static AllocationReport report();
};

}  // namespace cx::test
