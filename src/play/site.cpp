#include "site.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <toml++/toml.h>

#include "../record/outfile.h"
#include "devicecheck.h"
#include "sitekeys.h"

namespace {

// A site file lists devices; anything larger than this is no site file (and
// a device such as /dev/zero would never end).
constexpr std::uintmax_t kLargestSite = 1 << 20;

std::string readSite(const std::string& path, std::string& text)
{
    if (std::string wrong = FileProblem(path, "site file"); !wrong.empty()) return wrong;
    std::error_code error;
    if (std::filesystem::file_size(PathOf(path), error) > kLargestSite) return "too large for a site file (over 1 MiB)";
    std::ifstream in(PathOf(path), std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    text = read.str();
    return {};
}

void readTopLevel(const toml::table& root, SiteReading& site, PlayOptions& options)
{
    for (auto&& [key, value] : root) {
        const int line = int(key.source().begin.line);
        if (key.str() == "name") {
            if (!value.is_string() || value.as_string()->get().empty())
                site.add(line, "name = " + Shown(value) + ": expected a string, the site's name");
            else
                options.siteName = value.as_string()->get();
        } else if (key.str() == "device") {
            const toml::array* devices = value.as_array();
            if (!devices || !devices->is_array_of_tables())
                site.add(line, "device = " + Shown(value) + ": expected [[device]] tables, one a device");
        } else {
            site.add(line, UnknownKey(key.str(), {"name", "device"}));
        }
    }
}

// Two devices of one name, or on one port (by what the port reaches: two
// names of one device, or COM3 mapped to a path another device names).
void checkShared(const std::vector<DeviceReading>& read, SiteReading& site)
{
    std::map<std::string, const DeviceReading*> names, ports;
    for (const DeviceReading& device : read) {
        const std::string& name = device.device.name;
        if (!name.empty() && !names.emplace(name, &device).second)
            site.add(device.nameLine, "name = " + device.nameShown + ": the name of the device at line " +
                                          std::to_string(names[name]->device.line) + " too; each needs its own");
        if (device.portShown.empty()) continue;
        const auto [earlier, first] = ports.emplace(PortKey(device.device), &device);
        if (first) continue;
        const DeviceReading& other = *earlier->second;
        site.add(device.portLine, device.label + ": port = " + device.portShown + ": the same port as " + other.label +
                                      " (line " + std::to_string(other.portLine) +
                                      (other.portShown == device.portShown ? ")" : ", port = " + other.portShown + ")"));
    }
}

}  // namespace

void SiteReading::add(int line, const std::string& text)
{
    std::string where = file;
    if (line > 0) where.append(1, ':').append(std::to_string(line));
    problems.push_back({line, where + ": " + text});
}

std::string ReadSiteFile(const std::string& path, PlayOptions& options)
{
    options.siteFile = path;
    options.siteName = TextOf(PathOf(path).stem());
    std::string text;
    if (std::string wrong = readSite(path, text); !wrong.empty()) return path + ": " + wrong + "\n";
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& error) {
        const toml::source_position at = error.source().begin;
        return path + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
               std::string(error.description()) + "\n";
    }
    SiteReading site{path, PathOf(path).parent_path(), {}};
    readTopLevel(root, site, options);
    std::vector<DeviceReading> read;
    if (const toml::array* devices = root["device"].as_array(); devices && devices->is_array_of_tables())
        for (const toml::node& table : *devices) read.push_back(ReadDevice(*table.as_table(), int(read.size()) + 1, site));
    if (!root.contains("device")) site.add(0, "no devices: add a [[device]] table for each, with its name, format and port");
    checkShared(read, site);
    std::stable_sort(site.problems.begin(), site.problems.end(),
                     [](const SiteProblem& a, const SiteProblem& b) { return a.line < b.line; });
    std::string problems;
    for (const SiteProblem& problem : site.problems) problems += problem.text + "\n";
    for (const DeviceReading& device : read) options.devices.push_back(device.device);
    return problems;
}
