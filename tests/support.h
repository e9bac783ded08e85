// Shared test helpers: a fresh main panel per test, a pseudo-terminal standing
// in for the station, data files beside the test program, message box capture.
#pragma once

#include <gtest/gtest.h>

#include "app/startup.h"
#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Loads the main panel into spanel and puts the program's state back to how
// start-up finds it; releases everything afterwards.
class MainPanelTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// The far end of a serial line: the program opens the slave, the test reads the master.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slave_; }
    // Maps COM port n to this pseudo-terminal for the program.
    void mapAs(int comPort) const;
    // Reads what has arrived, waiting up to timeout for at least `atLeast` bytes
    // and running the event loop meanwhile.
    std::string read(std::size_t atLeast = 1,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    // Everything that arrives within the next quiet period.
    std::string drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(50));
    termios lineSettings() const;
    void closeMaster();
    int master() const { return master_; }

private:
    int master_ = -1;
    std::string slave_;
};

// Debian's ser2net in the foreground, on a loopback port of its own, in front
// of a device (a pseudo-terminal) at 19200 8N1: over RFC 2217, or raw TCP.
// Ended by its process id; its configuration lives in a folder of its own.
class Ser2net {
public:
    enum class Kind { Rfc2217, Raw };
    // The program, or empty when it is not on this machine.
    static std::string program();
    // Starts it and waits until it listens.
    Ser2net(Kind kind, const std::string& device);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // rfc2217://127.0.0.1:P or tcp://127.0.0.1:P
    std::string url() const;
    int port() const { return port_; }
    void stop();

private:
    Kind kind_;
    int port_ = 0;
    int pid_ = -1;
    std::string folder_;
};

// A loopback TCP port that nothing listens on.
int freeLoopbackPort();

// A main panel with COM1 on a pseudo-terminal; the data files the program
// reads are removed afterwards.
class StreamTest : public MainPanelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A stream of `format` over `contents`: its data file written beside the
    // program, the format ring set, the file loaded and COM1 opened.
    void stream(int format, const std::string& contents);
    Pty pty;
};

// The bytes of a recording shipped in data/.
std::string shippedRecording(const std::string& name);

// Runs the event loop until condition holds or limit has passed; returns
// whether it holds.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
// Runs the event loop for a while: for what must not happen meanwhile.
void pump(std::chrono::milliseconds duration);

// Writes a file beside the test program, where the program looks for its data.
void writeDataFile(const std::string& name, const std::string& contents);
void removeDataFile(const std::string& name);
std::string dataFilePath(const std::string& name);
// Writes a file into the user's recordings folder, where the program looks
// first; StreamTest removes the folder afterwards.
void writeUserDataFile(const std::string& name, const std::string& contents);

struct BoxSeen {
    std::string title;
    std::string text;
    std::string detail;  // the box's detailed text
    std::string status;  // the status text as the box is dismissed
};

// Fails the running test, and dismisses the box, when a message box shows up
// outside withBoxes.
void failOnUnexpectedBoxes();

// Runs action; every message box it shows is recorded and dismissed once it
// has been up for keepUp, its status read then.
std::vector<BoxSeen> withBoxes(const std::function<void()>& action,
                               std::chrono::milliseconds keepUp = std::chrono::milliseconds(0));
// Inside withBoxes: runs the event loop until a box has been seen (or limit).
bool waitForBox(std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

// Switches both stream timers off, so that only the test's own calls tick.
void holdTimers();

// Calls a timer callback as the timer would.
void tick(int timerControl, int times = 1);

// Picks an item of a ring as the user would, raising commit.
void pickRing(int control, int value);

// Baud rate of a termios as a number.
int baudOf(const termios& settings);

// The status text the user sees.
std::string statusText();
bool timerOn(int control);

// Open descriptors of this process; with a path, only those that lead to it.
int openDescriptorCount(const std::string& leadingTo = "");
// Processor seconds this process has used, user and system.
double cpuSeconds();
