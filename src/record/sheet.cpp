#include "sheet.h"

#include <algorithm>
#include <vector>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A record's fields at sep, as spreadsheets write them: a field in double
// quotes may hold sep, and "" in it is one quote.
std::vector<std::string> fieldsOf(std::string_view record, char sep, bool& quoted)
{
    std::vector<std::string> fields(1);
    bool inQuotes = false;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const char c = record[i];
        if (inQuotes && c == '"' && i + 1 < record.size() && record[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"' && (inQuotes || fields.back().empty())) {
            inQuotes = !inQuotes;
            quoted = true;
        } else if (c == sep && !inQuotes) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// A field as the station reads one: a decimal comma becomes a point. False
// when it holds what no field may: another comma, or a quote.
bool plain(std::string& field, bool& decimalComma)
{
    const std::size_t comma = field.find(',');
    if (comma != std::string::npos && comma > 0 && isDigit(field[comma - 1]) && comma + 1 < field.size() &&
        isDigit(field[comma + 1]) && field.find(',', comma + 1) == std::string::npos) {
        field[comma] = '.';
        decimalComma = true;
    }
    return field.find_first_of(",\"") == std::string::npos;
}

}  // namespace

void SheetReading::record(std::string_view record, std::int64_t line)
{
    ++records_;
    const bool quotes = record.find('"') != std::string_view::npos;
    for (Candidate& candidate : candidates_) {
        // Without quotes a count will do where no field can hold a comma.
        if (!quotes && (candidate.separator == ',' || record.find(candidate.separator) == std::string_view::npos)) {
            const bool matches = std::count(record.begin(), record.end(), candidate.separator) + 1 == fieldCount_;
            candidate.matching += matches;
            candidate.writable += matches && (candidate.separator == ',' || record.find(',') == std::string_view::npos);
            continue;
        }
        bool quoted = false, decimal = false;
        std::vector<std::string> fields = fieldsOf(record, candidate.separator, quoted);
        if (quoted) candidate.quoted.add(line, 1);
        if (std::int64_t(fields.size()) != fieldCount_) continue;
        ++candidate.matching;
        bool writable = true;
        for (std::string& field : fields) writable = plain(field, decimal) && writable;
        if (writable) ++candidate.writable;
        if (decimal) candidate.decimalCommas = true;
    }
}

const SheetReading::Candidate& SheetReading::candidate() const
{
    const Candidate* best = &candidates_[0];
    for (const Candidate& other : candidates_)
        if (other.matching > best->matching) best = &other;
    return *best;
}

char SheetReading::separator() const { return candidate().separator; }

bool SheetReading::fixable() const { return records_ > 0 && candidate().writable == records_; }

std::string SheetReading::rewritten(std::string_view records) const
{
    std::string out;
    const char sep = separator();
    for (std::size_t start = 0; start < records.size();) {
        const std::size_t end = records.find('\n', start);
        bool quoted = false, decimal = false;
        std::vector<std::string> fields = fieldsOf(records.substr(start, end - start), sep, quoted);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            plain(fields[i], decimal);
            out += (i ? "," : "") + fields[i];
        }
        out += '\n';
        start = end == std::string_view::npos ? records.size() : end + 1;
    }
    return out;
}
