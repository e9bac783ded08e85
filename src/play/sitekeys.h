// Reading a site file's [[device]] tables, key by key (sitekeys.cpp holds the
// table of keys: a new key is one row and one function there).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

#include "playargs.h"

struct SiteProblem {
    int line;  // 0: the file as a whole
    std::string text;
};

struct SiteReading {
    std::string file;  // as the user gave it, to name in messages
    std::filesystem::path folder;  // where relative recordings are
    std::vector<SiteProblem> problems;
    // A problem at a line (0: none), as "site.toml:12: text".
    void add(int line, const std::string& text);
};

// One [[device]] as read, with what messages about it need.
struct DeviceReading {
    PlayDevice device;
    std::string label;      // device "pump3"; device 2 while it has no name
    std::string nameShown;  // as written in the file: "\"pump3\""
    std::string portShown;  // empty when the port could not be read
    int nameLine = 0;
    int portLine = 0;
};

// Reads the number-th [[device]] table; its problems go to site.
DeviceReading ReadDevice(const toml::table& table, int number, SiteReading& site);

// A value as TOML writes it: "\"COM3\"", 115200, [ 1, 2 ].
std::string Shown(const toml::node& value);

// "unknown key \"prot\"; did you mean \"port\"?", or the keys there are.
std::string UnknownKey(std::string_view key, const std::vector<std::string_view>& known);
