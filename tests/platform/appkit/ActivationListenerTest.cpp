#include "platform/appkit/ActivationListener.h"

#include "platform/appkit/GuiThread.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace appkit {
namespace {

foundation::FileDescriptor connectedTo(const std::filesystem::path& path) {
    foundation::FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        return {};
    return socket;
}

class ActivationListenerTest : public ::testing::Test {
  protected:
    std::filesystem::path socketPath() const {
        return std::filesystem::path(folder_.path().toStdString()) / "window";
    }

    QTemporaryDir folder_;
};

TEST_F(ActivationListenerTest, ALaterLaunchIsHeardOnTheGuiThreadWhateverOtherClientsDo) {
    // A socket left by an instance that has ended is replaced.
    {
        const foundation::FileDescriptor stale(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketPath().string().copy(address.sun_path, sizeof(address.sun_path) - 1);
        ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)),
                  0);
    }
    int activations = 0;
    bool onGuiThread = true;
    auto listener = ActivationListener::listen(socketPath(), [&] {
        onGuiThread = onGuiThread && isGuiThread();
        ++activations;
    });
    ASSERT_NE(listener, nullptr);

    // One client says nothing, one says something else: neither may hold the window up.
    const foundation::FileDescriptor silent = connectedTo(socketPath());
    const foundation::FileDescriptor other = connectedTo(socketPath());
    ASSERT_TRUE(silent.valid() && other.valid());
    ASSERT_EQ(::send(other.get(), "activated\n", 10, MSG_NOSIGNAL), 10);
    std::atomic<int> heard = -1;
    std::thread launch([&] {
        heard = ActivationListener::requestActivation(socketPath()) ? 1 : 0;
        // A listener that waited for this client would only now go on.
        ::shutdown(silent.get(), SHUT_RDWR);
    });
    const bool answered = QTest::qWaitFor([&] { return heard >= 0; }, 10000);
    launch.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(onGuiThread);
    // The other client is dropped unanswered.
    char byte = 0;
    ssize_t received = -1;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        received = ::recv(other.get(), &byte, 1, MSG_DONTWAIT);
        return received >= 0 || errno != EAGAIN;
    }));
    EXPECT_LE(received, 0);

    // Gone with its listener: a later launch then hears nothing.
    listener.reset();
    EXPECT_FALSE(std::filesystem::exists(socketPath()));
    EXPECT_FALSE(ActivationListener::requestActivation(socketPath()));
}

TEST_F(ActivationListenerTest, SomethingElseInItsPlaceIsLeftAlone) {
    std::ofstream(socketPath()) << "not a socket";
    EXPECT_EQ(ActivationListener::listen(socketPath(), [] {}), nullptr);
    EXPECT_EQ(std::filesystem::file_size(socketPath()), 12U);
}

} // namespace
} // namespace appkit
