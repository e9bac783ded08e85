// quorvex-play: plays a site's devices, or one device, out of their ports.
// For now it reads and checks its inputs; the streaming engine comes next.
#include <cstdio>

#include "../platform/commandline.h"
#include "playargs.h"

int main(int argc, char* argv[])
{
    PlayOptions options;
    if (const std::string wrong = ParsePlayArguments(CommandLineArguments(argc, argv), options); !wrong.empty()) {
        std::fputs(wrong.c_str(), stderr);
        return 2;
    }
    if (options.help || options.version) {
        std::fputs((options.help ? PlayHelpText() : PlayVersionText()).c_str(), stdout);
        return 0;
    }
    if (options.check) {
        std::fputs(PlayListing(options).c_str(), stdout);
        return 0;
    }
    std::fputs("quorvex-play: streaming is not built yet; --check reads and checks the site\n", stderr);
    return 1;
}
