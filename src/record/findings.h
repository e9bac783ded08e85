// What a check of a recording found, as the check of each kind of recording
// (text, engine stream) collects it for the report and the fix.
#pragma once

#include <climits>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "../app/formats.h"
#include "framing.h"

// What a check found in one file's bytes, and the replay-clean version of them.
struct Findings {
    struct Line {
        std::int64_t at;               // the line or byte it begins at: the listing is in file order
        std::string text;              // "  line 4: empty; ..."
    };
    struct Kind {
        std::int64_t count;
        std::string one, many;         // "empty line", "empty lines"
    };
    static constexpr std::int64_t kWholeFile = INT64_MAX;
    std::vector<Line> lines;
    std::vector<Kind> kinds;           // for the verdict, one a kind however many places have it
    std::vector<std::string> notes;    // what is worth knowing but replays as it should
    std::vector<std::string> kept;     // "1 record with other than 51 fields": sent as written, maybe meant so
    std::vector<std::string> changes;  // what the fix changes
    std::int64_t problems = 0;
    bool fixable = false;              // the replay-clean version mends a problem
    std::string clean;                 // empty when nothing of the file replays

    void problem(std::int64_t at, const std::string& where, const std::string& what, std::int64_t count,
                 const std::string& one, const std::string& many)
    {
        lines.push_back({at, "  " + where + ": " + what});
        problems += count;
        for (Kind& kind : kinds)
            if (kind.one == one) {
                kind.count += count;
                return;
            }
        kinds.push_back({count, one, many});
    }
};

// "line 4", "lines 4 and 9", "lines 4, 9, 12, 20, 31 and 12 more"
std::string Where(const ProblemTally& tally, const std::string& unit);
// A problem of the tally's kind at its places, when it has any.
void Tallied(Findings& found, const ProblemTally& tally, const std::string& unit, const std::string& what,
             const std::string& one, const std::string& many);

// A text recording's findings, and its replay-clean version.
Findings ExamineText(std::string_view bytes, const DeviceFormat& format);

// A log with times' findings, and title: what it is ("a candump log of the
// engine controller on SAE J1939, 1200 frames over 30.0 s").
Findings ExamineLog(std::istream& in, const DeviceFormat& format, std::string& title);
