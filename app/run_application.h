// The program's entry point and the pieces of it that tests start on their own.
#pragma once

namespace vantrel::app {

// Start-up: settings loaded, main window made and initialised, shown; returns the exit status
// once the window has closed and the close-down has written the settings.
int runApplication(int argc, char** argv);

// True when Qt can reach a window system (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM set).
bool displayAvailable();

// Makes the program's resources (icon, help page) available; idempotent.
void initialiseResources();

}  // namespace vantrel::app
