#include "platform/appkit/Alert.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <algorithm>

namespace appkit {
namespace {

// The answer travels with the button's role, never with its position, which the style decides.
QMessageBox::ButtonRole roleFor(int returnCode) {
    switch (returnCode) {
    case Alert::DefaultReturn:
        return QMessageBox::AcceptRole;
    case Alert::AlternateReturn:
        return QMessageBox::RejectRole;
    case Alert::OtherReturn:
        return QMessageBox::ActionRole;
    default:
        return QMessageBox::InvalidRole;
    }
}

int returnCodeFor(QMessageBox::ButtonRole role) {
    switch (role) {
    case QMessageBox::RejectRole:
        return Alert::AlternateReturn;
    case QMessageBox::ActionRole:
        return Alert::OtherReturn;
    default:
        return Alert::DefaultReturn;
    }
}

// Room beside the title for what the window manager puts there, its icon and close button,
// in lines of the title's font.
constexpr int kTitleBarExtraLines = 5;
// The narrowest sheet, in average characters of the message's font, so that a short message
// still reads as a dialog.
constexpr int kNarrowestSheetCharacters = 40;

// Widens the box, at its layout's end, to fit its title in a window manager's bold title bar and
// to look like a dialog even with a one-word message; the box still grows for longer texts.
void reserveWidth(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int width =
        std::max(title.horizontalAdvance(box.windowTitle()) + kTitleBarExtraLines * title.height(),
                 kNarrowestSheetCharacters * box.fontMetrics().averageCharWidth());
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// An alert's texts carry what drives and discs report (a mount point holds a disc's label), so
// every text of the box is shown as it is: never read as markup, never a link to follow.
void showTextsAsPlainText(QMessageBox& box) {
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(
            label->textInteractionFlags() &
            ~(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard));
    }
}

// A box closed without a button, by its window's close button, answers as its default button.
int answerOf(const QMessageBox& box) {
    QAbstractButton* pressed = box.clickedButton();
    return pressed != nullptr ? returnCodeFor(box.buttonRole(pressed)) : Alert::DefaultReturn;
}

QPushButton* addButton(QMessageBox& box, const std::string& title, int returnCode) {
    QPushButton* button = box.addButton(QString::fromStdString(title), roleFor(returnCode));
    // Only the default button may answer Return, wherever the focus is.
    button->setAutoDefault(false);
    return button;
}

} // namespace

std::shared_ptr<Alert> Alert::alertWithMessageText(std::string messageText,
                                                   std::optional<std::string> defaultButton,
                                                   std::optional<std::string> alternateButton,
                                                   std::optional<std::string> otherButton,
                                                   std::string informativeText) {
    return std::shared_ptr<Alert>(
        new Alert(std::move(messageText), std::move(defaultButton).value_or("OK"),
                  std::move(alternateButton), std::move(otherButton), std::move(informativeText)));
}

Alert::Alert(std::string messageText, std::string defaultButton,
             std::optional<std::string> alternateButton, std::optional<std::string> otherButton,
             std::string informativeText)
    : messageText_(std::move(messageText)), defaultButton_(std::move(defaultButton)),
      alternateButton_(std::move(alternateButton)), otherButton_(std::move(otherButton)),
      informativeText_(std::move(informativeText)) {}

void Alert::beginSheetModalForWindow(Window& window, std::function<void(int)> didEnd) const {
    window.performOnGuiThread([&window, alert = *this, didEnd = std::move(didEnd)] {
        auto* box = new QMessageBox(window.widget());
        alert.fill(*box);
        // A sheet is part of its window: it carries the window's title, keeps the window blocked
        // and cannot be minimised or maximised apart from it. (A title bar without any button
        // would leave the choice of buttons to the window manager.)
        // The box's own modality setter makes it a sheet with the default hints, so it comes
        // first.
        box->setWindowModality(Qt::WindowModal);
        box->setWindowTitle(window.widget()->windowTitle());
        box->setWindowFlags(Qt::Sheet | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
        reserveWidth(*box);
        QObject::connect(box, &QDialog::finished, box, [box, didEnd] {
            const int answer = answerOf(*box);
            // The keyboard goes back to the window, whatever the window manager does.
            box->parentWidget()->activateWindow();
            box->deleteLater();
            if (didEnd)
                didEnd(answer);
        });
        box->open();
    });
}

int Alert::runModal(const std::string& title) const {
    QMessageBox box;
    fill(box);
    box.setWindowTitle(QString::fromStdString(title));
    box.setWindowModality(Qt::ApplicationModal);
    reserveWidth(box);
    box.exec();
    return answerOf(box);
}

void Alert::fill(QMessageBox& box) const {
    box.setText(QString::fromStdString(messageText_));
    box.setInformativeText(QString::fromStdString(informativeText_));
    showTextsAsPlainText(box);
    QPushButton* defaultButton = addButton(box, defaultButton_, DefaultReturn);
    if (alternateButton_)
        addButton(box, *alternateButton_, AlternateReturn);
    if (otherButton_)
        addButton(box, *otherButton_, OtherReturn);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(defaultButton);
}

} // namespace appkit
