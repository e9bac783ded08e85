// quorvex-record: records real equipment on a serial port into the file
// Quorvex replays for it, trimmed so that the replay loops cleanly.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../platform/runtime.h"
#include "arguments.h"
#include "cabletest.h"
#include "check.h"
#include "gateway.h"
#include "likeness.h"
#include "outfile.h"
#include "progress.h"
#include "recording.h"
#include "shipped.h"
#include "timedlog.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitRecorded = 0, kExitNothingUsable = 1, kExitBadArguments = 2, kExitPortFailed = 3;
// Short enough that Ctrl-C is answered at once, long enough not to spin.
constexpr int kReadTimeoutMs = 100;
constexpr auto kProgressEvery = std::chrono::milliseconds(500);
// Half the period of a text device's records: a line quiet this long is
// between two records, so the record that comes next is whole.
constexpr auto kQuietLine = std::chrono::milliseconds(500);

void say(std::FILE* to, const std::string& text) { std::fputs(text.c_str(), to); }

int refuse(const std::string& why)
{
    say(stderr, "quorvex-record: " + why + "\n(quorvex-record --help tells how to call it)\n");
    return kExitBadArguments;
}

std::string minutesText(double minutes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g minute%s", minutes, minutes == 1 ? "" : "s");
    return text;
}

// Why a recording ends before its time or count: nothing of it is the device's.
std::string noneOfTheDevice(const Recording& recording)
{
    if (recording.isText() && recording.textCounts().records > 0)
        return "when " + std::to_string(recording.textCounts().records) + " records had come and none was the device's";
    return "when " + std::to_string(recording.received()) + " bytes had come without a whole " +
           (recording.isText() ? "record" : "message");
}

// The system clock's now: a log's times say when, not only how long after.
std::int64_t unixMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads until the time or count is reached, Ctrl-C, the port goes away, or
// clearly nothing of what comes is the device's; returns how it ended.
// answers: the gateway's to its commands, when it was sent them.
std::string recordUntilDone(SerialIn& port, Recording& recording, OutputFile& out, const RecordArguments& args,
                            GatewayAnswers* answers, Clock::time_point start, bool terminal)
{
    std::vector<char> buffer(kComQueueSize);
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(args.minutes * 60.0));
    auto nextProgress = start, lastByte = start;
    std::size_t shownWidth = 0;
    for (;;) {
        if (Interrupted()) return "by Ctrl-C";
        if (recording.full()) return "after " + std::to_string(args.records) + (recording.isText() ? " records" : " messages");
        if (!args.records && Clock::now() >= deadline) return "after " + minutesText(args.minutes);
        if (recording.writeFailed()) return "when a write failed (" + out.writeError() + ")";
        if (recording.nothingOfTheDevice()) return noneOfTheDevice(recording);
        std::string reason;
        const long long count = ReadSerialIn(port, buffer, kReadTimeoutMs, reason);
        if (count < 0) return "when the port went away (" + reason + ")";
        std::span<const char> bytes(buffer.data(), std::size_t(count));
        if (answers) bytes = answers->strip(bytes);
        if (!bytes.empty()) {
            if (Clock::now() - lastByte >= kQuietLine) recording.lineQuiet();
            lastByte = Clock::now();
            recording.feed(bytes, unixMicroseconds());
        }
        if (terminal && Clock::now() >= nextProgress) {
            nextProgress += kProgressEvery;
            std::string line = ProgressLine(recording, std::chrono::duration<double>(Clock::now() - start).count());
            const std::size_t width = line.size();
            if (width < shownWidth) line.append(shownWidth - width, ' ');
            shownWidth = width;
            say(stdout, "\r" + line);
            std::fflush(stdout);
        }
    }
}

// Why a recording holds nothing the program could replay.
std::string nothingUsable(const Recording& recording, const RecordingSession& session, int baud)
{
    if (recording.writeFailed())
        return std::string("the write failed before ") +
               (recording.isText() ? "one whole record" : "a 50-byte chunk of whole messages") + " was written";
    if (recording.received() == 0)
        return "nothing arrived on " + session.port + "; is the equipment on and sending, and the cable in?" +
               session.gatewayHint;
    if (recording.notTheDevices()) return NotTheDevice(*session.format, baud, recording.firstBytes());
    const std::string bytes = std::to_string(recording.received()) + " bytes arrived";
    if (recording.isText()) return bytes + " but no whole record; is the baud rate right (--baud 9600 or 19200)?";
    if (recording.units() == 0)
        return bytes + " but no whole " + std::string(session.format->fileName) + " message; is it the right link?";
    return bytes + ", too few whole messages for one 50-byte chunk that ends on a message boundary; record longer";
}

// How the shipped sample a recording replaced comes back.
std::string sampleRestore(const OutputFile& out)
{
    const std::filesystem::path copy = PathOf(GetProjectDir()) / out.target().filename();
    std::error_code error;
    if (!std::filesystem::equivalent(copy, out.target(), error) && !error && IsShippedSample(copy))
        return "stays beside the program in " + TextOf(copy.parent_path());
    return "reinstalling Quorvex restores";
}

// The log goes in place beside the recording when it holds the same
// messages; it goes when the recording does.
void finishLog(const Recording& recording, OutputFile& log, RecordingSession& session)
{
    if (log.temporary().empty()) return;
    if (session.saved.empty() || recording.logFailed()) {
        if (!session.saved.empty())
            session.logFailure = "a write failed (" + (log.writeError().empty() ? "a cut failed" : log.writeError()) + ")";
        log.discard();
        return;
    }
    if (std::string failed = log.commit(); !failed.empty()) {
        session.logFailure = failed;
        return;
    }
    session.savedLog = TextOf(log.target());
    session.logBackup = log.backup().empty() ? std::string() : TextOf(log.backup().filename());
}

int finish(Recording& recording, OutputFile& out, OutputFile& log, RecordingSession& session, int baud, bool terminal)
{
    int result = kExitRecorded;
    // Noise or another device's records saved under the format's name would
    // replay as the device's: none of it is saved.
    if (!recording.finish() || recording.notTheDevices()) {
        session.failure = nothingUsable(recording, session, baud);
        out.discard();
        result = kExitNothingUsable;
    } else if (std::string failed = out.commit(); !failed.empty()) {
        session.failure = failed;
        result = kExitNothingUsable;
    } else {
        session.saved = TextOf(out.target());
        session.backup = out.backup().empty() ? std::string() : TextOf(out.backup().filename());
        session.replacedSample = out.replacedSample();
        if (session.replacedSample) session.sampleRestore = sampleRestore(out);
        session.shortened = recording.writeFailed();
    }
    finishLog(recording, log, session);
    say(stdout, terminal ? SummaryText(recording, session) : SummaryLine(recording, session));
    return result;
}

// The recording's file and, for an engine stream, its log with times beside
// it. Returns "" or the folder's own failure, with the system's reason: the
// call was right.
std::string openOutputs(const RecordArguments& args, OutputFile& out, OutputFile& log)
{
    const std::filesystem::path folder = PathOf(args.folder);
    const std::string logName = TimedLogName(*args.format);
    std::string wrong = out.open(folder, std::string(args.format->fileName), args.force);
    if (wrong.empty() && !logName.empty()) wrong = log.open(folder, logName, args.force);
    if (!wrong.empty()) {
        out.discard();
        return "quorvex-record: " + wrong + "\n";
    }
    std::string said = RemoveLeftovers(out.target());
    if (!logName.empty()) said += RemoveLeftovers(log.target());
    say(stderr, said);
    return {};
}

}  // namespace

int main(int argc, char* argv[])
{
    RecordArguments args;
    if (std::string wrong = ParseArguments(CommandLineArguments(argc, argv), args); !wrong.empty()) return refuse(wrong);
    if (args.help || args.version) {
        say(stdout, args.help ? HelpText() : VersionText());
        return kExitRecorded;
    }
    if (!args.check.empty()) return CheckRecording(args.check, args.format, args.fix);
    if (args.list) return ListPorts();
    if (!args.cablePorts.empty()) return CableTest(args.cablePorts);
    CatchInterrupts();
    RecordingSession session{.format = args.format};
    const bool gateway = args.format->value == 2 && args.gatewaySetup;
    SerialIn port;
    // The port first: a file that is in the way matters only once there is
    // something to record.
    if (!OpenPort(args.port, args.baud, gateway ? SerialInUse::ReadWrite : SerialInUse::Read, port, session.port))
        return kExitPortFailed;
    OutputFile out, log;
    if (std::string wrong = openOutputs(args, out, log); !wrong.empty()) {
        CloseSerialIn(port);
        say(stderr, wrong);
        return kExitBadArguments;
    }
    const bool terminal = OutputIsTerminal();
    Recording recording(*args.format, args.format->fieldCount, out, args.records);
    if (!log.temporary().empty()) recording.keepTimes(log);
    GatewayAnswers answers;
    if (gateway) {
        session.gatewayHint = " (the gateway was opened at " + std::to_string(args.canBitrate / 1000) +
                              " kbit/s: is that the bus's bitrate? --can-bitrate gives another)";
        if (std::string failed = OpenGateway(port, args.canBitrate); !failed.empty())
            say(stderr, "quorvex-record: " + failed + "\n");
    }
    const auto start = Clock::now();
    session.ended = recordUntilDone(port, recording, out, args, gateway ? &answers : nullptr, start, terminal);
    session.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (gateway) CloseGateway(port);
    session.gatewayRefused = answers.refused();
    CloseSerialIn(port);
    if (terminal) say(stdout, "\n");
    return finish(recording, out, log, session, args.baud, terminal);
}
