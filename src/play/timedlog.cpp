// What a timed stream plays: the frames of a log with times (read as the
// recorder reads them) and one pass's length, or a recording of bytes cut
// into whole messages to be paced.
#include <algorithm>
#include <fstream>
#include <map>

#include "../record/framing.h"
#include "../record/j1587frame.h"
#include "../record/outfile.h"
#include "../record/timedlog.h"
#include "timed.h"

namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;
// The window's average: 50 bytes every quarter second.
constexpr std::int64_t kPacedBytesPerSecond = 200;
// A log larger than this is no recording of an engine anyone could mean.
constexpr std::uintmax_t kLargestLog = std::uintmax_t(1) << 30;

void add(TimedRecording& out, std::int64_t offset, const std::string& bytes)
{
    out.frames.push_back({offset, std::uint32_t(out.bytes.size()), std::uint32_t(bytes.size())});
    out.bytes += bytes;
}

// One pass lasts so that every message that repeats keeps its own period
// across the seam: from its first time to its last, plus its period (the
// median of its gaps), the longest of these over all messages; and never
// less than the whole log plus its shortest gap.
std::int64_t loopOf(const std::vector<std::pair<std::string, std::int64_t>>& keyed, const TimedRecording& out)
{
    std::map<std::string, std::vector<std::int64_t>> times;
    for (const auto& [key, at] : keyed) times[key].push_back(at);
    std::int64_t loop = 0, shortest = kSecondNs;
    for (auto& [key, at] : times) {
        if (at.size() < 2) continue;
        std::vector<std::int64_t> gaps;
        for (std::size_t i = 1; i < at.size(); ++i) gaps.push_back(at[i] - at[i - 1]);
        std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
        const std::int64_t period = std::max<std::int64_t>(gaps[gaps.size() / 2], 1);
        loop = std::max(loop, at.back() - at.front() + period);
        shortest = std::min(shortest, period);
    }
    const std::int64_t span = out.frames.empty() ? 0 : out.frames.back().offsetNs;
    return std::max({loop, span + shortest, std::int64_t(1'000'000)});
}

std::string readLog(std::istream& in, const DeviceFormat& format, TimedRecording& out)
{
    LogReader reader(format.value == 2);
    std::vector<std::pair<std::string, std::int64_t>> keyed;  // what repeats, and when
    std::int64_t first = -1;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const LogLine& line = reader.read(text);
        if (line.kind == LogLine::Kind::Empty) continue;
        if (line.kind != LogLine::Kind::Frame && line.kind != LogLine::Kind::NotCarried)
            return "line " + std::to_string(number) + ": " + line.wrong;
        if (first < 0) first = line.ns;
        if (line.kind == LogLine::Kind::NotCarried) {
            ++out.notPlayed;
            continue;
        }
        add(out, line.ns - first, line.bytes);
        keyed.emplace_back(line.key, line.ns - first);
    }
    if (out.frames.empty()) return "no frame or message to play";
    out.loopNs = loopOf(keyed, out);
    return {};
}

// A recording of bytes as whole messages, each at the time the window's
// average rate would have it sent, and never sooner than the line has
// carried the one before it and stayed idle (J1587).
std::string pace(const std::string& recording, const DeviceFormat& format, TimedRecording& out)
{
    std::vector<std::string> messages;
    if (format.value == 2) {
        // SLCAN frames end in CR; bytes before the first whole frame are a cut.
        std::size_t at = 0;
        for (std::size_t cr; (cr = recording.find('\r', at)) != std::string::npos; at = cr + 1) {
            const std::string frame = recording.substr(at, cr + 1 - at);
            if (std::string("tTrR").find(frame.front()) != std::string::npos) messages.push_back(frame);
        }
    } else {
        J1587Framer framer([&](Bytes message, std::int64_t) { messages.emplace_back(message.begin(), message.end()); });
        framer.feed({reinterpret_cast<const unsigned char*>(recording.data()), recording.size()});
        framer.finish();
    }
    if (messages.empty()) return "no whole message in it to pace";
    const std::int64_t byteNs = kSecondNs / kPacedBytesPerSecond;
    std::int64_t sent = 0, earliest = 0;
    for (const std::string& message : messages) {
        const std::int64_t offset = std::max(sent * byteNs, earliest);
        add(out, offset, message);
        sent += std::int64_t(message.size());
        if (format.value != 2) earliest = offset + std::int64_t(message.size()) * kJ1708ByteNs + kJ1708IdleNs;
    }
    out.loopNs = std::max(sent * byteNs, earliest);
    return {};
}

}  // namespace

double TimedRecording::bytesPerSecond(double speed) const
{
    return loopNs > 0 ? double(bytes.size()) * double(kSecondNs) / double(loopNs) * speed : 0;
}

std::string LoadTimed(const std::string& path, const DeviceFormat& format, Timing timing, TimedRecording& out)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(PathOf(path), error);
    if (error) return error.message();
    if (size > kLargestLog) return "larger than a log of an engine can be (" + std::to_string(size) + " bytes)";
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) return "cannot be read";
    out = {};
    if (format.value != 2) {
        out.byteNs = kJ1708ByteNs;
        out.idleNs = kJ1708IdleNs;
    }
    if (timing == Timing::Recorded) return readLog(in, format, out);
    std::string recording((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return pace(recording, format, out);
}
