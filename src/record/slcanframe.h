// SAE J1939 traffic as a serial CAN gateway sends it (SLCAN): one frame a
// line, "T" + 8 hex digits of identifier, or "t" + 3, the DLC digit, the data
// in upper-case hex, and a bare CR. "R"/"r" frames carry no data; a gateway
// set to time-stamp adds 4 hex digits before the CR.
#pragma once

#include <string>

#include "framing.h"

class SlcanFramer {
public:
    explicit SlcanFramer(MessageSink sink) : sink_(std::move(sink)) {}

    void feed(Bytes bytes);
    void finish();
    // Takes no more: the recording has what it was asked for.
    void stop() { stopped_ = true; }
    const FramingCounts& counts() const { return counts_; }

private:
    void endLine();

    MessageSink sink_;
    FramingCounts counts_;
    std::string line_;              // the frame so far, up to its CR
    std::int64_t lineBytes_ = 0;    // its length, also past what line_ keeps
    std::int64_t offset_ = 0;       // bytes of the stream seen
    std::int64_t badAt_ = 0, badBytes_ = 0;  // a run of lines that are no frame
    bool stopped_ = false;
};

// Whether line (without its CR) is one whole SLCAN frame.
bool IsSlcanFrame(std::string_view line);
