#include "check.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "../stream/streams.h"
#include "arguments.h"
#include "outfile.h"
#include "progress.h"
#include "recording.h"

namespace fs = std::filesystem;

namespace {

constexpr int kClean = 0, kProblemsLeft = 1, kCannotCheck = 2;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string number(std::int64_t value) { return std::to_string(value); }
void say(const std::string& text) { std::fputs(text.c_str(), stdout); }

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
std::string where(const ProblemTally& tally, const std::string& unit)
{
    const std::size_t shown = tally.firstOffsets.size();
    const bool more = tally.count > std::int64_t(shown);
    std::string text = unit + (tally.count == 1 ? "" : "s");
    for (std::size_t i = 0; i < shown; ++i)
        text += (i == 0 ? " " : i + 1 == shown && !more ? " and " : ", ") + number(tally.firstOffsets[i]);
    return more ? text + " and " + number(tally.count - std::int64_t(shown)) + " more" : text;
}

void tallied(Findings& found, const ProblemTally& tally, const std::string& unit, const std::string& what,
             const std::string& one, const std::string& many)
{
    if (tally.count) found.problem(tally.firstOffsets.front(), where(tally, unit), what, tally.count, one, many);
}

void textProblems(Findings& found, const TextCounts& counts, int fields)
{
    if (counts.header)
        found.problem(1, "line 1", "a header line of field names, which the program would send as a record", 1,
                      "header line", "header lines");
    tallied(found, counts.emptyLines, "line", "empty; the program sends each as a record of its own, CR LF alone",
            "empty line", "empty lines");
    tallied(found, counts.crAlone, "line",
            "CR alone as the line end; the program reads on to the next LF, sending the lines as one record",
            "line end of CR alone", "line ends of CR alone");
    if (counts.unterminated)
        found.problem(counts.unterminated, "line " + number(counts.unterminated), "the last line has no line end: was it cut off?", 1,
                      "last line without a line end", "");
    // Another field count replays exactly as written and may be meant so: it
    // is shown, and kept by --fix, but the file still replays cleanly.
    if (const std::string other = "other than " + number(fields) + " fields"; counts.foreign.count) {
        found.lines.push_back({counts.foreign.firstOffsets.front(),
                               "  " + where(counts.foreign, "line") + ": " + other + "; kept, as it may be intended"});
        found.kept.push_back(Plural(counts.foreign.count, "record with " + other, "records with " + other));
    }
    tallied(found, counts.overlong, "line", "longer than the 2047 characters the program sends; kept",
            "record longer than the program sends", "records longer than the program sends");
    tallied(found, counts.notAscii, "line", "bytes that are not ASCII; kept", "record with bytes that are not ASCII",
            "records with bytes that are not ASCII");
}

// UTF-16 saved without its mark has a NUL in every other byte of CSV text;
// a stray NUL in a record is that record's problem.
bool mostlyNul(std::string_view bytes)
{
    const std::string_view start = bytes.substr(0, 4096);
    return !start.empty() && std::count(start.begin(), start.end(), '\0') * 4 >= std::ptrdiff_t(start.size());
}

Findings examineText(std::string_view bytes, const DeviceFormat& format)
{
    Findings found;
    const bool utf16Mark = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
    if (utf16Mark || mostlyNul(bytes)) {
        const std::string cannot = "which the program cannot replay; save it as CSV in UTF-8 or ASCII";
        if (utf16Mark)
            found.problem(1, "line 1", "a UTF-16 byte order mark: UTF-16 text, " + cannot, 1, "UTF-16 file",
                          "UTF-16 files");
        else
            found.problem(0, "the file", "NUL bytes all through it: UTF-16 text without a byte order mark, or no "
                          "text at all, " + cannot, 1, "file that is not text", "files that are not text");
        return found;
    }
    const bool mark = bytes.starts_with(kUtf8Mark);
    if (mark) bytes.remove_prefix(kUtf8Mark.size());
    MemorySink out;
    Recording recording(format, format.fieldCount, out, 0, true);
    recording.feed(bytes);
    const bool usable = recording.finish();
    const TextCounts& counts = recording.textCounts();
    // The program leaves a UTF-8 mark out when it sends; other tools may not.
    if (mark) found.lines.push_back({0, "  line 1: a UTF-8 byte order mark, which the program leaves out; --fix drops it"});
    textProblems(found, counts, format.fieldCount);
    if (!usable) found.problem(Findings::kWholeFile, "the file", "no record to send", 1, "file without a record", "files without a record");
    if (counts.crLf && !counts.crAlone.count)
        found.notes.push_back(counts.lf ? "line ends of CR LF and of LF, which the program reads alike"
                                        : "CR LF line ends, which the program reads as LF");
    found.fixable = usable && (mark || counts.header || counts.emptyLines.count || counts.crAlone.count ||
                               counts.unterminated);
    if (mark) found.changes.push_back("dropped the byte order mark");
    if (counts.header) found.changes.push_back("dropped the header line");
    if (counts.emptyLines.count) found.changes.push_back("dropped " + Plural(counts.emptyLines.count, "empty line", "empty lines"));
    if (counts.crLf || counts.crAlone.count) found.changes.push_back("wrote LF line ends");
    if (counts.unterminated) found.changes.push_back("ended the last line");
    if (usable) found.clean = out.bytes();
    return found;
}

void engineProblems(Findings& found, const FramingCounts& counts, bool j1587, std::int64_t size, std::int64_t seam)
{
    const std::string noMessage = j1587 ? "no message" : "no SLCAN frame";
    if (counts.trimmedFront)
        found.problem(0, "byte 0", Plural(counts.trimmedFront, "byte", "bytes") + " before the first whole message, " +
                      "which are " + noMessage, 1, "stretch that is " + noMessage, "stretches that are " + noMessage);
    tallied(found, counts.checksumFailures, "byte", "a message whose checksum fails, which the station would reject",
            "message whose checksum fails", "messages whose checksum fails");
    tallied(found, counts.unparsable, "byte", "bytes that are " + noMessage, "stretch that is " + noMessage,
            "stretches that are " + noMessage);
    const std::int64_t tail = size - counts.trimmedBack;
    if (counts.trimmedBack && tail < seam)
        found.problem(tail, "byte " + number(tail), Plural(counts.trimmedBack, "byte", "bytes") + " after the last whole " +
                      "message, which are " + noMessage, 1, "stretch that is " + noMessage,
                      "stretches that are " + noMessage);
}

// The seam: the program sends 50-byte chunks while one byte more remains,
// then starts over at byte 0, so each pass sends bytes 0 to seam - 1.
Findings examineEngine(std::string_view bytes, const DeviceFormat& format)
{
    Findings found;
    const std::int64_t size = std::int64_t(bytes.size());
    const std::int64_t seam = size >= kChunkWrapMargin ? (size - 1) / kChunkSize * kChunkSize : 0;
    std::int64_t covered = 0, torn = -1;  // whole messages from byte 0 up to covered
    bool onBoundary = false;
    MemorySink out;
    Recording recording(format, 0, out, 0, true);
    recording.watchMessages([&](std::int64_t at, std::int64_t length) {
        if (at == covered) covered = at + length;
        if (at + length == seam) onBoundary = true;
        if (at < seam && at + length > seam) torn = at;
    });
    recording.feed(bytes);
    const bool usable = recording.finish();
    if (usable) found.clean = out.bytes();
    if (size >= kChunkWrapMargin && covered >= seam && onBoundary) {
        if (size - seam > 1)
            found.notes.push_back("bytes " + number(seam) + "-" + number(size - 1) + " are never sent: each pass ends "
                                  "with byte " + number(seam - 1) + ", on a message boundary");
        return found;
    }
    if (size < kChunkWrapMargin)
        found.problem(-1, "the file", Plural(size, "byte", "bytes") + ": the program sends 50-byte chunks and needs 51 "
                      "bytes at least", 1, "recording too short", "recordings too short");
    engineProblems(found, recording.engineCounts(), format.value == 1, size, seam);
    if (size >= kChunkWrapMargin && !onBoundary) {
        const std::string pass = "each pass sends bytes 0-" + number(seam - 1) + " and starts over ";
        found.problem(torn >= 0 ? torn : seam, "byte " + number(torn >= 0 ? torn : seam),
                      torn >= 0 ? "a message torn by the loop seam: " + pass + Plural(seam - torn, "byte", "bytes") +
                                      " into it"
                                : "the loop seam: " + pass + "here, on no message boundary",
                      1, "torn message at the loop seam", "torn messages at the loop seam");
    }
    found.fixable = usable;
    const std::int64_t left = size - std::int64_t(found.clean.size());
    if (usable)
        found.changes.push_back("cut to " + Plural(std::int64_t(found.clean.size()), "byte", "bytes") + " (" +
                                number(left) + " left out): each pass sends " +
                                Plural(recording.units() - recording.messagesPastBoundary(), "whole message",
                                       "whole messages") + " and starts over on a message boundary");
    return found;
}

Findings examine(std::string_view bytes, const DeviceFormat& format)
{
    return format.kind == FileKind::Text ? examineText(bytes, format) : examineEngine(bytes, format);
}

std::string joined(const std::vector<std::string>& parts, const std::string& between)
{
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

std::string verdict(const std::string& file, const Findings& found, bool afterFix)
{
    if (!found.problems)
        return file + (afterFix ? " now replays cleanly" : ": replays cleanly") +
               (found.kept.empty() ? "" : " (" + joined(found.kept, ", ") + ", kept as written)") + ".\n";
    std::vector<std::string> kinds;
    for (const Findings::Kind& kind : found.kinds) kinds.push_back(Plural(kind.count, kind.one, kind.many));
    return file + ": " + Plural(found.problems, "problem", "problems") + (afterFix ? " left: " : ": ") +
           joined(kinds, ", ") + ".\n";
}

void report(const Findings& found)
{
    std::vector<Findings::Line> lines = found.lines;
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Findings::Line& a, const Findings::Line& b) { return a.at < b.at; });
    for (const Findings::Line& line : lines) say(line.text + "\n");
    for (const std::string& note : found.notes) say("  note: " + note + "\n");
}

std::string title(const std::string& file, const DeviceFormat& format, std::size_t size)
{
    std::string text = file + ": a recording of the " + std::string(format.device) + ", ";
    if (format.kind == FileKind::Text) return text + number(format.fieldCount) + " fields a record\n";
    return text + Plural(std::int64_t(size), "byte", "bytes") + "\n";
}

int cannot(const std::string& why)
{
    std::fputs(("quorvex-record: " + why + "\n").c_str(), stderr);
    return kCannotCheck;
}

const DeviceFormat* formatOfName(const std::string& name)
{
    for (int value = 0; value <= 6; ++value)
        if (const DeviceFormat* format = LookupFormat(value); format && format->fileName == name) return format;
    return nullptr;
}

bool readWhole(const fs::path& path, std::string& bytes, std::string& why)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        why = error ? error.message() : "not a file";
        return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = errno ? std::strerror(errno) : "cannot open it";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    why = "a read failed";
    return !in.bad();
}

// Writes the replay-clean version in place of path, the original kept as
// path.bak with its permissions, and checks what it wrote.
int fix(const fs::path& path, const DeviceFormat& format, const Findings& found)
{
    const std::string file = TextOf(path), name = TextOf(path.filename());
    if (!found.fixable) {
        if (!found.clean.empty()) say("--fix: nothing to change; what is left may be intended.\n");
        else if (format.kind == FileKind::Text) say("--fix: nothing of " + file + " would replay, so it is left as it is.\n");
        else
            say("--fix: no run of whole messages in " + file + " fills whole 50-byte chunks, so no cut of it loops "
                "cleanly; it is left as it is (a longer recording can be cut).\n");
        return kProblemsLeft;
    }
    OutputFile out;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string wrong = out.open(folder, name, true);
    if (wrong.empty() && !out.write(found.clean)) wrong = "cannot write in " + TextOf(folder) + ": " + out.writeError();
    if (wrong.empty()) wrong = out.commit();
    if (!wrong.empty()) {
        out.discard();
        std::fputs(("quorvex-record: --fix: " + wrong + "\n").c_str(), stderr);
        return kProblemsLeft;
    }
    std::error_code error;
    fs::permissions(path, fs::status(out.backup(), error).permissions(), error);
    say("Fixed " + file + " (the original is now " + TextOf(out.backup().filename()) + "): " +
        joined(found.changes, "; ") + ".\n");
    const Findings after = examine(found.clean, format);
    report(after);
    say(verdict(file, after, true));
    return after.problems ? kProblemsLeft : kClean;
}

}  // namespace

int CheckRecording(const std::string& file, const DeviceFormat* format, bool fixIt)
{
    const fs::path path = PathOf(file);
    const DeviceFormat* named = formatOfName(TextOf(path.filename()));
    if (named && format && named != format)
        return cannot(file + " is the program's " + std::string(named->shortName) + " file; --format " +
                      std::string(format->shortName) + " does not fit it");
    if (!named && !format)
        return cannot(file + " is named as none of the program's files: give its format with --format "
                      "(blender, blenderplus, ipc, dd16, j1587 or j1939)");
    if (named) format = named;
    std::string bytes, why;
    if (!readWhole(path, bytes, why)) return cannot("cannot read " + file + ": " + why);
    const Findings found = examine(bytes, *format);
    say(title(file, *format, bytes.size()));
    report(found);
    say(verdict(file, found, false));
    if (!fixIt || !found.problems) return found.problems ? kProblemsLeft : kClean;
    return fix(path, *format, found);
}
