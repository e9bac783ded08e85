// The counting allocator the benchmark relies on: if it missed a way to
// allocate, "zero allocations per tick" would be a false claim.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alloc_count.h"

namespace {

// Keeps the optimiser from removing an allocation whose result is unused.
void* volatile sink;

TEST(AllocCount, EveryWayToAllocateIsCounted)
{
    struct Row {
        const char* what;
        void (*allocate)();
    };
    const Row rows[] = {
        {"malloc", [] { sink = std::malloc(24); std::free(sink); }},
        {"calloc", [] { sink = std::calloc(3, 8); std::free(sink); }},
        {"realloc", [] { sink = std::realloc(nullptr, 24); std::free(sink); }},
        {"aligned_alloc", [] { sink = std::aligned_alloc(64, 64); std::free(sink); }},
        {"posix_memalign", [] { void* p = nullptr; if (posix_memalign(&p, 64, 64) == 0) sink = p; std::free(p); }},
        {"new", [] { auto p = std::make_unique<long>(1); sink = p.get(); }},
        {"new[]", [] { auto p = std::make_unique<char[]>(100); sink = p.get(); }},
        {"aligned new", [] {
             struct alignas(64) Wide { char c[64]; };
             auto p = std::make_unique<Wide>();
             sink = p.get();
         }},
        {"QString", [] { QString s = QString::fromUtf8("SIMULATING"); sink = s.data(); }},
        {"QByteArray", [] { QByteArray b(100, 'x'); sink = b.data(); }},
    };
    for (const Row& row : rows) {
        BeginCounting();
        row.allocate();
        AllocTotals counted = EndCounting();
        EXPECT_EQ(counted.calls, 1u) << row.what;
        EXPECT_GT(counted.bytes, 0u) << row.what;
    }
}

TEST(AllocCount, WorkWithoutTheHeapCountsNothing)
{
    char buffer[64];
    BeginCounting();
    std::string small = "short";  // fits the string's own storage
    std::snprintf(buffer, sizeof buffer, "%s %d", small.c_str(), 7);
    AllocTotals counted = EndCounting();
    EXPECT_EQ(counted.calls, 0u);
}

TEST(AllocCount, OnlyTheCountingThreadIsCountedButTheProcessSeesAll)
{
    AllocTotals before = ProcessAllocs();
    BeginCounting();
    std::thread other([] {
        for (int i = 0; i < 10; ++i) sink = new int(i), delete static_cast<int*>(sink);
    });
    other.join();
    AllocTotals counted = EndCounting();
    // Starting a thread allocates in this one too (its state); the other thread's ten do not count here.
    EXPECT_LT(counted.calls, 10u);
    EXPECT_GE(ProcessAllocs().calls - before.calls, 10u);
}

TEST(AllocCount, StacksNameTheCallerAndMergeWhenAlike)
{
    RecordStacks(10);
    BeginCounting();
    for (int i = 0; i < 3; ++i) {
        QString s = QString::fromUtf8("Simulating");
        sink = s.data();
    }
    EndCounting();
    std::vector<AllocSite> sites = RecordedSites();
    ASSERT_FALSE(sites.empty());
    EXPECT_EQ(sites[0].times, 3);
    ASSERT_FALSE(sites[0].frames.empty());
    EXPECT_NE(sites[0].frames[0].find("QArrayData::allocate"), std::string::npos) << sites[0].frames[0];
}

}  // namespace
