#include "platform/foundation/UserDefaults.h"

#include <QSettings>
#include <QString>

namespace foundation {

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults defaults;
    return defaults;
}

void UserDefaults::setFloat(float value, const std::string& key) {
    QSettings().setValue(QString::fromStdString(key), static_cast<double>(value));
}

std::optional<float> UserDefaults::floatForKey(const std::string& key) const {
    const QVariant value = QSettings().value(QString::fromStdString(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toFloat();
}

} // namespace foundation
