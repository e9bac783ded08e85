#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/startup.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "ui/quorvex.h"

namespace {
int master = -1;
RunTimeEngine* engine = nullptr;
}

void startProgram(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Data files are written beside the program; none of the user's own is read first.
    static char userData[] = "/tmp/quorvex-fuzz-XDG-XXXXXX";
    if (!mkdtemp(userData)) fail("no folder for the user's data");
    setenv("XDG_DATA_HOME", userData, 1);
    // Qt gets its own copy of the arguments: it would take away those it knows.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    engine = new RunTimeEngine(qtArgc, qtArgv);
    RegisterUirFile(QuorvexUir());
    spanel = LoadPanel(0, kUirFile, PANEL);
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (spanel <= 0 || master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) fail("no panel or no pty");
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    setenv("QUORVEX_COM1", ptsname(master), 1);
    comport = 1;
    if (openComCfg(0, 1) != 1) fail("COM1 did not open");
    // The fuzzers call the tick callbacks themselves.
    SetCtrlAttribute(spanel, ATIMER, ATTR_ENABLED, 0);
    SetCtrlAttribute(spanel, DTIMER, ATTR_ENABLED, 0);
    // libFuzzer ends with exit(): the port and the engine must go before the
    // C++ runtime destroys what they use, as they do at the end of main.
    std::atexit([] {
        CloseCom(1);
        delete engine;
        rmdir(userData);
    });
}

void writeDataFile(const std::string& name, std::string_view contents)
{
    std::ofstream out(MakePathname(GetProjectDir(), name), std::ios::binary | std::ios::trunc);
    out.write(contents.data(), std::streamsize(contents.size()));
}

void sparseDataFile(const std::string& name, long long size)
{
    const std::string path = MakePathname(GetProjectDir(), name);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, off_t(size)) != 0) fail("cannot make a sparse file");
    ::close(fd);
}

std::string readSent(std::size_t count)
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    char buffer[4096];
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, std::size_t(n));
            continue;
        }
        pollfd fd{master, POLLIN, 0};
        poll(&fd, 1, 10);
    }
    return got;
}

std::string readWaiting()
{
    std::string got;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(master, buffer, sizeof buffer)) > 0) got.append(buffer, std::size_t(n));
    return got;
}

void fail(const std::string& what)
{
    std::fprintf(stderr, "INVARIANT BROKEN: %s\n", what.c_str());
    std::abort();
}
