// quorvex-play: streams a whole site from one laptop, or from a script: many
// devices, each from its own recording on its own port, on one clock, by the
// rules the window streams its one device.
#include <cstdio>
#include <string>
#include <vector>

#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "playargs.h"
#include "session.h"

int main(int argc, char* argv[])
{
    PlayOptions options;
    const std::string wrong = ParsePlayArguments(CommandLineArguments(argc, argv), options);
    if (options.help) {
        std::fputs(PlayHelpText().c_str(), stdout);
        return kExitStreamed;
    }
    if (options.version) {
        std::fputs(PlayVersionText().c_str(), stdout);
        return kExitStreamed;
    }
    if (!wrong.empty()) {
        std::fputs(wrong.c_str(), stderr);
        return kExitBadArguments;
    }
    if (options.check) {
        std::fputs(PlayListing(options).c_str(), stdout);
        return kExitStreamed;
    }
    MarkRunning();
    // The run-time gets the program's name alone: the arguments are ours.
    int engineArgc = 1;
    char* engineArgv[] = {argv[0], nullptr};
    ConsoleEngine engine(engineArgc, engineArgv);
    InstallComLostHandler(comPortLost);
    Session session(options);
    if (std::string wrong = session.load(); !wrong.empty()) {
        std::fputs(wrong.c_str(), stderr);
        return kExitBadArguments;
    }
    return session.run();
}
