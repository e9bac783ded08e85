#include "ports.h"

#include <cstdio>
#include <vector>

#include "../serial/comerror.h"
#include "arguments.h"

namespace {

#ifdef _WIN32
constexpr const char* kOtherPort = "\\\\.\\COM17";
#else
constexpr const char* kOtherPort = "/dev/ttyUSB0";
#endif

std::string com(int number) { return "COM" + std::to_string(number); }

// "COM2, COM4-COM16"
std::string ranges(const std::vector<int>& numbers)
{
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t last = i;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1) ++last;
        if (!text.empty()) text += ", ";
        text += com(numbers[i]);
        if (last > i) text.append("-").append(com(numbers[last]));
        i = last + 1;
    }
    return text;
}

}  // namespace

PortChoice PortOf(const std::string& arg)
{
    PortChoice choice{.given = arg};
    std::int64_t number = 0;
    if (!ComNumberOf(arg, number)) choice.device = arg;
    else choice.com = number >= 1 && number <= kListedComPorts ? int(number) : -1;
    return choice;
}

bool OpenPort(const PortChoice& choice, int baud, SerialInUse use, SerialIn& port, std::string& shown)
{
    const std::string number = choice.com > 0 ? com(choice.com) : std::string();
    const std::string name = choice.com > 0 ? ComDeviceName(choice.com) : choice.device;
    std::string device, reason;
    const int code = choice.com < 0 ? kComBadPortNumber : OpenSerialIn(port, name, baud, device, reason, use);
    shown = number.empty() ? device : number + " (" + device + ")";
    if (code == 0) return true;
    std::string detail = ComOpenDetail(code, number, name, reason);
    if (choice.com < 0)
        detail = choice.given + ": Quorvex's COM numbers run from 1 to " + std::to_string(kListedComPorts) +
                 "; name another port by its device (" + kOtherPort + ")";
    std::fputs(("quorvex-record: " + ComOpenMessage(code, reason) + "\n" + (detail.empty() ? "" : detail + "\n")).c_str(),
               stderr);
    return false;
}

int ListPorts()
{
    std::vector<int> none;
    for (int number = 1; number <= kListedComPorts; ++number) {
        const std::string description = ComPortDescription(number);
        if (description == "no port") {
            none.push_back(number);
            continue;
        }
        std::string line = com(number);
        line.resize(7, ' ');
        std::fputs((line + description + "\n").c_str(), stdout);
    }
    if (!none.empty()) std::fputs((ranges(none) + ": no port\n").c_str(), stdout);
    return 0;
}
