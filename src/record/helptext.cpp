// quorvex-record --help: the usage, the formats from the catalogue, what the
// recorder keeps, the check, the cable test, and the exit codes.
#include "arguments.h"

#include "../platform/runtime.h"

namespace {

std::string formatRows()
{
    std::string text = "FORMAT         file             device\n";
    for (const DeviceFormat& format : Formats()) {
        std::string line = "  " + std::string(format.shortName);
        line.resize(15, ' ');
        line += format.fileName;
        line.resize(32, ' ');
        line += std::string(format.device) + ", " +
                (format.fixedBaud ? std::to_string(format.fixedBaud) + " baud"
                                  : std::to_string(format.fieldCount) + " fields");
        text += line + "\n";
    }
    return text;
}

const char* const kRecording =
    "Ctrl-C ends the recording early and still writes what was recorded. A record\n"
    "that begins after a quiet line (no byte for half a second) is whole and kept,\n"
    "the first one too. What arrives must be the device's: when most of it is not\n"
    "(records of another field count, bytes that are no text, no message of the\n"
    "format: a wrong baud rate, or another device on the port), nothing is saved\n"
    "and it says what to try (exit 1); it stops at once when 20 records, or 8192\n"
    "bytes, hold nothing of the device. A recording shorter than a minute of the\n"
    "device's sending is saved with a warning: the station would see the replay\n"
    "start over every few seconds. An engine recording must hold whole messages\n"
    "that fill whole 50-byte chunks: for j1939, 50 frames of 27 bytes (1350 bytes,\n"
    "under 7 s of the replay), or 30 to 80 frames where 17-byte requests are among\n"
    "them (--records 80 at the least); with fewer, nothing is saved.\n"
    "\n"
    "Engine streams keep their times too: beside ddec.bin and hdv2.bin it saves the\n"
    "same messages, each with the time it arrived, as ddec.log (a J1587 message\n"
    "log: \"(1700000000.123456) j1587 80BE7D0014E051\") and hdv2.log (a candump log:\n"
    "\"(1700000000.123456) slcan0 0CF00400#FFFF7DC01A18FFFF\"). The window replays\n"
    "the .bin at 200 bytes a second; the summary says what the equipment sent\n"
    "(bytes a second, each J1939 parameter group's period, J1587 messages a\n"
    "second) and how much slower or faster the window is. The log keeps the\n"
    "engine's own timing: quorvex-play j1939 hdv2.log COM3 --timing recorded.\n"
    "\n"
    "A J1939 gateway is opened for the recording, as most USB-CAN adapters that\n"
    "speak SLCAN need: it is sent S5 (250 kbit/s, J1939's bitrate) and O, and C at\n"
    "the end (also after Ctrl-C; a port that has gone cannot take it).\n";

const char* const kCheck =
    "--check FILE check a recording (saved from a spreadsheet, cut by hand, made by\n"
    "             another tool) before it is replayed: lists by line, or by byte for\n"
    "             the engine streams, what would not replay cleanly: a header\n"
    "             line (a first line of words), empty lines, line ends of CR\n"
    "             alone, a last line without a line end, records longer than the\n"
    "             2047 characters sent, bytes that are not ASCII, fields separated\n"
    "             by semicolons or tabs, fields in quotes, UTF-16 text; records of\n"
    "             another field count, with their counts (\"line 6: 50 fields, not\n"
    "             51\"), a problem when no record has the device's; damaged\n"
    "             messages, stretches that are no message, a file too short for\n"
    "             one 50-byte chunk, a loop seam inside a message; and a byte\n"
    "             order mark, which the program leaves out. A log with times\n"
    "             (hdv2.log, ddec.log, any candump log) is read as the player reads\n"
    "             it: times that go back, lines that do not parse, J1587 messages\n"
    "             whose checksum fails, frames no serial line carries (CAN FD,\n"
    "             error frames); --fix leaves a log as it is\n"
    "--format F   FILE's format, when its name is none of the files above or\n"
    "             their logs (a log's own lines tell candump's from J1587's)\n"
    "--fix        with --check: write the replay-clean version in place of FILE,\n"
    "             as the recorder would have saved it, keeping the original as\n"
    "             FILE.bak (or the next free FILE.bak.1, .2, ...); fields get\n"
    "             commas between them, no quotes and decimal points when every\n"
    "             record then has the device's field count; records of another\n"
    "             field count, too long or not ASCII are kept\n"
    "\n"
    "  $ quorvex-record --check blender.csv        (saved from a spreadsheet)\n"
    "  blender.csv: a recording of the Velmara blender, 51 fields a record\n"
    "    line 1: a UTF-8 byte order mark, which the program leaves out; --fix ...\n"
    "    line 1: a header line of field names, which the program would send ...\n"
    "    line 5: empty; the program sends each as a record of its own, CR LF alone\n"
    "    note: CR LF line ends, which the program reads as LF\n"
    "  blender.csv: 2 problems: 1 header line, 1 empty line.\n"
    "  $ quorvex-record --check blender.csv --fix\n"
    "  ...\n"
    "  Fixed blender.csv (the original is now blender.csv.bak): dropped the byte\n"
    "  order mark; dropped the header line; dropped 1 empty line; wrote LF line ends.\n"
    "  blender.csv now replays cleanly.\n";

const char* const kCable =
    "--cable-test PORT_A PORT_B  with a cable between two ports: sends a pattern\n"
    "             each way at 9600, 19200 and 115200 baud and says whether the cable\n"
    "             crosses transmit and receive (null-modem: what the station needs),\n"
    "             is straight or carries nothing (nothing arrives either way), or\n"
    "             carries one way only or changes what it carries\n"
    "--cable-test PORT  with pins 2 and 3 joined at the cable's far end: whether\n"
    "             what the port sends comes back (a loopback test of the adapter\n"
    "             and the cable)\n"
    "--list       the COM numbers 1 to 16 with the device behind each, as Quorvex's\n"
    "             COM list shows them\n";

const char* const kExitCodes =
    "Exit codes: 0 recorded, 1 nothing usable recorded (nothing arrived, or not the\n"
    "device's), 2 bad arguments, 3 the port could not be opened. With --check: 0\n"
    "replays cleanly (after --fix, when given), 1 problems left, 2 bad arguments or\n"
    "an unreadable file. With --cable-test: 0 crossed (or the loopback carries) at\n"
    "every rate, 1 not, 2 one port given twice, 3 a port could not be opened.\n";

}  // namespace

std::string HelpText()
{
    std::string text =
        "Usage: quorvex-record FORMAT PORT [--minutes M | --records N] [--baud 9600|19200]\n"
        "                      [--can-bitrate B | --no-gateway-setup] [--out DIR] [--force]\n"
        "       quorvex-record --check FILE [--format FORMAT] [--fix]\n"
        "       quorvex-record --cable-test PORT_A [PORT_B]\n"
        "       quorvex-record --list\n"
        "\n"
        "Records the equipment on a serial port into the file Quorvex replays for it,\n"
        "trimmed to whole records or messages so that the replay loops cleanly.\n"
        "\n" +
        formatRows() +
        "\n"
#ifdef _WIN32
        "PORT         a COM number 1 to 16 (3 or COM3), the port Windows calls COM3,\n"
        "             or the device QUORVEX_COM<n> names when set; or a device path\n"
        "             (\\\\.\\COM20 for a port above COM16)\n"
#else
        "PORT         a COM number 1 to 16 (3 or COM3), numbered as Quorvex numbers\n"
        "             them: QUORVEX_COM<n> when set, else the n-th serial port\n"
        "             present; or a device path\n"
#endif
        "--minutes M  record for M minutes (default 15)\n"
        "--records N  record N records (text devices) or messages (engine streams)\n"
        "--baud B     text devices: 9600 or 19200 (default 19200)\n"
        "--can-bitrate B  j1939: the CAN bitrate the gateway is set to: 10000 (S0),\n"
        "             20000, 50000, 100000, 125000, 250000 (S5, the default), 500000,\n"
        "             800000 or 1000000 (S8); 500k and 1M are the same\n"
        "--no-gateway-setup  j1939: send the gateway nothing, for one that streams by\n"
        "             itself from power-up\n"
        "--out DIR    write the file, and its log, into DIR (default: the folder\n"
        "             Quorvex reads first, " + GetRecordingsDir() + ")\n"
        "--force      replace an existing file, keeping it as <file>.bak (or .bak.1,\n"
        "             .bak.2, ... beside older ones, which stay); a file that is still\n"
        "             the shipped sample is replaced without it (reinstalling Quorvex\n"
        "             restores the sample)\n"
        "--version    print quorvex-record's version\n"
        "\n" +
        std::string(kRecording) + "\n" + kCheck + "\n" + kCable + "\n" + kExitCodes;
    return text;
}
