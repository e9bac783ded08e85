#include "rates.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

namespace {

// The window sends 50 bytes every quarter second.
constexpr double kWindowBytesPerSecond = 200;
// A period is the median of a group's latest gaps; this many are plenty, and
// a bus of many groups stays bounded.
constexpr std::size_t kGapsKept = 256;
constexpr std::size_t kGroupsKept = 512;
// Groups named in the summary, the most frequent first.
constexpr std::size_t kGroupsShown = 8;
// 11-bit frames carry no parameter group: kept apart by this bit.
constexpr std::uint32_t kStandardId = 1u << 31;

// Parameter groups of J1939-71 and -21 that engines and gateways send most.
constexpr std::pair<std::uint32_t, std::string_view> kGroupNames[] = {
    {0xF000, "ERC1"},    {0xF001, "EBC1"},  {0xF002, "ETC1"},  {0xF003, "EEC2"},  {0xF004, "EEC1"},
    {0xF005, "ETC2"},    {0xFEDF, "EEC3"},  {0xFEE0, "VD"},    {0xFEE5, "HOURS"}, {0xFEE9, "LFC"},
    {0xFECA, "DM1"},     {0xFEEE, "ET1"},   {0xFEEF, "EFL/P1"}, {0xFEF1, "CCVS"}, {0xFEF2, "LFE"},
    {0xFEF5, "AMB"},     {0xFEF6, "IC1"},   {0xFEF7, "VEP1"},  {0xE800, "Acknowledgment"},
    {0xEA00, "Request"}, {0xEB00, "TP.DT"}, {0xEC00, "TP.CM"}, {0xEE00, "Address Claimed"},
};

std::uint32_t hexOf(std::string_view digits)
{
    std::uint32_t value = 0;
    for (const char c : digits) value = value * 16 + std::uint32_t(c <= '9' ? c - '0' : c - 'A' + 10);
    return value;
}

// An SLCAN frame's group and source: the PGN from the 29-bit ID (in PDU1
// format, PF below 240, the PS byte is a destination address, not part of
// it), shifted over the source address.
std::uint32_t groupOf(Bytes frame)
{
    const std::string_view text(reinterpret_cast<const char*>(frame.data()), frame.size());
    if (text[0] == 't' || text[0] == 'r') return kStandardId | hexOf(text.substr(1, 3));
    const std::uint32_t id = hexOf(text.substr(1, 8));
    const std::uint32_t pf = (id >> 16) & 0xFF;
    const std::uint32_t pgn = (id >> 8) & (pf < 240 ? 0x3FF00 : 0x3FFFF);
    return pgn << 8 | (id & 0xFF);
}

std::string groupName(std::uint32_t group)
{
    char text[32];
    if (group & kStandardId) {
        std::snprintf(text, sizeof text, "ID %03X", unsigned(group & 0x7FF));
        return text;
    }
    const std::uint32_t pgn = group >> 8;
    for (const auto& [number, name] : kGroupNames)
        if (number == pgn) return std::string(name);
    std::snprintf(text, sizeof text, "0x%04X", unsigned(pgn));
    return text;
}

// "50 ms", "2.5 ms", "1 s", "2.5 s"
std::string periodText(std::int64_t us)
{
    char text[32];
    if (us < 10'000) std::snprintf(text, sizeof text, "%.1f ms", double(us) / 1e3);
    else if (us < 999'500) std::snprintf(text, sizeof text, "%.0f ms", double(us) / 1e3);
    else std::snprintf(text, sizeof text, "%.3g s", double(us) / 1e6);
    return text;
}

std::int64_t median(std::vector<std::int64_t> values)
{
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

}  // namespace

void SendingRate::message(Bytes message, std::int64_t unixUs)
{
    // The first read returns what had waited for the port to open, however
    // long it had waited: the rate counts what came after it.
    if (messages_ == 0) firstUs_ = unixUs;
    if (unixUs > firstUs_) {
        ++messagesAfterFirst_;
        bytesAfterFirst_ += std::int64_t(message.size());
    }
    ++messages_;
    lastUs_ = unixUs;
    if (!j1939_) return;
    const std::uint32_t key = groupOf(message);
    auto found = groups_.find(key);
    if (found == groups_.end()) {
        if (groups_.size() >= kGroupsKept) {
            ++otherGroups_;
            return;
        }
        found = groups_.emplace(key, Group{}).first;
    }
    Group& group = found->second;
    if (group.count++ > 0) {
        const std::int64_t gap = unixUs - group.lastUs;
        if (group.gaps.size() < kGapsKept) group.gaps.push_back(gap);
        else group.gaps[group.next++ % kGapsKept] = gap;
    }
    group.lastUs = unixUs;
}

double SendingRate::bytesPerSecond() const
{
    const std::int64_t span = lastUs_ - firstUs_;
    return span > 0 ? double(bytesAfterFirst_) * 1e6 / double(span) : 0;
}

// "EEC1 every 50 ms, EEC2 100 ms, ET1 1 s, HOURS once": the most frequent
// first; a group from more than one source is named with each.
std::string SendingRate::periods() const
{
    std::map<std::uint32_t, int> sources;
    std::vector<std::pair<std::int64_t, std::uint32_t>> order;  // period (0: once), group
    for (const auto& [key, group] : groups_) {
        ++sources[key >> 8];
        order.emplace_back(group.gaps.empty() ? INT64_MAX : median(group.gaps), key);
    }
    std::sort(order.begin(), order.end());
    std::string text;
    for (std::size_t i = 0; i < order.size() && i < kGroupsShown; ++i) {
        const auto [period, key] = order[i];
        std::string name = groupName(key);
        if (!(key & kStandardId) && sources[key >> 8] > 1) {
            char from[16];
            std::snprintf(from, sizeof from, " from %02X", unsigned(key & 0xFF));
            name += from;
        }
        text += (i ? ", " : "") + name + (i ? " " : " every ") +
                (period == INT64_MAX ? std::string("once") : periodText(period));
    }
    const std::size_t more = order.size() - std::min(order.size(), kGroupsShown);
    if (more) text += " and " + std::to_string(more) + " more group" + (more == 1 ? "" : "s");
    if (otherGroups_) text += " (and " + std::to_string(otherGroups_) + " frames of yet more groups)";
    return text;
}

std::string SendingRate::text() const
{
    const double rate = bytesPerSecond();
    if (rate <= 0) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.0f bytes a second", rate);
    if (j1939_) return std::string(text) + ": " + periods();
    char messages[48];
    std::snprintf(messages, sizeof messages, ", %.0f messages a second",
                  double(messagesAfterFirst_) * 1e6 / double(lastUs_ - firstUs_));
    return text + std::string(messages);
}

std::string SendingRate::windowReplay() const
{
    const double ratio = bytesPerSecond() / kWindowBytesPerSecond;
    if (ratio <= 0 || (ratio > 0.95 && ratio < 1.05)) return {};
    char text[48];
    std::snprintf(text, sizeof text, "%.1f times %s", ratio > 1 ? ratio : 1 / ratio, ratio > 1 ? "slower" : "faster");
    return text;
}
