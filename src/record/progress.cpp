#include "progress.h"

#include "arguments.h"
#include "likeness.h"
#include "outfile.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

namespace {

// Shorter passes than this the station notices as the recording starting over.
constexpr double kShortestPass = 60;

std::string number(std::int64_t value) { return std::to_string(value); }

std::string plural(std::int64_t count, const std::string& one, const std::string& many)
{
    return number(count) + " " + (count == 1 ? one : many);
}

std::string unitName(const Recording& recording, std::int64_t count)
{
    return recording.isText() ? (count == 1 ? "record" : "records") : (count == 1 ? "message" : "messages");
}

// " (lines 4, 9, 12, ...)" or " (at bytes 523, ...)"
std::string where(const ProblemTally& tally, const std::string& what)
{
    std::string text = " (" + what + (tally.count == 1 ? " " : "s ");
    for (std::size_t i = 0; i < tally.firstOffsets.size(); ++i)
        text += (i ? ", " : "") + number(tally.firstOffsets[i]);
    return text + (tally.count > std::int64_t(tally.firstOffsets.size()) ? ", ...)" : ")");
}

// kept: said of records saved as they came, when the recording is saved.
std::string textProblems(const TextCounts& counts, int fields, const std::string& kept)
{
    std::string text;
    if (counts.foreign.count)
        text += plural(counts.foreign.count, "record", "records") + " with other than " + number(fields) +
                " fields, at " + FieldCountsAt(counts, "line") +
                (counts.foreign.count > std::int64_t(counts.foreignFields.size()) ? ", ..." : "") + kept;
    if (counts.overlong.count)
        text += (text.empty() ? "" : "; ") + plural(counts.overlong.count, "record", "records") +
                " longer than the 2047 characters Quorvex sends" + where(counts.overlong, "line") + kept;
    return text;
}

std::string engineProblems(const FramingCounts& counts)
{
    std::string text;
    if (counts.checksumFailures.count)
        text += plural(counts.checksumFailures.count, "checksum failure", "checksum failures") +
                where(counts.checksumFailures, "at byte");
    if (counts.unparsable.count)
        text += (text.empty() ? "" : "; ") + plural(counts.unparsable.count, "unparsable stretch", "unparsable stretches") +
                " of " + plural(counts.unparsable.bytes, "byte", "bytes") + where(counts.unparsable, "at byte");
    return text.empty() ? text : text + ", left out";
}

// Said of a recording cut back after a failed write.
constexpr const char* kShortened = ", cut back to what was written whole before the write failed";

// What the saved file took the place of.
std::string savedOver(const RecordingSession& session)
{
    if (session.replacedSample) return " (in place of the shipped sample, which " + session.sampleRestore + ")";
    return session.backup.empty() ? "" : " (the old one is now " + session.backup + ")";
}

// "./hdv2.bin and ./hdv2.log", with what each took the place of.
std::string savedFiles(const RecordingSession& session)
{
    std::string text = session.saved + (session.shortened ? kShortened : "") + savedOver(session);
    if (session.savedLog.empty()) return text;
    return text + " and " + session.savedLog +
           (session.logBackup.empty() ? "" : " (the old one is now " + session.logBackup + ")");
}

// What the window makes of the equipment's rate, and what keeps it; or why
// the log that would was not saved.
std::string replayNote(const Recording& recording, const RecordingSession& session)
{
    std::string text;
    if (const std::string slower = recording.rate().windowReplay(); !slower.empty()) {
        text = "the window replays it " + slower + " than the engine sent it";
        if (!session.savedLog.empty())
            text += "; quorvex-play " + std::string(session.format->shortName) + " " + session.savedLog +
                    " PORT --timing recorded keeps the engine's own timing";
    }
    if (!session.logFailure.empty())
        text += (text.empty() ? "" : "; ") + std::string("the log with times was not saved: ") + session.logFailure;
    return text;
}

std::string refusedText(const RecordingSession& session)
{
    if (!session.gatewayRefused) return {};
    return "refused " + plural(session.gatewayRefused, "command", "commands") +
           " (it answered BEL): was it open already, or set up otherwise?";
}

std::string problemsOf(const Recording& recording, const RecordingSession& session)
{
    return recording.isText() ? textProblems(recording.textCounts(), session.format->fieldCount,
                                             session.saved.empty() ? "" : ", kept")
                              : engineProblems(recording.engineCounts());
}

std::string keptLine(const Recording& recording)
{
    if (recording.isText())
        return plural(recording.units(), "record", "records") + ", " + plural(recording.kept(), "byte", "bytes") +
               ", one a line with LF line ends";
    const std::int64_t messages = recording.units() - recording.messagesPastBoundary();
    if (recording.kept() == 0) return plural(messages, "message", "messages") + ", 0 bytes";
    return plural(messages, "message", "messages") + ", " + plural(recording.kept(), "byte", "bytes") +
           " (and 1 never sent): the replay sends them all and starts over on a message boundary";
}

// After a failed write: what arrived from the record or message it tore on.
std::string notSaved(const Recording& recording, const std::string& unit)
{
    if (!recording.writeFailed()) return {};
    return ", " + plural(recording.notSaved(), "byte", "bytes") + " not saved from the " + unit +
           " the failed write tore on";
}

std::string trimmedLine(const Recording& recording)
{
    std::int64_t front, back;
    std::string text;
    if (recording.isText()) {
        const TextCounts& counts = recording.textCounts();
        front = counts.trimmedFront;
        back = counts.trimmedBack;
        text = plural(front, "byte", "bytes") + " of a partial first record, " + plural(back, "byte", "bytes") +
               " of a last record the end cut off";
        if (counts.emptyLines.count) text += ", " + plural(counts.emptyLines.count, "empty line", "empty lines");
        return text + notSaved(recording, "record");
    }
    const FramingCounts& counts = recording.engineCounts();
    text = plural(counts.trimmedFront, "byte", "bytes") + " before the first whole message, " +
           plural(counts.trimmedBack, "byte", "bytes") + " after the last";
    if (recording.messagesPastBoundary())
        text += ", " + plural(recording.messagesPastBoundary(), "message", "messages") + " (" +
                plural(recording.bytesPastBoundary(), "byte", "bytes") + ") after the last that ends a 50-byte chunk";
    return text + notSaved(recording, "message");
}

// "  kept      " and the text, wrapped to a terminal's 80 columns.
std::string field(const std::string& label, const std::string& text)
{
    constexpr std::size_t kIndent = 12, kWidth = 80;
    std::string out = "  " + label + std::string(kIndent - 2 - label.size(), ' ');
    std::size_t column = kIndent, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::size_t length = end - start;
        if (column > kIndent && column + 1 + length > kWidth) {
            out += '\n';
            out.append(kIndent, ' ');
            column = kIndent;
        } else if (column > kIndent) {
            out += ' ';
            ++column;
        }
        out += text.substr(start, length);
        column += length;
        start = end + 1;
    }
    return out + "\n";
}

}  // namespace

std::string Plural(std::int64_t count, const std::string& one, const std::string& many)
{
    return plural(count, one, many);
}

std::string FieldCountsAt(const TextCounts& counts, const std::string& unit)
{
    const std::size_t shown = counts.foreignFields.size();
    std::string text = unit + (counts.foreign.count == 1 ? " " : "s ");
    for (std::size_t i = 0; i < shown; ++i)
        text += (i ? ", " : "") + number(counts.foreign.firstOffsets[i]) + " (" +
                plural(counts.foreignFields[i], "field", "fields") + ")";
    return text;
}

std::string Elapsed(double seconds)
{
    const long total = long(seconds);
    char text[32];
    if (total >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string ProgressLine(const Recording& recording, double seconds)
{
    const std::int64_t rate = seconds > 0.5 ? std::int64_t(double(recording.received()) / seconds) : 0;
    const std::int64_t problems = recording.problems();
    std::string state = problems ? plural(problems, "problem", "problems") : "no problems";
    if (recording.notTheDevices()) state = (problems ? state + ": " : "") + "not " + WhatItIsNot(recording.format());
    return Elapsed(seconds) + "  " + plural(recording.received(), "byte", "bytes") + "  " +
           number(recording.units()) + " " + unitName(recording, recording.units()) + "  " + number(rate) +
           " B/s  " + state;
}

std::string ShortWarning(const Recording& recording)
{
    const double seconds = recording.passSeconds();
    if (seconds >= kShortestPass) return {};
    char pass[32];
    std::snprintf(pass, sizeof pass, "%g s", seconds);
    const std::int64_t units = recording.units() - (recording.isText() ? 0 : recording.messagesPastBoundary());
    return "one pass of the replay lasts " + std::string(pass) + " (" +
           plural(units, unitName(recording, 1), unitName(recording, 2)) + "): the station sees it start over every " +
           pass + "; record a minute or more";
}

std::string SummaryText(const Recording& recording, const RecordingSession& session)
{
    std::string text = "Recorded " + std::string(session.format->device) + "\n";
    text += field("from", session.port + ", " + Elapsed(session.seconds) + ", ended " + session.ended);
    text += field("received", plural(recording.received(), "byte", "bytes"));
    if (!recording.isText() && !recording.rate().text().empty()) text += field("sent", recording.rate().text());
    if (const std::string refused = refusedText(session); !refused.empty()) text += field("gateway", refused);
    if (session.saved.empty())
        text += field("found", plural(recording.units(), unitName(recording, 1), unitName(recording, 2)));
    else
        text += field("kept", keptLine(recording));
    text += field("trimmed", trimmedLine(recording));
    const std::string problems = problemsOf(recording, session);
    // "none" beside a recording that failed would read as all well.
    if (!problems.empty() || !session.saved.empty()) text += field("problems", problems.empty() ? "none" : problems);
    if (session.saved.empty()) return text + "Nothing saved: " + session.failure + "\n";
    text += "Saved " + savedFiles(session) + ".\n";
    if (const std::string note = replayNote(recording, session); !note.empty())
        text += char(std::toupper((unsigned char)note[0])) + note.substr(1) + ".\n";
    if (const std::string warning = ShortWarning(recording); !warning.empty()) text += "Warning: " + warning + ".\n";
    return text;
}

// "240 records kept (72000 bytes)", or what was found when nothing was saved.
std::string countsOf(const Recording& recording, const RecordingSession& session)
{
    if (session.saved.empty()) return plural(recording.units(), unitName(recording, 1), unitName(recording, 2)) + " found";
    return plural(recording.units() - (recording.isText() ? 0 : recording.messagesPastBoundary()),
                  unitName(recording, 1), unitName(recording, 2)) +
           " kept (" + plural(recording.kept(), "byte", "bytes") +
           (recording.isText() || !recording.kept() ? "" : " and 1 never sent") + ")";
}

std::string SummaryLine(const Recording& recording, const RecordingSession& session)
{
    std::string problems = problemsOf(recording, session);
    if (problems.empty()) problems = session.saved.empty() ? "" : "no problems";
    const std::string sent = recording.isText() ? "" : recording.rate().text();
    const std::string refused = refusedText(session);
    for (const std::string& more : {refused.empty() ? "" : "the gateway " + refused, sent.empty() ? "" : "sent " + sent,
                                    session.saved.empty() ? "" : replayNote(recording, session)})
        if (!more.empty()) problems += (problems.empty() ? "" : "; ") + more;
    if (const std::string warning = ShortWarning(recording); !warning.empty() && !session.saved.empty())
        problems += "; warning: " + warning;
    std::string line = "quorvex-record: " +
                       (session.saved.empty() ? "nothing saved: " + session.failure : "saved " + savedFiles(session)) +
                       "; " + Elapsed(session.seconds) + " from " + session.port + ", ended " + session.ended + "; " +
                       plural(recording.received(), "byte", "bytes") + " received, " + countsOf(recording, session) +
                       (problems.empty() ? "" : "; " + problems);
    return line + "\n";
}
