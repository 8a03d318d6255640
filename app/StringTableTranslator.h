#pragma once

#include <QTranslator>

// Qt's own texts that reach a user (the command-line parser's usage line and
// errors) from the application's string tables, in the user's language.
// A translation whose markers ("%1") differ from Qt's text is not used.
class StringTableTranslator : public QTranslator {
  public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};
