// Heap allocations counted by the benchmark driver: every malloc-family call
// and every operator new of the process, and separately those the calling
// thread makes inside a counted region (a timer tick). Qt's strings and byte
// arrays allocate with malloc, C++ objects with operator new: both are seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AllocTotals {
    std::uint64_t calls = 0;  // allocating calls: malloc, calloc, realloc, memalign, new
    std::uint64_t bytes = 0;  // bytes asked for
};

// Everything the process has allocated so far, all threads.
AllocTotals ProcessAllocs();

// Counts what this thread allocates until the matching EndCounting.
void BeginCounting();
AllocTotals EndCounting();

// Keeps the call stacks of the next `count` allocations made while counting.
void RecordStacks(int count);

struct AllocSite {
    int times = 0;
    std::vector<std::string> frames;  // innermost first, names demangled
};
// The stacks recorded, alike ones merged, most frequent first.
std::vector<AllocSite> RecordedSites();
