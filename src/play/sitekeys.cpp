#include "sitekeys.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "../record/outfile.h"
#include "devicecheck.h"

namespace {

bool isString(const toml::node& value) { return value.is_string(); }
bool isInteger(const toml::node& value) { return value.is_integer(); }
bool isPort(const toml::node& value) { return value.is_string() || value.is_integer(); }
bool isNumber(const toml::node& value) { return value.is_integer() || value.is_floating_point(); }

const std::string& text(const toml::node& value) { return value.as_string()->get(); }

std::string takeName(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const std::string& name = text(value);
    const bool printable = std::none_of(name.begin(), name.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; });
    if (name.empty() || !printable) return "expected a name of one or more characters, none of them a control character";
    read.device.name = name;
    read.label = "device " + Shown(value);
    read.nameShown = Shown(value);
    read.nameLine = int(value.source().begin.line);
    return {};
}

std::string takeFormat(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    read.device.format = PlayFormatNamed(text(value));
    return read.device.format ? std::string() : FormatProblem();
}

std::string takeRecording(const toml::node& value, DeviceReading& read, const SiteReading& site)
{
    std::filesystem::path path = PathOf(text(value));
    if (path.is_relative()) path = (site.folder / path).lexically_normal();
    read.device.recording = TextOf(path);
    const std::string wrong = FileProblem(read.device.recording, "recording");
    return wrong.empty() || read.device.recording == text(value) ? wrong : read.device.recording + ": " + wrong;
}

std::string takePort(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const std::string wrong =
        value.is_integer() ? ReadComNumber(value.as_integer()->get(), read.device) : ReadPort(text(value), read.device);
    read.portLine = int(value.source().begin.line);
    if (wrong.empty()) read.portShown = Shown(value);
    return wrong;
}

std::string takeBaud(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const long long baud = value.as_integer()->get();
    read.device.baud = int(std::clamp<long long>(baud, 0, 1 << 30));
    return read.device.format ? BaudProblem(*read.device.format, baud, "baud") : std::string();
}

std::string takeTiming(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const std::string& timing = text(value);
    if (timing == "fixed") read.device.timing = Timing::Fixed;
    else if (timing == "recorded") read.device.timing = Timing::Recorded;
    else if (timing == "paced") read.device.timing = Timing::Paced;
    else return "expected \"fixed\", \"recorded\" or \"paced\"";
    return {};
}

std::string takeSpeed(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const double speed = value.is_integer() ? double(value.as_integer()->get()) : value.as_floating_point()->get();
    if (!(speed >= 0.01 && speed <= 100)) return "expected a number from 0.01 to 100, how much faster than recorded";
    read.device.speed = speed;
    return {};
}

std::string takeTimestamps(const toml::node& value, DeviceReading& read, const SiteReading&)
{
    const std::string& timestamps = text(value);
    if (timestamps != "now" && timestamps != "recorded") return "expected \"now\" or \"recorded\"";
    read.device.timestampsNow = timestamps == "now";
    return {};
}

struct DeviceKey {
    std::string_view name;
    bool required;
    bool (*fits)(const toml::node&);
    std::string_view expected;  // for a value of another type
    // Takes a value that fits into the device; returns "" or what is wrong.
    std::string (*take)(const toml::node& value, DeviceReading& read, const SiteReading& site);
};

// Read in this order: the name labels the messages about the rest, and the
// format decides what the recording and the baud may be.
constexpr DeviceKey kDeviceKeys[] = {
    {"name", true, isString, "a string, the device's name (one of its own in the site)", takeName},
    {"format", true, isString, "a string, a format's short name (quorvex-play --help lists them)", takeFormat},
    {"recording", false, isString, "a string, the recording's path (relative: to the site file's folder)",
     takeRecording},
    {"port", true, isPort,
     "a COM number (3 or \"COM3\"), a device path, or \"rfc2217://HOST:PORT\" or \"tcp://HOST:PORT\"", takePort},
    {"baud", false, isInteger, "a number, 9600 or 19200 (text devices only)", takeBaud},
    {"timing", false, isString, "a string, \"fixed\", \"recorded\" or \"paced\" (engine streams)", takeTiming},
    {"speed", false, isNumber, "a number, how much faster than recorded (recorded or paced timing)", takeSpeed},
    {"timestamps", false, isString, "a string, \"now\" or \"recorded\" (text devices)", takeTimestamps},
};

std::vector<std::string_view> deviceKeyNames()
{
    std::vector<std::string_view> names;
    for (const DeviceKey& key : kDeviceKeys) names.push_back(key.name);
    return names;
}

// What the device gets for keys left out: the format's own rate and file.
void fillDefaults(const toml::table& table, DeviceReading& read, SiteReading& site)
{
    const DeviceFormat* format = read.device.format;
    if (!format) return;
    if (!read.device.baud) read.device.baud = format->fixedBaud ? format->fixedBaud : 19200;
    std::string problem;
    if (!table.contains("recording")) {
        // Looked for only to check it: the device finds its file as the window does.
        PlayDevice found = read.device;
        found.recording = FindRecording(*format, problem);
        if (problem.empty()) problem = TimingProblem(found);
    } else if (!read.device.recording.empty() && FileProblem(read.device.recording, "recording").empty()) {
        problem = TimingProblem(read.device);
    }
    if (!problem.empty()) site.add(read.device.line, read.label + ": " + problem);
}

std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string Shown(const toml::node& value)
{
    if (value.is_table()) return "{ ... }";
    // As the user most likely wrote it: toml++ would write 'pump3'.
    if (value.is_string()) {
        std::string quoted = "\"";
        for (const char c : text(value)) {
            char escaped[8];
            // Control characters written out, so that none reaches the terminal.
            std::snprintf(escaped, sizeof escaped, (unsigned char)c < 0x20 || c == 0x7F ? "\\u%04X" : "%c", c);
            quoted += c == '"' || c == '\\' ? std::string{'\\', c} : std::string(escaped);
        }
        return quoted + "\"";
    }
    std::ostringstream shown;
    value.visit([&](const auto& node) { shown << node; });
    return shown.str();
}

std::string UnknownKey(std::string_view key, const std::vector<std::string_view>& known)
{
    const std::string unknown = "unknown key \"" + std::string(key) + "\"";
    std::string_view nearest = known.front();
    for (std::string_view name : known)
        if (editDistance(key, name) < editDistance(key, nearest)) nearest = name;
    const bool close = editDistance(key, nearest) <= 2 || key.starts_with(nearest) || nearest.starts_with(key);
    if (close && !key.empty()) return unknown + "; did you mean \"" + std::string(nearest) + "\"?";
    std::string names;
    for (std::string_view name : known) names += (names.empty() ? "" : ", ") + std::string(name);
    return unknown + "; the keys are " + names;
}

DeviceReading ReadDevice(const toml::table& table, int number, SiteReading& site)
{
    DeviceReading read;
    read.device.line = int(table.source().begin.line);
    read.label = "device " + std::to_string(number);
    for (const DeviceKey& key : kDeviceKeys) {
        const toml::node* value = table.get(key.name);
        if (!value) {
            if (key.required)
                site.add(read.device.line, read.label + ": no " + std::string(key.name) + "; expected " +
                                               std::string(key.name) + " = " + std::string(key.expected));
            continue;
        }
        const int line = int(value->source().begin.line);
        const std::string given = read.label + ": " + std::string(key.name) + " = " + Shown(*value) + ": ";
        if (!key.fits(*value))
            site.add(line, given + "expected " + std::string(key.expected));
        else if (std::string wrong = key.take(*value, read, site); !wrong.empty())
            site.add(line, given + wrong);
    }
    fillDefaults(table, read, site);
    const std::vector<std::string_view> names = deviceKeyNames();
    for (auto&& [key, value] : table)
        if (std::find(names.begin(), names.end(), key.str()) == names.end())
            site.add(int(key.source().begin.line), read.label + ": " + UnknownKey(key.str(), names));
    return read;
}
