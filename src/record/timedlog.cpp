#include "timedlog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "outfile.h"

namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;

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

LogLine::Kind said(LogLine& line, LogLine::Kind kind, std::string what)
{
    line.wrong = std::move(what);
    return kind;
}

// candump's "0CF00400#FFFF7DC01A18FFFF", "123#R", "123#R4" as the SLCAN text
// a serial CAN gateway sends for it: "T0CF004008FFFF7DC01A18FFFF\r".
LogLine::Kind slcanOf(std::string_view frame, LogLine& line)
{
    using Kind = LogLine::Kind;
    const std::size_t hash = frame.find('#');
    if (hash == std::string_view::npos) return said(line, Kind::Unreadable, "no ID#DATA");
    const std::string_view id = frame.substr(0, hash);
    const std::string_view data = frame.substr(hash + 1);
    if (!data.empty() && data.front() == '#') return said(line, Kind::NotCarried, "a CAN FD frame");
    if ((id.size() != 3 && id.size() != 8) || !allHex(id))
        return said(line, Kind::Unreadable, "the ID is neither 3 nor 8 hex digits");
    // candump shows the error flag (0x20000000) in the ID of an error frame.
    if (id.size() == 8 && hexValue(id[0]) >= 2)
        return said(line, Kind::NotCarried, hexValue(id[0]) & 2 ? "an error frame" : "an ID wider than 29 bits");
    const bool extended = id.size() == 8;
    line.key = std::string(id);
    if (!data.empty() && (data.front() == 'R' || data.front() == 'r')) {
        const std::string_view length = data.substr(1);
        if (length.size() > 1 || (length.size() == 1 && (length[0] < '0' || length[0] > '8')))
            return said(line, Kind::Unreadable, "a remote frame's length is 0 to 8");
        line.bytes = std::string(1, extended ? 'R' : 'r') + std::string(id) + (length.empty() ? "0" : std::string(length)) + "\r";
        return Kind::Frame;
    }
    std::string bytes;
    for (const char c : data)
        if (c != '.') bytes += c;
    if (bytes.size() % 2 != 0 || bytes.size() > 16 || (!bytes.empty() && !allHex(bytes)))
        return said(line, Kind::Unreadable, "the data is not 0 to 8 bytes in hex");
    line.bytes = std::string(1, extended ? 'T' : 't');
    for (const char c : id) line.bytes += char(std::toupper((unsigned char)c));
    line.bytes += char('0' + bytes.size() / 2);
    for (const char c : bytes) line.bytes += char(std::toupper((unsigned char)c));
    line.bytes += '\r';
    return Kind::Frame;
}

// "80BE7D0014E051": a J1587 message's bytes, its checksum making their sum zero.
LogLine::Kind messageOf(std::string_view hex, LogLine& line)
{
    using Kind = LogLine::Kind;
    if (hex.size() < 4 || hex.size() % 2 != 0 || !allHex(hex))
        return said(line, Kind::Unreadable, "the message is not two or more bytes in hex");
    unsigned sum = 0;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int byte = hexValue(hex[i]) * 16 + hexValue(hex[i + 1]);
        line.bytes += char(byte);
        sum += unsigned(byte);
    }
    if ((sum & 0xFF) != 0) return said(line, Kind::BadChecksum, "the checksum does not make the message's sum zero");
    // A J1587 message repeats by its MID and first PID.
    line.key = std::string(hex.substr(0, 4));
    return Kind::Frame;
}

// The next word of text from at: up to the next space or tab.
std::string_view word(std::string_view text, std::size_t& at)
{
    at = std::min(text.find_first_not_of(" \t", at), text.size());
    const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
    const std::string_view found = text.substr(at, end - at);
    at = end;
    return found;
}

void hexOf(std::string& out, unsigned char byte)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
}

}  // namespace

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

std::string TimedLogName(const DeviceFormat& format)
{
    if (format.kind == FileKind::Text) return {};
    const std::string_view name = format.fileName;
    return std::string(name.substr(0, name.rfind('.'))) + ".log";
}

const LogLine& LogReader::read(std::string_view text)
{
    using Kind = LogLine::Kind;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    line_ = {};
    std::size_t at = 0;
    const std::string_view time = word(text, at);
    if (time.empty()) return line_;
    if (!readTime(time, line_.ns)) {
        line_.kind = said(line_, Kind::Unreadable, "no time \"(seconds.fraction)\" at its start");
        return line_;
    }
    const std::string_view source = word(text, at), frame = word(text, at);
    if (source.empty() || frame.empty()) {
        line_.kind = said(line_, Kind::Unreadable, j1939_ ? "no interface and ID#DATA" : "no source and message");
        return line_;
    }
    const bool back = line_.ns < last_;
    last_ = line_.ns;
    if (back) {
        line_.kind = said(line_, Kind::TimeBack, "the time goes back");
        return line_;
    }
    line_.kind = j1939_ ? slcanOf(frame, line_) : messageOf(frame, line_);
    return line_;
}

std::string LogLineOf(std::int64_t unixUs, Bytes message, bool j1939)
{
    unixUs = std::max<std::int64_t>(unixUs, 0);
    char time[40];
    std::snprintf(time, sizeof time, "(%lld.%06lld) ", (long long)(unixUs / 1'000'000), (long long)(unixUs % 1'000'000));
    std::string line = time;
    if (!j1939) {
        line += "j1587 ";
        for (const unsigned char byte : message) hexOf(line, byte);
        return line + "\n";
    }
    // "T0CF004008FFFF7DC01A18FFFF": kind, ID, DLC, data (then a time stamp
    // the gateway may add, and the CR).
    const char kind = char(message[0]);
    const std::size_t idDigits = kind == 'T' || kind == 'R' ? 8 : 3;
    const std::string_view text(reinterpret_cast<const char*>(message.data()), message.size());
    const char dlc = text[1 + idDigits];
    line += "slcan0 " + std::string(text.substr(1, idDigits)) + "#";
    if (kind == 'R' || kind == 'r') return line + "R" + (dlc == '0' ? "" : std::string(1, dlc)) + "\n";
    return line + std::string(text.substr(2 + idDigits, 2 * std::size_t(dlc - '0'))) + "\n";
}
