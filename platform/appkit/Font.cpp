#include "platform/appkit/Font.h"

#include <QApplication>

namespace appkit {

Font Font::systemFontOfSize(double points) {
    QFont font = QApplication::font();
    font.setPointSizeF(points);
    return Font(font);
}

} // namespace appkit
