#include "arguments.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "../platform/runtime.h"
#include "cliparse.h"

namespace {

bool wholeNumber(const std::string& text, std::int64_t& value)
{
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
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
        std::int64_t number = 0;
        if (ComNumberOf(arg, number)) {
            // Out of range is the port's own failure, reported as the window does.
            parsed.port = number >= 1 && number <= kMaxComPort ? int(number) : -1;
        } else {
            parsed.device = arg;
        }
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
    } else if (name == "--out") {
        if (value.empty()) return "--out takes a folder";
        parsed.folder = value;
    } else if (name == "--check") {
        if (value.empty()) return "--check takes a FILE";
        parsed.check = value;
    } else if (name == "--format") {
        parsed.formatName = value;
        parsed.format = LookupFormatByShortName(value);
        if (!parsed.format) return "unknown format \"" + value + "\"";
    } else {
        return "unknown option " + name;
    }
    return {};
}

}  // namespace

std::string ParseArguments(const std::vector<std::string>& args, RecordArguments& parsed)
{
    CLI::App app("quorvex-record");
    ConfigureCommandLine(app);
    CLI::Option* positionals = app.add_option("FORMAT PORT")->expected(0, -1)->allow_extra_args();
    for (const char* name : {"--minutes", "--records", "--baud", "--out", "--check", "--format"}) app.add_option(name);
    for (const char* name : {"--fix", "--force", "--version"}) app.add_flag(name);
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
        if (name == "--fix" || name == "--force") continue;
        if (std::string wrong = option(parsed, name, given.value, seenMinutes); !wrong.empty()) return wrong;
    }
    parsed.fix = app.count("--fix") > 0;
    parsed.force = app.count("--force") > 0;
    const std::vector<std::string>& positionalArgs = positionals->results();
    if (std::string wrong = checkArguments(parsed, int(positionalArgs.size()), recordingOption);
        !wrong.empty() || !parsed.check.empty())
        return wrong;
    int count = 0;
    for (const std::string& arg : positionalArgs)
        if (std::string wrong = positional(parsed, arg, count); !wrong.empty()) return wrong;
    if (count < 2) return count == 0 ? "no FORMAT and PORT given" : "no PORT given";
    if (seenMinutes && parsed.records) return "--minutes or --records, not both";
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

std::string HelpText()
{
    std::string text =
        "Usage: quorvex-record FORMAT PORT [--minutes M | --records N] [--baud 9600|19200]\n"
        "                      [--out DIR] [--force]\n"
        "       quorvex-record --check FILE [--format FORMAT] [--fix]\n"
        "\n"
        "Records the equipment on a serial port into the file Quorvex replays for it,\n"
        "trimmed to whole records or messages so that the replay loops cleanly.\n"
        "\n"
        "FORMAT         file             device\n";
    for (const DeviceFormat& format : Formats()) {
        std::string line = "  " + std::string(format.shortName);
        line.resize(15, ' ');
        line += format.fileName;
        line.resize(32, ' ');
        line += std::string(format.device) + ", " +
                (format.fixedBaud ? std::to_string(format.fixedBaud) + " baud"
                                  : std::to_string(format.fieldCount) + " fields");
        text += line + "\n";
    }
    text +=
        "\n"
#ifdef _WIN32
        "PORT         a COM number (3 or COM3), the port Windows calls COM3, or the\n"
        "             device QUORVEX_COM<n> names when set; or a device path\n"
#else
        "PORT         a COM number (3 or COM3), numbered as Quorvex numbers them:\n"
        "             QUORVEX_COM<n> when set, else the n-th serial port present;\n"
        "             or a device path\n"
#endif
        "--minutes M  record for M minutes (default 15)\n"
        "--records N  record N records (text devices) or messages (engine streams)\n"
        "--baud B     text devices: 9600 or 19200 (default 19200)\n"
        "--out DIR    write the file into DIR (default: the folder Quorvex reads first,\n"
        "             " + GetRecordingsDir() + ")\n"
        "--force      replace an existing file, keeping it as <file>.bak (or .bak.1,\n"
        "             .bak.2, ... beside older ones, which stay)\n"
        "--version    print quorvex-record's version\n"
        "\n"
        "Ctrl-C ends the recording early and still writes what was recorded.\n"
        "\n"
        "--check FILE check a recording (saved from a spreadsheet, cut by hand, made by\n"
        "             another tool) before it is replayed: lists by line, or by byte for\n"
        "             the engine streams, what would not replay cleanly: a header\n"
        "             line, empty lines, line ends of CR alone, a last line without a\n"
        "             line end, records longer than the 2047 characters sent, bytes\n"
        "             that are not ASCII, records of another field count, UTF-16\n"
        "             text; damaged messages, stretches that are no message, a file\n"
        "             too short for one 50-byte chunk, a loop seam inside a message;\n"
        "             and a byte order mark, which the program leaves out\n"
        "--format F   FILE's format, when its name is none of the files above\n"
        "--fix        with --check: write the replay-clean version in place of FILE,\n"
        "             as the recorder would have saved it, keeping the original as\n"
        "             FILE.bak (or the next free FILE.bak.1, .2, ...); records of\n"
        "             another field count, too long or not ASCII are kept\n"
        "\n"
        "  $ quorvex-record --check blender.csv        (saved from a spreadsheet)\n"
        "  blender.csv: a recording of the Velmara blender, 51 fields a record\n"
        "    line 1: a UTF-8 byte order mark, which the program leaves out; --fix ...\n"
        "    line 1: a header line of field names, which the program would send ...\n"
        "    line 5: empty; the program sends each as a record of its own, CR LF alone\n"
        "    note: CR LF line ends, which the program reads as LF\n"
        "  blender.csv: 2 problems: 1 header line, 1 empty line.\n"
        "  $ quorvex-record --check blender.csv --fix\n"
        "  ...\n"
        "  Fixed blender.csv (the original is now blender.csv.bak): dropped the byte\n"
        "  order mark; dropped the header line; dropped 1 empty line; wrote LF line ends.\n"
        "  blender.csv now replays cleanly.\n"
        "\n"
        "Exit codes: 0 recorded, 1 nothing usable recorded, 2 bad arguments,\n"
        "3 the port could not be opened. With --check: 0 replays cleanly (after\n"
        "--fix, when given), 1 problems left, 2 bad arguments or an unreadable file.\n";
    return text;
}
