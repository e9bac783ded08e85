// quorvex-record: records real equipment on a serial port into the file
// Quorvex replays for it, trimmed so that the replay loops cleanly.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../platform/runtime.h"
#include "../serial/comerror.h"
#include "arguments.h"
#include "check.h"
#include "outfile.h"
#include "progress.h"
#include "recording.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitRecorded = 0, kExitNothingUsable = 1, kExitBadArguments = 2, kExitPortFailed = 3;
// Short enough that Ctrl-C is answered at once, long enough not to spin.
constexpr int kReadTimeoutMs = 100;
constexpr auto kProgressEvery = std::chrono::milliseconds(500);

void say(std::FILE* to, const std::string& text) { std::fputs(text.c_str(), to); }

int refuse(const std::string& why)
{
    say(stderr, "quorvex-record: " + why + "\n(quorvex-record --help tells how to call it)\n");
    return kExitBadArguments;
}

// Opens the port as the program would; on failure says why, in the words of
// its "COM Error" box.
bool openPort(const RecordArguments& args, SerialIn& port, std::string& shown)
{
    const std::string com = args.port > 0 ? "COM" + std::to_string(args.port) : std::string();
    const std::string name = args.port > 0 ? ComDeviceName(args.port) : args.device;
    std::string device, reason;
    const int code = args.port < 0 ? kComBadPortNumber : OpenSerialIn(port, name, args.baud, device, reason);
    shown = com.empty() ? device : com + " (" + device + ")";
    if (code == 0) return true;
    const std::string detail = ComOpenDetail(code, com, name, reason);
    say(stderr, "quorvex-record: " + ComOpenMessage(code, reason) + "\n" + (detail.empty() ? "" : detail + "\n"));
    return false;
}

std::string minutesText(double minutes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g minute%s", minutes, minutes == 1 ? "" : "s");
    return text;
}

// Reads until the time or count is reached, Ctrl-C, or the port goes away;
// returns how the recording ended.
std::string recordUntilDone(SerialIn& port, Recording& recording, OutputFile& out, const RecordArguments& args,
                            Clock::time_point start, bool terminal)
{
    std::vector<char> buffer(kComQueueSize);
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(args.minutes * 60.0));
    auto nextProgress = start;
    std::size_t shownWidth = 0;
    for (;;) {
        if (Interrupted()) return "by Ctrl-C";
        if (recording.full()) return "after " + std::to_string(args.records) + (recording.isText() ? " records" : " messages");
        if (!args.records && Clock::now() >= deadline) return "after " + minutesText(args.minutes);
        if (recording.writeFailed()) return "when a write failed (" + out.writeError() + ")";
        std::string reason;
        const long long count = ReadSerialIn(port, buffer, kReadTimeoutMs, reason);
        if (count < 0) return "when the port went away (" + reason + ")";
        if (count > 0) recording.feed(std::span<const char>(buffer.data(), std::size_t(count)));
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
std::string nothingUsable(const Recording& recording, const RecordingSession& session)
{
    if (recording.writeFailed())
        return std::string("the write failed before ") +
               (recording.isText() ? "one whole record" : "a 50-byte chunk of whole messages") + " was written";
    if (recording.received() == 0)
        return "nothing arrived on " + session.port + "; is the equipment on and sending, and the cable in?";
    const std::string bytes = std::to_string(recording.received()) + " bytes arrived";
    if (recording.isText()) return bytes + " but no whole record; is the baud rate right (--baud 9600 or 19200)?";
    if (recording.units() == 0)
        return bytes + " but no whole " + std::string(session.format->fileName) + " message; is it the right link?";
    return bytes + ", too few whole messages for one 50-byte chunk that ends on a message boundary; record longer";
}

int finish(Recording& recording, OutputFile& out, RecordingSession& session, bool terminal)
{
    int result = kExitRecorded;
    if (!recording.finish()) {
        session.failure = nothingUsable(recording, session);
        out.discard();
        result = kExitNothingUsable;
    } else if (std::string failed = out.commit(); !failed.empty()) {
        session.failure = failed;
        result = kExitNothingUsable;
    } else {
        session.saved = TextOf(out.target());
        session.backup = out.backup().empty() ? std::string() : TextOf(out.backup().filename());
        session.shortened = recording.writeFailed();
    }
    say(stdout, terminal ? SummaryText(recording, session) : SummaryLine(recording, session));
    return result;
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
    CatchInterrupts();
    OutputFile out;
    // The folder's own failure, with the system's reason: the call was right.
    if (std::string wrong = out.open(PathOf(args.folder), std::string(args.format->fileName), args.force); !wrong.empty()) {
        say(stderr, "quorvex-record: " + wrong + "\n");
        return kExitBadArguments;
    }
    RecordingSession session{.format = args.format};
    SerialIn port;
    if (!openPort(args, port, session.port)) {
        out.discard();
        return kExitPortFailed;
    }
    const bool terminal = OutputIsTerminal();
    Recording recording(*args.format, args.format->fieldCount, out, args.records);
    const auto start = Clock::now();
    session.ended = recordUntilDone(port, recording, out, args, start, terminal);
    session.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    CloseSerialIn(port);
    if (terminal) say(stdout, "\n");
    return finish(recording, out, session, terminal);
}
