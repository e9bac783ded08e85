#include "playargs.h"

#include <algorithm>
#include <charconv>

#include "../record/arguments.h"
#include "../record/cliparse.h"
#include "devicecheck.h"
#include "site.h"

namespace {

// Longer than anyone plays, short enough for any clock to count.
constexpr double kLongestSeconds = 100000.0 * 3600;

bool number(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return error == std::errc() && stop == end;
}

// "90s", "15m", "8h", "1h30m", "1.5h": hours, minutes and seconds, each at
// most once and in that order. A bare number has no unit, so no meaning.
bool readDuration(const std::string& text, double& seconds)
{
    static constexpr struct {
        char unit;
        double seconds;
    } kUnits[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
    double total = 0;
    std::size_t at = 0, nextUnit = 0;
    while (at < text.size()) {
        const std::size_t unit = text.find_first_not_of("0123456789.", at);
        if (unit == at || unit == std::string::npos) return false;
        std::size_t which = nextUnit;
        while (which < std::size(kUnits) && kUnits[which].unit != text[unit]) ++which;
        double value = 0;
        if (which == std::size(kUnits) || !number(text.substr(at, unit - at), value)) return false;
        total += value * kUnits[which].seconds;
        nextUnit = which + 1;
        at = unit + 1;
    }
    seconds = total;
    return total > 0 && total <= kLongestSeconds;
}

std::string readOption(const std::string& name, const std::string& value, PlayOptions& options)
{
    if (name == "--for") {
        if (!readDuration(value, options.forSeconds))
            return "--for takes a duration above 0 such as 90s, 15m, 8h or 1h30m, not \"" + value + "\"";
    } else if (name == "--loops") {
        const char* end = value.data() + value.size();
        const auto [stop, error] = std::from_chars(value.data(), end, options.loops);
        if (error != std::errc() || stop != end || options.loops < 1)
            return "--loops takes a whole number above 0, not \"" + value + "\"";
    } else if (name == "--baud" && (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)) {
        return "--baud takes a rate: 9600 or 19200 for a text device, not \"" + value + "\"";
    } else if (name == "--timing" && value != "fixed" && value != "recorded" && value != "paced") {
        return "--timing takes fixed, recorded or paced, not \"" + value + "\"";
    } else if (double speed = 0; name == "--speed" && !(number(value, speed) && speed >= 0.01 && speed <= 100)) {
        return "--speed takes a number from 0.01 to 100, not \"" + value + "\"";
    } else if (name == "--timestamps" && value != "now" && value != "recorded") {
        return "--timestamps takes now or recorded, not \"" + value + "\"";
    }
    return {};
}

// The one device's --timing, --speed and --timestamps.
struct DeviceOptions {
    std::string baud, timing, speed, timestamps;
    bool any() const { return !baud.empty() || !timing.empty() || !speed.empty() || !timestamps.empty(); }
};

// FORMAT RECORDING PORT [--baud B]: every problem, one a line.
std::string oneDevice(const std::vector<std::string>& given, const DeviceOptions& set, PlayOptions& options)
{
    const std::string& baud = set.baud;
    PlayDevice device;
    std::string problems;
    device.name = given[0];
    device.format = PlayFormatNamed(given[0]);
    if (!device.format) problems += "FORMAT \"" + given[0] + "\": " + FormatProblem() + "\n";
    device.recording = given[1];
    if (std::string wrong = FileProblem(given[1], "recording"); !wrong.empty())
        problems += "RECORDING \"" + given[1] + "\": " + wrong + "\n";
    if (std::string wrong = ReadPort(given[2], device); !wrong.empty())
        problems += "PORT \"" + given[2] + "\": " + wrong + "\n";
    if (device.format) {
        long long rate = device.format->fixedBaud ? device.format->fixedBaud : 19200;
        if (!baud.empty() && std::from_chars(baud.data(), baud.data() + baud.size(), rate).ec != std::errc()) rate = -1;
        device.baud = int(std::clamp<long long>(rate, -1, 1 << 30));
        if (std::string wrong = baud.empty() ? "" : BaudProblem(*device.format, rate, "--baud"); !wrong.empty())
            problems += "--baud " + baud + ": " + wrong + "\n";
        device.timing = set.timing == "recorded" ? Timing::Recorded : set.timing == "paced" ? Timing::Paced : Timing::Fixed;
        if (!set.speed.empty()) number(set.speed, device.speed);
        device.timestampsNow = set.timestamps == "now";
        if (problems.empty())
            if (std::string wrong = TimingProblem(device); !wrong.empty()) problems += wrong + "\n";
    }
    options.devices = {device};
    return problems;
}

// What the positional arguments are: a site file, or one device.
std::string readDevices(const std::vector<std::string>& given, const DeviceOptions& set, PlayOptions& options)
{
    switch (given.size()) {
    case 0: return "no SITE.toml, and no FORMAT RECORDING PORT, given\n";
    case 1:
        if (set.any())
            return "--baud, --timing, --speed and --timestamps go with FORMAT RECORDING PORT; a site file gives "
                   "them for each device\n";
        if (PlayFormatNamed(given[0]) && FileProblem(given[0], "site file") == "no such file")
            return "no RECORDING and PORT given after FORMAT " + given[0] + "\n";
        return {};
    case 2: return "no PORT given after FORMAT RECORDING\n";
    case 3: return oneDevice(given, set, options);
    default: return "a SITE.toml, or FORMAT RECORDING PORT, and \"" + given[3] + "\" is one too many\n";
    }
}

// The command line's own problems, for stderr: each a line of its own, then
// where to look.
std::string refused(const std::string& problems)
{
    std::string text;
    for (std::size_t at = 0; at < problems.size();) {
        const std::size_t end = problems.find('\n', at);
        text += "quorvex-play: " + problems.substr(at, end - at) + "\n";
        at = end == std::string::npos ? problems.size() : end + 1;
    }
    return text + "(quorvex-play --help tells how to call it)\n";
}

}  // namespace

std::string ParsePlayArguments(const std::vector<std::string>& args, PlayOptions& options)
{
    CLI::App app("quorvex-play");
    ConfigureCommandLine(app);
    CLI::Option* positionals = app.add_option("SITE or FORMAT RECORDING PORT")->expected(0, -1)->allow_extra_args();
    for (const char* name : {"--for", "--loops", "--baud", "--timing", "--speed", "--timestamps"}) app.add_option(name);
    for (const char* name : {"--no-retry", "--json", "--check", "--version"}) app.add_flag(name);
    app.add_flag("-h,--help");
    const std::string unread = ParseCommandLine(app, args);
    options.help = app.count("--help") > 0;
    options.version = app.count("--version") > 0;
    if (options.help || options.version) return {};
    if (!unread.empty()) return refused(unread);
    DeviceOptions set;
    for (const GivenOption& given : GivenInOrder(app)) {
        const std::string name = given.option->get_name();
        if (std::string wrong = readOption(name, given.value, options); !wrong.empty()) return refused(wrong);
        if (name == "--baud") set.baud = given.value;
        if (name == "--timing") set.timing = given.value;
        if (name == "--speed") set.speed = given.value;
        if (name == "--timestamps") set.timestamps = given.value;
    }
    if (app.count("--for") && app.count("--loops")) return refused("--for or --loops, not both");
    options.retry = !app.count("--no-retry");
    options.json = app.count("--json") > 0;
    options.check = app.count("--check") > 0;
    const std::vector<std::string>& given = positionals->results();
    if (std::string wrong = readDevices(given, set, options); !wrong.empty()) return refused(wrong);
    return given.size() == 1 ? ReadSiteFile(given[0], options) : std::string();
}

std::string PlayVersionText() { return "quorvex-play " QUORVEX_VERSION "\n"; }
