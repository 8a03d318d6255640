#pragma once

#include <QFont>

namespace appkit {

// A font for text fields. Copies may travel between threads.
class Font {
  public:
    // The application's default font family at the given size. Needs the application object.
    static Font systemFontOfSize(double points);

    const QFont& qfont() const { return font_; }

  private:
    explicit Font(const QFont& font) : font_(font) {}

    QFont font_;
};

} // namespace appkit
