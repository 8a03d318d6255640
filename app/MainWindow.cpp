#include "app/MainWindow.h"

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
    window.setTitle("Quelmar Drive Updater");

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
    // A growing window widens the pop-up's column and leaves the rows together at the top.
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
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
    // The content view owns its layout from here on.
    window.contentView()->setLayout(owned.release());
    // As high as the controls need, a little wider than they need.
    window.widget()->resize(
        QSize(kPreferredWidth, 0).expandedTo(window.widget()->minimumSizeHint()));
}
