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

// A run of the program in its own temporary world: data folder, settings
// and the folder of the shipped defaults.
struct World {
    QTemporaryDir root;
    QString data() const { return root.path() + QStringLiteral("/data"); }
    QString config() const { return root.path() + QStringLiteral("/config"); }
    QString program() const { return root.path() + QStringLiteral("/program"); }
    QString working() const { return data() + QStringLiteral("/Pellux3/korvane.xml"); }

    World() {
        qputenv("XDG_DATA_HOME", data().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
        // QSettings keeps its folder once looked up; point it here explicitly.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config());
        QDir().mkpath(program());
    }
    void setDefault(const QByteArray& content) {
        writeAll(program() + QStringLiteral("/korvane.def"), content);
        writeAll(program() + QStringLiteral("/motorprofile.def"), "<motorprofiles/>\n");
    }
    void setLanguage(const QString& code) {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                    QStringLiteral("Korvane"));
        s.setValue(QStringLiteral("Prefs/language"), code);
    }
};

// A main window on a world, without MIDI (port creation fails as on a
// machine without interfaces).
std::unique_ptr<TFormMain> startWindow(const World& world) {
    auto w = std::make_unique<TFormMain>();
    w->setProgramFolder(world.program());
    w->setPortFactories(
        []() -> std::unique_ptr<korvane::TMidiInput> { throw std::runtime_error("no input"); },
        []() -> std::unique_ptr<korvane::TMidiOutput> { throw std::runtime_error("no output"); });
    w->show();
    return w;
}

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
        QVERIFY(items(w->CB_Set).contains(QStringLiteral("delta")));
        QCOMPARE(boxes.count(), std::size_t(0));
    }

    void captionListsAndDescription() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);

        // Alphabetical whatever the case, first entry current.
        QCOMPARE(items(w->CB_Set), (QStringList{"Alpha", "alpha2", "beta", "gamma"}));
        QCOMPARE(w->CB_Set->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(TFormMainTestAccess::configurationName(*w), QStringLiteral("Alpha"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - Alpha"));
        // Groups in document order after the no-assignment entry, none chosen.
        QCOMPARE(items(w->CB_Group), (QStringList{"keine Zuordnung", "G2", "A1"}));
        QCOMPARE(w->CB_Group->currentIndex(), -1);
        QVERIFY(w->MemoDescription->toPlainText().isEmpty());
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), -1);

        // Choosing another configuration: caption, description decoded.
        w->CB_Set->setCurrentIndex(2);
        w->CB_SetChange();
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - beta"));
        // The hand-written first field has no quotes, so its blank splits it.
        QCOMPARE(w->MemoDescription->toPlainText(), QStringLiteral("Erste\nZeile\nzweite Zeile"));
        QCOMPARE(boxes.count(), std::size_t(0));
        // The lists are picked from, never typed into.
        for (QComboBox* list : {w->CB_Set, w->CB_Group, w->CB_MessageName}) QVERIFY(!list->isEditable());
    }

    void emptyLibraryGivesBareCaption() {
        World world;
        world.setDefault("<korvane><sets/><messagegroups/></korvane>");
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        QCOMPARE(w->CB_Set->count(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - "));
        QCOMPARE(items(w->CB_Group), QStringList{"keine Zuordnung"});
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
        QCOMPARE(w->GroupBoxMap->title(), mapCaption);
        QCOMPARE(w->btSend->text(), sendCaption);
        QCOMPARE(plain(w->MenuDatei->title()), fileMenu);
        QCOMPARE(w->CB_Group->itemText(0), noAssignment);
        QVERIFY(w->bt_AenderungenUebernehmen->text().isEmpty());
    }

    // The language menu switches every caption at once and is remembered.
    void languageMenuSwitchesAndRemembers() {
        World world;
        world.setDefault(kLibrary);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        w->CB_Group->setCurrentIndex(1);

        w->Menu_Sprache_English_->trigger();
        QCOMPARE(TFormMainTestAccess::language(*w), QStringLiteral("en"));
        QCOMPARE(w->gb_Message->title(), QStringLiteral("Edit message"));
        QCOMPARE(w->RG_ModeItems[3]->text(), QStringLiteral("Jogwheel position (-8 .. 7)"));
        QCOMPARE(plain(w->Menu_Motorprofileditor_->text()), QStringLiteral("Edit motorprofiles"));
        QCOMPARE(w->CB_Group->itemText(0), QStringLiteral("not in use"));
        QCOMPARE(w->CB_Group->currentText(), QStringLiteral("G2"));  // the choice stays
        w.reset();

        auto again = startWindow(world);
        QCOMPARE(TFormMainTestAccess::language(*again), QStringLiteral("en"));
        QCOMPARE(again->LabelStep->text(), QStringLiteral("Step"));
        again->Menu_Sprache_Deutsch_->trigger();
        QCOMPARE(again->LabelStep->text(), QStringLiteral("Schrittweite"));
        QCOMPARE(again->GroupBoxStellbereich->title(), QStringLiteral("Stellbereich"));
        QCOMPARE(again->CB_Group->itemText(0), QStringLiteral("keine Zuordnung"));
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
        QCOMPARE(w->CB_Set->count(), 0);
        QCOMPARE(items(w->CB_Group), QStringList{"keine Zuordnung"});
        QVERIFY(w->btSend->isEnabled());
        QVERIFY(w->Menu_Beenden_->isEnabled());
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
        QCOMPARE(items(w->CB_Set), (QStringList{"Alpha", "alpha2", "beta", "gamma"}));
        QCOMPARE(items(w->CB_Group), (QStringList{"keine Zuordnung", "G2", "A1"}));
        QCOMPARE(readAll(world.working()), QByteArray("<korvane><sets>"));

        // Every later configuration the user chooses is a refill of its own
        // and tells again, not only the first one.
        for (int chosen = 1; chosen <= 2; ++chosen) {
            w->CB_Set->setCurrentIndex(chosen);
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
        QCOMPARE(w->CB_Set->count(), 0);
        QVERIFY(w->btSend->isEnabled());
        QVERIFY(w->Menu_Beenden_->isEnabled());
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
        QCOMPARE(w->CB_Set->count(), 0);
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
