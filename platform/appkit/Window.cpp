#include "platform/appkit/Window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <cmath>

namespace appkit {
namespace {

// Hands the events that concern the owning Window back to it.
class TopLevelWidget : public QMainWindow {
  public:
    TopLevelWidget(std::function<bool()> shouldClose, std::function<void(bool)> frameChanged)
        : shouldClose_(std::move(shouldClose)), frameChanged_(std::move(frameChanged)) {
        setCentralWidget(new QWidget);
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (shouldClose_())
            event->accept();
        else
            event->ignore();
    }
    void moveEvent(QMoveEvent* event) override {
        QMainWindow::moveEvent(event);
        frameChanged_(true);
    }
    void resizeEvent(QResizeEvent* event) override {
        QMainWindow::resizeEvent(event);
        frameChanged_(false);
    }

  private:
    std::function<bool()> shouldClose_;
    std::function<void(bool)> frameChanged_;
};

QString settingsGroup(const std::string& autosaveName) {
    return QStringLiteral("Window Frame %1").arg(QString::fromStdString(autosaveName));
}

QRect toQRect(const Rect& frame) {
    return {static_cast<int>(std::lround(frame.x)), static_cast<int>(std::lround(frame.y)),
            static_cast<int>(std::lround(frame.width)),
            static_cast<int>(std::lround(frame.height))};
}

// A frame saved on a screen that is gone would put the window out of reach.
bool liesOnAScreen(const Rect& frame) {
    const QRect rect = toQRect(frame);
    const auto screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&rect](const QScreen* screen) {
        return screen->availableGeometry().intersects(rect);
    });
}

} // namespace

Window::Window()
    : widget_(std::make_unique<TopLevelWidget>([this] { return shouldClose(); },
                                               [this](bool moved) { frameChanged(moved); })) {
    frame_ = Rect{static_cast<double>(widget_->x()), static_cast<double>(widget_->y()),
                  static_cast<double>(widget_->width()), static_cast<double>(widget_->height())};
}

void Window::setTitle(const std::string& title) {
    std::lock_guard lock(mutex_);
    queue_.post([this, text = QString::fromStdString(title)] { widget_->setWindowTitle(text); });
}

void Window::show() {
    std::lock_guard lock(mutex_);
    queue_.post([this] { widget_->show(); });
}

void Window::makeKeyAndOrderFront() {
    std::lock_guard lock(mutex_);
    queue_.post([this] {
        widget_->setWindowState((widget_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        widget_->show();
        widget_->raise();
        widget_->activateWindow();
    });
}

void Window::setFrameAutosaveName(std::string name) {
    std::lock_guard lock(mutex_);
    queue_.post([this, name = std::move(name)] {
        autosaveName_ = name;
        restoreFrame();
    });
}

Rect Window::frame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

void Window::setFrame(Rect frame) {
    std::lock_guard lock(mutex_);
    frame_ = frame;
    // Size first: the move that follows then reports the whole new frame.
    queue_.post([this, rect = toQRect(frame)] {
        widget_->resize(rect.size());
        widget_->move(rect.topLeft());
    });
}

void Window::setDelegate(WindowDelegate* delegate) {
    delegate_ = delegate;
}

void Window::performOnGuiThread(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.post(std::move(work));
}

void Window::frameChanged(bool moved) {
    const Rect frame{static_cast<double>(widget_->x()), static_cast<double>(widget_->y()),
                     static_cast<double>(widget_->width()), static_cast<double>(widget_->height())};
    {
        std::lock_guard lock(mutex_);
        frame_ = frame;
    }
    saveFrame(frame);
    if (WindowDelegate* delegate = delegate_; moved && delegate != nullptr)
        delegate->windowDidMove();
}

bool Window::shouldClose() {
    WindowDelegate* delegate = delegate_;
    return delegate == nullptr || delegate->windowShouldClose();
}

void Window::restoreFrame() {
    QSettings settings;
    settings.beginGroup(settingsGroup(*autosaveName_));
    bool complete = true;
    const auto read = [&settings, &complete](const char* key) {
        bool ok = false;
        const double value = settings.value(key).toDouble(&ok);
        complete = complete && ok && std::isfinite(value);
        return value;
    };
    const Rect saved{read("x"), read("y"), read("width"), read("height")};
    if (!complete || !(saved.width > 0.0 && saved.height > 0.0) || !liesOnAScreen(saved))
        return;
    {
        std::lock_guard lock(mutex_);
        frame_ = saved;
    }
    const QRect rect = toQRect(saved);
    widget_->move(rect.topLeft());
    widget_->resize(rect.size());
}

void Window::saveFrame(const Rect& frame) const {
    if (!autosaveName_)
        return;
    QSettings settings;
    settings.beginGroup(settingsGroup(*autosaveName_));
    settings.setValue("x", frame.x);
    settings.setValue("y", frame.y);
    settings.setValue("width", frame.width);
    settings.setValue("height", frame.height);
}

} // namespace appkit
