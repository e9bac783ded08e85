// Quorvex: stands in for field equipment on a serial line by replaying a
// recorded data file out of a COM port, in an endless loop.
#include "../platform/runtime.h"
#include "../ui/quorvex.h"
#include "startup.h"

int main(int argc, char* argv[])
{
    MarkRunning();
    RunTimeEngine engine(argc, argv);
    RegisterUirFile(QuorvexUir());
    if (!startUp()) return 1;
    RunUserInterface();
    shutDown();
    return 0;
}
