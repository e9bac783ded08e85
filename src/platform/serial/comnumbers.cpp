#include "comnumbers.h"

#include "../runtime.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>
#include <tuple>

namespace {

PortLister lister = nullptr;

// COM n's device is element n-1: given once, never taken back.
std::vector<std::string>& givenNumbers()
{
    static std::vector<std::string> given;
    return given;
}

// Built-in ports keep the numbers they have on Windows (ttyS0 is COM1);
// adapters follow in the order the kernel named them.
constexpr std::array<std::string_view, 3> kFamilies{"ttyS", "ttyUSB", "ttyACM"};

// The family's rank, the name without its number, the number, then the name.
using SortKey = std::tuple<size_t, std::string_view, unsigned long long, std::string_view>;

SortKey sortKey(const std::string& device)
{
    std::string_view name = device;
    if (auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    size_t split = name.size();
    while (split > 0 && name[split - 1] >= '0' && name[split - 1] <= '9') --split;
    // More digits than a number holds: compared as text.
    if (name.size() - split > 18) split = name.size();
    unsigned long long number = 0;
    for (char digit : name.substr(split)) number = number * 10 + unsigned(digit - '0');
    const std::string_view stem = name.substr(0, split);
    const size_t rank = size_t(std::find(kFamilies.begin(), kFamilies.end(), stem) - kFamilies.begin());
    return {rank, stem, number, name};
}

}  // namespace

std::vector<PresentPort> NumberPorts(std::vector<PresentPort> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
        return sortKey(a.device) < sortKey(b.device);
    });
    return ports;
}

void SetPortLister(PortLister replacement)
{
    lister = replacement;
    givenNumbers().clear();
}

NumberedPort NumberedDevice(int port)
{
    const std::vector<PresentPort> present = NumberPorts(ListedPorts());
    std::vector<std::string>& given = givenNumbers();
    std::vector<bool> listed(given.size(), false);
    for (const PresentPort& device : present) {
        const auto number = std::find(given.begin(), given.end(), device.device);
        if (number != given.end()) {
            listed[std::size_t(number - given.begin())] = true;
        } else if (given.size() < std::size_t(kMaxComPort)) {  // beyond: a device with no number
            given.push_back(device.device);
            listed.push_back(true);
        }
    }
    if (port < 1 || std::size_t(port) > given.size()) return {};
    return {given[std::size_t(port) - 1], listed[std::size_t(port) - 1]};
}

// Listing the system's ports takes 20-35 ms here (a walk of sysfs), and one
// opening of the COM ring asks for sixteen tooltips, each naming a device:
// one listing serves the calls that follow it within half a second.
std::vector<PresentPort> ListedPorts()
{
    if (lister) return lister();
    using Clock = std::chrono::steady_clock;
    static std::vector<PresentPort> recent;
    static Clock::time_point listedAt{};
    static bool listed = false;
    const Clock::time_point now = Clock::now();
    if (!listed || now - listedAt > std::chrono::milliseconds(500)) {
        recent = PresentPorts();
        listedAt = now;
        listed = true;
    }
    return recent;
}
