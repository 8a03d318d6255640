#include "app/StringTableTranslator.h"

#include "platform/foundation/Localized.h"

#include <cstring>
#include <string>

QString StringTableTranslator::translate(const char* context, const char* sourceText, const char*,
                                         int) const {
    if (context == nullptr || sourceText == nullptr ||
        std::strcmp(context, "QCommandLineParser") != 0) {
        return {};
    }
    const std::string translation = foundation::localized(sourceText);
    if (translation == sourceText || !foundation::takesSameArguments(sourceText, translation)) {
        return {};
    }
    return QString::fromStdString(translation);
}
