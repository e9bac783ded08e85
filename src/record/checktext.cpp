// The check of a text recording: what the program would send wrongly, as the
// recorder reads the file, and what a spreadsheet may have done to it.
#include <algorithm>

#include "findings.h"
#include "progress.h"
#include "recording.h"
#include "sheet.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string number(std::int64_t value) { return std::to_string(value); }

// Records of another field count replay exactly as written and may be meant
// so: shown, kept by --fix, and the file still replays cleanly; unless no
// record has the device's count, and then none is the device's.
void foreignRecords(Findings& found, const TextCounts& counts, int fields)
{
    if (!counts.foreign.count) return;
    const bool none = counts.foreign.count == counts.records;
    const std::string other = "other than " + number(fields) + " fields";
    std::string where, what;
    if (counts.foreign.count == 1) {
        where = "line " + number(counts.foreign.firstOffsets.front());
        what = Plural(counts.foreignFields.front(), "field", "fields") + ", not " + number(fields);
    } else {
        where = FieldCountsAt(counts, "line");
        if (counts.foreign.count > std::int64_t(counts.foreignFields.size()))
            where += " and " + number(counts.foreign.count - std::int64_t(counts.foreignFields.size())) + " more";
        what = "not " + number(fields) + " fields";
    }
    if (none) {
        found.problem(counts.foreign.firstOffsets.front(), where, what + "; no record has " + number(fields) +
                      ", so none is the device's", counts.foreign.count, "record with " + other, "records with " + other);
        return;
    }
    found.lines.push_back({counts.foreign.firstOffsets.front(), "  " + where + ": " + what + "; kept, as it may be intended"});
    found.kept.push_back(Plural(counts.foreign.count, "record with " + other, "records with " + other));
}

void textProblems(Findings& found, const TextCounts& counts, int fields)
{
    if (counts.header)
        found.problem(1, "line 1", "a header line of field names, which the program would send as a record", 1,
                      "header line", "header lines");
    Tallied(found, counts.emptyLines, "line", "empty; the program sends each as a record of its own, CR LF alone",
            "empty line", "empty lines");
    Tallied(found, counts.crAlone, "line",
            "CR alone as the line end; the program reads on to the next LF, sending the lines as one record",
            "line end of CR alone", "line ends of CR alone");
    if (counts.unterminated)
        found.problem(counts.unterminated, "line " + number(counts.unterminated),
                      "the last line has no line end: was it cut off?", 1, "last line without a line end", "");
    foreignRecords(found, counts, fields);
    Tallied(found, counts.overlong, "line", "longer than the 2047 characters the program sends; kept",
            "record longer than the program sends", "records longer than the program sends");
    Tallied(found, counts.notAscii, "line", "bytes that are not ASCII; kept", "record with bytes that are not ASCII",
            "records with bytes that are not ASCII");
}

// A separator other than the comma and quoted fields reach the station as
// they are: it reads fields at commas, and quotes as part of them.
bool sheetProblems(Findings& found, const SheetReading& sheet, int fields)
{
    const char separator = sheet.separator();
    const bool fixable = sheet.fixable() && (separator != ',' || sheet.quoted().count);
    if (separator != ',') {
        const std::string name = separator == ';' ? "semicolons" : "tabs";
        found.problem(0, "the file", "fields separated by " + name + ", as a spreadsheet may save CSV; the station "
                      "reads fields at commas" + (fixable ? "; --fix writes commas" : "; --fix cannot mend it, as "
                      "not every record has " + number(fields) + " fields at the " + name),
                      1, "field separator other than the comma", "field separators other than the comma");
        if (fixable) found.changes.push_back("wrote commas between the fields");
    }
    Tallied(found, sheet.quoted(), "line", std::string("fields in quotes, which the program sends with the quotes") +
            (fixable ? "; --fix removes them" : ""), "line with quoted fields", "lines with quoted fields");
    if (fixable && sheet.quoted().count) found.changes.push_back("removed the quotes around fields");
    if (fixable && sheet.decimalCommas()) found.changes.push_back("wrote decimal points for decimal commas");
    return fixable;
}

// UTF-16 saved without its mark has a NUL in every other byte of CSV text;
// a stray NUL in a record is that record's problem.
bool mostlyNul(std::string_view bytes)
{
    const std::string_view start = bytes.substr(0, 4096);
    return !start.empty() && std::count(start.begin(), start.end(), '\0') * 4 >= std::ptrdiff_t(start.size());
}

bool notText(Findings& found, std::string_view bytes)
{
    const bool utf16Mark = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
    if (!utf16Mark && !mostlyNul(bytes)) return false;
    const std::string cannot = "which the program cannot replay; save it as CSV in UTF-8 or ASCII";
    if (utf16Mark)
        found.problem(1, "line 1", "a UTF-16 byte order mark: UTF-16 text, " + cannot, 1, "UTF-16 file", "UTF-16 files");
    else
        found.problem(0, "the file", "NUL bytes all through it: UTF-16 text without a byte order mark, or no text at "
                      "all, " + cannot, 1, "file that is not text", "files that are not text");
    return true;
}

}  // namespace

Findings ExamineText(std::string_view bytes, const DeviceFormat& format)
{
    Findings found;
    if (notText(found, bytes)) return found;
    const bool mark = bytes.starts_with(kUtf8Mark);
    if (mark) bytes.remove_prefix(kUtf8Mark.size());
    MemorySink out;
    Recording recording(format, format.fieldCount, out, 0, true);
    SheetReading sheet(format.fieldCount);
    recording.watchRecords([&sheet](std::string_view record, std::int64_t line) { sheet.record(record, line); });
    recording.feed(bytes);
    const bool usable = recording.finish();
    const TextCounts& counts = recording.textCounts();
    // The program leaves a UTF-8 mark out when it sends; other tools may not.
    if (mark) found.lines.push_back({0, "  line 1: a UTF-8 byte order mark, which the program leaves out; --fix drops it"});
    if (mark) found.changes.push_back("dropped the byte order mark");
    textProblems(found, counts, format.fieldCount);
    if (counts.header) found.changes.push_back("dropped the header line");
    const bool rewrite = usable && sheetProblems(found, sheet, format.fieldCount);
    if (!usable) found.problem(Findings::kWholeFile, "the file", "no record to send", 1, "file without a record", "files without a record");
    if (counts.crLf && !counts.crAlone.count)
        found.notes.push_back(counts.lf ? "line ends of CR LF and of LF, which the program reads alike"
                                        : "CR LF line ends, which the program reads as LF");
    found.fixable = usable && (mark || counts.header || counts.emptyLines.count || counts.crAlone.count ||
                               counts.unterminated || rewrite);
    if (counts.emptyLines.count) found.changes.push_back("dropped " + Plural(counts.emptyLines.count, "empty line", "empty lines"));
    if (counts.crLf || counts.crAlone.count) found.changes.push_back("wrote LF line ends");
    if (counts.unterminated) found.changes.push_back("ended the last line");
    if (usable) found.clean = rewrite ? sheet.rewritten(out.bytes()) : out.bytes();
    return found;
}
