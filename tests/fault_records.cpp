#include "fault_records.h"

namespace {
constexpr std::size_t kLongestRecord = 2047;
}

std::vector<std::string> recordsOf(std::string_view file)
{
    std::vector<std::string> records;
    // A UTF-8 byte order mark says how the file is encoded: no record has it.
    std::size_t begin = file.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (begin < file.size()) {
        std::size_t end = file.find('\n', begin);
        if (end == std::string_view::npos) end = file.size();
        std::string_view line = file.substr(begin, end - begin);
        if (line.size() > kLongestRecord) line = line.substr(0, kLongestRecord);
        else if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        records.emplace_back(line);
        begin = end + 1;
    }
    return records;
}

RecordCheck checkRecords(std::string_view sent, const std::vector<std::string>& records, std::size_t start,
                         bool allowDrops)
{
    RecordCheck check;
    check.next = start;
    if (records.empty()) {
        if (!sent.empty()) check.fault = "a file without records sent " + std::to_string(sent.size()) + " bytes";
        return check;
    }
    std::size_t begin = 0;
    while (begin < sent.size()) {
        std::size_t end = sent.find('\n', begin);
        if (end == std::string_view::npos || end == begin || sent[end - 1] != '\r') {
            check.fault = "torn record at byte " + std::to_string(begin);
            return check;
        }
        std::string_view got = sent.substr(begin, end - 1 - begin);
        std::size_t tries = allowDrops ? records.size() : 1;
        bool found = false;
        for (std::size_t i = 0; i < tries && !found; ++i) {
            found = records[(check.next + i) % records.size()] == got;
            if (found) check.next = (check.next + i + 1) % records.size();
        }
        if (!found) {
            check.fault = "record " + std::to_string(check.records) + " at byte " + std::to_string(begin) +
                          " is not the next line of the file: \"" + std::string(got.substr(0, 60)) + "\"";
            return check;
        }
        ++check.records;
        begin = end + 1;
    }
    return check;
}
