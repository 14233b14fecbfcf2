#include "program.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "close_on_signal.h"
#include "form_about.h"
#include "form_main.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "form_motor_profil.h"
#include "form_neu_objekt.h"
#include "form_verschiebe_message.h"
#include "log_class.h"
#include "memory_pages.h"
#include "texts.h"
#include "version.h"

namespace korvane {

QWidget* makePlainWindow(const char* objectName, const char* captionKey, bool dialog) {
    QWidget* window = dialog ? new QDialog : new QWidget;
    window->setObjectName(QString::fromLatin1(objectName));
    const std::string_view caption = text(captionKey, "de");
    window->setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    window->resize(320, 200);
    return window;
}

EditorWindows::EditorWindows() {
    auto made = [this](QWidget* w) { order_ << w->objectName(); };
    FormMain = std::make_unique<TFormMain>();
    made(FormMain.get());
    FormMidiInterface = std::make_unique<TFormMidiInterface>(FormMain.get());
    FormMidiInterface->setObjectName(QStringLiteral("FormMidiInterface"));
    made(FormMidiInterface.get());
    Form4 = std::make_unique<TForm4>(FormMain.get());
    made(Form4.get());
    FormMIDIMon = std::make_unique<TFormMIDIMon>();
    FormMIDIMon->setObjectName(QStringLiteral("FormMIDIMon"));
    made(FormMIDIMon.get());
    FormNeuObjekt = std::make_unique<TFormNeuObjekt>();
    made(FormNeuObjekt.get());
    FormVerschiebeMessage = std::make_unique<TFormVerschiebeMessage>();
    made(FormVerschiebeMessage.get());
    FormMotorProfil = std::make_unique<TFormMotorProfil>();
    made(FormMotorProfil.get());

    FormMain->setMidiInterfaceDialog(FormMidiInterface.get());
    FormMain->setAboutBox(Form4.get());
    FormMain->setMonitorWindow(FormMIDIMon.get());
    FormMain->setMotorProfileWindow(FormMotorProfil.get());
}

EditorWindows::~EditorWindows() {
    // The other windows go first; the main window, which owns the ports and
    // the log, goes last. Nothing may reach the monitor once it is gone.
    FormMain->setMonitorWindow(nullptr);
    FormMain->setMidiInterfaceDialog(nullptr);
    FormMain->setAboutBox(nullptr);
    FormMain->setMotorProfileWindow(nullptr);
    FormMotorProfil.reset();
    FormVerschiebeMessage.reset();
    FormNeuObjekt.reset();
    FormMIDIMon.reset();
    Form4.reset();
    FormMidiInterface.reset();
    FormMain.reset();
}

namespace {

// With KORVANE_SCREENSHOT set to a file name the main window is grabbed into
// that PNG once it has settled, and the program ends; used to look at the
// window on a machine without a screen.
void scheduleScreenshot(TFormMain& window) {
    const QString target = qEnvironmentVariable("KORVANE_SCREENSHOT");
    if (target.isEmpty()) return;
    QTimer::singleShot(700, &window, [&window, target] {
        window.grab().save(target);
        QApplication::quit();
    });
}

// Writes to the log how long the program took from its start to the main
// window's first painted frame: the figure a user who finds the start slow
// can report, and the one the start benchmark reads.
class FirstFrameNote : public QObject {
public:
    FirstFrameNote(QWidget* window, const QElapsedTimer& sinceStart) : window_(window), since_(sinceStart) {
        QApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_) {
            QApplication::instance()->removeEventFilter(this);
            LogInfo("start: first frame of the main window after " + std::to_string(since_.elapsed()) +
                    " ms");
        }
        return false;
    }

private:
    QWidget* window_;
    QElapsedTimer since_;
};

}  // namespace

int runEditor(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    prefaultXmlMemory();
    // The two options of the editor itself are answered before any window
    // exists, so they work without a screen. Everything else is left to Qt
    // (-platform, -style, ...).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "korvane-editor " << kVersion << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << text("editor.help", "en");
            return 0;
        }
    }

    // A write past a file size limit (a quota, `ulimit -f`) would end the
    // program by signal in the middle of a save; ignored, the write fails
    // with EFBIG, the save reports it and the old file stays.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane Editor"));
    QApplication::setOrganizationName(QStringLiteral("vandrell"));

    QtDialogs boxes;
    ScopedDialogs installed(&boxes);

    EditorWindows windows;
    boxes.setParent(&windows.main());
    boxes.setNameDialog(&windows.nameDialog());
    boxes.setTargetGroupDialog(&windows.targetGroupDialog());
    // A logout or Ctrl+C in the terminal closes the main window like its
    // close button, so the log gets its last line and the status is 0.
    CloseOnSignal closeOnSignal([&windows] { windows.main().close(); });
    // Saving never makes the window wait for the disk.
    windows.main().setBackgroundSaving(true);
    FirstFrameNote firstFrame(&windows.main(), sinceStart);
    windows.main().show();
    // Queued now, so it runs in the event loop proper, not in the events the
    // first showing lets through.
    QTimer::singleShot(0, &closeOnSignal, [&closeOnSignal] { closeOnSignal.start(); });
    scheduleScreenshot(windows.main());
    const int result = QApplication::exec();
    boxes.setParent(nullptr);
    boxes.setNameDialog(nullptr);
    boxes.setTargetGroupDialog(nullptr);
    return result;
}

}  // namespace korvane
