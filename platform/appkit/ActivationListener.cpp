#include "platform/appkit/ActivationListener.h"

#include "platform/foundation/Log.h"

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace appkit {
namespace {

constexpr const char* kListenSignature = "static std::unique_ptr<ActivationListener> "
                                         "ActivationListener::listen(const std::filesystem::path&, "
                                         "std::function<void()>)";
constexpr std::string_view kRequest = "activate\n";
constexpr std::string_view kReply = "activated\n";
// Clients served at once; more are closed as they come.
constexpr std::size_t kMostClients = 4;
// Connections taken at one notice: a flood of them waits for the next, between other events.
constexpr int kAcceptsPerNotice = 16;
// How long a client may take to send its request.
constexpr auto kClientPatience = std::chrono::seconds(2);
// How long a later launch waits for the answer: the running instance may be busy for a moment.
constexpr int kAnswerPatienceSeconds = 5;
// How long accepting rests when the system refuses more descriptors, so that a listening socket
// that stays readable does not keep the GUI thread spinning.
constexpr auto kAcceptRest = std::chrono::seconds(1);

// The folder's own name, when it can be learned, rather than the descriptor's path that reaches it.
std::string shown(const std::filesystem::path& path) {
    std::error_code error;
    const auto folder = std::filesystem::canonical(path.parent_path(), error);
    return (error ? path : folder / path.filename()).string();
}

bool addressFor(const std::filesystem::path& path, sockaddr_un& address) {
    const std::string text = path.string();
    address = {};
    address.sun_family = AF_UNIX;
    if (text.size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

bool fromThisUser(int socket) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

} // namespace

std::unique_ptr<ActivationListener>
ActivationListener::listen(const std::filesystem::path& socketPath,
                           std::function<void()> activate) {
    const auto refuse = [&socketPath](const std::string& why) {
        foundation::Log::error(kListenSignature,
                               shown(socketPath) + " " + why +
                                   "; a later launch cannot bring this window to the front.");
        return nullptr;
    };
    // Only one instance runs at a time, so a socket found here was left by one that has ended.
    struct stat existing {};
    if (::lstat(socketPath.c_str(), &existing) == 0 &&
        (!S_ISSOCK(existing.st_mode) || existing.st_uid != ::geteuid())) {
        return refuse("is not a socket of this user");
    }
    foundation::FileDescriptor socket(
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    // Made under a name of this process's own and renamed once it listens, so that the socket
    // appears ready to answer, in place of a stale one.
    const auto making = socketPath.parent_path() /
                        (socketPath.filename().string() + "." + std::to_string(::getpid()));
    sockaddr_un address{};
    if (!socket.valid() || !addressFor(making, address)) {
        return refuse(std::string("cannot be made (") + std::strerror(errno) + ")");
    }
    ::unlink(making.c_str());
    struct stat made {};
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(making.c_str(), 0600) != 0 || ::listen(socket.get(), SOMAXCONN) != 0 ||
        ::lstat(making.c_str(), &made) != 0 || ::rename(making.c_str(), socketPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(making.c_str());
        return refuse(std::string("cannot be made (") + std::strerror(error) + ")");
    }
    return std::unique_ptr<ActivationListener>(new ActivationListener(
        std::move(socket), socketPath, made.st_dev, made.st_ino, std::move(activate)));
}

ActivationListener::ActivationListener(foundation::FileDescriptor socket,
                                       std::filesystem::path socketPath, dev_t device, ino_t inode,
                                       std::function<void()> activate)
    : socket_(std::move(socket)), socketPath_(std::move(socketPath)), device_(device),
      inode_(inode), activate_(std::move(activate)),
      acceptor_(new QSocketNotifier(socket_.get(), QSocketNotifier::Read, context_.get())) {
    QObject::connect(acceptor_, &QSocketNotifier::activated, acceptor_,
                     [this] { acceptClients(); });
}

ActivationListener::~ActivationListener() {
    context_.reset();
    struct stat current {};
    if (::lstat(socketPath_.c_str(), &current) == 0 && current.st_dev == device_ &&
        current.st_ino == inode_) {
        ::unlink(socketPath_.c_str());
    }
}

void ActivationListener::acceptClients() {
    for (int taken = 0; taken < kAcceptsPerNotice; ++taken) {
        foundation::FileDescriptor accepted(
            ::accept4(socket_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!accepted.valid()) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptor_->setEnabled(false);
                QTimer::singleShot(kAcceptRest, acceptor_, [this] { acceptor_->setEnabled(true); });
            }
            return;
        }
        if (clients_.size() >= kMostClients || !fromThisUser(accepted.get())) {
            continue;
        }
        const std::uint64_t id = nextClient_++;
        auto* notifier = new QSocketNotifier(accepted.get(), QSocketNotifier::Read, context_.get());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [this, id] { readFrom(id); });
        QTimer::singleShot(kClientPatience, notifier, [this, id] { drop(id); });
        clients_.emplace(id, Client{std::move(accepted), {}, notifier});
    }
}

void ActivationListener::readFrom(std::uint64_t id) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    Client& client = found->second;
    std::array<char, kRequest.size()> buffer{};
    // Never more than the rest of a request: whatever follows it is left unread.
    const ssize_t count = ::recv(client.socket.get(), buffer.data(),
                                 kRequest.size() - client.received.size(), MSG_DONTWAIT);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        drop(id);
        return;
    }
    client.received.append(buffer.data(), static_cast<std::size_t>(count));
    if (!kRequest.starts_with(client.received)) {
        drop(id);
        return;
    }
    if (client.received.size() < kRequest.size()) {
        return;
    }
    activate_();
    // A client that does not read its answer loses it; the listener does not wait.
    ::send(client.socket.get(), kReply.data(), kReply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    drop(id);
}

void ActivationListener::drop(std::uint64_t id) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    // Quiet before its descriptor closes; deleted once its notice, maybe this one, is over.
    found->second.notifier->setEnabled(false);
    found->second.notifier->deleteLater();
    clients_.erase(found);
}

bool ActivationListener::requestActivation(const std::filesystem::path& socketPath) {
    const foundation::FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    if (!socket.valid() || !addressFor(socketPath, address)) {
        return false;
    }
    const timeval patience{kAnswerPatienceSeconds, 0};
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof(patience)) != 0 ||
        ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience)) != 0 ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) !=
            0 ||
        ::send(socket.get(), kRequest.data(), kRequest.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(kRequest.size())) {
        return false;
    }
    std::string answer;
    std::array<char, kReply.size()> buffer{};
    while (answer.size() < kReply.size()) {
        const ssize_t count = ::recv(socket.get(), buffer.data(), kReply.size() - answer.size(), 0);
        if (count <= 0) {
            return false;
        }
        answer.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return answer == kReply;
}

} // namespace appkit
