#pragma once

#include "app/ConTextLabel.h"
#include "platform/appkit/Button.h"
#include "platform/appkit/PopUpButton.h"
#include "platform/appkit/ProgressIndicator.h"
#include "platform/appkit/TextField.h"
#include "platform/appkit/Window.h"

#include <functional>

// The main window and its controls, laid out: what the application's window
// description holds. The controller is connected to the controls by their
// names; create and destroy the window on the GUI thread.
class MainWindow {
  public:
    // The window's title, and the application's name in the title of an alert of its own.
    static constexpr const char* kTitle = "Quelmar Drive Updater";

    MainWindow();

    appkit::Window window;
    ConTextLabel lblTitleTargetDrive;
    appkit::PopUpButton cmbDriveList;
    ConTextLabel lblTitleWillUpdateTo;
    ConTextLabel lblTxtUpdateVersion;
    appkit::Button btnUpdate;
    appkit::ProgressIndicator idctProgressUpdate;
    // What an update is doing, under the bar; empty otherwise. It has no
    // accessible name, so a screen reader announces its changes.
    appkit::TextField lblUpdateStatus;
};
