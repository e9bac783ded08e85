#include "cliparse.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// The option a long argument names ("--out=x" names --out), or nullptr.
const CLI::Option* named(const CLI::App& app, const std::string& arg)
{
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) return nullptr;
    return app.get_option_no_throw(arg.substr(0, arg.find('=')));
}

bool takesValue(const CLI::Option& option) { return option.get_items_expected_max() > 0; }

// The arguments as CLI11 should see them, reversed as it takes them. What it
// would misread is settled here: the value after an option is its value
// whatever it looks like (as it was before CLI11), "--out=" gives an empty
// value (CLI11 would take the next argument instead), and a flag given a value
// or an option without one is the first thing wrong, left out of the rest.
std::vector<std::string> prepared(const CLI::App& app, const std::vector<std::string>& args, std::string& wrong)
{
    std::vector<std::string> ready;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const CLI::Option* option = named(app, arg);
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (arg == "--") {
            ready.insert(ready.end(), args.begin() + std::ptrdiff_t(i), args.end());
            break;
        }
        if (!option) {
            ready.push_back(arg);
        } else if (!takesValue(*option)) {
            if (equals == std::string::npos) ready.push_back(arg);
            else if (wrong.empty()) wrong = name + " takes no value";
        } else if (equals != std::string::npos) {
            ready.insert(ready.end(), {name, arg.substr(equals + 1)});
        } else if (i + 1 < args.size()) {
            ready.insert(ready.end(), {arg, args[i + 1]});
            ++i;
        } else if (wrong.empty()) {
            wrong = arg + " needs a value";
        }
    }
    std::reverse(ready.begin(), ready.end());
    return ready;
}

// The first argument, as typed, that is an option no one takes: CLI11 keeps
// unknown options aside, and a positional argument that starts with "-"
// ("-5", "-") is one too.
std::string unknownOption(const CLI::App& app, const std::vector<std::string>& args)
{
    std::set<std::string> unknown;
    for (const std::string& left : app.remaining())
        if (!left.empty() && left[0] == '-') unknown.insert(left);
    for (const CLI::Option* option : app.get_options())
        if (option->get_positional())
            for (const std::string& value : option->results())
                if (!value.empty() && value[0] == '-') unknown.insert(value);
    for (const std::string& arg : args)
        if (unknown.count(arg)) return "unknown option " + (arg.compare(0, 2, "--") == 0 ? arg.substr(0, arg.find('=')) : arg);
    return {};
}

}  // namespace

void ConfigureCommandLine(CLI::App& app)
{
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::string ParseCommandLine(CLI::App& app, const std::vector<std::string>& args)
{
    std::string wrong;
    std::vector<std::string> reversed = prepared(app, args, wrong);
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        // Nothing above leaves CLI11 a reason to refuse; should it find one,
        // it is still said in one line.
        if (wrong.empty()) wrong = "cannot read the command line: " + std::string(error.what());
    }
    return wrong.empty() ? unknownOption(app, args) : wrong;
}

std::vector<GivenOption> GivenInOrder(const CLI::App& app)
{
    std::vector<GivenOption> given;
    std::map<const CLI::Option*, std::size_t> taken;
    for (const CLI::Option* option : app.parse_order()) {
        if (option->get_positional()) continue;
        std::size_t& at = taken[option];
        const auto& results = option->results();
        given.push_back({option, takesValue(*option) && at < results.size() ? results[at] : std::string()});
        ++at;
    }
    return given;
}
