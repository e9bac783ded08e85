// What a text data file should give on the wire, worked out independently of
// the program: used by the fault tests, the soak and the fuzzer to check that
// every record that leaves is a whole line of the file, in file order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The records of a file, in order: each line without its LF and without a CR
// just before the LF; of a line longer than 2047 characters, its first 2047.
// A last line without a line end counts; the empty piece after a final LF not;
// a UTF-8 byte order mark at the start is no part of the first.
std::vector<std::string> recordsOf(std::string_view file);

struct RecordCheck {
    std::size_t records = 0;  // whole records seen
    std::size_t next = 0;     // index of the record expected next
    std::string fault;        // empty when every record was right
};

// Checks that `sent` is records + CR LF, each the one after the previous
// (wrapping to the first after the last), starting at record `start`. With
// allowDrops, records may be missing (dropped whole when nobody reads) but
// never torn or out of order. A file without records must send nothing.
RecordCheck checkRecords(std::string_view sent, const std::vector<std::string>& records,
                         std::size_t start = 0, bool allowDrops = false);
