// Reading what a timed stream plays: candump logs and J1587 message logs,
// and recordings of bytes cut into whole messages to be paced.
#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "../record/framing.h"
#include "../record/j1587frame.h"
#include "../record/outfile.h"
#include "timed.h"

namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;
// The window's average: 50 bytes every quarter second.
constexpr std::int64_t kPacedBytesPerSecond = 200;
// A log larger than this is no recording of an engine anyone could mean.
constexpr std::uintmax_t kLargestLog = std::uintmax_t(1) << 30;

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool allHex(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return hexValue(c) >= 0; });
}

// "(1700000000.123456)": the time in nanoseconds, with as many digits of a
// second as the log gives.
bool readTime(std::string_view token, std::int64_t& ns)
{
    if (token.size() < 3 || token.front() != '(' || token.back() != ')') return false;
    token = token.substr(1, token.size() - 2);
    const std::size_t dot = token.find('.');
    const std::string_view whole = token.substr(0, dot);
    const std::string_view part = dot == std::string_view::npos ? std::string_view() : token.substr(dot + 1);
    std::int64_t seconds = 0;
    if (std::from_chars(whole.data(), whole.data() + whole.size(), seconds).ptr != whole.data() + whole.size())
        return false;
    std::int64_t fraction = 0, scale = kSecondNs;
    for (const char c : part.substr(0, 9)) {
        if (c < '0' || c > '9') return false;
        scale /= 10;
        fraction += (c - '0') * scale;
    }
    ns = seconds * kSecondNs + fraction;
    return seconds >= 0 && seconds < 20'000'000'000LL;
}

// candump's "0CF00400#FFFF7DC01A18FFFF", "123#R", "123#R4" as the SLCAN text
// a serial CAN gateway sends for it: "T0CF004008FFFF7DC01A18FFFF\r".
// Returns "" or why the frame is not one a serial line carries.
std::string slcanOf(std::string_view frame, std::string& slcan, bool& notPlayed)
{
    const std::size_t hash = frame.find('#');
    if (hash == std::string_view::npos) return "no ID#DATA";
    const std::string_view id = frame.substr(0, hash);
    std::string_view data = frame.substr(hash + 1);
    if (!data.empty() && data.front() == '#') {
        notPlayed = true;  // CAN FD: SLCAN has no frame for it
        return {};
    }
    if ((id.size() != 3 && id.size() != 8) || !allHex(id)) return "the ID is neither 3 nor 8 hex digits";
    if (id.size() == 8 && hexValue(id[0]) >= 2) {
        notPlayed = true;  // an error frame, or one no 29-bit ID names
        return {};
    }
    const bool extended = id.size() == 8;
    if (!data.empty() && (data.front() == 'R' || data.front() == 'r')) {
        const std::string_view length = data.substr(1);
        if (length.size() > 1 || (length.size() == 1 && (length[0] < '0' || length[0] > '8')))
            return "a remote frame's length is 0 to 8";
        slcan = std::string(1, extended ? 'R' : 'r') + std::string(id) + (length.empty() ? "0" : std::string(length)) + "\r";
        return {};
    }
    std::string bytes;
    for (const char c : data)
        if (c != '.') bytes += c;
    if (bytes.size() % 2 != 0 || bytes.size() > 16 || (!bytes.empty() && !allHex(bytes)))
        return "the data is not 0 to 8 bytes in hex";
    slcan = std::string(1, extended ? 'T' : 't');
    for (const char c : id) slcan += char(std::toupper((unsigned char)c));
    slcan += char('0' + bytes.size() / 2);
    for (const char c : bytes) slcan += char(std::toupper((unsigned char)c));
    slcan += '\r';
    return {};
}

// "80BE7D0014E0": a J1587 message's bytes, its checksum making their sum zero.
std::string messageOf(std::string_view hex, std::string& message)
{
    if (hex.size() < 4 || hex.size() % 2 != 0 || !allHex(hex)) return "the message is not two or more bytes in hex";
    message.clear();
    unsigned sum = 0;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int byte = hexValue(hex[i]) * 16 + hexValue(hex[i + 1]);
        message += char(byte);
        sum += unsigned(byte);
    }
    if ((sum & 0xFF) != 0) return "the checksum does not make the message's sum zero";
    return {};
}

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
    const bool j1939 = format.value == 2;
    std::vector<std::pair<std::string, std::int64_t>> keyed;  // what repeats, and when
    std::int64_t first = -1, last = 0;
    std::string line, bytes;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string time, source, frame;
        if (!(words >> time)) continue;  // an empty line
        const std::string where = "line " + std::to_string(number) + ": ";
        std::int64_t at = 0;
        if (!readTime(time, at)) return where + "no time \"(seconds.fraction)\" at its start";
        if (!(words >> source >> frame)) return where + (j1939 ? "no interface and ID#DATA" : "no source and message");
        if (first < 0) first = at;
        if (at < last) return where + "the time goes back";
        last = at;
        bool notPlayed = false;
        const std::string wrong = j1939 ? slcanOf(frame, bytes, notPlayed) : messageOf(frame, bytes);
        if (!wrong.empty()) return where + wrong;
        if (notPlayed) {
            ++out.notPlayed;
            continue;
        }
        add(out, at - first, bytes);
        // A J1939 message repeats by its ID, a J1587 one by its MID and first PID.
        keyed.emplace_back(j1939 ? frame.substr(0, frame.find('#')) : frame.substr(0, 4), at - first);
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
    const std::int64_t wireByteNs = 10 * kSecondNs / 9600;  // 8N1 at 9600 baud
    std::int64_t sent = 0, earliest = 0;
    for (const std::string& message : messages) {
        const std::int64_t offset = std::max(sent * byteNs, earliest);
        add(out, offset, message);
        sent += std::int64_t(message.size());
        if (format.value != 2) earliest = offset + std::int64_t(message.size()) * wireByteNs + kJ1708IdleNs;
    }
    out.loopNs = std::max(sent * byteNs, earliest);
    return {};
}

}  // namespace

double TimedRecording::bytesPerSecond(double speed) const
{
    return loopNs > 0 ? double(bytes.size()) * double(kSecondNs) / double(loopNs) * speed : 0;
}

bool IsTimedLog(const std::string& path)
{
    std::ifstream in(PathOf(path), std::ios::binary);
    char start[32] = {};
    in.read(start, sizeof start - 1);
    std::int64_t ns = 0;
    const std::string_view head(start, std::size_t(in.gcount()));
    const std::size_t close = head.find(')');
    return close != std::string_view::npos && readTime(head.substr(0, close + 1), ns);
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
    if (timing == Timing::Recorded) return readLog(in, format, out);
    std::string recording((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return pace(recording, format, out);
}
