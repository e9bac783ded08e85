#include "arguments.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "../platform/runtime.h"
#include "cliparse.h"
#include "gateway.h"

namespace {

bool wholeNumber(const std::string& text, std::int64_t& value)
{
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// "500000", "500k", "1M": bits a second; 0 for anything else.
int bitrateOf(const std::string& text)
{
    const char unit = text.empty() ? 0 : text.back();
    const std::int64_t scale = unit == 'k' || unit == 'K' ? 1000 : unit == 'M' ? 1000000 : 1;
    std::int64_t number = 0;
    if (!wholeNumber(scale == 1 ? text : text.substr(0, text.size() - 1), number) || number <= 0 || number > 1000000)
        return 0;
    return int(number * scale > 1000000 ? 0 : number * scale);
}

// The gateway's options go with j1939 alone, and one of them at a time.
std::string gatewayArguments(const RecordArguments& parsed, const CLI::App& app)
{
    const bool bitrate = app.count("--can-bitrate") > 0;
    if (!bitrate && parsed.gatewaySetup) return {};
    const std::string option = bitrate ? "--can-bitrate" : "--no-gateway-setup";
    if (parsed.format->value != 2) return option + " goes with j1939, which records a CAN gateway";
    if (bitrate && !parsed.gatewaySetup) return "--can-bitrate sets the gateway up, --no-gateway-setup leaves it: not both";
    return {};
}

// --check FILE [--format F] [--fix] goes with no recording's arguments.
std::string checkArguments(const RecordArguments& parsed, int positionals, const std::string& recordingOption)
{
    if (parsed.check.empty()) {
        if (parsed.fix) return "--fix goes with --check FILE";
        return parsed.format ? "--format goes with --check FILE" : "";
    }
    if (positionals) return "--check takes one FILE, and --format F for its format";
    if (!recordingOption.empty()) return "--check takes --format and --fix, not " + recordingOption;
    return {};
}

std::string positional(RecordArguments& parsed, const std::string& arg, int& count)
{
    if (count == 0) {
        parsed.formatName = arg;
        parsed.format = LookupFormatByShortName(arg);
        if (!parsed.format) return "unknown format \"" + arg + "\"";
    } else if (count == 1) {
        // Out of range is the port's own failure, reported as the window does.
        parsed.port = PortOf(arg);
    } else {
        return "one FORMAT and one PORT, and \"" + arg + "\" is a third";
    }
    ++count;
    return {};
}

std::string option(RecordArguments& parsed, const std::string& name, const std::string& value, bool& seenMinutes)
{
    std::int64_t number = 0;
    if (name == "--minutes") {
        char* end = nullptr;
        const double minutes = std::strtod(value.c_str(), &end);
        if (value.empty() || *end || !std::isfinite(minutes) || minutes <= 0 || minutes > 1e6)
            return "--minutes takes a number of minutes above 0, not \"" + value + "\"";
        parsed.minutes = minutes;
        seenMinutes = true;
    } else if (name == "--records") {
        if (!wholeNumber(value, number) || number < 1)
            return "--records takes a whole number above 0, not \"" + value + "\"";
        parsed.records = number;
    } else if (name == "--baud") {
        if (value != "9600" && value != "19200") return "--baud takes 9600 or 19200, not \"" + value + "\"";
        parsed.baud = std::atoi(value.c_str());
    } else if (name == "--can-bitrate") {
        parsed.canBitrate = bitrateOf(value);
        if (SlcanBitrateCode(parsed.canBitrate) < 0)
            return "--can-bitrate takes 10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000 or 1000000 "
                   "(10k to 1M), not \"" + value + "\"";
    } else if (name == "--out") {
        if (value.empty()) return "--out takes a folder";
        parsed.folder = value;
    } else if (name == "--check") {
        if (value.empty()) return "--check takes a FILE";
        parsed.check = value;
    } else if (name == "--cable-test") {
        if (value.empty()) return "--cable-test takes a PORT";
        parsed.cablePorts.push_back(PortOf(value));
    } else if (name == "--format") {
        parsed.formatName = value;
        parsed.format = LookupFormatByShortName(value);
        if (!parsed.format) return "unknown format \"" + value + "\"";
    } else {
        return "unknown option " + name;
    }
    return {};
}

// --list and --cable-test PORT_A [PORT_B] go with nothing else.
std::string portTask(RecordArguments& parsed, const std::vector<std::string>& positionals,
                     const std::vector<GivenOption>& given)
{
    const std::string task = parsed.list ? "--list" : "--cable-test";
    const std::string takes = parsed.list ? " goes with nothing else" : " takes one PORT, or two joined by a cable";
    for (const GivenOption& option : given)
        if (option.option->get_name() != task) return task + takes + ", not " + option.option->get_name();
    if (parsed.list) return positionals.empty() ? "" : task + takes + ", not \"" + positionals.front() + "\"";
    if (parsed.cablePorts.size() + positionals.size() > 2) return task + takes;
    for (const std::string& port : positionals) parsed.cablePorts.push_back(PortOf(port));
    return {};
}

}  // namespace

std::string ParseArguments(const std::vector<std::string>& args, RecordArguments& parsed)
{
    CLI::App app("quorvex-record");
    ConfigureCommandLine(app);
    CLI::Option* positionals = app.add_option("FORMAT PORT")->expected(0, -1)->allow_extra_args();
    for (const char* name :
         {"--minutes", "--records", "--baud", "--can-bitrate", "--out", "--check", "--format", "--cable-test"})
        app.add_option(name);
    for (const char* name : {"--fix", "--force", "--no-gateway-setup", "--version", "--list"}) app.add_flag(name);
    const CLI::Option* help = app.add_flag("-h,--help");
    const std::string unread = ParseCommandLine(app, args);
    parsed.help = help->count() > 0;
    parsed.version = app.count("--version") > 0;
    if (parsed.help || parsed.version) return {};
    if (!unread.empty()) return unread;
    bool seenMinutes = false;
    std::string recordingOption;  // the first given, which --check does not take
    for (const GivenOption& given : GivenInOrder(app)) {
        const std::string name = given.option->get_name();
        if (recordingOption.empty() && name != "--check" && name != "--format" && name != "--fix") recordingOption = name;
        if (name == "--fix" || name == "--force" || name == "--list" || name == "--no-gateway-setup") continue;
        if (std::string wrong = option(parsed, name, given.value, seenMinutes); !wrong.empty()) return wrong;
    }
    parsed.fix = app.count("--fix") > 0;
    parsed.force = app.count("--force") > 0;
    parsed.list = app.count("--list") > 0;
    parsed.gatewaySetup = app.count("--no-gateway-setup") == 0;
    const std::vector<std::string>& positionalArgs = positionals->results();
    if (parsed.check.empty() && (parsed.list || !parsed.cablePorts.empty()))
        return portTask(parsed, positionalArgs, GivenInOrder(app));
    if (std::string wrong = checkArguments(parsed, int(positionalArgs.size()), recordingOption);
        !wrong.empty() || !parsed.check.empty())
        return wrong;
    int count = 0;
    for (const std::string& arg : positionalArgs)
        if (std::string wrong = positional(parsed, arg, count); !wrong.empty()) return wrong;
    if (count < 2) return count == 0 ? "no FORMAT and PORT given" : "no PORT given";
    if (seenMinutes && parsed.records) return "--minutes or --records, not both";
    if (std::string wrong = gatewayArguments(parsed, app); !wrong.empty()) return wrong;
    if (parsed.format->fixedBaud) {
        if (parsed.baud) return parsed.formatName + " always runs at " + std::to_string(parsed.format->fixedBaud) + " baud";
        parsed.baud = parsed.format->fixedBaud;
    } else if (!parsed.baud) {
        parsed.baud = 19200;  // as the window starts
    }
    if (!app.count("--out")) {
        // Where the program looks first, so that the recording replays as it is.
        if (std::string wrong = MakeRecordingsDir(); !wrong.empty()) return wrong + " (--out chooses another folder)";
        parsed.folder = GetRecordingsDir();
    }
    return {};
}

std::string VersionText() { return "quorvex-record " QUORVEX_VERSION "\n"; }

bool ComNumberOf(const std::string& port, std::int64_t& number)
{
    std::string digits = port;
    if (digits.size() > 3 && (digits[0] == 'C' || digits[0] == 'c') && (digits[1] == 'O' || digits[1] == 'o') &&
        (digits[2] == 'M' || digits[2] == 'm'))
        digits.erase(0, 3);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    // Too many digits for a number is still a COM number, one out of range.
    if (!wholeNumber(digits, number)) number = -1;
    return true;
}
