// The check of a log with times: what quorvex-play --timing recorded would
// refuse in it, or leave out of the replay, listed by line.
#include <cstdio>
#include <istream>

#include "findings.h"
#include "progress.h"
#include "timedlog.h"

namespace {

struct Kind {
    LogLine::Kind kind;
    const char *one, *many, *consequence;
};

// Lines that stop the player from playing the log at all, and frames it
// plays around.
constexpr const char* kRefused = "; quorvex-play plays no log with such a line";
constexpr Kind kKinds[] = {
    {LogLine::Kind::TimeBack, "line whose time goes back", "lines whose time goes back", kRefused},
    {LogLine::Kind::Unreadable, "line that does not parse", "lines that do not parse", kRefused},
    {LogLine::Kind::BadChecksum, "message whose checksum fails", "messages whose checksum fails", kRefused},
    {LogLine::Kind::NotCarried, "frame no serial line carries", "frames no serial line carries",
     ", which no serial line carries: the replay leaves it out"},
};

const Kind& kindOf(LogLine::Kind kind)
{
    for (const Kind& known : kKinds)
        if (known.kind == kind) return known;
    return kKinds[1];
}

// Lines of one kind for one reason.
struct Tally {
    LogLine::Kind kind;
    std::string wrong;
    ProblemTally lines;
};

void tally(std::vector<Tally>& tallies, const LogLine& line, std::int64_t number)
{
    for (Tally& known : tallies)
        if (known.kind == line.kind && known.wrong == line.wrong) return known.lines.add(number, 1);
    tallies.push_back({line.kind, line.wrong, {}});
    tallies.back().lines.add(number, 1);
}

std::string seconds(std::int64_t ns)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(ns) / 1e9);
    return text;
}

}  // namespace

Findings ExamineLog(std::istream& in, const DeviceFormat& format, std::string& title)
{
    const bool j1939 = format.value == 2;
    LogReader reader(j1939);
    std::vector<Tally> tallies;
    std::int64_t frames = 0, first = -1, last = 0;
    std::string text;
    for (std::int64_t number = 1; std::getline(in, text); ++number) {
        const LogLine& line = reader.read(text);
        if (line.kind == LogLine::Kind::Empty) continue;
        if (line.kind != LogLine::Kind::Frame) {
            tally(tallies, line, number);
            continue;
        }
        ++frames;
        if (first < 0) first = line.ns;
        last = line.ns;
    }
    Findings found;
    for (const Tally& each : tallies) {
        const Kind& kind = kindOf(each.kind);
        found.problem(each.lines.firstOffsets.front(), Where(each.lines, "line"), each.wrong + kind.consequence,
                      each.lines.count, kind.one, kind.many);
    }
    const std::string unit = j1939 ? "frame" : "message";
    if (frames == 0)
        found.problem(Findings::kWholeFile, "the file", "no " + unit + " to play", 1, "log without a " + unit,
                      "logs without a " + unit);
    title = std::string(j1939 ? "a candump log" : "a J1587 message log") + " of the " + std::string(format.device) +
            ", " + Plural(frames, unit, unit + "s") + (frames > 1 ? " over " + seconds(last - first) : "");
    return found;
}
