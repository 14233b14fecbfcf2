#pragma once
// The program entry: creates the application and its seven windows in their
// fixed order, shows the main window and runs the event loop until the main
// window is closed.

#include <QStringList>
#include <memory>

#include "dialogs.h"

class QWidget;
class TFormMain;
class TFormMidiInterface;
class TFormMIDIMon;
class TForm4;
class TFormMotorProfil;
class TFormNeuObjekt;
class TFormVerschiebeMessage;

namespace korvane {

// A plain window standing for a window whose contents are not part of this
// build yet: its caption and object name only, hidden until someone shows it.
QWidget* makePlainWindow(const char* objectName, const char* captionKey, bool dialog);

// The seven windows of a run, made in their fixed order and wired to the
// main window. The main window comes first: it starts the log while it is
// made, before any other window exists; its first showing needs all the
// others, above all the monitor window.
class EditorWindows {
public:
    EditorWindows();
    ~EditorWindows();
    EditorWindows(const EditorWindows&) = delete;
    EditorWindows& operator=(const EditorWindows&) = delete;

    TFormMain& main() { return *FormMain; }
    TFormMIDIMon& monitor() { return *FormMIDIMon; }
    TFormNeuObjekt& nameDialog() { return *FormNeuObjekt; }
    TFormVerschiebeMessage& targetGroupDialog() { return *FormVerschiebeMessage; }
    // Object names of the windows in the order they were made.
    const QStringList& creationOrder() const { return order_; }

private:
    std::unique_ptr<TFormMain> FormMain;
    std::unique_ptr<TFormMidiInterface> FormMidiInterface;
    std::unique_ptr<TForm4> Form4;
    std::unique_ptr<TFormMIDIMon> FormMIDIMon;
    std::unique_ptr<TFormNeuObjekt> FormNeuObjekt;
    std::unique_ptr<TFormVerschiebeMessage> FormVerschiebeMessage;
    std::unique_ptr<TFormMotorProfil> FormMotorProfil;
    QStringList order_;
};

// Runs the editor; returns the exit code of the event loop.
int runEditor(int argc, char** argv);

}  // namespace korvane
