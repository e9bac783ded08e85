#include "played.h"

#include <cstdio>

#include "../app/statustip.h"
#include "../platform/runtime.h"
#include "../serial/comcfg.h"
#include "../stream/datafile.h"
#include "../stream/streams.h"
#include "stamp.h"

void EventLog::add(EventKind kind, int device, long long count, const std::string& why)
{
    if (count_ == events_.size()) {
        ++lost_;
        return;
    }
    PlayEvent& event = events_[(first_ + count_++) % events_.size()];
    event.kind = kind;
    event.device = device;
    event.count = count;
    event.why = why;  // the slot's own buffer, reused
    event.when = std::chrono::system_clock::now();
}

namespace {

// Port numbers of the devices named by a path or an address: apart from every
// COM number a site may use.
constexpr int kNamedPortBase = 1000;

}  // namespace

PlayedDevice::PlayedDevice(const PlayDevice& settings, int index, EventLog& log, long long loops)
    : settings_(settings), index_(index), log_(log), loopsWanted_(loops)
{
    device_.format = settings.format;
    device_.recording = settings.recording;
    if (settings.format->kind == FileKind::Text && settings.baud) device_.textBaud = settings.baud;
    if (settings.format->fixedBaud && settings.baud && settings.baud != settings.format->fixedBaud)
        device_.lineBaud = settings.baud;
    if (settings.portKind == PortKind::Com) {
        device_.comport = settings.comNumber;
    } else {
        device_.comport = kNamedPortBase + index;
        device_.portName = settings.port;
    }
}

std::string PlayedDevice::loadTimed()
{
    if (settings_.timing == Timing::Fixed) return {};
    TimedRecording recording;
    const std::string wrong = LoadTimed(settings_.recording, *settings_.format, settings_.timing, recording);
    if (wrong.empty()) timed_.emplace(std::move(recording), settings_.speed);
    return wrong;
}

std::string PlayedDevice::overload() const
{
    if (!timed_) return {};
    const double needs = timed_->recording().bytesPerSecond(settings_.speed);
    const double carries = LineBaud(device_) / 10.0;  // 8N1: ten bits a byte
    if (needs <= carries) return {};
    char text[200];
    std::snprintf(text, sizeof text,
                  "the recording needs %.0f bytes a second and the line carries %.0f at %d baud: frames would be "
                  "dropped; a faster gateway (baud = 460800 or 921600) or a lower speed carries it",
                  needs, carries, LineBaud(device_));
    return text;
}

void PlayedDevice::startClock(std::chrono::steady_clock::time_point t0)
{
    if (timed_) timed_->start(t0);
}

std::chrono::steady_clock::time_point PlayedDevice::due() const
{
    const bool sending = timed_ && device_.ticking != Ticking::None && state_ != PlayState::Done &&
                         ComPortReady(device_.comport) == 1;
    return sending ? timed_->due() : std::chrono::steady_clock::time_point::max();
}

void PlayedDevice::sendDue(std::chrono::steady_clock::time_point now)
{
    if (due() <= now) timed_->sendDue(now, device_);
}

void PlayedDevice::start()
{
    if (!loaded_) {
        LoadData(device_);
        loaded_ = true;
    }
    OpenDevicePort(device_, 0, device_.comport);
}

void PlayedDevice::retry()
{
    if (state_ == PlayState::Waiting) OpenDevicePort(device_, 0, device_.comport);
}

void PlayedDevice::prepare()
{
    if (timed_) return;  // its own times, not the clock's
    if (device_.ticking != Ticking::Text) return;
    ReadRecord(device_);
    if (settings_.timestampsNow && device_.lineLength >= 0) stamp();
}

void PlayedDevice::send()
{
    if (timed_) return;
    if (device_.ticking == Ticking::Text) SendRecord(device_);
    else if (device_.ticking == Ticking::Binary) SendChunk(device_);
}

void PlayedDevice::stamp()
{
    const int length = StampNow({device_.lineBuffer, std::size_t(kMaxLineChars)}, device_.lineLength,
                                std::chrono::system_clock::now());
    if (length >= 0) {
        device_.lineLength = length;
    } else if (!notStamped_) {
        notStamped_ = true;
        log_.add(EventKind::NotStamped, index_);
    }
}

void PlayedDevice::stop()
{
    enter(state_ == PlayState::Done ? PlayState::Done : PlayState::Ended);
    StopTicking(device_);
}

double PlayedDevice::streamingSeconds() const
{
    const double now = std::chrono::duration<double>(Clock::now() - since_).count();
    return streaming_ + (state_ == PlayState::Streaming ? now : 0);
}

double PlayedDevice::notStreamingSeconds() const
{
    const double now = std::chrono::duration<double>(Clock::now() - since_).count();
    const bool idle = state_ == PlayState::Waiting || state_ == PlayState::NoRecording;
    return notStreaming_ + (idle ? now : 0);
}

void PlayedDevice::enter(PlayState state)
{
    const auto now = Clock::now();
    const double spent = std::chrono::duration<double>(now - since_).count();
    if (state_ == PlayState::Streaming) streaming_ += spent;
    if (state_ == PlayState::Waiting || state_ == PlayState::NoRecording) {
        notStreaming_ += spent;
        if (spent > worstSeconds_) {
            worstSeconds_ = spent;
            worstWhy_ = why_;
        }
    }
    state_ = state;
    since_ = now;
}

void PlayedDevice::showSimulating(Device&)
{
    if (state_ == PlayState::Done || state_ == PlayState::Ended) return;
    const bool back = state_ == PlayState::Waiting;
    // A timed stream goes on from where it stood, its next frame due now.
    if (back && timed_) timed_->resume(std::chrono::steady_clock::now());
    enter(PlayState::Streaming);
    log_.add(back ? EventKind::PortBack : EventKind::Started, index_);
    everStreamed_ = true;
}

void PlayedDevice::showIdle(Device& device)
{
    // At the seam of a text file the window shows "IDLE" for an instant; only
    // a tick with nothing to send is a state of its own.
    if (!device.nothingToSend || state_ == PlayState::NoRecording || state_ == PlayState::Waiting) return;
    if (state_ == PlayState::Done) return;
    if (device.ticking == Ticking::None) return;  // the port failed: comFailed says why
    why_ = StatusTip(device);
    if (why_.starts_with("Idle: ")) why_.erase(0, 6);
    enter(PlayState::NoRecording);
    log_.add(EventKind::NoRecording, index_, 0, why_);
}

void PlayedDevice::showPhase(Device&)
{
    if (state_ != PlayState::NoRecording) return;
    enter(PlayState::Streaming);
    log_.add(EventKind::RecordingBack, index_);
}

void PlayedDevice::comFailed(Device& device, int code, int port)
{
    std::string why = comErrorMessage(code, port);
    if (std::string detail = comErrorDetail(device, code, port); !detail.empty()) why += " " + detail;
    const bool lost = state_ == PlayState::Streaming || state_ == PlayState::NoRecording;
    const bool news = state_ != PlayState::Waiting || why != why_;
    why_ = std::move(why);
    if (state_ != PlayState::Waiting) enter(PlayState::Waiting);
    if (news) log_.add(lost ? EventKind::PortLost : EventKind::CouldNotOpen, index_, 0, why_);
}

bool PlayedDevice::startOver(Device& device, bool changed)
{
    if (changed) {
        log_.add(EventKind::Replaced, index_);
        return true;
    }
    if (loopsWanted_ > 0 && device.loops >= loopsWanted_) {
        enter(PlayState::Done);
        log_.add(EventKind::Done, index_, device.loops);
        return false;
    }
    log_.add(EventKind::Looped, index_, device.loops);
    return true;
}
