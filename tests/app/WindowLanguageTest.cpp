#include "tests/app/UpdaterWindow.h"
#include "tests/support/BundleLanguage.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>

namespace {

// The window in another language, its string tables beside the test's images.
class TranslatedWindow : public UpdaterWindow, public testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override { language_.emplace(images_.folder(), GetParam()); }

    void TearDown() override {
        UpdaterWindow::TearDown();
        language_.reset();
    }

    // At the window's narrowest, every text shows whole: the captions, the
    // button's title and the pop-up's entry.
    void expectEveryTextWholeAtTheNarrowest(const std::string& state) {
        QMainWindow* top = window_->window.widget();
        top->resize(0, top->height());
        ASSERT_TRUE(processEventsUntil([top] { return top->width() == top->minimumWidth(); }));
        QApplication::processEvents();
        for (const QLabel* label :
             {window_->lblTitleTargetDrive.widget(), window_->lblTitleWillUpdateTo.widget(),
              window_->lblTxtUpdateVersion.widget()}) {
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
                      label->contentsRect().width())
                << state << ": " << label->text().toStdString();
        }
        const QPushButton* button = window_->btnUpdate.widget();
        EXPECT_GE(button->width(), button->sizeHint().width()) << state;
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width())
            << state;
        const QComboBox* popUp = window_->cmbDriveList.widget();
        EXPECT_GE(popUp->width(), popUp->sizeHint().width()) << state;
        EXPECT_LE(QFontMetrics(popUp->font()).horizontalAdvance(popUp->currentText()),
                  popUp->width())
            << state;
    }

    std::optional<BundleLanguage> language_;
};

} // namespace

TEST_P(TranslatedWindow, ShowsEveryTextWholeAtItsNarrowest) {
    auto current = drive("current");
    current.revision = "1.02";
    start({drive("old"), current});
    ASSERT_TRUE(firstListingDone());
    const std::string willUpdateTo = window_->lblTitleWillUpdateTo.stringValue();
    EXPECT_NE(willUpdateTo, "will update to");
    ASSERT_TRUE(processEventsUntil([&] {
        return window_->lblTitleWillUpdateTo.widget()->text().toStdString() == willUpdateTo;
    }));
    expectEveryTextWholeAtTheNarrowest("may be updated");

    ASSERT_TRUE(choose(1));
    const std::string noNeed = window_->lblTxtUpdateVersion.stringValue();
    EXPECT_NE(noNeed, "no need update");
    ASSERT_TRUE(processEventsUntil(
        [&] { return window_->lblTxtUpdateVersion.widget()->text().toStdString() == noNeed; }));
    expectEveryTextWholeAtTheNarrowest("no need to update");
}

INSTANTIATE_TEST_SUITE_P(GermanAndJapanese, TranslatedWindow, testing::Values("de", "ja"));
