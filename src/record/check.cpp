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
#include "findings.h"
#include "recording.h"
#include "timedlog.h"

namespace fs = std::filesystem;

namespace {

constexpr int kClean = 0, kProblemsLeft = 1, kCannotCheck = 2;

std::string number(std::int64_t value) { return std::to_string(value); }
void say(const std::string& text) { std::fputs(text.c_str(), stdout); }

void engineProblems(Findings& found, const FramingCounts& counts, bool j1587, std::int64_t size, std::int64_t seam)
{
    const std::string noMessage = j1587 ? "no message" : "no SLCAN frame";
    if (counts.trimmedFront)
        found.problem(0, "byte 0", Plural(counts.trimmedFront, "byte", "bytes") + " before the first whole message, " +
                      "which are " + noMessage, 1, "stretch that is " + noMessage, "stretches that are " + noMessage);
    Tallied(found, counts.checksumFailures, "byte", "a message whose checksum fails, which the station would reject",
            "message whose checksum fails", "messages whose checksum fails");
    Tallied(found, counts.unparsable, "byte", "bytes that are " + noMessage, "stretch that is " + noMessage,
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
    return format.kind == FileKind::Text ? ExamineText(bytes, format) : examineEngine(bytes, format);
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

// The format whose file, or whose log with times, the name is.
const DeviceFormat* formatOfName(const std::string& name)
{
    for (int value = 0; value <= 6; ++value)
        if (const DeviceFormat* format = LookupFormat(value);
            format && (format->fileName == name || (format->kind != FileKind::Text && TimedLogName(*format) == name)))
            return format;
    return nullptr;
}

// A log's format, by its first line: candump's frames have ID#DATA, a J1587
// message log's messages are hex alone.
const DeviceFormat* formatOfLog(const fs::path& path)
{
    if (!IsTimedLog(TextOf(path))) return nullptr;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    return LookupFormat(line.find('#') != std::string::npos ? 2 : 1);
}

// A log is checked line by line as the player reads it; --fix leaves it, as
// no cut of a log mends its times or its lines.
int checkLog(const fs::path& path, const DeviceFormat& format, bool fixIt)
{
    const std::string file = TextOf(path);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return cannot("cannot read " + file + ": " + (errno ? std::strerror(errno) : "cannot open it"));
    std::string title;
    const Findings found = ExamineLog(in, format, title);
    if (in.bad()) return cannot("cannot read " + file + ": a read failed");
    say(file + ": " + title + "\n");
    report(found);
    say(verdict(file, found, false));
    if (fixIt && found.problems)
        say("--fix: " + file + " is a log with times, which it leaves as it is: mend the lines listed, or record "
            "again.\n");
    return found.problems ? kProblemsLeft : kClean;
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
        if (!found.clean.empty()) say("--fix: nothing it can change; what is left is as the file has it.\n");
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
    const std::string original = out.replacedSample() ? "it was the shipped sample, which reinstalling restores"
                                                      : "the original is now " + TextOf(out.backup().filename());
    say("Fixed " + file + " (" + original + "): " + joined(found.changes, "; ") + ".\n");
    const Findings after = examine(found.clean, format);
    report(after);
    say(verdict(file, after, true));
    return after.problems ? kProblemsLeft : kClean;
}

}  // namespace

std::string Where(const ProblemTally& tally, const std::string& unit)
{
    const std::size_t shown = tally.firstOffsets.size();
    const bool more = tally.count > std::int64_t(shown);
    std::string text = unit + (tally.count == 1 ? "" : "s");
    for (std::size_t i = 0; i < shown; ++i)
        text += (i == 0 ? " " : i + 1 == shown && !more ? " and " : ", ") + number(tally.firstOffsets[i]);
    return more ? text + " and " + number(tally.count - std::int64_t(shown)) + " more" : text;
}

void Tallied(Findings& found, const ProblemTally& tally, const std::string& unit, const std::string& what,
             const std::string& one, const std::string& many)
{
    if (tally.count) found.problem(tally.firstOffsets.front(), Where(tally, unit), what, tally.count, one, many);
}

int CheckRecording(const std::string& file, const DeviceFormat* format, bool fixIt)
{
    const fs::path path = PathOf(file);
    const DeviceFormat* named = formatOfName(TextOf(path.filename()));
    if (named && format && named != format)
        return cannot(file + " is the program's " + std::string(named->shortName) + " file; --format " +
                      std::string(format->shortName) + " does not fit it");
    if (!named && !format) format = formatOfLog(path);
    if (!named && !format)
        return cannot(file + " is named as none of the program's files: give its format with --format "
                      "(blender, blenderplus, ipc, dd16, j1587 or j1939)");
    if (named) format = named;
    if (format->kind != FileKind::Text && IsTimedLog(file)) {
        std::fputs(RemoveLeftovers(path).c_str(), stderr);
        return checkLog(path, *format, fixIt);
    }
    std::string bytes, why;
    if (!readWhole(path, bytes, why)) return cannot("cannot read " + file + ": " + why);
    std::fputs(RemoveLeftovers(path).c_str(), stderr);
    const Findings found = examine(bytes, *format);
    say(title(file, *format, bytes.size()));
    report(found);
    say(verdict(file, found, false));
    if (!fixIt || !found.problems) return found.problems ? kProblemsLeft : kClean;
    return fix(path, *format, found);
}
