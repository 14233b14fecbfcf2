#pragma once
// The program entry: creates the application and its seven windows in their
// fixed order, shows the main window and runs the event loop until the main
// window is closed.

class QWidget;

namespace korvane {

// Runs the editor; returns the exit code of the event loop.
int runEditor(int argc, char** argv);

// A plain window standing for a window whose contents are not part of this
// build yet: its caption and object name only, hidden until someone shows it.
QWidget* makePlainWindow(const char* objectName, const char* captionKey, bool dialog);

}  // namespace korvane
