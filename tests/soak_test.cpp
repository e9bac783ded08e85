// Long runs: the shipped recordings streamed for many ticks through a
// pseudo-terminal and checked byte for byte, and list windows opened and
// closed a thousand times; memory and descriptors stay flat. Each stream
// runs a million ticks (about 10 s here), or QUORVEX_SOAK_TICKS.
#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fault_support.h"
#include "platform/ui/inspect.h"
#include "platform/runtime.h"
#include "serial/comcfg.h"
#include "stream/datafile.h"
#include "stream/streams.h"
#include "ui/paramlists.h"
#include "ui/quorvex.h"

namespace {

long soakTicks()
{
    const char* set = std::getenv("QUORVEX_SOAK_TICKS");
    return set && *set ? std::atol(set) : 1000000;
}

class Soak : public StreamTest {
protected:
    // Streams `file` for the soak's ticks; `wire` gives the bytes one loop of
    // the file should send. Reads and compares after every `batch` ticks.
    void soak(int format, const char* file, int timer, const std::string& wire, int batch)
    {
        stream(format, shippedRecording(file));
        holdTimers();
        const long ticks = soakTicks();
        const std::size_t perTick = timer == DTIMER ? std::size_t(kChunkSize) : 0;
        std::size_t at = 0;  // where in `wire` the next byte should come from
        Footprint start;
        auto begun = std::chrono::steady_clock::now();
        for (long done = 0; done < ticks; done += batch) {
            if (done == ticks / 10) start = footprint();
            std::string expected;
            for (int i = 0; i < batch; ++i) {
                tick(timer);
                // A text record runs to its LF; a chunk is 50 bytes.
                std::size_t length = perTick ? perTick : wire.find('\n', at) + 1 - at;
                expected += wire.substr(at, length);
                at = (at + length) % wire.size();
            }
            std::string got = readSoon(pty, expected.size());
            ASSERT_EQ(got.size(), expected.size()) << "after " << done << " ticks";
            ASSERT_TRUE(got == expected) << "bytes differ after " << done << " ticks";
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        Footprint end = footprint();
        EXPECT_EQ(end.descriptors, start.descriptors);
        expectHeapFlat(start, end, 64 * 1024);
        RecordProperty("ticks", std::to_string(ticks));
        std::printf("%ld ticks of %s in %.1f s, %zu loops; heap %+lld bytes, descriptors %+d\n", ticks, file,
                    seconds, std::size_t(ticks * (perTick ? perTick : wire.size() / recordsOf(wire).size())) /
                                 wire.size(),
                    (long long)end.heap - (long long)start.heap, end.descriptors - start.descriptors);
    }
};

TEST_F(Soak, TextTicksSendTheShippedFileByteForByteLoopAfterLoop)
{
    const std::string file = shippedRecording("blender.csv");
    std::string wire;
    for (const std::string& record : recordsOf(file)) wire += record + "\r\n";
    soak(0, "blender.csv", ATIMER, wire, 8);
}

TEST_F(Soak, BinaryTicksSendTheShippedRecordingByteForByteLoopAfterLoop)
{
    const std::string recording = shippedRecording("hdv2.bin");
    // Every whole chunk that leaves one byte after it.
    const std::size_t sent = (recording.size() - 1) / kChunkSize * kChunkSize;
    soak(2, "hdv2.bin", DTIMER, recording.substr(0, sent), 40);
}

TEST_F(Soak, AThousandListWindowsOpenedAndClosedLeaveNothingBehind)
{
    const int topLevels = int(QApplication::topLevelWidgets().size());
    auto openAndClose = [](int times) {
        for (int i = 0; i < times; ++i) {
            // Straight through the run-time layer, and as the buttons do.
            int list = LoadPanel(0, kUirFile, BLENDPANEL);
            ASSERT_GT(list, 0);
            DisplayPanel(list);
            DiscardPanel(list);
            SetCtrlVal(spanel, FORMAT, i % 2 ? 3 : 5);
            ShowPanel(spanel, SHOW, EVENT_COMMIT, nullptr, 0, 0);
            ASSERT_EQ(LoadedPanelCount(), 2);
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (!window->isVisible() || window == PanelWidget(spanel)) continue;
                window->grab();   // drawn, as on a screen: the style keeps what it may draw again
                window->close();  // its close box
            }
            ASSERT_EQ(LoadedPanelCount(), 1);
            // What the running event loop does between two clicks: discarded
            // windows go, and Qt lets go of what it kept for them.
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    };
    openAndClose(50);
    Footprint start = footprint();
    ASSERT_NO_FATAL_FAILURE(openAndClose(1000));
    Footprint end = footprint();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevels);
    EXPECT_EQ(end.descriptors, start.descriptors);
    expectHeapFlat(start, end, 64 * 1024);
}

}  // namespace
