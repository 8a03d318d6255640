#pragma once

#include "platform/foundation/FileDescriptor.h"

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>

class QSocketNotifier;

namespace appkit {

// Lets a later launch of the application ask the running one to come to the front, over a Unix
// socket in a folder that only this user can reach. The running side never waits for a client:
// it reads without blocking, a request's few bytes at most, and drops a client that sends
// anything else, or nothing for a while. Create, use and destroy the listener on the GUI thread.
class ActivationListener {
  public:
    // Listens at `socketPath`, in place of a socket that an instance that has ended left there;
    // `activate` runs on the GUI thread for each request. Answers null, after logging why, when
    // it cannot listen.
    static std::unique_ptr<ActivationListener> listen(const std::filesystem::path& socketPath,
                                                      std::function<void()> activate);
    ~ActivationListener();
    ActivationListener(const ActivationListener&) = delete;
    ActivationListener& operator=(const ActivationListener&) = delete;

    // The later launch's side, from any thread: asks the instance that listens at `socketPath`
    // to come to the front, and answers whether it said it did within a few seconds.
    static bool requestActivation(const std::filesystem::path& socketPath);

  private:
    struct Client {
        foundation::FileDescriptor socket;
        std::string received;
        QSocketNotifier* notifier; // owned by context_
    };

    ActivationListener(foundation::FileDescriptor socket, std::filesystem::path socketPath,
                       dev_t device, ino_t inode, std::function<void()> activate);
    void acceptClients();
    void readFrom(std::uint64_t client);
    void drop(std::uint64_t client);

    foundation::FileDescriptor socket_;
    std::filesystem::path socketPath_;
    // The socket file this listener made, told apart from one a later instance makes.
    dev_t device_;
    ino_t inode_;
    std::function<void()> activate_;
    std::map<std::uint64_t, Client> clients_;
    std::uint64_t nextClient_ = 0;
    // Parent of the notifiers, so that deleting it first stops every notice to this listener.
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    QSocketNotifier* acceptor_; // owned by context_
};

} // namespace appkit
