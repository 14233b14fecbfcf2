// The main window's start: provisioning of the data folder, the language
// from the settings, the caption and the two lists, and how a broken or
// missing document and a failed save are handled.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <thread>

#include "dialogs.h"
#include "file_size_limit.h"
#include "form_main.h"
#include "form_main_access.h"
#include "log_class.h"
#include "midi_in.h"
#include "midi_out.h"
#include "offscreen_main.h"
#include "program_log.h"
#include "window_world.h"

namespace {

const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane>
  <!-- kept through every save -->
  <sets>
    <set name="beta" description="Erste Zeile#&quot;zweite Zeile&quot;"/>
    <set name="Alpha">
      <element name="Fader 1"><group>G2</group><name>M1</name></element>
    </set>
    <set name="gamma"/>
    <set name="alpha2"/>
  </sets>
  <messagegroups>
    <messagegroup name="G2"><message name="M1"><left>B0,07,F1</left></message></messagegroup>
    <messagegroup name="A1"/>
  </messagegroups>
</korvane>
)";

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

using World = korvane::testing::WindowWorld;
using korvane::testing::startWindow;

QStringList items(const QComboBox* box) {
    QStringList result;
    for (int i = 0; i < box->count(); ++i) result << box->itemText(i);
    return result;
}

QString plain(QString caption) { return caption.remove(QLatin1Char('&')); }

}  // namespace

class WindowStartupTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunProvisionsSecondRunKeepsWorkingDocuments() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);

        startWindow(world).reset();
        QCOMPARE(readAll(world.working()), QByteArray(kLibrary));
        QCOMPARE(readAll(world.data() + QStringLiteral("/Pellux3/motorprofile.mp")),
                 QByteArray("<motorprofiles/>\n"));

        // The user's library has changed, and so has the shipped default:
        // the next start keeps the user's file.
        QByteArray changed(kLibrary);
        changed.replace("gamma", "delta");
        writeAll(world.working(), changed);
        world.setDefault(QByteArray(kLibrary).replace("beta", "epsilon"));

        auto w = startWindow(world);
        QCOMPARE(readAll(world.working()), changed);
        QVERIFY(items(parts(w).CB_Set).contains(QStringLiteral("delta")));
        QCOMPARE(boxes.count(), std::size_t(0));
    }

    void captionListsAndDescription() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        // Alphabetical whatever the case, first entry current.
        QCOMPARE(items(parts(w).CB_Set), (QStringList{"Alpha", "alpha2", "beta", "gamma"}));
        QCOMPARE(parts(w).CB_Set->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(TFormMainTestAccess::configurationName(*w), QStringLiteral("Alpha"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - Alpha"));
        // Groups in document order after the no-assignment entry, none chosen.
        QCOMPARE(items(parts(w).CB_Group), (QStringList{"keine Zuordnung", "G2", "A1"}));
        QCOMPARE(parts(w).CB_Group->currentIndex(), -1);
        QVERIFY(parts(w).MemoDescription->toPlainText().isEmpty());
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), -1);

        // Choosing another configuration: caption, description decoded.
        parts(w).CB_Set->setCurrentIndex(2);
        w->CB_SetChange();
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - beta"));
        // The hand-written first field has no quotes, so its blank splits it.
        QCOMPARE(parts(w).MemoDescription->toPlainText(), QStringLiteral("Erste\nZeile\nzweite Zeile"));
        QCOMPARE(boxes.count(), std::size_t(0));
        // The lists are picked from, never typed into.
        for (QComboBox* list : {parts(w).CB_Set, parts(w).CB_Group, parts(w).CB_MessageName})
            QVERIFY(!list->isEditable());
    }

    void emptyLibraryGivesBareCaption() {
        World world;
        world.setDefault("<korvane><sets/><messagegroups/></korvane>");
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        QCOMPARE(parts(w).CB_Set->count(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - "));
        QCOMPARE(items(parts(w).CB_Group), QStringList{"keine Zuordnung"});
    }

    // The language stored in the settings decides the first visible state.
    void languageFromSettings_data() {
        QTest::addColumn<QString>("stored");  // empty: no value stored
        QTest::addColumn<QString>("mapCaption");
        QTest::addColumn<QString>("sendCaption");
        QTest::addColumn<QString>("fileMenu");
        QTest::addColumn<QString>("noAssignment");
        QTest::newRow("missing") << ""
                                 << "Korvane Oberfläche"
                                 << "Konfiguration zum Korvane senden"
                                 << "Datei"
                                 << "keine Zuordnung";
        QTest::newRow("de") << "de"
                            << "Korvane Oberfläche"
                            << "Konfiguration zum Korvane senden"
                            << "Datei"
                            << "keine Zuordnung";
        QTest::newRow("en") << "en"
                            << "Korvane map"
                            << "Send to Korvane"
                            << "File"
                            << "not in use";
        // An unknown code is taken as German, the default, throughout: the
        // captions and the group list's entry alike, never half of each.
        QTest::newRow("fr") << "fr"
                            << "Korvane Oberfläche"
                            << "Konfiguration zum Korvane senden"
                            << "Datei"
                            << "keine Zuordnung";
    }
    void languageFromSettings() {
        QFETCH(QString, stored);
        QFETCH(QString, mapCaption);
        QFETCH(QString, sendCaption);
        QFETCH(QString, fileMenu);
        QFETCH(QString, noAssignment);
        World world;
        world.setDefault(kLibrary);
        if (!stored.isEmpty()) world.setLanguage(stored);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        QCOMPARE(TFormMainTestAccess::language(*w),
                 stored == QStringLiteral("en") ? stored : QStringLiteral("de"));
        QCOMPARE(parts(w).GroupBoxMap->title(), mapCaption);
        QCOMPARE(parts(w).btSend->text(), sendCaption);
        QCOMPARE(plain(parts(w).MenuDatei->title()), fileMenu);
        QCOMPARE(parts(w).CB_Group->itemText(0), noAssignment);
        QVERIFY(parts(w).bt_AenderungenUebernehmen->text().isEmpty());
    }

    // The language menu switches every caption at once and is remembered.
    void languageMenuSwitchesAndRemembers() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        parts(w).CB_Group->setCurrentIndex(1);

        parts(w).Menu_Sprache_English_->trigger();
        QCOMPARE(TFormMainTestAccess::language(*w), QStringLiteral("en"));
        QCOMPARE(parts(w).gb_Message->title(), QStringLiteral("Edit message"));
        QCOMPARE(parts(w).RG_ModeItems[3]->text(), QStringLiteral("Jogwheel position (-8 .. 7)"));
        QCOMPARE(plain(parts(w).Menu_Motorprofileditor_->text()), QStringLiteral("Edit motorprofiles"));
        QCOMPARE(parts(w).CB_Group->itemText(0), QStringLiteral("not in use"));
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("G2"));  // the choice stays
        w.reset();

        auto again = startWindow(world);
        QCOMPARE(TFormMainTestAccess::language(*again), QStringLiteral("en"));
        QCOMPARE(parts(again).LabelStep->text(), QStringLiteral("Step"));
        parts(again).Menu_Sprache_Deutsch_->trigger();
        QCOMPARE(parts(again).LabelStep->text(), QStringLiteral("Schrittweite"));
        QCOMPARE(parts(again).GroupBoxStellbereich->title(), QStringLiteral("Stellbereich"));
        QCOMPARE(parts(again).CB_Group->itemText(0), QStringLiteral("keine Zuordnung"));
    }

    // Every menu can be worked with the keyboard in both languages: each
    // entry has a mnemonic, unique within its menu.
    void menusHaveUniqueMnemonics_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("de") << "de";
        QTest::newRow("en") << "en";
    }
    void menusHaveUniqueMnemonics() {
        QFETCH(QString, language);
        World world;
        world.setDefault(kLibrary);
        world.setLanguage(language);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        auto check = [](const QString& where, const QList<QAction*>& actions) {
            QSet<QChar> keys;
            for (QAction* a : actions) {
                if (a->isSeparator()) continue;
                const QString t = a->text();
                const auto amp = t.indexOf(QLatin1Char('&'));
                QVERIFY2(amp >= 0 && amp + 1 < t.size(), qPrintable(where + ": " + t));
                const QChar key = t.at(amp + 1).toLower();
                QVERIFY2(!keys.contains(key), qPrintable(where + ": " + t));
                keys.insert(key);
            }
        };
        check(QStringLiteral("menu bar"), w->menuBar()->actions());
        for (QMenu* menu : w->menuBar()->findChildren<QMenu*>()) check(menu->objectName(), menu->actions());
    }

    // Every menu and entry carries a name and a caption of the text table in
    // both languages: a new entry whose text was forgotten would show its
    // raw key.
    void everyMenuEntryHasACaption_data() { menusHaveUniqueMnemonics_data(); }
    void everyMenuEntryHasACaption() {
        QFETCH(QString, language);
        World world;
        world.setDefault(kLibrary);
        world.setLanguage(language);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        QList<QAction*> entries = w->menuBar()->actions();
        for (QMenu* menu : w->menuBar()->findChildren<QMenu*>()) entries += menu->actions();
        QVERIFY(entries.size() > 40);
        for (QAction* a : entries) {
            if (a->isSeparator()) continue;
            QVERIFY2(!a->objectName().isEmpty(), qPrintable(a->text()));
            QVERIFY2(!a->text().isEmpty() && !a->text().startsWith(QStringLiteral("main.")),
                     qPrintable(a->objectName() + ": " + a->text()));
            QCOMPARE(w->menuEntry(a->objectName().remove(QStringLiteral("_action"))), a);
        }
    }

    // A working document that does not parse: one box naming the file and
    // the parser's complaint, an empty but usable window, the file untouched.
    void brokenDocumentIsReportedAndLeftAlone() {
        World world;
        world.setDefault(kLibrary);
        QDir().mkpath(world.data() + QStringLiteral("/Pellux3"));
        const QByteArray broken = "<korvane><sets><set name=\"x\"></sets></korvane>\n";
        writeAll(world.working(), broken);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(world.working()), qPrintable(errors[0]));
        QCOMPARE(parts(w).CB_Set->count(), 0);
        QCOMPARE(items(parts(w).CB_Group), QStringList{"keine Zuordnung"});
        QVERIFY(parts(w).btSend->isEnabled());
        QVERIFY(parts(w).Menu_Beenden_->isEnabled());
        // Using the window does not write anything or raise more boxes than
        // the one the command itself owes.
        w->CB_SetChange();
        w->btSendClick();
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Error).size(), 2);
        w.reset();
        QCOMPARE(readAll(world.working()), broken);
    }

    // The file broken behind the editor's back: a refill reports it once
    // and keeps showing what was read last.
    void fileBrokenDuringTheRun() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        writeAll(world.working(), "<korvane><sets>");

        w->XML_HoleKonfigurationen();
        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(world.working()), qPrintable(errors[0]));
        QCOMPARE(items(parts(w).CB_Set), (QStringList{"Alpha", "alpha2", "beta", "gamma"}));
        QCOMPARE(items(parts(w).CB_Group), (QStringList{"keine Zuordnung", "G2", "A1"}));
        QCOMPARE(readAll(world.working()), QByteArray("<korvane><sets>"));

        // Every later configuration the user chooses is a refill of its own
        // and tells again, not only the first one.
        for (int chosen = 1; chosen <= 2; ++chosen) {
            parts(w).CB_Set->setCurrentIndex(chosen);
            w->CB_SetChange();
            QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Error).size(), 1 + chosen);
        }
    }

    // A data folder that cannot be made (here a file stands in the way) is
    // told once, by its own name and the system's reason, not as a failed
    // copy of each file; the window stays usable.
    void dataFolderThatCannotBeMadeIsNamedOnce() {
        World world;
        world.setDefault(kLibrary);
        writeAll(world.data(), "not a folder");
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(world.data() + QStringLiteral("/Pellux3")), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(QString::fromLocal8Bit(std::strerror(ENOTDIR))), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(QStringLiteral("Datenordner")), qPrintable(errors[0]));
        QCOMPARE(boxes.count(), std::size_t(1));
        QCOMPARE(parts(w).CB_Set->count(), 0);
        QVERIFY(parts(w).btSend->isEnabled());
        QVERIFY(parts(w).Menu_Beenden_->isEnabled());
        QCOMPARE(readAll(world.data()), QByteArray("not a folder"));
    }

    void missingDefaultIsReported() {
        World world;  // no default documents beside the program
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QVERIFY(!errors.isEmpty());
        QVERIFY2(errors[0].contains(QStringLiteral("korvane.def")), qPrintable(errors[0]));
        QVERIFY(!QFile::exists(world.working()));
        QCOMPARE(parts(w).CB_Set->count(), 0);
    }

    // The log's own errors, met on any thread, reach the user as one plain
    // box on the window thread; a burst while it is open adds no more boxes.
    void logErrorsReachTheUserOnce() {
        World world;
        world.setDefault("<korvane><sets/><messagegroups/></korvane>\n");
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        boxes.clear();
        korvane::TLogClass* log = korvane::programLog();
        QVERIFY(log);
        std::thread other([log] {
            for (int i = 0; i < 3; ++i) log->Append("nowhere", korvane::vlCritical, 5, false);
        });
        other.join();
        QCOMPARE(boxes.count(), std::size_t(0));  // never shown from the other thread
        QTRY_COMPARE(boxes.count(), std::size_t(1));
        QCOMPARE(boxes.shown()[0].kind, korvane::ScriptedDialogs::Kind::Message);
        QCOMPARE(
            boxes.shown()[0].text,
            QStringLiteral("Fehlermeldung: TLogClass.Append: LogfileIndex 5 ist ungültig/nicht vorhanden"));
        QTest::qWait(50);
        QCOMPARE(boxes.count(), std::size_t(1));
        // Once that box is closed, the next report gets its own.
        log->Append("nowhere", korvane::vlCritical, 5, false);
        QTRY_COMPARE(boxes.count(), std::size_t(2));
    }

    // A save that fails half way (the disk full) leaves the file as it was
    // and tells the user once.
    void failedSaveLeavesFileByteIdentical() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        const QByteArray before = readAll(world.working());

        TFormMainTestAccess::document(*w).Finde_XML_SetByName("gamma").append_attribute("description") =
            std::string(4096, 'x').c_str();
        const bool ok = [&] {
            korvane::test::FileSizeLimit full(256);
            return w->SaveAndReload();
        }();

        QVERIFY(!ok);
        QCOMPARE(readAll(world.working()), before);
        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(world.working()), qPrintable(errors[0]));
        // The change is still there and reaches the disk with the next save.
        QVERIFY(w->SaveAndReload());
        QVERIFY(readAll(world.working()).contains(QByteArray(4096, 'x')));
        QVERIFY(readAll(world.working()).contains("<!-- kept through every save -->"));
    }
};

KORVANE_OFFSCREEN_TEST_MAIN(WindowStartupTest)
#include "window_startup_test.moc"
