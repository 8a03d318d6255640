#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <array>
#include <cstdlib>
#include <gmock/gmock.h>
#include <memory>

namespace {

// The QApplication exists while the tests run, and only then, so that listing them needs no
// display. Settings go to a scratch folder, set before any QSettings is made.
class QtApplicationEnvironment : public testing::Environment {
  public:
    explicit QtApplicationEnvironment(char* programName) : argv_{programName, nullptr} {}

    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        settingsFolder_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(settingsFolder_->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder_->path());
        QCoreApplication::setOrganizationName("Quelmar");
        QCoreApplication::setApplicationName("quelmar_tests");
        application_ = std::make_unique<QApplication>(argc_, argv_.data());
    }

    void TearDown() override {
        application_.reset();
        settingsFolder_.reset();
    }

  private:
    int argc_ = 1;
    std::array<char*, 2> argv_;
    std::unique_ptr<QTemporaryDir> settingsFolder_;
    std::unique_ptr<QApplication> application_;
};

} // namespace

// Read by ThreadSanitizer at start-up, in sanitized builds only. Qt is not instrumented: its own
// threads (the raster painter's thread pool, for one) synchronise through futexes that the
// sanitizer cannot see, so only the accesses of instrumented code are checked.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

int main(int argc, char** argv) {
    // The tests expect the English texts whatever the locale of the one who runs them, and so
    // do the updaters they start.
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::unsetenv("LANGUAGE");
    testing::InitGoogleMock(&argc, argv);
    // GoogleTest takes ownership of the environment.
    testing::AddGlobalTestEnvironment(
        std::make_unique<QtApplicationEnvironment>(argv[0]).release());
    return RUN_ALL_TESTS();
}
