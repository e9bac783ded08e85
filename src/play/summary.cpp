// The end of a run: a line a device, then the verdict the exit status gives.
#include <cstdio>

#include "../app/statustip.h"
#include "report.h"

namespace {

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string plural(long long n, const char* one) { return std::to_string(n) + " " + one + (n == 1 ? "" : "s"); }

}  // namespace

void Report::summary(int status, double runSeconds)
{
    write();
    if (terminal_) drawn_ = 0;
    std::vector<std::string> short_;
    for (const auto& played : devices_) {
        const Device& device = played->device();
        const char* unit = UnitOf(*played);
        const std::string& name = played->settings().name;
        if (!played->streamedWholeRun()) short_.push_back(name);
        std::string line;
        if (json_) {
            line = "{\"event\":\"summary\",\"device\":" + JsonString(name) + ",\"sent\":" +
                   std::to_string(device.sent) + ",\"unit\":\"" + unit + "s\",\"not_sent\":" +
                   std::to_string(device.notSent) + ",\"streaming_s\":" + seconds(played->streamingSeconds()) +
                   ",\"not_streaming_s\":" + seconds(played->notStreamingSeconds());
            if (!played->worstWhy().empty()) line += ",\"why\":" + JsonString(played->worstWhy());
            line += ",\"whole_run\":" + std::string(played->streamedWholeRun() ? "true" : "false") + "}";
        } else {
            line = name + ": " + plural(device.sent, unit) + " sent to " + PortShownName(device) + ", streaming " +
                   DurationText(played->streamingSeconds());
            if (played->notStreamingSeconds() > 0)
                line += "; not streaming " + DurationText(played->notStreamingSeconds()) +
                        (played->worstWhy().empty() ? "" : " (" + played->worstWhy() + ")");
            if (device.notSent > 0)
                line += "; " + plural(device.notSent, unit) + " not sent: the station was not reading";
        }
        std::fputs((line + "\n").c_str(), stdout);
    }
    std::string verdict;
    if (json_) {
        verdict = "{\"event\":\"end\",\"status\":" + std::to_string(status) + ",\"seconds\":" + seconds(runSeconds) + "}";
    } else if (short_.empty()) {
        verdict = (devices_.size() == 1 ? std::string("The device") : "All " + std::to_string(devices_.size()) + " devices") +
                  " streamed the whole run (" + DurationText(runSeconds) + ").";
    } else {
        verdict = std::to_string(short_.size()) + " of " + plural((long long)devices_.size(), "device") +
                  " did not stream the whole run:";
        for (std::size_t i = 0; i < short_.size(); ++i) verdict += (i ? ", " : " ") + short_[i];
        verdict += ".";
    }
    std::fputs((verdict + "\n").c_str(), stdout);
    std::fflush(stdout);
}
