// What a spreadsheet makes of a recording that the station would read
// wrongly: fields separated by another character than the comma (";" where
// the comma is the decimal mark, or a tab), and fields in quotes. Read from
// the records of a file, for the check, and written back as the device sends
// them, for its fix.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "framing.h"

class SheetReading {
public:
    explicit SheetReading(int fieldCount) : fieldCount_(fieldCount) {}

    // Each record of the file in order, with its line number.
    void record(std::string_view record, std::int64_t line);

    // The separator that gives the most records the device's field count
    // (the comma when no other gives more).
    char separator() const;
    // Lines with a field in quotes, read at that separator.
    const ProblemTally& quoted() const { return candidate().quoted; }
    // Whether fields hold decimal commas ("12,5"), which the fix writes as points.
    bool decimalCommas() const { return candidate().decimalCommas; }
    // Whether every record, read at the separator and its quotes, has the
    // device's field count and fields a record may hold as they are: then
    // the fix can write them all with commas.
    bool fixable() const;
    // records: the file's records, one a line with an LF, as the check kept
    // them. Returns them with commas between fields, no quotes and decimal points.
    std::string rewritten(std::string_view records) const;

private:
    struct Candidate {
        char separator;
        std::int64_t matching = 0;  // records with the device's count
        std::int64_t writable = 0;  // of them, those the fix can write
        ProblemTally quoted;
        bool decimalCommas = false;
    };
    const Candidate& candidate() const;

    int fieldCount_;
    std::int64_t records_ = 0;
    std::array<Candidate, 3> candidates_{{{','}, {';'}, {'\t'}}};
};
