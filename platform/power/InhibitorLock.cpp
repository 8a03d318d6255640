#include "platform/power/InhibitorLock.h"

#include "platform/foundation/Log.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace power {
namespace {

constexpr const char* kSignature =
    "power::InhibitorLock::InhibitorLock(const std::string &, const std::string &, "
    "const std::string &)";
// A login manager answers at once; one that hangs must not hold the update back for long.
constexpr int kCallTimeoutMilliseconds = 5000;

std::atomic<unsigned> connectionsMade = 0;
std::atomic_flag warned = ATOMIC_FLAG_INIT;

// Read at each lock, not once per process as libdbus does, so that the
// lock follows the environment as it is when the work starts.
QString systemBusAddress() {
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QString("unix:path=/run/dbus/system_bus_socket")
                             : QString::fromLocal8Bit(address);
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

InhibitorLock::InhibitorLock(const std::string& what, const std::string& who,
                             const std::string& why) {
    // A connection of its own, closed once the descriptor is ours: the lock
    // lives in the descriptor, not in the connection, and nothing stays
    // connected between updates.
    const QString name = QString("quelmar-inhibitor-%1").arg(++connectionsMade);
    QString failure;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(systemBusAddress(), name);
        if (!bus.isConnected()) {
            failure = bus.lastError().message();
        } else {
            QDBusMessage call =
                QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                               "org.freedesktop.login1.Manager", "Inhibit");
            call << fromUtf8(what) << fromUtf8(who) << fromUtf8(why) << QString("block");
            const QDBusReply<QDBusUnixFileDescriptor> reply =
                bus.call(call, QDBus::Block, kCallTimeoutMilliseconds);
            if (!reply.isValid()) {
                failure = reply.error().message();
            } else if (!reply.value().isValid()) {
                failure = "the reply carries no descriptor";
            } else {
                // The reply closes its own copy when it goes.
                lock_ = foundation::FileDescriptor(
                    ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0));
                if (!lock_.valid()) {
                    failure = std::strerror(errno);
                }
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    if (!lock_.valid() && !warned.test_and_set()) {
        foundation::Log::warning(
            kSignature,
            foundation::format(
                "Could not take an inhibitor lock for \"%s\", going on without it: %s\n",
                what.c_str(), failure.toUtf8().constData()));
    }
}

} // namespace power
