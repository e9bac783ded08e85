// What every fault row holds to besides its own outcome: open descriptors and
// heap back where they started once the fault is cleared, and a quiet
// processor while the program's own timers run through the fault.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "fault_records.h"
#include "support.h"

// Reads `count` bytes from the station's end, running the event loop until
// they are there (2 s at most), polling more finely than Pty::read.
std::string readSoon(Pty& end, std::size_t count);
// Bytes the program holds on the heap: the sanitizer's count in a sanitizer
// build, the C library's otherwise.
std::size_t heapInUse();

struct Footprint {
    int descriptors = 0;
    std::size_t heap = 0;
};
// Deletes what is waiting for the event loop to delete it, then measures.
Footprint footprint();

// Checks the heap has not grown from `before` by more than `allowed`. Exact
// in a sanitizer build; otherwise glibc's per-thread caches of freed blocks
// count as in use, and up to a quarter megabyte more is let pass.
void expectHeapFlat(const Footprint& before, const Footprint& after, std::size_t allowed);

// Processor seconds spent while the event loop runs for `wall`, the program's
// timers firing as they are set.
double cpuWhile(std::chrono::milliseconds wall);

// Runs `row` and checks that it leaves descriptors and heap as it found them.
// With warmUp, it runs twice and the second run counts: the first fills what
// Qt caches once per process.
void expectNothingLeftBehind(const std::function<void()>& row, bool warmUp = true);

// A recording whose every 50-byte chunk differs from every other.
std::string numberedRecording(std::size_t size);
// Where a 50-byte chunk starts in the recording (at a multiple of 50), or -1.
std::int64_t chunkPosition(const std::string& recording, const std::string& chunk);
// Checks that `sent` is whole 50-byte chunks of `recording`, each at a multiple
// of 50, each following the one before or starting the recording over.
// With allowDrops, chunks may be missing in between. Returns a fault or "".
std::string checkChunks(const std::string& sent, const std::string& recording, bool allowDrops = false);
