#pragma once
// SIGTERM (a logout, a service manager stopping the session) and SIGINT
// (Ctrl+C in the terminal that started the editor) end the editor the way
// its close button does: the windows close, the log writes its last line and
// the program ends with status 0.
//
// A signal handler may do next to nothing safely, so it only writes one byte
// into a pipe; the event loop watches the other end and does the closing on
// the window thread.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace korvane {

class CloseOnSignal : public QObject {
public:
    // closeWindow runs on the window thread for the first signal. A second
    // signal while the program is still closing ends it at once: whoever
    // sends it again means it.
    explicit CloseOnSignal(std::function<void()> closeWindow, QObject* parent = nullptr);
    ~CloseOnSignal() override;
    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

    // Signals are caught from construction on, but acted upon only after
    // start(): the main window's first showing lets events run before the
    // event loop proper, and a quit there would be lost, leaving a program
    // without windows running. A signal that came earlier is acted upon at
    // start().
    void start();

    // Whether the handlers are in place (false where the platform has no
    // such signals or the pipe could not be made).
    bool active() const { return notifier_ != nullptr; }

private:
    void onSignalled();

    std::function<void()> closeWindow_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace korvane
