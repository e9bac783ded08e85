// Staying awake on Linux: a logind inhibitor lock ("idle:sleep", mode
// "block") taken over the system bus. logind keeps it while the descriptor it
// hands back stays open, and drops it when the descriptor is closed, also
// when the process ends.
//
// The call is asynchronous: a wedged bus must not freeze the window. Where
// there is no system bus or no logind (a container, WSL) the program carries
// on as before, silently, and does not ask again.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>

#include "../runtime.h"

namespace {

// A connection of our own for the one call: the lock is the descriptor
// logind hands back, not the connection, so nothing stays connected.
const QString kConnection = QStringLiteral("quorvex-awake");

struct Inhibitor {
    bool wanted = false;
    bool asking = false;
    bool unavailable = false;
    QString why;                  // the reason the lock held (or asked for) gives
    QDBusUnixFileDescriptor held; // open while logind holds the lock for us
};

Inhibitor& inhibitor()
{
    static Inhibitor state;
    return state;
}

bool noLogind(const QDBusError& error)
{
    // Anything that says logind is not there, as against a refusal now.
    return error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::NoServer ||
           error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownInterface ||
           error.type() == QDBusError::UnknownMethod || error.type() == QDBusError::Disconnected;
}

void received(QDBusPendingCallWatcher* watcher, const QString& why)
{
    watcher->deleteLater();
    Inhibitor& state = inhibitor();
    state.asking = false;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    QDBusConnection::disconnectFromBus(kConnection);
    if (reply.isError()) {
        state.unavailable = noLogind(reply.error());
        return;
    }
    // Released (or the reason changed) while the call was on its way: the
    // descriptor handed back is closed at once, or swapped for the newer one.
    if (!state.wanted) return;
    state.held = reply.value();
    if (why != state.why) KeepSystemAwake(state.why.toStdString());
}

// Where no system bus is set up (a container, WSL) Qt D-Bus is not even
// started: it would start a thread of its own and keep descriptors open.
bool systemBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) return true;
    return QFile::exists(QStringLiteral("/run/dbus/system_bus_socket")) ||
           QFile::exists(QStringLiteral("/var/run/dbus/system_bus_socket"));
}

void ask(const QString& why)
{
    Inhibitor& state = inhibitor();
    if (!systemBusConfigured()) {
        state.unavailable = true;
        return;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, kConnection);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(kConnection);
        state.unavailable = true;
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                       QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("idle:sleep") << QStringLiteral("Quorvex") << why << QStringLiteral("block");
    state.asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [why](QDBusPendingCallWatcher* w) { received(w, why); });
}

}  // namespace

void KeepSystemAwake(std::string_view why)
{
    Inhibitor& state = inhibitor();
    const QString reason = QString::fromUtf8(why.data(), qsizetype(why.size()));
    state.wanted = true;
    if (state.unavailable || (state.held.isValid() && reason == state.why)) return;
    state.why = reason;
    // One call at a time; the reply to it asks again if the reason has changed.
    if (!state.asking) ask(reason);
}

void LetSystemSleep()
{
    Inhibitor& state = inhibitor();
    state.wanted = false;
    state.held = QDBusUnixFileDescriptor();
}
