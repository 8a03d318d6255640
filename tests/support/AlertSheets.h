#pragma once

#include "platform/appkit/Alert.h"
#include "platform/appkit/Window.h"

#include <QAbstractButton>
#include <QMessageBox>

// The sheets alerts show on a window, found as the user sees them. GUI thread only.
class AlertSheets {
  public:
    // The newest sheet shown on `window`, null when none: the window's own visible boxes are
    // its sheets, since an alert on its own has no parent.
    static QMessageBox* currentSheet(const appkit::Window& window) {
        const auto boxes = window.widget()->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly);
        for (auto box = boxes.rbegin(); box != boxes.rend(); ++box) {
            if ((*box)->isVisible())
                return *box;
        }
        return nullptr;
    }

    // The sheet's button for an answer, by the role the answer travels with; null when it has
    // none.
    static QAbstractButton* buttonForReturnCode(const QMessageBox& sheet, int returnCode) {
        const QMessageBox::ButtonRole role = roleFor(returnCode);
        for (QAbstractButton* button : sheet.buttons()) {
            if (sheet.buttonRole(button) == role)
                return button;
        }
        return nullptr;
    }

  private:
    static QMessageBox::ButtonRole roleFor(int returnCode) {
        switch (returnCode) {
        case appkit::Alert::DefaultReturn:
            return QMessageBox::AcceptRole;
        case appkit::Alert::AlternateReturn:
            return QMessageBox::RejectRole;
        case appkit::Alert::OtherReturn:
            return QMessageBox::ActionRole;
        default:
            return QMessageBox::InvalidRole;
        }
    }
};
