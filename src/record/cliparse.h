// Reading a command line through CLI11, in the programs' own words. The
// options take their values as text and CLI11 checks none of them: each
// program checks its values itself and says what is wrong in its own terms.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

// Makes app take only what it is given: no generated --help, unknown options
// kept for ParseCommandLine to name, and an option given twice kept twice
// (its values are checked in the order given).
void ConfigureCommandLine(CLI::App& app);

// Reads args, as typed and in order, into app. Returns "" or the first thing
// no option of app takes, in the order typed: "unknown option --bogus",
// "--out needs a value", "--fix takes no value". An option given with an
// empty value (--out=) gets the empty value, for its own check to refuse.
std::string ParseCommandLine(CLI::App& app, const std::vector<std::string>& args);

// The options given, each time it was given and in that order, with its value
// ("" for a flag); positional arguments are not among them.
struct GivenOption {
    const CLI::Option* option;
    std::string value;
};
std::vector<GivenOption> GivenInOrder(const CLI::App& app);
