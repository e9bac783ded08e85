// The run-time services the program is written against: panels and controls,
// the event loop and its timers, message boxes, the taskbar text, serial ports,
// data files and paths, and the process itself. Everything behind these calls
// is Qt or the system's own; nothing above this header sees a Qt type.
//
// Two libraries stand behind it. platform_core (serial/, files/, system/)
// needs Qt Core alone, so a console program links it without Qt Widgets;
// platform (ui/) adds the engine, panels, controls, boxes and the taskbar.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <vector>

#include "ui/paneldef.h"

// Events a control callback receives.
inline constexpr int EVENT_COMMIT = 1;
inline constexpr int EVENT_VAL_CHANGED = 2;
inline constexpr int EVENT_TIMER_TICK = 15;

// Control attributes.
inline constexpr int ATTR_VISIBLE = 530;        // 0 hidden, 1 shown
inline constexpr int ATTR_ENABLED = 1271;       // timers: 0 off, 1 on
inline constexpr int ATTR_INTERVAL_MS = 1272;   // timers: read only
inline constexpr int ATTR_NUM_ITEMS = 1273;     // rings and list boxes: read only

// System attributes.
inline constexpr int ATTR_TASKBAR_BUTTON_TEXT = 1425;

// Results of the panel and control calls.
inline constexpr int UIE_NO_ERROR = 0;
inline constexpr int UIE_BAD_PANEL = -1;
inline constexpr int UIE_BAD_CONTROL = -2;
inline constexpr int UIE_BAD_ATTRIBUTE = -3;
inline constexpr int UIE_BAD_FILE = -4;

// Starts and stops the run-time engine: one per process, created first in main.
class RunTimeEngine {
public:
    RunTimeEngine(int& argc, char** argv);
    ~RunTimeEngine();
    RunTimeEngine(const RunTimeEngine&) = delete;
    RunTimeEngine& operator=(const RunTimeEngine&) = delete;
};

// User-interface files travel inside the executable; they are registered by name
// before the first LoadPanel that names them.
void RegisterUirFile(const UirFile& file);

// Panels. LoadPanel returns a new hidden copy (a handle > 0) or a negative error.
int LoadPanel(int parent, std::string_view uirFile, int panelNumber);
int DisplayPanel(int panel);
int DiscardPanel(int panel);

// Runs the event loop in the calling thread until QuitUserInterface; returns its code.
int RunUserInterface();
int QuitUserInterface(int code);

// Control values: integers for rings, toggles and list boxes, text for messages.
int GetCtrlVal(int panel, int control, int& value);
int GetCtrlVal(int panel, int control, std::string& text);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, std::string_view text);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int GetCtrlAttribute(int panel, int control, int attribute, int& value);

int SetSystemAttribute(int attribute, std::string_view text);
int GetSystemAttribute(int attribute, std::string& text);

// A modal box; returns when the user has dismissed it. A detail, when given,
// is the box's detailed text.
int MessagePopup(std::string_view title, std::string_view message, std::string_view detail = {});

// Serial ports, numbered from 1: COM numbers, which the system maps to its
// devices, or, when the open names the device itself (deviceName), any
// number the caller keeps for it.
inline constexpr int kComQueueSize = 4096;
inline constexpr int kMaxComPort = 256;  // the highest number a system names
enum class Parity { None = 0, Odd = 1, Even = 2 };

// Open results (0 is success).
inline constexpr int kComBadPortNumber = -2;
inline constexpr int kComBadSettings = -3;
inline constexpr int kComNotFound = -6;
inline constexpr int kComCannotOpen = -7;
inline constexpr int kComNotOpen = -8;
inline constexpr int kComOtherError = -9;

// A device name that is empty means COM port n's (ComDeviceName). A network
// port's name (see InstallComLostHandler) opens no device: a malformed one
// (no host, no port, a port number outside 1-65535) is kComBadSettings.
int OpenComConfig(int port, std::string_view deviceName, int baud, Parity parity,
                  int dataBits, int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
// Closes every open port as CloseCom does, and forgets what the ports carry
// from one open to the next (the tails of records torn by a close, the last
// failures): the process's serial state as it was at start.
void ResetComPorts();
// Closes every open port also when the process ends through exit() (Qt calls
// it from inside the event loop when the display goes away), so that the
// ports' lock files go with the program. Registered once, by the first port
// opened at the latest; later calls do nothing.
void CloseComPortsAtExit();
// Closes the ports together: each is given the close's hand-over of its last
// record, and a line that has stopped delays the others' close not at all.
void CloseComPorts(std::span<const int> ports);
// Queues the bytes whole or not at all; returns the count queued or a negative error.
int ComWrt(int port, std::span<const char> bytes);
int ComWrtByte(int port, int byte);
int GetOutQLen(int port);
// Whether the port takes data: 1 ready, 0 not yet (a network port while it
// connects: writes to it are dropped whole and not counted below), or
// kComNotOpen. A device on the machine is ready from its open.
int ComPortReady(int port);
// Writes dropped whole since the port was opened because the output queue had
// no room for them (a station that has stopped reading); 0 for a closed port.
long long ComDroppedWrites(int port);
// The device COM port n is: QUORVEX_COM<n> when set, else the system's own.
std::string ComDeviceName(int port);
// A device name, which is bytes, as text to show: what is not UTF-8 as \xE4.
std::string PrintableName(std::string_view bytes);
// What the operating system said about the port's last failure, for messages,
// and the device that failure was about.
std::string ComErrorDetail(int port);
std::string ComErrorDevice(int port);
// Called, once, when an open port goes away under the program (a USB adapter
// pulled out, the far end of a pseudo-terminal closed). The port is already
// closed when the handler runs, and the handler runs from the event loop.
//
// A port named `rfc2217://HOST:PORT` (RFC 2217: the line set through the
// protocol, as serial device servers and ser2net speak it) or `tcp://HOST:PORT`
// (raw bytes) is on the network: its open only starts the connect, and a
// connect refused, a host not found, no answer in 5 s, or the connection closed
// by the far end later, is such a loss too.
using ComLostHandler = void (*)(int port);
void InstallComLostHandler(ComLostHandler handler);
// How the port's last loss is to be reported, as an open result:
// kComCannotOpen when it never became ready (a network port that could not
// connect), kComNotFound when it went away while open; 0 when the port has
// not been lost since its last open. ComErrorDetail says why.
int ComLostCode(int port);
// Which device COM port n is, for the user: "/dev/ttyUSB0 - FT232R USB UART
// (FTDI)", or "no port". Reads the system's port list afresh on every call.
std::string ComPortDescription(int port);
// What a port's device name reaches, to tell two names of one port apart
// from two ports without opening either: on Linux the device after links
// (a link to a tty is the tty), on Windows the name in one case and without
// the \\.\ prefix. Equal for one port; names that reach nothing compare by name.
std::string PortIdentity(const std::string& name);
// What a user refused a device for want of permission can do about it (join
// the device's group), or empty where the system has no such remedy.
std::string PermissionRemedy(const std::string& device);

// Reading a serial device from a console program (quorvex-record): the port
// opened for input, and for output too where the recorder must talk to the
// equipment (a cable test's pattern, a CAN gateway's commands).
struct SerialIn {
    long long handle = -1;
    std::string lockFile;  // where the system has lock files: this process's, removed at the close
};

// Reading only, or writing too (the recorder's cable test sends a pattern, and
// it opens and closes SLCAN gateways), by the same claim either way.
enum class SerialInUse { Read, ReadWrite };

// Opens the device that name means (as the COM mapping or the user gives it)
// for reading: 8 data bits, no parity, 1 stop bit, no flow control, at baud,
// and held so that no other program opens it meanwhile, by the rules the
// program's own ports follow (a port another program holds is refused, the
// holder named). Returns 0, or an open result above with the system's words
// in reason; device is the path the name meant.
int OpenSerialIn(SerialIn& in, const std::string& name, int baud, std::string& device, std::string& reason,
                 SerialInUse use = SerialInUse::Read);

// Waits at most timeoutMs for bytes, then reads what has arrived. Returns the
// count read (0: none came, or a console interrupt cut the wait short), or -1
// when the device has gone or fails, with the system's words in reason.
long long ReadSerialIn(SerialIn& in, std::span<char> buffer, int timeoutMs, std::string& reason);

// On a port opened with SerialInUse::ReadWrite: writes bytes, waiting at most
// timeoutMs for the device to take them all. Returns the count written (fewer
// when the time ran out), or -1 when the device has gone or fails, with the
// system's words in reason.
long long WriteSerialIn(SerialIn& in, std::span<const char> bytes, int timeoutMs, std::string& reason);

void CloseSerialIn(SerialIn& in);

// Staying awake. While kept awake the system does not go to sleep on idle (the
// display may still blank, and a deliberate suspend still works); why is the
// reason the system shows for it. Where the system offers no way, nothing
// happens and nothing is retried each time. Calls that change nothing cost nothing.
void KeepSystemAwake(std::string_view why);
void LetSystemSleep();

// Files.
enum class FileAccess { Read };
enum class FileType { Text, Binary };
// Handle > 0 or -1. A text file starts after a UTF-8 byte order mark: the
// mark is how the file is encoded, not part of its first line.
int OpenFile(std::string_view path, FileAccess access, FileType type);
int CloseFile(int handle);
// Reads the next line without its LF (and a CR just before it) into buffer,
// at most maxChars characters and a terminating zero; the rest of a longer
// line is skipped. Returns the count read, or -2 at end of file, -1 on error.
int ReadLine(int handle, std::span<char> buffer, int maxChars);
// Whether the file at the path the handle was opened with is no longer the
// one being read: replaced by another file, truncated, rewritten, or gone.
// Lines appended to it are no change: the next ReadLine reads them. Looks at
// the file once (reads nothing when it looks as before); false for a handle
// that is not open.
bool FileRewritten(int handle);
// Reads up to buffer.size() bytes; returns the count read or -1.
std::int64_t ReadFile(int handle, std::span<std::byte> buffer);
// Size in bytes of the file at path; returns 1 when it is a file, 0 when not, -1 on error.
int GetFileInfo(std::string_view path, std::int64_t& size);
// What is at path, following links, for a message that says why it is no data
// file: a link that leads nowhere is BrokenLink, what cannot be looked at Unknown.
enum class PathKind { Missing, File, Folder, Pipe, Device, BrokenLink, Other, Unknown };
PathKind KindOfPath(std::string_view path);

// Watching a path without opening it: WatchFile takes a first look and
// returns a handle > 0; FileChangedSinceLook looks again, and is true when
// the file there is not as it was at the last look (another file, size or
// modification time; gone, or there now). Neither allocates after WatchFile.
int WatchFile(std::string_view path);
bool FileChangedSinceLook(int watch);
// Whether a regular file was at the path at the last look.
bool FileThere(int watch);
void EndWatch(int watch);

// Paths.
std::string GetProjectDir();
// The folder of the user's own recordings, where the program looks for a data
// file first: $XDG_DATA_HOME/quorvex (~/.local/share/quorvex) on Linux; the
// program's own folder on Windows. Empty when the system names none.
std::string GetRecordingsDir();
// Makes the recordings folder when it is missing; returns what went wrong, or
// an empty string.
std::string MakeRecordingsDir();
std::string MakePathname(std::string_view directory, std::string_view fileName);

// The process.
// A console program's arguments after the program's name, as the user typed
// them, in UTF-8, as every name the program handles is. On Unix they are
// argv's bytes as they are; on Windows argv holds them in the ANSI code page,
// which has no room for most names ("測試" becomes "??"), so they are taken
// from the wide command line instead.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);

// A console program: Ctrl-C (and, where the system has them, a closed
// terminal or a termination request) sets a flag instead of ending the
// program, so that it can still write what it recorded.
void CatchInterrupts();
bool Interrupted();
// Whether standard output is a terminal a person watches.
bool OutputIsTerminal();
// This process's number, and whether the process with a number runs (a
// process this user may not signal runs too): a file named for its writer
// can be told from one whose writer was killed.
long long ProcessNumber();
bool ProcessRunning(long long number);
// Its width in characters (80 where the system does not say), and ready for
// lines redrawn in place (escape sequences) and for UTF-8.
int TerminalColumns();
void PrepareTerminal();

// A console program that streams (quorvex-play): an event loop without a
// display. Ctrl-C, Ctrl-Break, a closed console or terminal and termination
// requests end RunEventLoop, and the ports still open when the process ends
// are closed, however it ends. One per process, created first in main.
class ConsoleEngine {
public:
    ConsoleEngine(int& argc, char** argv);
    ~ConsoleEngine();
    ConsoleEngine(const ConsoleEngine&) = delete;
    ConsoleEngine& operator=(const ConsoleEngine&) = delete;
};
int RunEventLoop();
void QuitEventLoop(int code);
// Ends the event loop on the console's own events (Windows: Ctrl-C,
// Ctrl-Break, the console closed; elsewhere these are signals).
void QuitOnConsoleEvents();
// Whether a termination request has come (the loop then ends, or does not start).
bool TerminationRequested();

// A schedule: tick(n, data) is called at start + n x intervalMs, n = 1, 2, ...,
// from the event loop, on absolute deadlines, so that one late call moves none
// of the others and nothing drifts. When the process could not run for a
// whole interval or more (a laptop suspended), the missed calls are not made
// up: the next call is the one due now, its n telling how many went by.
using ScheduleTick = void (*)(long long n, void* data);
int StartSchedule(int intervalMs, ScheduleTick tick, void* data);
void StopSchedule(int schedule);

// An alarm on the monotonic clock (the one steady_clock reads) at the
// system's finest resolution, for streams whose messages keep their own
// times: fired(data) is called from the event loop once the clock has passed
// the time last set. Set again from inside the call for the next time.
using AlarmFired = void (*)(void* data);
int StartAlarm(AlarmFired fired, void* data);
void SetAlarm(int alarm, std::chrono::steady_clock::time_point at);
void StopAlarm(int alarm);

// A sign, seen from outside, that the program is running: its installer and
// uninstaller look for it and ask the user to close the program before they
// replace or remove its files. Marks this process as a running copy until it
// ends, however it ends. Any number of copies may run at once (one per port):
// this only marks, it never stops another copy.
void MarkRunning();
