// Serial ports on the network, on Qt Network's TCP socket, the same on every
// system. Nothing here waits on the network: the connect runs in the event
// loop, with a time limit, and every failure (refused, no such host, no
// answer, closed by the far end) is a lost port, reported from the event loop.
//
// Qt's socket buffers without bound whatever it is given. Writes are handed
// to it only while it holds nothing (after flushing what it holds into the
// system's socket) and at most a queue's worth at a time, so a server that
// stops reading fills the port's own output queue, which then drops whole
// records as a device's does, and memory stays flat. What Qt holds is thereby
// always the unsent end of the last write, which a close can take back.
#include <QCoreApplication>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#include "netport.h"
#include "telnet.h"

namespace {

constexpr int kConnectSeconds = 5;
// Telnet answers kept for a socket that does not move; each is 3 bytes.
constexpr std::size_t kMostAnswers = 510;
// What Qt reads ahead of us; it all goes unread.
constexpr qint64 kReadAhead = 65536;

struct NetworkAddress {
    bool telnet = false;
    std::string host;
    quint16 port = 0;
};

bool hasScheme(std::string_view name, std::string_view scheme)
{
    return name.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), name.begin(),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? char(b - 'A' + 'a') : b); });
}

// What is wrong with a network port's name; empty when it is sound.
std::string parseAddress(std::string_view name, NetworkAddress& address)
{
    address.telnet = hasScheme(name, "rfc2217://");
    std::string_view rest = name.substr(address.telnet ? 10 : 6);
    std::string_view host;
    if (!rest.empty() && rest.front() == '[') {
        // An IPv6 address, in brackets as in a URL: [::1]:7001.
        const auto end = rest.find(']');
        if (end == std::string_view::npos) return "no ] after the address";
        host = rest.substr(1, end - 1);
        rest.remove_prefix(end + 1);
        if (!rest.empty() && rest.front() != ':') return "no port number";
    } else {
        const auto colon = rest.rfind(':');
        host = rest.substr(0, colon == std::string_view::npos ? rest.size() : colon);
        rest.remove_prefix(host.size());
        if (host.find(':') != std::string_view::npos) return "an IPv6 address goes in brackets";
    }
    if (host.empty() || host.find_first_of(" /\\@\t") != std::string_view::npos) return "no host";
    const std::string_view number = rest.empty() ? rest : rest.substr(1);
    if (number.empty()) return "no port number";
    unsigned long port = 0;
    for (char digit : number) port = digit < '0' || digit > '9' || port > 65535 ? 70000 : port * 10 + (digit - '0');
    if (port < 1 || port > 65535) return "the port number must be 1 to 65535";
    address.host = std::string(host);
    address.port = quint16(port);
    return {};
}

class NetworkSerialIo final : public SerialIo {
public:
    NetworkSerialIo(NetworkAddress address, const SerialLine& line, std::size_t queueSize, Events events);
    ~NetworkSerialIo() override;

    std::size_t writeNow(std::span<const char> bytes) override;
    void watchWritable(bool on) override;
    long long unsent() override { return socket_->bytesToWrite(); }
    void waitWritable(int ms) override;
    bool hungUp() override { return state_ == State::Lost; }
    bool writing() override { return socket_->bytesToWrite() > 0; }
    std::string takeBackUnsent() override;
    bool ready() override { return state_ == State::Ready; }
    Loss loss() override { return loss_; }

private:
    enum class State { Connecting, Ready, Lost };

    void connected();
    void readAll();
    void drained();
    void failed(QAbstractSocket::SocketError error);
    void lose(std::string reason);
    void send(std::span<const char> data);
    void post(void (NetworkSerialIo::*event)());
    void raiseWritable();
    void raiseLost() { events_.lost(); }

    NetworkAddress address_;
    std::string where_;  // HOST:PORT, for messages
    SerialLine line_;
    std::size_t queueSize_;
    Events events_;
    QTcpSocket* socket_;
    QTimer* timeout_;
    TelnetSession telnet_;
    State state_ = State::Connecting;
    Loss loss_;
    std::string answers_;         // telnet answers waiting for the socket to drain
    std::string wire_;            // the last write as it went to the socket: answers, then data
    std::size_t wireAnswers_ = 0; // how much of it was answers
    std::string data_;            // the data bytes of the last write
    bool wantWritable_ = false;
    bool writablePosted_ = false;
    bool writingNow_ = false;     // inside a write: Qt reports bytes written from within it
    // Events are raised from the event loop, never from inside a socket
    // signal (the handler may destroy the port); this says it still exists.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

NetworkSerialIo::NetworkSerialIo(NetworkAddress address, const SerialLine& line, std::size_t queueSize,
                                 Events events)
    : address_(std::move(address)), line_(line), queueSize_(queueSize), events_(std::move(events))
{
    const bool v6 = address_.host.find(':') != std::string::npos;
    where_ = (v6 ? "[" + address_.host + "]" : address_.host) + ":" + std::to_string(address_.port);
    wire_.reserve(queueSize_ * 2 + kMostAnswers);
    data_.reserve(queueSize_);
    answers_.reserve(kMostAnswers + 256);
    socket_ = new QTcpSocket;
    socket_->setReadBufferSize(kReadAhead);
    QObject::connect(socket_, &QTcpSocket::connected, socket_, [this] { connected(); });
    QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] { readAll(); });
    QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_, [this] { drained(); });
    QObject::connect(socket_, &QTcpSocket::errorOccurred, socket_,
                     [this](QAbstractSocket::SocketError error) { failed(error); });
    QObject::connect(socket_, &QTcpSocket::disconnected, socket_,
                     [this] { failed(QAbstractSocket::RemoteHostClosedError); });
    timeout_ = new QTimer(socket_);
    timeout_->setSingleShot(true);
    QObject::connect(timeout_, &QTimer::timeout, socket_, [this] {
        lose("no answer from " + where_ + " in " + std::to_string(kConnectSeconds) + " s");
    });
    timeout_->start(kConnectSeconds * 1000);
    socket_->connectToHost(QString::fromStdString(address_.host), address_.port);
}

NetworkSerialIo::~NetworkSerialIo()
{
    alive_.reset();
    // Never called from inside one of the socket's signals (events are posted).
    timeout_->disconnect();
    socket_->disconnect();
    socket_->abort();
    delete socket_;
}

void NetworkSerialIo::post(void (NetworkSerialIo::*event)())
{
    if (!QCoreApplication::instance()) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive = std::weak_ptr<char>(alive_), this, event] {
            if (!alive.expired()) (this->*event)();
        },
        Qt::QueuedConnection);
}

void NetworkSerialIo::connected()
{
    if (state_ != State::Connecting) return;
    timeout_->stop();
    state_ = State::Ready;
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // a record goes out when written
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // The system's own buffer no deeper than a device's: a server that stops
    // reading is seen by the output queue soon, not after megabytes.
    socket_->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(queueSize_));
    if (address_.telnet) answers_ = telnet_.greeting(line_);
    send({});
    if (wantWritable_) watchWritable(true);
}

void NetworkSerialIo::readAll()
{
    char buffer[4096];
    qint64 count = 0;
    while ((count = socket_->read(buffer, sizeof buffer)) > 0) {
        if (address_.telnet) telnet_.receive(std::span<const char>(buffer, std::size_t(count)), answers_);
    }
    // A server that floods negotiations while not reading loses some answers.
    if (answers_.size() > kMostAnswers) answers_.resize(kMostAnswers);
    if (!answers_.empty() && state_ == State::Ready && socket_->bytesToWrite() == 0) send({});
}

// Qt has handed bytes to the system; once it holds none, the next write may go.
void NetworkSerialIo::drained()
{
    if (writingNow_ || state_ != State::Ready || socket_->bytesToWrite() > 0) return;
    if (!answers_.empty()) send({});
    if (wantWritable_) watchWritable(true);
}

// One write of the waiting answers and then the data, flushed to the system
// at once; what it does not take stays with Qt, the end of this write.
void NetworkSerialIo::send(std::span<const char> data)
{
    wire_.assign(answers_);
    wireAnswers_ = wire_.size();
    answers_.clear();
    const std::size_t taken = address_.telnet ? TelnetSession::escape(data, queueSize_, wire_)
                                              : std::min(data.size(), queueSize_);
    if (!address_.telnet && taken > 0) wire_.append(data.data(), taken);
    data_.assign(data.data(), taken);
    if (wire_.empty()) return;
    writingNow_ = true;
    socket_->write(wire_.data(), qint64(wire_.size()));
    socket_->flush();
    writingNow_ = false;
}

std::size_t NetworkSerialIo::writeNow(std::span<const char> bytes)
{
    if (state_ != State::Ready || bytes.empty()) return 0;
    if (socket_->bytesToWrite() > 0) {
        writingNow_ = true;
        socket_->flush();
        writingNow_ = false;
        if (socket_->bytesToWrite() > 0) return 0;
    }
    send(bytes);
    return data_.size();
}

void NetworkSerialIo::watchWritable(bool on)
{
    wantWritable_ = on;
    if (!on || writablePosted_ || state_ != State::Ready || socket_->bytesToWrite() > 0) return;
    // Qt will not report bytes written again: the last write went out whole.
    writablePosted_ = true;
    post(&NetworkSerialIo::raiseWritable);
}

void NetworkSerialIo::raiseWritable()
{
    writablePosted_ = false;
    if (state_ == State::Ready && wantWritable_ && socket_->bytesToWrite() == 0) events_.writable();
}

void NetworkSerialIo::waitWritable(int ms)
{
    if (state_ != State::Ready || socket_->bytesToWrite() == 0) return;
    // Only in a close: nothing the socket reports meanwhile is acted on.
    const QSignalBlocker quiet(socket_);
    socket_->waitForBytesWritten(ms);
}

std::string NetworkSerialIo::takeBackUnsent()
{
    const auto held = std::size_t(std::max<qint64>(socket_->bytesToWrite(), 0));
    if (held == 0 || held > wire_.size()) return {};
    const std::size_t sent = wire_.size() - held;
    if (sent <= wireAnswers_) return data_;
    const std::size_t dataWire = sent - wireAnswers_;
    const std::size_t dataSent =
        address_.telnet ? TelnetSession::dataIn(std::string_view(wire_).substr(wireAnswers_), dataWire) : dataWire;
    return data_.substr(std::min(dataSent, data_.size()));
}

void NetworkSerialIo::failed(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::SocketTimeoutError: return;  // a wait in a close that ran out: not the port's end
    case QAbstractSocket::ConnectionRefusedError: return lose("connection refused by " + where_);
    case QAbstractSocket::HostNotFoundError: return lose("host not found");
    case QAbstractSocket::RemoteHostClosedError: return lose("the connection was closed by " + where_);
    default: return lose(socket_->errorString().toStdString());
    }
}

// The first failure is the one reported; the port is closed by its handler.
void NetworkSerialIo::lose(std::string reason)
{
    if (state_ == State::Lost) return;
    loss_ = {state_ == State::Ready ? kComNotFound : kComCannotOpen, std::move(reason)};
    state_ = State::Lost;
    timeout_->stop();
    post(&NetworkSerialIo::raiseLost);
}

}  // namespace

bool IsNetworkPortName(std::string_view name) { return hasScheme(name, "rfc2217://") || hasScheme(name, "tcp://"); }

std::unique_ptr<SerialIo> OpenNetworkIo(const std::string& name, const SerialLine& line, std::size_t queueSize,
                                        SerialIo::Events events, int& result, std::string& reason)
{
    NetworkAddress address;
    if (std::string problem = parseAddress(name, address); !problem.empty()) {
        result = kComBadSettings;
        reason = "not a network port: " + problem + " (" + (address.telnet ? "rfc2217" : "tcp") + "://HOST:PORT)";
        return nullptr;
    }
    result = 0;
    return std::make_unique<NetworkSerialIo>(std::move(address), line, queueSize, std::move(events));
}
