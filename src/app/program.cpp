#include "program.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include "dialogs.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "tformmain.h"
#include "texts.h"

namespace korvane {

QWidget* makePlainWindow(const char* objectName, const char* captionKey, bool dialog) {
    QWidget* window = dialog ? new QDialog : new QWidget;
    window->setObjectName(QString::fromLatin1(objectName));
    const std::string_view caption = text(captionKey, "de");
    window->setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    window->resize(320, 200);
    return window;
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

}  // namespace

int runEditor(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane Editor"));
    QApplication::setOrganizationName(QStringLiteral("vandrell"));

    QtDialogs boxes;
    ScopedDialogs installed(&boxes);

    // Creation order matters: the main window starts the log while it is
    // made, before any other window exists; its first showing needs all the
    // others, above all the monitor window.
    TFormMain FormMain;
    boxes.setParent(&FormMain);
    TFormMidiInterface FormMidiInterface(&FormMain);
    std::unique_ptr<QWidget> Form4(makePlainWindow("Form4", "main.TForm4", true));
    TFormMIDIMon FormMIDIMon;
    std::unique_ptr<QWidget> FormNeuObjekt(makePlainWindow("FormNeuObjekt", "main.TFormNeuObjekt", true));
    std::unique_ptr<QWidget> FormVerschiebeMessage(
        makePlainWindow("FormVerschiebeMessage", "main.TFormVerschiebeMessage", true));
    std::unique_ptr<QWidget> FormMotorProfil(makePlainWindow("FormMotorProfil", "main.TFormMotorProfil", false));

    FormMain.setMidiInterfaceDialog(&FormMidiInterface);
    FormMain.setAboutBox(Form4.get());
    FormMain.setMonitorWindow(&FormMIDIMon);
    FormMain.setMotorProfileWindow(FormMotorProfil.get());

    FormMain.show();
    scheduleScreenshot(FormMain);
    const int result = QApplication::exec();
    // The monitor must not outlive the ports' owner with pointers into it.
    FormMain.setMonitorWindow(nullptr);
    return result;
}

}  // namespace korvane
