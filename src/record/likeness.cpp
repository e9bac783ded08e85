#include "likeness.h"

#include <algorithm>
#include <map>
#include <vector>

#include "slcanframe.h"

namespace {

bool isText(char c) { return c == '\t' || (c >= ' ' && c <= '~'); }

// The lines of a stretch of the stream, at CR or LF, without the first and
// the last, which the stretch may have cut.
std::vector<std::string_view> wholeLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    std::size_t start = bytes.find_first_of("\r\n");
    while (start != std::string_view::npos) {
        const std::size_t end = bytes.find_first_of("\r\n", start + 1);
        if (end == std::string_view::npos) break;
        if (end > start + 1) lines.push_back(bytes.substr(start + 1, end - start - 1));
        start = end;
    }
    return lines;
}

// What the lines look like: "SLCAN frames of a J1939 gateway", or another
// text device's records; empty when like nothing the program knows.
std::string lookalike(const DeviceFormat& format, const std::vector<std::string_view>& lines)
{
    const auto half = std::ptrdiff_t(lines.size() / 2);
    if (lines.empty()) return {};
    if (format.shortName != "j1939" && std::count_if(lines.begin(), lines.end(), IsSlcanFrame) > half)
        return "they look like SLCAN frames of a J1939 gateway: record them as j1939";
    std::map<std::ptrdiff_t, std::ptrdiff_t> counts;  // field count: lines of text with that many
    for (std::string_view line : lines)
        if (std::all_of(line.begin(), line.end(), isText)) ++counts[std::count(line.begin(), line.end(), ',') + 1];
    const auto common = std::max_element(counts.begin(), counts.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    if (common == counts.end() || common->second <= half || common->first < 2) return {};
    if (format.kind == FileKind::Text && common->first == format.fieldCount) return {};
    std::string devices, names;
    for (const DeviceFormat& other : Formats()) {
        if (other.kind != FileKind::Text || other.fieldCount != common->first || &other == &format) continue;
        devices += std::string(devices.empty() ? "" : " or ") + std::string(other.device);
        names += std::string(names.empty() ? "" : " or ") + std::string(other.shortName);
    }
    const std::string records = "they look like text records of " + std::to_string(common->first) + " fields";
    if (names.empty()) return records + ", which no device of Quorvex sends: is another device on this port?";
    return records + ", as the " + devices + " sends: record them as " + names;
}

std::string whatToTry(const DeviceFormat& format, int baud)
{
    if (format.kind == FileKind::Text)
        return "the baud rate is likely wrong (try --baud " + std::string(baud == 9600 ? "19200" : "9600") +
               "), or another device is on this port";
    if (format.shortName == "j1587")
        return "is this the engine's J1587 link, which runs at 9600 baud? Or another device is on this port";
    return "is the gateway set to 115200 baud and to send SLCAN text? Or another device is on this port";
}

}  // namespace

std::string WhatItIsNot(const DeviceFormat& format)
{
    if (format.kind == FileKind::Text) return std::string(format.device) + " records";
    return format.shortName == "j1587" ? "SAE J1587 messages" : "SLCAN frames of a J1939 gateway";
}

std::string NotTheDevice(const DeviceFormat& format, int baud, std::string_view firstBytes)
{
    std::string like = lookalike(format, wholeLines(firstBytes));
    return "these are not " + WhatItIsNot(format) + ": " + (like.empty() ? whatToTry(format, baud) : like);
}
