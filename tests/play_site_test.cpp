// quorvex-play's inputs: a site file that is not sound is refused with every
// problem, by file, line and key; one device from the command line; --for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/runtime.h"
#include "play/playargs.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

class PlaySite : public testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/quorvex-play-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
        std::ofstream(dir / "mix.csv") << "1,2,3\n";
        fs::create_directory(dir / "afolder");
        fs::create_symlink(pty.slavePath(), dir / "link");
        pty.mapAs(7);
    }
    void TearDown() override
    {
        unsetenv("QUORVEX_COM7");
        fs::remove_all(dir);
    }

    // What the player says of args, with the folders in it named as the rows name them.
    std::string said(std::vector<std::string> args)
    {
        PlayOptions options;
        std::string text = ParsePlayArguments(args, options);
        if (text.empty() && options.check) text = PlayListing(options);
        const std::pair<std::string, std::string> names[] = {
            {dir.string() + "/", ""}, {pty.slavePath(), "PTY"}, {GetRecordingsDir(), "USER"}, {GetProjectDir(), "OWN"}};
        for (const auto& [from, to] : names)
            for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
        return text;
    }
    std::string site(const std::string& toml)
    {
        std::ofstream(dir / "site.toml") << toml;
        return said({(dir / "site.toml").string(), "--check"});
    }

    fs::path dir;
    Pty pty;
};

TEST_F(PlaySite, ASiteFileThatIsNotSoundIsRefusedWithEveryProblemByLineAndKey)
{
    // A device's first four lines; its port and the rest from line 5.
    auto device = [](const std::string& name, const std::string& rest, const std::string& format = "blender",
                     const std::string& recording = "mix.csv") {
        return "[[device]]\nname = \"" + name + "\"\nformat = \"" + format + "\"\nrecording = \"" + recording +
               "\"\n" + rest;
    };
    const std::string link = "port = \"" + (dir / "link").string() + "\"\n";
    struct Row {
        const char* name;
        std::string toml;
        std::string said;
    };
    const Row rows[] = {
        {"sound", "name = \"Pad 7\"\n" + device("mixer", "port = 7\nbaud = 9600\n"),
         "Pad 7 (site.toml): 1 device\n  mixer  blender  mix.csv  COM7 (PTY)  9600 baud\n"},
        {"TOML syntax", device("mixer", "port = \n"),
         "site.toml:5:8: Error while parsing key-value pair: expected value, saw '\\n'\n"},
        {"unknown format", device("m", "port = 7\n", "blendr"),
         "site.toml:3: device \"m\": format = \"blendr\": no such format; the formats are blender, blenderplus, ipc, "
         "dd16, j1587, j1939\n"},
        {"missing recording", device("m", "port = 7\n", "ipc", "gone.csv"),
         "site.toml:4: device \"m\": recording = \"gone.csv\": gone.csv: no such file\n"},
        {"a folder as the recording", device("m", "port = 7\n", "ipc", "afolder"),
         "site.toml:4: device \"m\": recording = \"afolder\": afolder: a folder, not a recording\n"},
        {"a device as the recording", device("m", "port = 7\n", "ipc", "/dev/null"),
         "site.toml:4: device \"m\": recording = \"/dev/null\": not a regular file, so not a recording\n"},
        {"the format's own file nowhere", "[[device]]\nname = \"pump3\"\nformat = \"ipc\"\nport = 7\n",
         "site.toml:1: device \"pump3\": no recording given, and frac.csv is in neither USER nor OWN\n"},
        {"a baud a text device does not take", device("mixer", "port = 7\nbaud = 115200\n"),
         "site.toml:6: device \"mixer\": baud = 115200: the Velmara blender takes 9600 or 19200\n"},
        {"an engine stream given a baud", device("ecm", "port = 7\nbaud = 9600\n", "j1939"),
         "site.toml:6: device \"ecm\": baud = 9600: the engine controller on SAE J1939 streams at 115200 baud, or "
         "230400, 460800 or 921600 for a fast gateway\n"},
        {"timing for a text device", device("mixer", "port = 7\ntiming = \"recorded\"\n"),
         "site.toml:1: device \"mixer\": a text device sends a record a second; timing is for engine streams\n"},
        {"recorded timing of a recording without times", device("ecm", "port = 7\ntiming = \"recorded\"\n", "j1939"),
         "site.toml:1: device \"ecm\": timing = \"recorded\" plays a log with times (a candump log for J1939, a J1587 "
         "message log), and mix.csv has none; timing = \"paced\" plays it in whole messages\n"},
        {"a required key left out", device("mixer", ""),
         "site.toml:1: device \"mixer\": no port; expected port = a COM number (3 or \"COM3\"), a device path, or "
         "\"rfc2217://HOST:PORT\" or \"tcp://HOST:PORT\"\n"},
        {"a key of the wrong type", device("mixer", "port = 7\nbaud = \"fast\"\n"),
         "site.toml:6: device \"mixer\": baud = \"fast\": expected a number, 9600 or 19200 (text devices only)\n"},
        {"two devices on one port", device("mixer", "port = \"/tmp/x\"\n") + device("m2", "port = \"/tmp/x\"\n"),
         "site.toml:10: device \"m2\": port = \"/tmp/x\": the same port as device \"mixer\" (line 5)\n"},
        {"a link to a tty and the tty", device("mixer", link) + device("m2", "port = \"" + pty.slavePath() + "\"\n"),
         "site.toml:10: device \"m2\": port = \"PTY\": the same port as device \"mixer\" (line 5, port = \"link\")\n"},
        {"a COM number mapped to a path another device names", device("mixer", link) + device("m2", "port = \"COM7\"\n"),
         "site.toml:10: device \"m2\": port = \"COM7\": the same port as device \"mixer\" (line 5, port = \"link\")\n"},
        {"one network port under both schemes",
         device("a", "port = \"tcp://gw:4001\"\n") + device("b", "port = \"RFC2217://GW:4001\"\n"),
         "site.toml:10: device \"b\": port = \"RFC2217://GW:4001\": the same port as device \"a\" (line 5, port = "
         "\"tcp://gw:4001\")\n"},
        {"a name twice", device("mixer", "port = 7\n") + device("mixer", "port = \"/tmp/x\"\n"),
         "site.toml:7: name = \"mixer\": the name of the device at line 1 too; each needs its own\n"},
        {"an unknown key in a device", device("mixer", "port = 7\nrecordng = \"x.csv\"\n"),
         "site.toml:6: device \"mixer\": unknown key \"recordng\"; did you mean \"recording\"?\n"},
        {"an unknown key at the top", "title = \"Pad 7\"\n" + device("mixer", "port = 7\n"),
         "site.toml:1: unknown key \"title\"; the keys are name, device\n"},
        {"no devices", "name = \"Pad 7\"\n",
         "site.toml: no devices: add a [[device]] table for each, with its name, format and port\n"},
        {"every problem, not the first", device("a", "port = 0\n", "x"),
         "site.toml:3: device \"a\": format = \"x\": no such format; the formats are blender, blenderplus, ipc, dd16, "
         "j1587, j1939\nsite.toml:5: device \"a\": port = 0: COM numbers run from 1 to 256\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(site(row.toml), row.said);
    }
}

TEST_F(PlaySite, OneDeviceFromTheCommandLine)
{
    const std::string mix = (dir / "mix.csv").string();
    struct Row {
        std::vector<std::string> args;
        std::string said;
    };
    const Row rows[] = {
        {{"dd16", mix, "COM7", "--baud", "9600", "--check"}, "dd16  dd16  mix.csv  COM7 (PTY)  9600 baud\n"},
        {{"blendr", "gone.csv", "COM0"},
         "quorvex-play: FORMAT \"blendr\": no such format; the formats are blender, blenderplus, ipc, dd16, j1587, "
         "j1939\nquorvex-play: RECORDING \"gone.csv\": no such file\nquorvex-play: PORT \"COM0\": COM numbers run from "
         "1 to 256\n(quorvex-play --help tells how to call it)\n"},
        {{"j1587", mix, "tcp://gw", "--baud", "9600"},
         "quorvex-play: PORT \"tcp://gw\": expected tcp://HOST:PORT, PORT a number from 1 to 65535\nquorvex-play: --baud "
         "9600: the engine controller on SAE J1587 streams at 9600 baud; leave --baud out\n(quorvex-play --help tells "
         "how to call it)\n"},
        {{"dd16", mix, "COM7", "--for", "1h", "--loops", "3"},
         "quorvex-play: --for or --loops, not both\n(quorvex-play --help tells how to call it)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0]);
        EXPECT_EQ(said(row.args), row.said);
    }
}

TEST_F(PlaySite, ForTakesHoursMinutesAndSecondsButNoBareNumber)
{
    const std::pair<const char*, double> rows[] = {
        {"90s", 90}, {"15m", 900}, {"8h", 28800}, {"1h30m", 5400}, {"1.5h", 5400}, {"1h0m5s", 3605},
        {"90", -1}, {"30m1h", -1}, {"0s", -1}, {"h", -1},
    };
    for (const auto& [given, seconds] : rows) {
        SCOPED_TRACE(given);
        PlayOptions options;
        const bool read = ParsePlayArguments({"dd16", (dir / "mix.csv").string(), "COM7", "--for", given}, options).empty();
        EXPECT_EQ(read ? options.forSeconds : -1, seconds);
    }
}

}  // namespace
