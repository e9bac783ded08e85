#include "fault_support.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThreadPool>

#include <malloc.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>

#include "platform/runtime.h"
#include "ui/quorvex.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEX_ASAN 1
#endif
#endif
#ifdef QUORVEX_ASAN
// Declared here: GCC installs the sanitizer runtime without its headers.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

std::string readSoon(Pty& end, std::size_t count)
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    char buffer[4096];
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        ssize_t n = ::read(end.master(), buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) got.append(buffer, std::size_t(n));
        pollfd fd{end.master(), POLLIN, 0};
        if (n <= 0) poll(&fd, 1, 1);
    }
    return got;
}

std::size_t heapInUse()
{
#ifdef QUORVEX_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

Footprint footprint()
{
    // Qt converts large images on pooled threads, each with an eventfd, that
    // end 30 s after their last use: ended now, none ends between two measurements.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return {openDescriptorCount(), heapInUse()};
}

double cpuWhile(std::chrono::milliseconds wall)
{
    double before = cpuSeconds();
    pump(wall);
    return cpuSeconds() - before;
}

void expectHeapFlat(const Footprint& before, const Footprint& after, std::size_t allowed)
{
#ifndef QUORVEX_ASAN
    // 64 size classes of up to 1 KiB, 7 blocks each, held per thread.
    allowed += 256 * 1024;
#endif
    EXPECT_LE(after.heap, before.heap + allowed)
        << "heap grew by " << (long long)after.heap - (long long)before.heap << " bytes";
}

void expectNothingLeftBehind(const std::function<void()>& row, bool warmUp)
{
    // Heap that comes and goes with allocator bookkeeping and Qt's own small
    // caches; a leak per row of a port object, a file or a record is more.
    constexpr std::size_t kSlack = 16 * 1024;
    if (warmUp) row();
    Footprint before = footprint();
    row();
    Footprint after = footprint();
    EXPECT_EQ(after.descriptors, before.descriptors) << "open descriptors";
    expectHeapFlat(before, after, kSlack);
}

std::string numberedRecording(std::size_t size)
{
    // A byte hashed from its position: no two 50-byte chunks alike.
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
        bytes[i] = char((x ^ (x >> 29)) >> 56);
    }
    return bytes;
}

std::int64_t chunkPosition(const std::string& recording, const std::string& chunk)
{
    constexpr std::size_t kChunk = 50;
    if (chunk.size() != kChunk) return -1;
    for (std::size_t p = 0; p + kChunk <= recording.size(); p += kChunk)
        if (recording.compare(p, kChunk, chunk) == 0) return std::int64_t(p);
    return -1;
}

std::string checkChunks(const std::string& sent, const std::string& recording, bool allowDrops)
{
    constexpr std::size_t kChunk = 50;
    if (sent.size() % kChunk != 0) return "sent " + std::to_string(sent.size()) + " bytes: not whole chunks";
    std::size_t previous = std::string::npos;
    for (std::size_t at = 0; at < sent.size(); at += kChunk) {
        const std::int64_t found = chunkPosition(recording, sent.substr(at, kChunk));
        const std::size_t where = found < 0 ? std::string::npos : std::size_t(found);
        if (found < 0) return "chunk at byte " + std::to_string(at) + " is not in the recording";
        bool follows = previous == std::string::npos || where == previous + kChunk || where == 0;
        if (!follows && !allowDrops)
            return "chunk at byte " + std::to_string(at) + " comes from " + std::to_string(where) +
                   " after " + std::to_string(previous);
        previous = where;
    }
    return "";
}
