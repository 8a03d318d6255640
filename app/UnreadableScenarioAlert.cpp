#include "app/UnreadableScenarioAlert.h"

#include "app/MainWindow.h"
#include "platform/appkit/Alert.h"

#include <optional>

void alertUnreadableScenario(const std::string& message) {
    appkit::Alert::alertWithMessageText(message, std::nullopt, std::nullopt, std::nullopt, "")
        ->runModal(MainWindow::kTitle);
}
