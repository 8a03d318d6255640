#include "app/MainWindow.h"

#include <QGridLayout>
#include <QMainWindow>
#include <memory>

MainWindow::MainWindow() {
    window.setTitle("Quelmar Drive Updater");
    window.widget()->resize(520, 150);

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
    layout->setColumnStretch(1, 1);
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
}
