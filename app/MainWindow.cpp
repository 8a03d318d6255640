#include "app/MainWindow.h"

#include "platform/foundation/Bundle.h"

#include <QComboBox>
#include <QGridLayout>
#include <QMainWindow>
#include <memory>

namespace {

// The longest title a drive of the target model gets in the pop-up: the second of two twins.
const QString kWidestTitle = QStringLiteral("QUELMAR  BD-RW KLV-TN82WA 1.012010/9/30  [2]");

constexpr int kPreferredWidth = 520;

// The narrowest pop-up of this style that shows the title in full.
int popUpWidthFor(const QString& title) {
    QComboBox probe;
    probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    probe.addItem(title);
    return probe.minimumSizeHint().width();
}

} // namespace

MainWindow::MainWindow() {
    window.setTitle(kTitle);

    auto owned = std::make_unique<QGridLayout>();
    QGridLayout* layout = owned.get();
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(10);
    layout->addWidget(lblTitleTargetDrive.widget(), 0, 0, Qt::AlignRight);
    layout->addWidget(cmbDriveList.widget(), 0, 1, 1, 2);
    layout->addWidget(lblTitleWillUpdateTo.widget(), 1, 0, Qt::AlignRight);
    layout->addWidget(lblTxtUpdateVersion.widget(), 1, 1, 1, 2);
    layout->addWidget(idctProgressUpdate.widget(), 2, 0, 1, 2);
    layout->addWidget(btnUpdate.widget(), 2, 2, Qt::AlignRight);
    layout->addWidget(lblUpdateStatus.widget(), 3, 0, 1, 3);
    // A growing window widens the pop-up's column and leaves the rows together at the top.
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);
    // Even at the window's narrowest the pop-up shows its entries in full: a twin's title of
    // the target model at least, and wider ones as they come.
    QComboBox* popUp = cmbDriveList.widget();
    popUp->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    popUp->setMinimumWidth(popUpWidthFor(kWidestTitle));
    // Keep the rows in place while the progress bar or a caption is hidden.
    for (QWidget* widget : {static_cast<QWidget*>(lblTitleWillUpdateTo.widget()),
                            static_cast<QWidget*>(lblTxtUpdateVersion.widget()),
                            static_cast<QWidget*>(idctProgressUpdate.widget())}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    // What a screen reader says of each control. A caption names the control beside it, and the
    // version text and the button say their own text; the pop-up, whose name on this platform is
    // its chosen entry, and the bar carry names of their own for when they show none.
    const auto text = [](const char* key, const char* english) {
        return QString::fromStdString(
            foundation::Bundle::mainBundle().localizedStringForKey(key, english));
    };
    lblTitleTargetDrive.widget()->setBuddy(popUp);
    lblTitleWillUpdateTo.widget()->setBuddy(lblTxtUpdateVersion.widget());
    popUp->setAccessibleName(text("MESSAGE_ACCESSIBLE_DRIVE_LIST", "Drive to update"));
    popUp->setAccessibleDescription(
        text("MESSAGE_ACCESSIBLE_DRIVE_LIST_HELP",
             "The attached drives of the model this updater is for. The update goes to the drive "
             "chosen here."));
    lblTxtUpdateVersion.widget()->setAccessibleDescription(
        text("MESSAGE_ACCESSIBLE_UPDATE_VERSION_HELP",
             "The firmware the chosen drive will be updated to, or that it needs no update."));
    btnUpdate.widget()->setAccessibleDescription(
        text("MESSAGE_ACCESSIBLE_UPDATE_BUTTON_HELP",
             "Asks for confirmation, then writes the new firmware to the chosen drive."));
    idctProgressUpdate.widget()->setAccessibleName(
        text("MESSAGE_ACCESSIBLE_PROGRESS", "Update progress"));
    idctProgressUpdate.widget()->setAccessibleDescription(
        text("MESSAGE_ACCESSIBLE_PROGRESS_HELP",
             "How far the drive has got in installing its new firmware."));
    // The content view owns its layout from here on.
    window.contentView()->setLayout(owned.release());
    // From the keyboard: the pop-up, then the button; the captions and the bar take no focus.
    QWidget::setTabOrder(popUp, btnUpdate.widget());
    // As high as the controls need, a little wider than they need.
    window.widget()->resize(
        QSize(kPreferredWidth, 0).expandedTo(window.widget()->minimumSizeHint()));
}
