#include "close_on_signal.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace korvane {

#ifdef Q_OS_UNIX
namespace {

// One pipe for the whole process: signal handlers are process-wide too.
int gPipe[2] = {-1, -1};
struct sigaction gPreviousTerm {};
struct sigaction gPreviousInt {};

extern "C" void onCloseSignal(int signo) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signo);
    // Nothing else happens here: the write is one of the few calls that are
    // safe in a handler, and a full pipe only means a close is pending.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

void restoreDefaultActions() {
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    ::sigaction(SIGTERM, &plain, nullptr);
    ::sigaction(SIGINT, &plain, nullptr);
}

}  // namespace

CloseOnSignal::CloseOnSignal(std::function<void()> closeWindow, QObject* parent)
    : QObject(parent), closeWindow_(std::move(closeWindow)) {
    if (gPipe[0] >= 0) return;  // one watcher per process
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    struct sigaction action {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    // A read or wait interrupted by the signal is restarted; the close is
    // done by the event loop anyway.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &gPreviousTerm);
    ::sigaction(SIGINT, &action, &gPreviousInt);
    // A program that starts the editor may hand down a signal mask with
    // these two blocked (test runners and some launchers do); then they would
    // wait forever instead of closing the window.
    sigset_t ours;
    sigemptyset(&ours);
    sigaddset(&ours, SIGTERM);
    sigaddset(&ours, SIGINT);
    ::pthread_sigmask(SIG_UNBLOCK, &ours, nullptr);
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    notifier_->setEnabled(false);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { onSignalled(); });
}

void CloseOnSignal::start() {
    if (notifier_) notifier_->setEnabled(true);
}

CloseOnSignal::~CloseOnSignal() {
    if (!notifier_) return;
    ::sigaction(SIGTERM, &gPreviousTerm, nullptr);
    ::sigaction(SIGINT, &gPreviousInt, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void CloseOnSignal::onSignalled() {
    char bytes[16];
    while (::read(gPipe[0], bytes, sizeof bytes) > 0) {
    }
    // From now on a further signal has its usual effect.
    restoreDefaultActions();
    notifier_->setEnabled(false);
    if (closeWindow_) closeWindow_();
}

#else

CloseOnSignal::CloseOnSignal(std::function<void()> closeWindow, QObject* parent)
    : QObject(parent), closeWindow_(std::move(closeWindow)) {}
CloseOnSignal::~CloseOnSignal() = default;
void CloseOnSignal::start() {}
void CloseOnSignal::onSignalled() {}

#endif

}  // namespace korvane
