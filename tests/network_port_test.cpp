// Ports on the network: Debian's ser2net in front of a pseudo-terminal stands
// in for a serial device server (RFC 2217 or raw TCP); the test reads the
// pseudo-terminal as the station would.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "support.h"

namespace {

class NetworkPort : public MainPanelTest {
protected:
    void SetUp() override
    {
        MainPanelTest::SetUp();
        losses = 0;
        InstallComLostHandler([](int) { ++losses; });
    }
    static int losses;
};
int NetworkPort::losses = 0;

#define SKIP_WITHOUT_SER2NET() \
    if (Ser2net::program().empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)"

int openPort(const std::string& url, int baud = 9600)
{
    return OpenComConfig(1, url, baud, Parity::None, 8, 1, kComQueueSize, kComQueueSize);
}

// Runs the event loop until the condition holds or 5 s have gone.
bool waitFor(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition() && std::chrono::steady_clock::now() < deadline) pump(std::chrono::milliseconds(5));
    return condition();
}

// A J1939 chunk as the engine streams send it: 0xFF, CR, NUL and what would
// be Telnet commands (IAC SE, IAC WILL) must all arrive as they are.
const std::string kEngineChunk = [] {
    std::string chunk("\xff\xff\x0d\x00\xff\xf0\x0d\x0a\xff\xfb\x01\x7e", 12);
    while (chunk.size() < 50) chunk += char(0xF0 + chunk.size() % 16);
    return chunk;
}();

TEST_F(NetworkPort, StationGetsTheBytesWrittenAtTheLineItWasOpenedWith)
{
    SKIP_WITHOUT_SER2NET();
    struct Row {
        Ser2net::Kind kind;
        int baud;
        std::string bytes;
        int lineBaud;  // ser2net's own setting is 19200: raw TCP leaves it
    };
    const Row table[] = {
        {Ser2net::Kind::Rfc2217, 9600, "$WIMDA,30.1,I,1.019,B,21.4,C*2F\r\n", 9600},
        {Ser2net::Kind::Rfc2217, 115200, kEngineChunk, 115200},
        {Ser2net::Kind::Raw, 9600, kEngineChunk, 19200},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(testing::Message() << "baud " << row.baud);
        Pty pty;
        Ser2net server(row.kind, pty.slavePath());
        ASSERT_EQ(openPort(server.url(), row.baud), 0);
        ASSERT_TRUE(waitFor([] { return ComPortReady(1) == 1; })) << ComErrorDetail(1);
        ComWrt(1, row.bytes);
        const std::string got = pty.read(row.bytes.size());
        EXPECT_EQ(std::pair(got, baudOf(pty.lineSettings())), std::pair(row.bytes, row.lineBaud));
        CloseCom(1);
    }
}

TEST_F(NetworkPort, WritesWhileConnectingAreDroppedUncounted)
{
    SKIP_WITHOUT_SER2NET();
    Pty pty;
    Ser2net server(Ser2net::Kind::Rfc2217, pty.slavePath());
    // A name to look up: the connect cannot be done within the open.
    ASSERT_EQ(openPort("rfc2217://localhost:" + std::to_string(server.port())), 0);
    ComWrt(1, std::string_view("early\r\n"));
    ASSERT_TRUE(waitFor([] { return ComPortReady(1) == 1; })) << ComErrorDetail(1);
    ComWrt(1, std::string_view("ready\r\n"));
    const std::string got = pty.read(7);
    EXPECT_EQ(std::pair(got, ComDroppedWrites(1)), std::pair(std::string("ready\r\n"), 0LL));
}

TEST_F(NetworkPort, LossIsReportedOnceWithTheSystemsReason)
{
    SKIP_WITHOUT_SER2NET();
    struct Row {
        bool serverEndsWhileStreaming;
        int code;
        std::string reason;  // the far end's address follows
    };
    const Row table[] = {
        {true, kComNotFound, "the connection was closed by 127.0.0.1:"},
        {false, kComCannotOpen, "connection refused by 127.0.0.1:"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.reason);
        losses = 0;
        Pty pty;
        Ser2net server(Ser2net::Kind::Raw, pty.slavePath());
        const int port = row.serverEndsWhileStreaming ? server.port() : freeLoopbackPort();
        ASSERT_EQ(openPort("tcp://127.0.0.1:" + std::to_string(port)), 0);
        if (row.serverEndsWhileStreaming) {
            ASSERT_TRUE(waitFor([] { return ComPortReady(1) == 1; })) << ComErrorDetail(1);
            for (int record = 0; record < 5; ++record) {
                ComWrt(1, kEngineChunk);
                pty.read(kEngineChunk.size());
            }
            server.stop();
        }
        waitFor([&] {
            ComWrt(1, kEngineChunk);
            return losses > 0;
        });
        pump(std::chrono::milliseconds(200));  // a second report would come by now
        const std::string seen = std::to_string(losses) + " lost, open " + std::to_string(ComPortReady(1)) +
                                 ", code " + std::to_string(ComLostCode(1)) + ": " + ComErrorDetail(1);
        EXPECT_EQ(seen, "1 lost, open " + std::to_string(kComNotOpen) + ", code " + std::to_string(row.code) + ": " +
                            row.reason + std::to_string(port));
    }
}

TEST_F(NetworkPort, MalformedNamesAreRefusedWithoutAConnect)
{
    for (const char* name : {"tcp://:7001", "rfc2217://127.0.0.1", "tcp://127.0.0.1:", "tcp://127.0.0.1:0",
                             "rfc2217://127.0.0.1:65536", "tcp://127.0.0.1:70a", "rfc2217://::1:7001",
                             "tcp://[::1]7001", "TCP://host/x:7001"}) {
        SCOPED_TRACE(name);
        const int result = openPort(name);
        EXPECT_EQ(std::pair(result, ComErrorDetail(1).substr(0, 20)),
                  std::pair(kComBadSettings, std::string("not a network port: ")));
    }
}

TEST_F(NetworkPort, WindowShowsOneBoxForAPortItCouldNotOpen)
{
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(freeLoopbackPort());
    struct Row {
        std::string name;
        std::string box;  // its text and its details
    };
    const Row table[] = {
        {"tcp://127.0.0.1:0", "Could not open COM port. COM1 is tcp://127.0.0.1:0: not a network port: the port "
                              "number must be 1 to 65535 (tcp://HOST:PORT)"},
        {refused, "Could not open COM port. COM1 is " + refused + ": connection refused by " + refused.substr(6)},
    };
    InstallComLostHandler(comPortLost);
    for (const Row& row : table) {
        setenv("QUORVEX_COM1", row.name.c_str(), 1);
        std::string seen;
        for (const BoxSeen& box : withBoxes([] {
                 openComCfg(0, 1);
                 pump(std::chrono::milliseconds(300));
             }))
            seen += box.text + " " + box.detail;
        EXPECT_EQ(seen, row.box);
    }
}

constexpr std::size_t kLongRecord = 2000;

// What a station reads from its end of a connection until the port closes it.
std::string readToEnd(int listener, std::chrono::milliseconds pause)
{
    const int connection = ::accept(listener, nullptr, nullptr);
    std::string got;
    char buffer[256];
    for (ssize_t n; (n = ::read(connection, buffer, sizeof buffer)) > 0;) {
        got.append(buffer, std::size_t(n));
        std::this_thread::sleep_for(pause);
    }
    ::close(connection);
    return got;
}

// A server that takes the connection and reads nothing until the port closes:
// either it reads again while the port closes (the close hands the queue over),
// or only after the port has closed and opened again (the torn record's tail
// is kept for that open and goes first).
TEST_F(NetworkPort, ServerThatStopsReadingGetsWholeRecordsAndTheRestDropped)
{
    for (const bool readsWhileClosing : {true, false}) {
        SCOPED_TRACE(readsWhileClosing ? "reads while the port closes" : "reads after it opened again");
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        ::listen(listener, 2);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        ASSERT_EQ(openPort(url), 0);
        ASSERT_TRUE(waitFor([] { return ComPortReady(1) == 1; })) << ComErrorDetail(1);
        // Long numbered records, so that the system takes some of one in part
        // and the station can tell a torn or repeated one.
        auto record = [](int n) {
            std::string bytes = std::to_string(10000 + n);
            while (bytes.size() < kLongRecord) bytes += kEngineChunk;
            return bytes.substr(0, kLongRecord);
        };
        // Until the system's buffers are full to the byte, records dropped on the way.
        std::vector<std::string> accepted;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        for (int n = 0; std::chrono::steady_clock::now() < until; ++n) {
            if (ComWrt(1, record(n)) > 0) accepted.push_back(record(n));
            if (n % 20 == 0) pump(std::chrono::milliseconds(1));
        }
        const bool dropped = ComDroppedWrites(1) > 0;
        std::string got;
        if (readsWhileClosing) {
            // Slower than the port writes, so that the close has to wait for it.
            std::thread station([&] { got = readToEnd(listener, std::chrono::milliseconds(1)); });
            CloseCom(1);
            station.join();
        } else {
            CloseCom(1);
            ASSERT_EQ(openPort(url), 0);
            ASSERT_TRUE(waitFor([] { return ComPortReady(1) == 1; })) << ComErrorDetail(1);
            pump(std::chrono::milliseconds(100));
            CloseCom(1);
            got = readToEnd(listener, {});
            got += readToEnd(listener, {});
        }
        ::close(listener);
        // Every record whole, in order; all of them when the close could hand them over.
        std::string sent;
        for (const std::string& one : accepted) sent += one;
        const bool whole = readsWhileClosing ? got == sent
                                             : got.size() % kLongRecord == 0 && sent.compare(0, got.size(), got) == 0;
        EXPECT_EQ(std::string(dropped ? "some dropped, " : "none dropped, ") + (whole ? "the rest whole" : "torn"),
                  "some dropped, the rest whole");
    }
}

}  // namespace
