// Managing the library from the main window as a user does: a configuration
// of one's own filled from a new group and message, renamed, moved,
// exported, opened again and undone; the boxes of the refusals; undo after
// another program wrote the file.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "midi_in.h"
#include "midi_out.h"
#include "window_world.h"

namespace {

const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane>
  <sets>
    <set name="Standard Tarvok NRPN">
      <element name="Fader 2"><group>Standard Tarvok NRPN</group><name>F2</name></element>
    </set>
    <set name="B">
      <element name="Fader 3"><group>Other</group><name>O1</name></element>
    </set>
  </sets>
  <messagegroups>
    <messagegroup name="Standard Tarvok NRPN">
      <message name="F2"><left>B0,07,F1</left></message>
    </messagegroup>
    <messagegroup name="Other">
      <message name="O1"/>
    </messagegroup>
  </messagegroups>
</korvane>
)";

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file's tags without the line breaks and indentation between them.
QString tags(const QString& path) {
    return QString::fromUtf8(readAll(path))
        .replace(QRegularExpression(QStringLiteral(">\\s+<")), QStringLiteral("><"));
}

void writeAll(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

struct World : korvane::testing::WindowWorld {
    World() : WindowWorld(kLibrary) {}
};
using korvane::testing::startWindow;

QStringList items(const QComboBox* box) {
    QStringList result;
    for (int i = 0; i < box->count(); ++i) result << box->itemText(i);
    return result;
}

// Runs a menu entry as a click on it would, through the menu table.
void run(TFormMain& w, const char16_t* entry) {
    QAction* action = w.menuEntry(entry);
    QVERIFY2(action && action->isEnabled(), qPrintable(QString::fromUtf16(entry)));
    action->trigger();
}

void choose(QComboBox* list, const QString& text) {
    const int at = list->findText(text);
    QVERIFY2(at >= 0, qPrintable(text));
    list->setCurrentIndex(at);
}

}  // namespace

class WindowLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void aConfigurationOfOnesOwnFromStartToUndo() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        const QByteArray start = readAll(world.working());
        QVERIFY(!w->menuEntry(u"Menu_Rueckgaengig_")->isEnabled());
        QCOMPARE(w->menuEntry(u"Menu_Rueckgaengig_")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QCOMPARE(w->menuEntry(u"Menu_Wiederherstellen_")->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+Shift+Z")));

        boxes.setNextText(QStringLiteral("Mine"));
        run(*w, u"Menu_Neue_Konfiguration_");
        QCOMPARE(boxes.shown().back().caption, QStringLiteral("Neue Konfiguration"));
        QCOMPARE(parts(w).CB_Set->currentText(), QStringLiteral("Mine"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane Editor V3.044 - Mine"));

        boxes.setNextText(QStringLiteral("Drums"));
        run(*w, u"Menu_Neue_Gruppe_");
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("Drums"));
        boxes.setNextText(QStringLiteral("Kick"));
        run(*w, u"Menu_Neue_Message_");
        QCOMPARE(parts(w).CB_MessageName->currentText(), QStringLiteral("Kick"));

        // Fader 1 gets the new message.
        w->Selektiere(parts(w).EingabeElemente[0]);
        choose(parts(w).CB_Group, QStringLiteral("Drums"));
        w->CB_GroupChange();
        choose(parts(w).CB_MessageName, QStringLiteral("Kick"));
        w->CB_MessageNameChange();
        QVERIFY(tags(world.working())
                    .contains("<element name=\"Fader 1\"><group>Drums</group><name>Kick</name>"));

        boxes.setNextText(QStringLiteral("Percussion"));
        run(*w, u"Menu_Umbenenne_Gruppe_");
        QCOMPARE(boxes.shown().back().caption, QStringLiteral("Gruppe \"Drums\" umbenennen"));
        QCOMPARE(boxes.shown().back().initial, QStringLiteral("Drums"));
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("Percussion"));
        choose(parts(w).CB_MessageName, QStringLiteral("Kick"));

        // The message moves, the fader follows it.
        boxes.setNextGroup(QStringLiteral("Other"));
        run(*w, u"Menu_Schiebe_Message_In_Andere_Gruppe_");
        QCOMPARE(boxes.shown().back().caption, QStringLiteral("Message verschieben"));
        QCOMPARE(boxes.shown().back().choices,
                 (QStringList{"keine Zuordnung", "Standard Tarvok NRPN", "Other", "Percussion"}));
        QCOMPARE(boxes.shown().back().initial, QStringLiteral("Percussion"));
        QVERIFY(tags(world.working())
                    .contains("<element name=\"Fader 1\"><group>Other</group><name>Kick</name>"));
        QCOMPARE(w->menuEntry(u"Menu_Rueckgaengig_")->text(),
                 QStringLiteral("&Rückgängig: Verschieben der Message 'Kick' nach Gruppe 'Other'"));
        const QByteArray afterMove = readAll(world.working());

        // Exported without typing the extension, then opened.
        const QString exported = world.root() + QStringLiteral("/mine");
        boxes.setNextFile(exported);
        run(*w, u"Menu_Exportiere_Konfiguration_");
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Info).back(),
                 QStringLiteral("Die Konfiguration wurde exportiert."));
        boxes.setNextFile(exported + QStringLiteral(".xml"));
        run(*w, u"Menu_Oeffnen_");
        QCOMPARE(boxes.shown().back().initial, w->dataFolder());
        QCOMPARE(items(parts(w).CB_Set), QStringList{"Mine"});
        QCOMPARE(items(parts(w).CB_Group), (QStringList{"keine Zuordnung", "Other"}));
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Error), QStringList());

        // Undo goes back to the working library, then step by step to the
        // start; redo all the way forward again.
        run(*w, u"Menu_Rueckgaengig_");
        QCOMPARE(items(parts(w).CB_Set), (QStringList{"B", "Mine", "Standard Tarvok NRPN"}));
        run(*w, u"Menu_Rueckgaengig_");
        QVERIFY(tags(world.working())
                    .contains("<element name=\"Fader 1\"><group>Percussion</group><name>Kick</name>"));
        while (w->menuEntry(u"Menu_Rueckgaengig_")->isEnabled()) run(*w, u"Menu_Rueckgaengig_");
        QCOMPARE(readAll(world.working()), start);
        QCOMPARE(items(parts(w).CB_Set), (QStringList{"B", "Standard Tarvok NRPN"}));
        for (int i = 0; i < 6; ++i) run(*w, u"Menu_Wiederherstellen_");
        QCOMPARE(readAll(world.working()), afterMove);
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Error), QStringList());
    }

    // Each refusal is one box that names the clash, and the file stays as
    // it was; deleting something in use says how much uses it.
    void refusalsNameTheClashAndChangeNothing() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        const QByteArray start = readAll(world.working());

        boxes.setNextText(QStringLiteral("Standard Tarvok NRPN"));
        run(*w, u"Menu_Neue_Konfiguration_");
        boxes.setNextText(QString());
        run(*w, u"Menu_Neue_Gruppe_");
        choose(parts(w).CB_Group, QStringLiteral("Standard Tarvok NRPN"));
        w->CB_GroupChange();
        boxes.setNextAnswer(false);
        run(*w, u"Menu_Loesche_Gruppe_");
        choose(parts(w).CB_Group, QStringLiteral("Other"));
        w->CB_GroupChange();
        run(*w, u"Menu_Dupliziere_Message_");
        const QString notLibrary = world.root() + QStringLiteral("/profiles.xml");
        writeAll(notLibrary, "<?xml version=\"1.0\"?>\n<motorprofiles/>\n");
        boxes.setNextFile(notLibrary);
        run(*w, u"Menu_Oeffnen_");

        QCOMPARE(
            boxes.texts(korvane::ScriptedDialogs::Kind::Error),
            (QStringList{
                "Es gibt bereits eine Konfiguration \"Standard Tarvok NRPN\". Wählen Sie einen anderen "
                "Namen; es "
                "wurde nichts geändert.",
                "Der Name ist leer oder enthält Steuerzeichen. Es wurde nichts geändert.",
                "Die Standard-Konfiguration kann nicht gelöscht werden", "Sie haben keine Message ausgewählt",
                "Die Datei " + notLibrary +
                    " ist keine Korvane-Konfiguration: Ihr Wurzelelement <motorprofiles> (Zeile 2, Spalte 1) "
                    "enthält weder <sets> noch <messagegroups>.\n\nDer Editor arbeitet weiter mit " +
                    world.working() + "."}));
        QVERIFY(!w->menuEntry(u"Menu_Rueckgaengig_")->isEnabled());

        // Deleting what is in use names how much uses it before anything
        // goes; what nothing uses is asked about without a count.
        const QString inUse =
            QStringLiteral("\n\nSie wird von 1 Element(en) in 1 Konfiguration(en) verwendet.");
        boxes.setNextAnswer(false);
        run(*w, u"Menu_Loesche_Gruppe_");
        choose(parts(w).CB_MessageName, QStringLiteral("O1"));
        boxes.setNextAnswer(false);
        run(*w, u"Menu_Loesche_Message_");
        QCOMPARE(readAll(world.working()), start);
        boxes.setNextText(QStringLiteral("O2"));
        run(*w, u"Menu_Dupliziere_Message_");
        QCOMPARE(parts(w).CB_MessageName->currentText(), QStringLiteral("O2"));
        boxes.setNextAnswer(false);
        run(*w, u"Menu_Loesche_Message_");
        const QStringList questions = boxes.texts(korvane::ScriptedDialogs::Kind::Question);
        QCOMPARE(questions.size(), 3);
        QVERIFY(questions[0].endsWith(inUse));
        QVERIFY(questions[1].startsWith(QStringLiteral("Soll die Message \"O1\" aus der Gruppe \"Other\"")));
        QVERIFY(questions[1].endsWith(inUse));
        QVERIFY(!questions[2].contains(inUse));
    }

    void undoIsRefusedLikeASaveAfterAnotherProgramWroteTheFile() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        boxes.setNextText(QStringLiteral("Mine"));
        run(*w, u"Menu_Neue_Konfiguration_");
        QByteArray theirs(kLibrary);
        theirs.replace("Other", "Theirs");
        writeAll(world.working(), theirs);

        run(*w, u"Menu_Rueckgaengig_");
        QCOMPARE(readAll(world.working()), theirs);
        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("von einem anderen Programm geändert")));
        // The editor shows the file as it is now.
        QVERIFY(items(parts(w).CB_Group).contains(QStringLiteral("Theirs")));
    }

    // What the window saved before this history existed is undone too: the
    // keys typed into a description as one step.
    void typingADescriptionIsOneStep() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        const QByteArray start = readAll(world.working());
        parts(w).MemoDescription->setFocus();
        QTest::keyClicks(parts(w).MemoDescription, QStringLiteral("Bass"));
        QVERIFY(readAll(world.working()).contains("description=\"Bass\""));
        QCOMPARE(w->menuEntry(u"Menu_Rueckgaengig_")->text(),
                 QStringLiteral("&Rückgängig: Beschreibung der Konfiguration 'B'"));
        run(*w, u"Menu_Rueckgaengig_");
        QCOMPARE(readAll(world.working()), start);
        QVERIFY(parts(w).MemoDescription->toPlainText().isEmpty());
        QVERIFY(!w->menuEntry(u"Menu_Rueckgaengig_")->isEnabled());
    }

    void undoNamesTheChangeInTheLanguageShown() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto w = startWindow(world);
        choose(parts(w).CB_Group, QStringLiteral("Other"));
        w->CB_GroupChange();
        boxes.setNextText(QStringLiteral("Drums & Bass"));
        run(*w, u"Menu_Umbenenne_Gruppe_");
        QCOMPARE(w->menuEntry(u"Menu_Rueckgaengig_")->text(),
                 QStringLiteral("&Rückgängig: Umbenennen der Gruppe 'Other' in 'Drums && Bass'"));
        w->Menu_Sprache_English_Click();
        QCOMPARE(w->menuEntry(u"Menu_Rueckgaengig_")->text(),
                 QStringLiteral("&Undo rename of group 'Other' to 'Drums && Bass'"));
        QCOMPARE(w->menuEntry(u"Menu_Wiederherstellen_")->text(), QStringLiteral("&Redo"));
        run(*w, u"Menu_Rueckgaengig_");
        QCOMPARE(w->menuEntry(u"Menu_Wiederherstellen_")->text(),
                 QStringLiteral("&Redo rename of group 'Other' to 'Drums && Bass'"));
        w->Menu_Sprache_Deutsch_Click();
    }
};

QTEST_MAIN(WindowLibraryTest)
#include "window_library_test.moc"
