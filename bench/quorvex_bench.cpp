// The program as its main() runs it, with what the benchmark needs around it:
//   --format N         pick format N in the FORMAT ring before the loop starts,
//                      as a user's pick does (the ring's value, then its callback)
//   --switch-to N      pick format N while running, --switch-after ms after the loop starts
//   --run-for S        end the event loop after S seconds, as the close button does
//   --warmup-ticks N   count allocations only from tick N+1 of each timer on
//   --stacks N         keep the call stacks of the first N allocations counted
// SIGTERM ends the event loop as the program always does, and the report is printed.
// Prints "loop <ns>" (CLOCK_MONOTONIC) as the event loop starts, "switch <ns>
// <ns>" around a switch, and at the end "report {...}" with the counts and the
// moment each tick callback was entered, which tells the timer's own lateness
// from the time the bytes then took to reach the far end.
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alloc_count.h"
#include "app/startup.h"
#include "platform/runtime.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "ui/quorvex.h"

namespace {

long long nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Options {
    int format = -1;
    int switchTo = -1;
    int switchAfterMs = 0;
    double runFor = 0;
    int warmupTicks = 3;
    int stacks = 0;
};

constexpr int kMaxEntries = 16384;

// Allocations inside one timer's ticks, and in the whole process between them.
struct TickCounts {
    CtrlCallback tick;
    long long entered[kMaxEntries];  // CLOCK_MONOTONIC ns at each tick's start
    long ticks = 0;
    long counted = 0;
    std::uint64_t calls = 0, bytes = 0, maxCalls = 0;
    AllocTotals firstBegin{}, lastBegin{};
};

Options options;
TickCounts aTimer{ATimerTick, {}};
TickCounts dTimer{DTimerTick, {}};

int countedTick(TickCounts& counts, int panel, int control, int event, void* data, int d1, int d2)
{
    if (counts.ticks < kMaxEntries) counts.entered[counts.ticks] = nowNs();
    if (++counts.ticks <= options.warmupTicks) return counts.tick(panel, control, event, data, d1, d2);
    AllocTotals process = ProcessAllocs();
    if (counts.counted++ == 0) {
        counts.firstBegin = process;
        if (options.stacks > 0) RecordStacks(options.stacks);
    }
    counts.lastBegin = process;
    BeginCounting();
    int result = counts.tick(panel, control, event, data, d1, d2);
    AllocTotals inTick = EndCounting();
    counts.calls += inTick.calls;
    counts.bytes += inTick.bytes;
    if (inTick.calls > counts.maxCalls) counts.maxCalls = inTick.calls;
    return result;
}

int benchATimerTick(int p, int c, int e, void* d, int d1, int d2) { return countedTick(aTimer, p, c, e, d, d1, d2); }
int benchDTimerTick(int p, int c, int e, void* d, int d1, int d2) { return countedTick(dTimer, p, c, e, d, d1, d2); }

// The program's callbacks, bound by name as always, the two ticks through the counters.
CtrlCallback resolve(std::string_view name)
{
    if (name == "ATimerTick") return benchATimerTick;
    if (name == "DTimerTick") return benchDTimerTick;
    return QuorvexUir().resolveCallback(name);
}

void pickFormat(int format)
{
    SetCtrlVal(spanel, FORMAT, format);
    SetFormat(spanel, FORMAT, EVENT_COMMIT, nullptr, 0, 0);
}

bool parse(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        auto is = [&](const char* name) { return std::strcmp(argv[i], name) == 0 && i + 1 < argc; };
        if (is("--format")) options.format = std::atoi(argv[++i]);
        else if (is("--switch-to")) options.switchTo = std::atoi(argv[++i]);
        else if (is("--switch-after")) options.switchAfterMs = std::atoi(argv[++i]);
        else if (is("--run-for")) options.runFor = std::atof(argv[++i]);
        else if (is("--warmup-ticks")) options.warmupTicks = std::atoi(argv[++i]);
        else if (is("--stacks")) options.stacks = std::atoi(argv[++i]);
        else return false;
    }
    return true;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string countsJson(const TickCounts& c)
{
    const AllocTotals periods{c.lastBegin.calls - c.firstBegin.calls, c.lastBegin.bytes - c.firstBegin.bytes};
    const double perPeriod = c.counted > 1 ? double(periods.calls) / double(c.counted - 1) : 0;
    char text[400];
    std::snprintf(text, sizeof text,
                  "{\"ticks\":%ld,\"counted\":%ld,\"allocs\":%llu,\"bytes\":%llu,\"max_per_tick\":%llu,"
                  "\"process_allocs_per_period\":%.2f,\"entered_ns\":[",
                  c.ticks, c.counted, (unsigned long long)c.calls, (unsigned long long)c.bytes,
                  (unsigned long long)c.maxCalls, perPeriod);
    std::string json = text;
    for (long i = 0; i < std::min<long>(c.ticks, kMaxEntries); ++i)
        json += (i ? "," : "") + std::to_string(c.entered[i]);
    return json + "]}";
}

void printReport()
{
    std::string json =
        "{\"ATimerTick\":" + countsJson(aTimer) + ",\"DTimerTick\":" + countsJson(dTimer) + ",\"sites\":[";
    bool firstSite = true;
    for (const AllocSite& site : RecordedSites()) {
        json += std::string(firstSite ? "" : ",") + "{\"times\":" + std::to_string(site.times) + ",\"frames\":[";
        for (std::size_t f = 0; f < site.frames.size(); ++f) json += (f ? "," : "") + quoted(site.frames[f]);
        json += "]}";
        firstSite = false;
    }
    std::printf("report %s]}\n", json.c_str());
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!parse(argc, argv)) {
        std::fprintf(stderr, "usage: %s [--format N] [--switch-to N --switch-after MS] [--run-for S] "
                             "[--warmup-ticks N] [--stacks N]\n", argv[0]);
        return 2;
    }
    int qtArgc = 1;
    RunTimeEngine engine(qtArgc, argv);
    static const UirFile benchUir{kUirFile, QuorvexUir().panels, resolve};
    RegisterUirFile(benchUir);
    if (!startUp()) return 1;
    if (options.format >= 0) pickFormat(options.format);
    if (options.switchTo >= 0) {
        QTimer::singleShot(options.switchAfterMs, Qt::PreciseTimer, [] {
            long long begin = nowNs();
            pickFormat(options.switchTo);
            std::printf("switch %lld %lld\n", begin, nowNs());
            std::fflush(stdout);
        });
    }
    if (options.runFor > 0)
        QTimer::singleShot(int(options.runFor * 1000), Qt::PreciseTimer, [] { QuitUserInterface(0); });
    std::printf("loop %lld\n", nowNs());
    std::fflush(stdout);
    RunUserInterface();
    shutDown();
    printReport();
    std::fflush(stdout);
    return 0;
}
