#pragma once

#include "platform/appkit/Color.h"
#include "platform/appkit/TextField.h"

// A label whose text colour follows its enabled state: black when enabled,
// a mid grey when not.
class ConTextLabel : public appkit::TextField {
  public:
    void setEnabled(bool enabled) override;

    static appkit::Color activeTextColor();
    static appkit::Color inactiveTextColor();
};
