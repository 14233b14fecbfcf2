// The program's windows: made in their fixed order, only the main window
// shown, the monitor wired to the main window's send controls.

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "program.h"
#include "window_world.h"

class AppTest : public QObject {
    Q_OBJECT

private slots:
    void windowsMadeInOrderAndOnlyMainShown() {
        const korvane::testing::WindowWorld world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);

        korvane::EditorWindows windows;
        QCOMPARE(windows.creationOrder(),
                 (QStringList{"FormMain", "FormMidiInterface", "Form4", "FormMIDIMon", "FormNeuObjekt",
                              "FormVerschiebeMessage", "FormMotorProfil"}));
        QVERIFY(windows.monitor().OnInitSendButton);

        korvane::testing::withoutMidi(windows.main());
        windows.main().show();
        QVERIFY(windows.main().isVisible());
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &windows.main() && w->isVisible()) QFAIL(qPrintable(w->objectName() + " is shown"));

        // The shipped default library beside the program was provisioned
        // and loaded.
        QVERIFY(QFile::exists(world.working()));
        QVERIFY(parts(windows.main()).CB_Set->count() > 0);
        QVERIFY(windows.main().windowTitle().startsWith("Korvane Editor V3.044 - "));
        QCOMPARE(boxes.count(), std::size_t(0));
        // The window has its fixed client area below the menu and cannot be
        // resized.
        QCOMPARE(windows.main().centralWidget()->size(), QSize(1012, 692));
        QCOMPARE(windows.main().minimumSize(), windows.main().maximumSize());

        // Closing the main window ends the run, also with the monitor open.
        windows.monitor().show();
        QVERIFY(windows.main().close());
        QVERIFY(!windows.monitor().isVisible());
        QVERIFY(!windows.main().isVisible());
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
