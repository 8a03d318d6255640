#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// A D-Bus daemon of the test's own that stands in for the system bus, with a
// mock login manager on it (python3-dbusmock's logind template) unless asked
// otherwise. DBUS_SYSTEM_BUS_ADDRESS names it while the object lives; both
// processes end with it, or with the test program if that dies first.
class PrivateSystemBus {
  public:
    enum class LoginManager { Present, Absent };

    // One entry of the login manager's list of inhibitor locks.
    struct Inhibitor {
        std::string what;
        std::string who;
        std::string why;
        std::string mode;
        bool operator==(const Inhibitor&) const = default;
    };

    explicit PrivateSystemBus(LoginManager loginManager = LoginManager::Present) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quelmar-bus-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create " + pattern);
        }
        folder_ = pattern;
        std::ofstream(folder_ / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><listen>unix:dir="
            << folder_.string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        startDaemon();
        if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
            previousAddress_ = previous;
        }
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        bus_ = QDBusConnection::connectToBus(QString::fromStdString(address_), kConnection);
        if (loginManager == LoginManager::Present) {
            startLoginManager();
        }
    }

    ~PrivateSystemBus() {
        QDBusConnection::disconnectFromBus(kConnection);
        for (const pid_t child : {loginManager_, daemon_}) {
            if (child > 0) {
                ::kill(child, SIGTERM);
                ::waitpid(child, nullptr, 0);
            }
        }
        if (previousAddress_) {
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previousAddress_->c_str(), 1);
        } else {
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // The bus runs, and the login manager is on it when one was asked for.
    bool ready() const { return ready_; }

    // The login manager's inhibitor locks now, from any thread.
    std::vector<Inhibitor> inhibitors() const {
        const QDBusMessage reply = bus_.call(QDBusMessage::createMethodCall(
            kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors"));
        std::vector<Inhibitor> found;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return found;
        }
        const auto list = reply.arguments().first().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            found.push_back(
                {what.toStdString(), who.toStdString(), why.toStdString(), mode.toStdString()});
        }
        list.endArray();
        return found;
    }

    // The login manager drops a lock when it sees the descriptor closed, a
    // moment later: waits, for a generous while, until the list is `expected`.
    bool waitForInhibitors(const std::vector<Inhibitor>& expected) const {
        return waitUntil([&] { return inhibitors() == expected; });
    }

  private:
    static constexpr const char* kConnection = "quelmar-private-system-bus";
    static constexpr const char* kLogin = "org.freedesktop.login1";

    static bool waitUntil(const std::function<bool()>& condition) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    void startDaemon() {
        int pipe[2];
        if (::pipe(pipe) != 0) {
            throw std::runtime_error("no pipe");
        }
        // Only async-signal-safe calls between fork and exec: other threads may hold locks.
        const std::string config = "--config-file=" + (folder_ / "bus.conf").string();
        daemon_ = ::fork();
        if (daemon_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(pipe[1], STDOUT_FILENO);
            ::close(pipe[0]);
            ::close(pipe[1]);
            ::execlp("dbus-daemon", "dbus-daemon", config.c_str(), "--nofork", "--print-address=1",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipe[1]);
        std::FILE* printed = ::fdopen(pipe[0], "r");
        char line[512] = {};
        if (std::fgets(line, sizeof line, printed) != nullptr) {
            address_ = line;
            while (!address_.empty() && address_.back() == '\n') {
                address_.pop_back();
            }
        }
        std::fclose(printed);
        ready_ = !address_.empty();
    }

    void startLoginManager() {
        loginManager_ = ::fork();
        if (loginManager_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            // Debian's interpreter, which sees Debian's python3-dbusmock.
            ::execl("/usr/bin/python3", "python3", "-m", "dbusmock", "--system", "--template",
                    "logind", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ready_ = ready_ && waitUntil([this] {
                     return bus_.interface()->isServiceRegistered(kLogin).value();
                 });
    }

    std::filesystem::path folder_;
    std::string address_;
    std::optional<std::string> previousAddress_;
    pid_t daemon_ = -1;
    pid_t loginManager_ = -1;
    QDBusConnection bus_{QString()};
    bool ready_ = false;
};
