#include "platform/appkit/Application.h"

#include "platform/appkit/GuiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <cassert>
#include <functional>

namespace appkit {
namespace {

// Turns the platform's quit request into a question to the delegate.
class QuitRequestFilter : public QObject {
  public:
    QuitRequestFilter(std::function<bool()> terminateIfAllowed, QObject* parent)
        : QObject(parent), terminateIfAllowed_(std::move(terminateIfAllowed)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != parent() || event->type() != QEvent::Quit)
            return false;
        // Taken over entirely: the application's own handling would close every window first.
        event->setAccepted(terminateIfAllowed_());
        return true;
    }

  private:
    std::function<bool()> terminateIfAllowed_;
};

} // namespace

Application& Application::sharedApplication() {
    static Application application;
    return application;
}

Application::Application() {
    QCoreApplication* qtApplication = QCoreApplication::instance();
    assert(qtApplication != nullptr && isGuiThread());
    // Owned by the QCoreApplication, its parent.
    auto* watcher = new QuitRequestFilter([this] { return terminateIfAllowed(); }, qtApplication);
    qtApplication->installEventFilter(watcher);
    if (auto* guiApplication = qobject_cast<QGuiApplication*>(qtApplication)) {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(guiApplication, &QGuiApplication::lastWindowClosed, watcher,
                         [this] { terminate(); });
    }
}

void Application::setDelegate(ApplicationDelegate* delegate) {
    delegate_ = delegate;
}

void Application::terminate() {
    invokeOnGuiThread([this] { terminateIfAllowed(); });
}

bool Application::terminateIfAllowed() {
    ApplicationDelegate* delegate = delegate_;
    if (delegate != nullptr && delegate->applicationShouldTerminate() != TerminateReply::Now)
        return false;
    QCoreApplication::exit(0);
    return true;
}

int Application::run() {
    return QCoreApplication::exec();
}

} // namespace appkit
