// The main window's map, message panel, selection/assignment and apply,
// driven through its handlers with a library written to a temporary data
// folder; every change is checked in the file on disk.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <pugixml.hpp>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "midi_in.h"
#include "midi_out.h"
#include "offscreen_main.h"
#include "surface_map.h"

using namespace korvane;

namespace {

const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane>
  <sets>
    <set name="Test">
      <element name="Fader 2"><group>G2</group><name>Other</name></element>
      <element name="Fader 2"><group>G1</group><name>Fader14</name></element>
      <element name="Taste 1"><group>G1</group><name>Gone</name></element>
      <element name="Taste 2"><group>NoGroup</group><name>X</name></element>
      <element name="Taste 3"><group>G1</group><name>Broken</name></element>
      <element name="Fader 1"><group>G1</group><name>Fader14</name></element>
    </set>
    <set name="Zweite"/>
  </sets>
  <messagegroups>
    <messagegroup name="G1">
      <message name="Fader14"><left>B0,07,F1</left><mode>14</mode><range>absolute</range><min>0</min><max>16383</max><step>1</step><start>0</start></message>
      <message name="Seven"><left>B0,07,F1</left><mode>7</mode><range>absolute</range><min>0</min><max>16383</max><step>129</step><start>8256</start></message>
      <message name="Percent"><left>B0,07,F1</left><mode>7</mode><range>percent</range><min>2047</min><max>16383</max><step>163</step><start>8191</start></message>
      <message name="MaxZero"><mode>14</mode><range>absolute</range><max>0</max></message>
      <message name="Bare"/>
      <message name="Button"><left>90,3C,7F</left><right>90,3C,00</right><mode>1</mode></message>
      <message name="Broken"><left>B0</left><max>12x</max></message>
    </messagegroup>
    <messagegroup name="G2"><message name="Other"/></messagegroup>
  </messagegroups>
</korvane>
)";

QString dataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellux3");
}
QString documentPath() { return dataFolder() + QStringLiteral("/korvane.xml"); }

QByteArray readFile() {
    QFile f(documentPath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// The file as it is on disk now, parsed.
struct OnDisk {
    pugi::xml_document doc;
    OnDisk() { doc.load_file(documentPath().toStdString().c_str()); }
    pugi::xml_node set(const char* name) const {
        return doc.document_element().child("sets").find_child_by_attribute("set", "name", name);
    }
    pugi::xml_node message(const char* group, const char* name) const {
        return doc.document_element()
            .child("messagegroups")
            .find_child_by_attribute("messagegroup", "name", group)
            .find_child_by_attribute("message", "name", name);
    }
    static QStringList childNames(pugi::xml_node node) {
        QStringList names;
        for (pugi::xml_node c : node.children()) {
            if (c.type() == pugi::node_element) names << QString::fromUtf8(c.name());
        }
        return names;
    }
};

QImage shownImage(const TImage* picture) { return picture->picture().toImage(); }
QImage stateImage(const TImage* picture, TEingabeElementFarbe state) {
    return imageListForTag(picture->Tag())->image(state).toImage();
}

}  // namespace

class PanelEditorTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> w;
    ScriptedDialogs boxes;
    std::unique_ptr<ScopedDialogs> boxScope;

    TImage* picture(int element) const { return parts(w).EingabeElemente[static_cast<std::size_t>(element)]; }

    void chooseGroup(const QString& group) {
        parts(w).CB_Group->setCurrentIndex(parts(w).CB_Group->findText(group));
        w->CB_GroupChange();
    }
    void chooseMessage(const QString& message) {
        parts(w).CB_MessageName->setCurrentIndex(parts(w).CB_MessageName->findText(message));
        w->CB_MessageNameChange();
    }
    // Selects an element and assigns it a message of G1 through the lists.
    void assign(int element, const QString& message) {
        w->ElementClicked(picture(element));
        chooseGroup(QStringLiteral("G1"));
        chooseMessage(message);
    }
    void clickRange(QRadioButton* rb) { rb->click(); }
    // A fresh window on the given library instead of the common one.
    void restartWith(const QByteArray& library) {
        w.reset();
        QFile f(documentPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(library);
        f.close();
        w = std::make_unique<TFormMain>();
        w->setPortFactories([] { return std::unique_ptr<TMidiInput>(); },
                            [] { return std::unique_ptr<TMidiOutput>(); });
        w->show();
    }
    QStringList rangeTexts() const {
        return {parts(w).Ed_Max->text(), parts(w).Ed_Min->text(), parts(w).Ed_Step->text(),
                parts(w).Ed_Start->text()};
    }

private slots:
    void init() {
        QDir().mkpath(dataFolder());
        QFile::remove(documentPath());
        QFile f(documentPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kLibrary);
        f.close();
        // The motor profile document is not used here; its presence keeps
        // the start-up from asking for the shipped default.
        QFile profiles(dataFolder() + QStringLiteral("/motorprofile.mp"));
        QVERIFY(profiles.open(QIODevice::WriteOnly));
        profiles.close();
        boxes.clear();
        boxScope = std::make_unique<ScopedDialogs>(&boxes);
        w = std::make_unique<TFormMain>();
        w->setPortFactories([] { return std::unique_ptr<TMidiInput>(); },
                            [] { return std::unique_ptr<TMidiOutput>(); });
        w->show();
        QCOMPARE(parts(w).CB_Set->currentText(), QStringLiteral("Test"));
        QVERIFY2(boxes.count() == 0, qPrintable(boxes.count() ? boxes.shown().front().text : QString()));
    }
    void cleanup() {
        w.reset();
        boxScope.reset();
        QLocale::setDefault(QLocale::c());
        // A language switched by a test must not carry over into the next start.
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                  QStringLiteral("Korvane"))
            .remove(QStringLiteral("Prefs/language"));
    }

    // ---------------------------------------------------------------- map

    void mapColoursAndHints_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("element");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("hint");
        const int blue = EEIMG_BLUE, black = EEIMG_BLACK, red = EEIMG_RED;
        QTest::newRow("Fader1 (tag 64) assigned") << "de" << 0 << black << "Fader 1\n\rG1\n\rFader14";
        QTest::newRow("unassigned") << "de" << 2 << blue << "Fader 3\n\rKeine Zuordnung";
        QTest::newRow("unassigned en") << "en" << 9 + 5 << blue << "Button 6\n\rNot in use";
        QTest::newRow("deleted message")
            << "de" << 9 << red << "Taste 1\n\rGone\n\rFehler: Message nicht gefunden";
        QTest::newRow("deleted message en")
            << "en" << 9 << red << "Button 1\n\rGone\n\rError: Message not found";
        QTest::newRow("missing group")
            << "de" << 10 << red << "Taste 2\n\rX\n\rFehler: Message nicht gefunden";
    }
    void mapColoursAndHints() {
        QFETCH(QString, language);
        QFETCH(int, element);
        QFETCH(int, state);
        QFETCH(QString, hint);
        TFormMainTestAccess::language(*w) = language;
        w->HinweiseErzeugen();
        QCOMPARE(picture(element)->Hint(), hint);
        QCOMPARE(w->HinweisErzeugen(picture(element)), hint);
        QCOMPARE(shownImage(picture(element)), stateImage(picture(element), TEingabeElementFarbe(state)));
    }

    void choosingAConfigurationRecoloursTheSelection() {
        w->ElementClicked(picture(1));
        QCOMPARE(shownImage(picture(1)), stateImage(picture(1), EEIMG_GREEN));
        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(QStringLiteral("Zweite")));
        w->CB_SetChange();
        // Zweite assigns nothing: every element blue, the selection stays.
        QCOMPARE(shownImage(picture(1)), stateImage(picture(1), EEIMG_BLUE));
        QCOMPARE(shownImage(picture(0)), stateImage(picture(0), EEIMG_BLUE));
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), 1);
    }

    // ---------------------------------------------------------------- selection

    void selectDeselectReselect() {
        QCOMPARE(w->findChild<TImage*>(QStringLiteral("Fader1")), picture(0));
        w->ElementClicked(picture(0));
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), 0);
        QCOMPARE(TFormMainTestAccess::lastElement(*w), picture(0));
        QCOMPARE(shownImage(picture(0)), stateImage(picture(0), EEIMG_GREEN));
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("G1"));
        QCOMPARE(parts(w).CB_MessageName->currentText(), QStringLiteral("Fader14"));
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QStringLiteral("B0,07,F1"));
        QCOMPARE(parts(w).LabelLinksDruecken->text(), QStringLiteral("Fader (High: F1, Low: F2):"));
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());

        // An element without assignment: green, empty panel, no message chosen.
        w->ElementClicked(picture(2));
        QCOMPARE(shownImage(picture(0)), stateImage(picture(0), EEIMG_BLACK));
        QCOMPARE(shownImage(picture(2)), stateImage(picture(2), EEIMG_GREEN));
        QCOMPARE(parts(w).CB_MessageName->currentText(), QString());
        QVERIFY(parts(w).CB_MessageName->isEnabled());  // the group list still shows G1
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QString());
        QVERIFY(!parts(w).Edit_MsgLeft->isEnabled());
        QCOMPARE(w->RG_ModeItemIndex(), -1);

        // The background deselects and keeps the last element.
        w->ElementClicked(picture(1));
        w->Deselect();
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), -1);
        QCOMPARE(TFormMainTestAccess::lastElement(*w), picture(1));
        QCOMPARE(shownImage(picture(1)), stateImage(picture(1), EEIMG_BLACK));
        QVERIFY(!parts(w).RG_Mode->isEnabled());
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        // An empty panel is never applied: the message the lists still name
        // must not be overwritten by it.
        const QByteArray before = readFile();
        w->Aenderungen_uebernehmen();
        QCOMPARE(readFile(), before);

        // Re-selecting the kept element shows its message again.
        w->Selektiere(TFormMainTestAccess::lastElement(*w));
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), 1);
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QStringLiteral("B0,07,F1"));
        QCOMPARE(boxes.count(), std::size_t{0});
    }

    void danglingReferencesChangeNothing_data() {
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("box");
        QTest::newRow("message") << 9 << "Fehler in XML-Datei. <message name=\"Gone\"> wurde nicht gefunden.";
        QTest::newRow("group")
            << 10 << "Fehler in XML-Datei. <messagegroup name=\"NoGroup\"> wurde nicht gefunden.";
    }
    void danglingReferencesChangeNothing() {
        QFETCH(int, element);
        QFETCH(QString, box);
        w->ElementClicked(picture(1));
        const TMessageRecord shown = TFormMainTestAccess::shownMessage(*w);
        const QByteArray before = readFile();
        w->ElementClicked(picture(element));
        QCOMPARE(boxes.texts(ScriptedDialogs::Kind::Message), QStringList{box});
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), element);
        QCOMPARE(shownImage(picture(element)), stateImage(picture(element), EEIMG_GREEN));
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QStringLiteral("B0,07,F1"));
        QCOMPARE(parts(w).CB_MessageName->currentText(), QStringLiteral("Fader14"));
        QVERIFY(TFormMainTestAccess::shownMessage(*w) == shown);
        QCOMPARE(readFile(), before);
    }

    void storedValueNotAWholeNumber() {
        w->ElementClicked(picture(1));
        const QByteArray before = readFile();
        w->ElementClicked(picture(11));  // Taste 3 -> Broken, max "12x"
        const QStringList errors = boxes.texts(ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("Broken")));
        QVERIFY(errors[0].contains(QStringLiteral("12x")));
        QVERIFY(!TFormMainTestAccess::panelShowsMessage(*w));
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), 11);
        QCOMPARE(readFile(), before);
    }

    // ---------------------------------------------------------------- assignment

    void unassignedElementShowsNoNamelessMessage() {
        // A group may hold a message without a name (or with an empty one);
        // the empty list text of an unassigned element must not find it.
        QByteArray library(kLibrary);
        library.replace("<message name=\"Bare\"/>",
                        "<message name=\"Bare\"/><message><left>F0,01</left></message>");
        restartWith(library);
        w->ElementClicked(picture(0));  // assigned in G1: the group list shows G1
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("G1"));
        const QByteArray before = readFile();
        w->ElementClicked(picture(5));  // no assignment
        QCOMPARE(parts(w).CB_MessageName->currentText(), QString());
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QString());
        QVERIFY(!parts(w).Edit_MsgLeft->isEnabled());
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        QCOMPARE(readFile(), before);
    }

    void messageListLeftFromAnotherConfigurationAssignsNothing() {
        assign(1, QStringLiteral("Seven"));
        // Another configuration: the group list shows no group, the message
        // list still holds G1's messages and the element stays selected.
        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(QStringLiteral("Zweite")));
        w->CB_SetChange();
        QCOMPARE(parts(w).CB_Group->currentText(), QString());
        const QByteArray before = readFile();
        chooseMessage(QStringLiteral("Percent"));
        QCOMPARE(readFile(), before);
        QVERIFY(!OnDisk().set("Zweite").child("element"));
        QCOMPARE(shownImage(picture(1)), stateImage(picture(1), EEIMG_BLUE));
    }

    void assigningAppendsElementAndSaves() {
        assign(2, QStringLiteral("Seven"));
        OnDisk disk;
        const pugi::xml_node last = disk.set("Test").last_child();
        QCOMPARE(QString::fromUtf8(last.attribute("name").value()), QStringLiteral("Fader 3"));
        QCOMPARE(OnDisk::childNames(last), (QStringList{"group", "name"}));
        QCOMPARE(QString::fromUtf8(last.child_value("group")), QStringLiteral("G1"));
        QCOMPARE(QString::fromUtf8(last.child_value("name")), QStringLiteral("Seven"));
        QCOMPARE(shownImage(picture(2)), stateImage(picture(2), EEIMG_BLACK));
        QCOMPARE(picture(2)->Hint(), QStringLiteral("Fader 3\n\rG1\n\rSeven"));

        // A second choice rewrites the same node instead of adding one.
        chooseGroup(QStringLiteral("G2"));
        chooseMessage(QStringLiteral("Other"));
        OnDisk again;
        int count = 0;
        for (pugi::xml_node e : again.set("Test").children("element"))
            count += QString::fromUtf8(e.attribute("name").value()) == QStringLiteral("Fader 3");
        QCOMPARE(count, 1);
        QCOMPARE(QString::fromUtf8(again.set("Test").last_child().child_value("group")),
                 QStringLiteral("G2"));
    }

    void noAssignmentEntry() {
        // Without a selected element it only empties the message list and panel.
        w->ElementClicked(picture(1));
        w->Deselect();
        const QByteArray before = readFile();
        parts(w).CB_Group->setCurrentIndex(0);
        QCOMPARE(parts(w).CB_Group->currentText(), QStringLiteral("keine Zuordnung"));
        w->CB_GroupChange();
        QCOMPARE(readFile(), before);
        QVERIFY(!parts(w).CB_MessageName->isEnabled());
        QCOMPARE(parts(w).CB_MessageName->count(), 0);

        // With Fader 2 selected its nodes go (also the duplicate in front of
        // the one that counts), and the file is saved.
        w->ElementClicked(picture(1));
        parts(w).CB_Group->setCurrentIndex(0);
        w->CB_GroupChange();
        OnDisk disk;
        QVERIFY(!disk.set("Test").find_child_by_attribute("element", "name", "Fader 2"));
        QVERIFY(disk.set("Test").find_child_by_attribute("element", "name", "Fader 1"));
        QCOMPARE(shownImage(picture(1)), stateImage(picture(1), EEIMG_BLUE));
        QCOMPARE(picture(1)->Hint(), QStringLiteral("Fader 2\n\rKeine Zuordnung"));
        QVERIFY(!parts(w).Edit_MsgLeft->isEnabled());
    }

    // ---------------------------------------------------------------- panel layout

    void modeLayout_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("element");
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::newRow("fader 14") << "de" << 0 << 0 << "Fader (High: F1, Low: F2):"
                                  << "";
        QTest::newRow("fader 14 en") << "en" << 8 << 0 << "Fader (high: F1, low: F2):"
                                     << "";
        QTest::newRow("fader 7") << "de" << 3 << 1 << "Fader (Wert: F1):"
                                 << "";
        QTest::newRow("fader button") << "de" << 3 << 2 << ""
                                      << "";
        QTest::newRow("button 14") << "de" << 12 << 0 << ""
                                   << "";
        QTest::newRow("button") << "de" << 9 << 2 << "Taste drücken:"
                                << "Taste loslassen:";
        QTest::newRow("button en") << "en" << 28 << 2 << "Button pressed:"
                                   << "Button released:";
        QTest::newRow("encoder 14") << "de" << 29 << 0 << "Drehregler (High: F1, Low: F2):"
                                    << "";
        QTest::newRow("encoder 7 en") << "en" << 46 << 1 << "Inc. knob (value F1):"
                                      << "";
        QTest::newRow("encoder button") << "de" << 40 << 2 << "Drehregler links:"
                                        << "Drehregler rechts:";
        QTest::newRow("encoder button en") << "en" << 30 << 2 << "Inc. knob turned to left:"
                                           << "Inc. knob turned to right:";
        QTest::newRow("jog shuttle button") << "de" << 47 << 2 << ""
                                            << "";
        QTest::newRow("jog wheel 14") << "de" << 63 << 0 << ""
                                      << "";
        QTest::newRow("fader jog") << "de" << 0 << 3 << "JogWheel-Bewegung"
                                   << "";
        QTest::newRow("button jog en") << "en" << 15 << 3 << "Jogwheel"
                                       << "";
        QTest::newRow("jog wheel jog") << "de" << 48 << 3 << "JogWheel-Bewegung"
                                       << "";
    }
    void modeLayout() {
        QFETCH(QString, language);
        QFETCH(int, element);
        QFETCH(int, item);
        QFETCH(QString, left);
        QFETCH(QString, right);
        TFormMainTestAccess::language(*w) = language;
        assign(element, QStringLiteral("Fader14"));
        parts(w).RG_ModeItems[static_cast<std::size_t>(item)]->click();
        QCOMPARE(parts(w).LabelLinksDruecken->text(), left);
        QCOMPARE(parts(w).LabelRechtsLoslassen->text(), right);
        const bool buttonMode = item == 2;
        QCOMPARE(!parts(w).Edit_MsgRight->isHidden(), buttonMode);
        QCOMPARE(parts(w).Edit_MsgRight->isEnabled(), buttonMode);
        // Button and jog-wheel modes force full range and lock the choice.
        const bool rangeFree = item < 2;
        for (QRadioButton* rb : {parts(w).rb_Range_Full, parts(w).rb_Range_Part, parts(w).rb_Range_Percent})
            QCOMPARE(rb->isEnabled(), rangeFree);
        if (!rangeFree) {
            QVERIFY(parts(w).rb_Range_Full->isChecked());
            QCOMPARE(w->GetRange(), RANGE_FULL);
            QCOMPARE(rangeTexts(), (QStringList{"", "", "", ""}));
            QVERIFY(!parts(w).Ed_Max->isEnabled());
        }
        QCOMPARE(w->GetMode(), TMode(item + 1));
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled() == (item != 0));
    }

    // The captions over the templates speak the language switched to while a
    // message is shown, and what the user has typed stays.
    void templateCaptionsFollowTheLanguageSwitch_data() {
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("german");   // left, right
        QTest::addColumn<QStringList>("english");  // left, right
        QTest::newRow("button") << 9 << "Button" << QStringList{"Taste drücken:", "Taste loslassen:"}
                                << QStringList{"Button pressed:", "Button released:"};
        QTest::newRow("encoder button")
            << 30 << "Button" << QStringList{"Drehregler links:", "Drehregler rechts:"}
            << QStringList{"Inc. knob turned to left:", "Inc. knob turned to right:"};
        QTest::newRow("fader 14") << 0 << "Fader14" << QStringList{"Fader (High: F1, Low: F2):", ""}
                                  << QStringList{"Fader (high: F1, low: F2):", ""};
        QTest::newRow("encoder 7") << 46 << "Seven" << QStringList{"Drehregler (Wert F1):", ""}
                                   << QStringList{"Inc. knob (value F1):", ""};
    }
    void templateCaptionsFollowTheLanguageSwitch() {
        QFETCH(int, element);
        QFETCH(QString, message);
        QFETCH(QStringList, german);
        QFETCH(QStringList, english);
        assign(element, message);
        const auto captions = [this] {
            return QStringList{parts(w).LabelLinksDruecken->text(), parts(w).LabelRechtsLoslassen->text()};
        };
        QCOMPARE(captions(), german);
        parts(w).Edit_MsgLeft->setText(QStringLiteral("B0,09,F1"));

        parts(w).Menu_Sprache_English_->trigger();
        QCOMPARE(captions(), english);
        QCOMPARE(parts(w).Edit_MsgLeft->text(), QStringLiteral("B0,09,F1"));
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
        parts(w).Menu_Sprache_Deutsch_->trigger();
        QCOMPARE(captions(), german);

        // An empty panel stays without captions in either language.
        w->Deselect();
        parts(w).Menu_Sprache_English_->trigger();
        QCOMPARE(captions(), (QStringList{"", ""}));
    }

    void buttonModeAndBack() {
        assign(2, QStringLiteral("Fader14"));
        QVERIFY(parts(w).rb_Range_Part->isChecked());
        parts(w).RG_ModeItems[2]->click();
        QVERIFY(parts(w).rb_Range_Full->isChecked());
        QVERIFY(!parts(w).rb_Range_Part->isChecked());
        parts(w).RG_ModeItems[0]->click();
        QVERIFY(parts(w).Edit_MsgRight->isHidden());
        QVERIFY(parts(w).rb_Range_Part->isEnabled());
        QVERIFY(parts(w).rb_Range_Full->isChecked());
        QCOMPARE(rangeTexts(), (QStringList{"", "", "", ""}));
    }

    // ---------------------------------------------------------------- range display

    void rangeDisplay_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("range");      // which button to click, "" for as loaded
        QTest::addColumn<QStringList>("shown");  // Max, Min, Step, Start
        QTest::addColumn<bool>("applyEnabled");
        QTest::newRow("14 bit as stored") << "Fader14"
                                          << "" << QStringList{"16383", "0", "1", "0"} << false;
        QTest::newRow("7 bit as percent") << "Seven"
                                          << "percent" << QStringList{"100", "0", "1", "50"} << true;
        QTest::newRow("percent as 7 bit") << "Percent"
                                          << "abs" << QStringList{"127", "16", "1", "63"} << true;
        QTest::newRow("full range reads defaults") << "Bare"
                                                   << "abs" << QStringList{"16383", "0", "1", "0"} << true;
        QTest::newRow("full range clears") << "Seven"
                                           << "full" << QStringList{"", "", "", ""} << true;
    }
    void rangeDisplay() {
        QFETCH(QString, message);
        QFETCH(QString, range);
        QFETCH(QStringList, shown);
        QFETCH(bool, applyEnabled);
        assign(2, message);
        if (range == QStringLiteral("abs")) clickRange(parts(w).rb_Range_Part);
        if (range == QStringLiteral("percent")) clickRange(parts(w).rb_Range_Percent);
        if (range == QStringLiteral("full")) clickRange(parts(w).rb_Range_Full);
        QCOMPARE(rangeTexts(), shown);
        QCOMPARE(parts(w).Lb_percent1->text(),
                 w->GetRange() == RANGE_PERCENT ? QStringLiteral("%") : QString());
        QCOMPARE(parts(w).bt_AenderungenUebernehmen->isEnabled(), applyEnabled);
    }

    // Clicking the range or mode already chosen changes nothing: the values
    // typed into the range edits stay, and the choice stays checked.
    void clickingTheChosenRangeOrModeKeepsTypedValues_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("button");
        QTest::newRow("absolute") << "Fader14"
                                  << "abs";
        QTest::newRow("percent") << "Percent"
                                 << "percent";
        QTest::newRow("7-bit mode") << "Seven"
                                    << "mode7";
        QTest::newRow("14-bit mode") << "Fader14"
                                     << "mode14";
    }
    void clickingTheChosenRangeOrModeKeepsTypedValues() {
        QFETCH(QString, message);
        QFETCH(QString, button);
        assign(2, message);
        QAbstractButton* target = button == QStringLiteral("abs")       ? parts(w).rb_Range_Part
                                  : button == QStringLiteral("percent") ? parts(w).rb_Range_Percent
                                  : button == QStringLiteral("mode7")   ? parts(w).RG_ModeItems[1]
                                                                        : parts(w).RG_ModeItems[0];
        QVERIFY(target->isChecked());
        const TRange range = w->GetRange();
        const TMode mode = w->GetMode();
        parts(w).Ed_Max->setText(QStringLiteral("99"));
        parts(w).Ed_Start->setText(QStringLiteral("7"));
        target->click();
        QVERIFY(target->isChecked());
        QCOMPARE(w->GetRange(), range);
        QCOMPARE(w->GetMode(), mode);
        QCOMPARE(parts(w).Ed_Max->text(), QStringLiteral("99"));
        QCOMPARE(parts(w).Ed_Start->text(), QStringLiteral("7"));
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
        // The keyboard's Space on the focused choice is the same click.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Space);
        QVERIFY(target->isChecked());
        QCOMPARE(parts(w).Ed_Max->text(), QStringLiteral("99"));
    }

    void changeDetectionFollowsRealEdits() {
        assign(2, QStringLiteral("Seven"));
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        parts(w).Ed_Start->setText(QStringLiteral("65"));
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
        parts(w).Ed_Start->setText(QStringLiteral("64"));
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        parts(w).Edit_MsgLeft->setText(QStringLiteral("B0,07,F1 "));
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
    }

    // ---------------------------------------------------------------- apply

    void applyStoresConvertedValues_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("typed");   // Max, Min, Step, Start; "" leaves the edit alone
        QTest::addColumn<QStringList>("stored");  // max, min, step, start on disk
        QTest::addColumn<QStringList>("reshown");
        QTest::newRow("7 bit 64 -> 8256")
            << "Seven"
            << ""
            << "C" << QStringList{"64", "", "", ""} << QStringList{"8256", "0", "129", "8256"}
            << QStringList{"64", "0", "1", "64"};
        QTest::newRow("percent 12,5 German")
            << "Percent"
            << ""
            << "de" << QStringList{"", "12,5", "", ""} << QStringList{"16383", "2047", "163", "8191"}
            << QStringList{"100", "12", "1", "50"};
        QTest::newRow("full range empties") << "Seven"
                                            << "full"
                                            << "C" << QStringList{"", "", "", ""}
                                            << QStringList{"", "", "", ""} << QStringList{"", "", "", ""};
    }
    void applyStoresConvertedValues() {
        QFETCH(QString, message);
        QFETCH(QString, range);
        QFETCH(QString, locale);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, reshown);
        QLocale::setDefault(locale == QStringLiteral("de") ? QLocale(QLocale::German, QLocale::Germany)
                                                           : QLocale::c());
        assign(2, message);
        if (range == QStringLiteral("percent")) clickRange(parts(w).rb_Range_Percent);
        if (range == QStringLiteral("full")) clickRange(parts(w).rb_Range_Full);
        const std::array<QLineEdit*, 4> edits = {parts(w).Ed_Max, parts(w).Ed_Min, parts(w).Ed_Step,
                                                 parts(w).Ed_Start};
        for (std::size_t i = 0; i < 4; ++i)
            if (!typed[int(i)].isEmpty()) edits[i]->setText(typed[int(i)]);
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
        parts(w).bt_AenderungenUebernehmen->click();
        QCOMPARE(boxes.count(), std::size_t{0});

        OnDisk disk;
        const pugi::xml_node node = disk.message("G1", message.toUtf8().constData());
        QStringList onDisk;
        for (const char* child : {"max", "min", "step", "start"})
            onDisk << QString::fromUtf8(node.child_value(child));
        QCOMPARE(onDisk, stored);
        // The element is selected again and shows what was saved, unchanged.
        QCOMPARE(TFormMainTestAccess::selectedElement(*w), 2);
        QCOMPARE(rangeTexts(), reshown);
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
    }

    // Enter in any edit of the panel applies like the apply button; with
    // nothing edited it writes nothing.
    void enterInAnEditApplies_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");  // "" leaves the edit as shown
        QTest::addColumn<QString>("child");
        QTest::addColumn<QString>("stored");
        QTest::newRow("7-bit max") << "max"
                                   << "64"
                                   << "max"
                                   << "8256";
        QTest::newRow("template") << "left"
                                  << "B0,08,F1"
                                  << "left"
                                  << "B0,08,F1";
        QTest::newRow("start") << "start"
                               << "0"
                               << "start"
                               << "0";
        QTest::newRow("nothing edited") << "min"
                                        << ""
                                        << "max"
                                        << "16383";
    }
    void enterInAnEditApplies() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, child);
        QFETCH(QString, stored);
        assign(2, QStringLiteral("Seven"));
        QLineEdit* target = edit == QStringLiteral("left")  ? parts(w).Edit_MsgLeft
                            : edit == QStringLiteral("max") ? parts(w).Ed_Max
                            : edit == QStringLiteral("min") ? parts(w).Ed_Min
                                                            : parts(w).Ed_Start;
        const QByteArray before = readFile();
        if (!typed.isEmpty()) target->setText(typed);
        QTest::keyClick(target, Qt::Key_Return);
        if (typed.isEmpty()) QCOMPARE(readFile(), before);
        QCOMPARE(QString::fromUtf8(OnDisk().message("G1", "Seven").child_value(child.toUtf8().constData())),
                 stored);
        QVERIFY(!parts(w).bt_AenderungenUebernehmen->isEnabled());
        QCOMPARE(boxes.count(), std::size_t{0});
    }

    // A focused button of the window answers Enter as well as Space.
    void focusedButtonsAnswerEnter_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::newRow("apply, Return") << "apply" << int(Qt::Key_Return);
        QTest::newRow("apply, Enter") << "apply" << int(Qt::Key_Enter);
        QTest::newRow("send, Return") << "send" << int(Qt::Key_Return);
    }
    void focusedButtonsAnswerEnter() {
        QFETCH(QString, button);
        QFETCH(int, key);
        assign(2, QStringLiteral("Seven"));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        if (button == QStringLiteral("apply")) {
            parts(w).Ed_Max->setText(QStringLiteral("64"));
            parts(w).bt_AenderungenUebernehmen->setFocus();
            QTest::keyClick(parts(w).bt_AenderungenUebernehmen, Qt::Key(key));
            QCOMPARE(QString::fromUtf8(OnDisk().message("G1", "Seven").child_value("max")),
                     QStringLiteral("8256"));
        } else {
            // No MIDI ports here: the send command answers with its error box.
            parts(w).btSend->setFocus();
            QTest::keyClick(parts(w).btSend, Qt::Key(key));
            QCOMPARE(boxes.texts(ScriptedDialogs::Kind::Error).size(), 1);
        }
    }

    void applyWritesChildrenInOrderAndTemplatesAsTyped() {
        assign(2, QStringLiteral("Bare"));
        parts(w).RG_ModeItems[1]->click();
        clickRange(parts(w).rb_Range_Part);
        parts(w).Ed_Max->setText(QStringLiteral("100"));
        parts(w).Edit_MsgLeft->setText(QStringLiteral("b0 07  7f"));
        w->Aenderungen_uebernehmen();
        OnDisk disk;
        const pugi::xml_node node = disk.message("G1", "Bare");
        QCOMPARE(OnDisk::childNames(node),
                 (QStringList{"range", "min", "max", "step", "start", "mode", "right", "left"}));
        QCOMPARE(QString::fromUtf8(node.child_value("left")), QStringLiteral("b0 07  7f"));
        QCOMPARE(QString::fromUtf8(node.child_value("mode")), QStringLiteral("7"));
        QCOMPARE(QString::fromUtf8(node.child_value("range")), QStringLiteral("absolute"));
        QCOMPARE(QString::fromUtf8(node.child_value("max")), QStringLiteral("12900"));
        // The assignment itself is untouched by an apply.
        QCOMPARE(QString::fromUtf8(disk.set("Test").last_child().child_value("name")),
                 QStringLiteral("Bare"));

        // An empty template is a template: it is stored, not silently skipped.
        parts(w).Edit_MsgLeft->clear();
        w->Aenderungen_uebernehmen();
        OnDisk again;
        QVERIFY(again.message("G1", "Bare").child("left"));
        QCOMPARE(QString::fromUtf8(again.message("G1", "Bare").child_value("left")), QString());
        QCOMPARE(boxes.count(), std::size_t{0});
    }

    void applyRefusesBadValues_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("item");  // mode to click, -1 keeps the loaded one
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");  // a part of the error text
        QTest::newRow("lone digit") << "Seven" << -1 << ""
                                    << "C"
                                    << "left"
                                    << "B0,7,FE"
                                    << "Fehler: Dies ist keine gültige Hexadezimalwert-Kette (B0,7,FE)";
        QTest::newRow("right in button mode")
            << "Button" << -1 << ""
            << "C"
            << "right"
            << "90;3C"
            << "Fehler: Dies ist keine gültige Hexadezimalwert-Kette (90;3C)";
        QTest::newRow("14 bit too big") << "Fader14" << -1 << ""
                                        << "C"
                                        << "max"
                                        << "16384"
                                        << "0 bis 16383";
        QTest::newRow("14 bit not a number") << "Fader14" << -1 << ""
                                             << "C"
                                             << "step"
                                             << "1e3"
                                             << "Schrittweite";
        QTest::newRow("7 bit too big") << "Seven" << -1 << ""
                                       << "C"
                                       << "start"
                                       << "128"
                                       << "0 bis 127";
        QTest::newRow("percent too big") << "Percent" << -1 << ""
                                         << "de"
                                         << "max"
                                         << "100,5"
                                         << "0 bis 100";
        QTest::newRow("percent wrong separator") << "Percent" << -1 << ""
                                                 << "de"
                                                 << "min"
                                                 << "12.5"
                                                 << "\",\"";
        QTest::newRow("percent two separators") << "Percent" << -1 << ""
                                                << "C"
                                                << "min"
                                                << "1.2.3"
                                                << "Min";
    }
    void applyRefusesBadValues() {
        QFETCH(QString, message);
        QFETCH(int, item);
        QFETCH(QString, range);
        QFETCH(QString, locale);
        QFETCH(QString, edit);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QLocale::setDefault(locale == QStringLiteral("de") ? QLocale(QLocale::German, QLocale::Germany)
                                                           : QLocale::c());
        assign(2, message);
        if (item >= 0) parts(w).RG_ModeItems[static_cast<std::size_t>(item)]->click();
        // A valid change elsewhere first: it must not be written either.
        parts(w).Edit_MsgLeft->setText(QStringLiteral("B0,08,F1"));
        QLineEdit* target = edit == QStringLiteral("left")    ? parts(w).Edit_MsgLeft
                            : edit == QStringLiteral("right") ? parts(w).Edit_MsgRight
                            : edit == QStringLiteral("max")   ? parts(w).Ed_Max
                            : edit == QStringLiteral("min")   ? parts(w).Ed_Min
                            : edit == QStringLiteral("step")  ? parts(w).Ed_Step
                                                              : parts(w).Ed_Start;
        target->setText(text);
        const QByteArray before = readFile();
        parts(w).bt_AenderungenUebernehmen->click();
        const QStringList errors = boxes.texts(ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(expected), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(text), qPrintable(errors[0]));
        QCOMPARE(readFile(), before);
        QCOMPARE(target->text(), text);
        QVERIFY(parts(w).bt_AenderungenUebernehmen->isEnabled());
    }

    // Choosing another group leaves no message chosen while the panel still
    // shows the element's message. An apply then has nothing to write into,
    // also where the new group holds a message whose name is missing or empty.
    void applyWithoutAChosenMessageWritesNothing_data() {
        QTest::addColumn<QByteArray>("nameless");
        QTest::newRow("no name attribute") << QByteArray("<message><left>F0,01</left></message>");
        QTest::newRow("empty name") << QByteArray("<message name=\"\"><left>F0,01</left></message>");
    }
    void applyWithoutAChosenMessageWritesNothing() {
        QFETCH(QByteArray, nameless);
        QByteArray library(kLibrary);
        library.replace("<messagegroup name=\"G2\"><message name=\"Other\"/>",
                        "<messagegroup name=\"G2\"><message name=\"Other\"/>" + nameless);
        restartWith(library);
        w->ElementClicked(picture(0));  // G1 / Fader14 in the panel
        chooseGroup(QStringLiteral("G2"));
        QCOMPARE(parts(w).CB_MessageName->currentText(), QString());
        parts(w).Edit_MsgLeft->setText(QStringLiteral("B0,08,F1"));
        const QByteArray before = readFile();
        w->Aenderungen_uebernehmen();
        QCOMPARE(readFile(), before);
        QCOMPARE(boxes.count(), std::size_t{0});
    }

    // ---------------------------------------------------------------- description

    void descriptionWrittenOnKeyRelease_data() {
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QString>("stored");
        QTest::newRow("one plain line") << "x"
                                        << "x";
        QTest::newRow("blank quoted") << "a b\nc"
                                      << "\"a b\"#c";
        QTest::newRow("quote doubled") << "say \"hi\""
                                       << "\"say \"\"hi\"\"\"";
        QTest::newRow("trailing line break") << "abc\n"
                                             << "abc#";
    }
    void descriptionWrittenOnKeyRelease() {
        QFETCH(QString, memo);
        QFETCH(QString, stored);
        parts(w).MemoDescription->setPlainText(memo);
        QTest::keyRelease(parts(w).MemoDescription, Qt::Key_X);
        OnDisk disk;
        QCOMPARE(QString::fromUtf8(disk.set("Test").attribute("description").value()), stored);
        QVERIFY(!disk.set("Zweite").attribute("description"));
        // Read back the way the window reads it when the configuration is chosen.
        w->CB_SetChange();
        QCOMPARE(parts(w).MemoDescription->toPlainText(), memo);
    }

    // XML cannot hold the character 0; pasted text that carries one must
    // not cut the description short at that point.
    void descriptionKeepsTheTextAroundANulCharacter() {
        QString memo = QStringLiteral("vor");
        memo += QChar(0);
        memo += QStringLiteral("nach\nzweite Zeile");
        parts(w).MemoDescription->setPlainText(memo);
        QTest::keyRelease(parts(w).MemoDescription, Qt::Key_V);
        {
            OnDisk disk;
            QCOMPARE(QString::fromUtf8(disk.set("Test").attribute("description").value()),
                     QStringLiteral("vornach#\"zweite Zeile\""));
        }
        // A further key that changes nothing leaves the file alone.
        const QByteArray before = readFile();
        QTest::keyRelease(parts(w).MemoDescription, Qt::Key_Shift);
        QCOMPARE(readFile(), before);
    }

    // Another program rewrote the file: the first change after that is
    // refused with one box, the editor then shows the file as it now is,
    // and the next change is saved on top of it.
    void changeAfterAnotherProgramWroteTheFile() {
        QByteArray other(kLibrary);
        other.replace("<set name=\"Zweite\"/>", "<set name=\"Zweite\"/>\n    <set name=\"Fremd\"/>");
        {
            QFile f(documentPath());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(other);
        }
        boxes.clear();
        parts(w).MemoDescription->setPlainText(QStringLiteral("eins"));
        QTest::keyRelease(parts(w).MemoDescription, Qt::Key_S);
        QCOMPARE(boxes.count(), std::size_t(1));
        QVERIFY2(boxes.shown()[0].text.contains(QStringLiteral("von einem anderen Programm")),
                 qPrintable(boxes.shown()[0].text));
        QCOMPARE(readFile(), other);
        QVERIFY(parts(w).CB_Set->findText(QStringLiteral("Fremd")) >= 0);
        QCOMPARE(parts(w).CB_Set->currentText(), QStringLiteral("Test"));

        parts(w).MemoDescription->setPlainText(QStringLiteral("zwei"));
        QTest::keyRelease(parts(w).MemoDescription, Qt::Key_I);
        QCOMPARE(boxes.count(), std::size_t(1));
        OnDisk disk;
        QVERIFY(disk.set("Fremd"));
        QCOMPARE(QString::fromUtf8(disk.set("Test").attribute("description").value()),
                 QStringLiteral("zwei"));
    }

    // Text that arrives without a key (mouse paste, drop, context-menu undo)
    // is kept like typed text; merely showing a configuration writes nothing.
    void descriptionChangedWithoutKeyIsKept_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("stored");
        QTest::newRow("pasted") << "paste"
                                << "eingefügt";
        QTest::newRow("cleared") << "clear"
                                 << "";
    }
    void descriptionChangedWithoutKeyIsKept() {
        QFETCH(QString, edit);
        QFETCH(QString, stored);
        if (edit == QStringLiteral("clear")) {
            parts(w).MemoDescription->setPlainText(QStringLiteral("alt"));
            QTest::keyRelease(parts(w).MemoDescription, Qt::Key_T);
            QCOMPARE(QString::fromUtf8(OnDisk().set("Test").attribute("description").value()),
                     QStringLiteral("alt"));
            parts(w).MemoDescription->selectAll();
            parts(w).MemoDescription->cut();
        } else {
            parts(w).MemoDescription->insertPlainText(QStringLiteral("eingefügt"));
        }
        // Away to the other configuration and back, as a user would.
        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(QStringLiteral("Zweite")));
        w->CB_SetChange();
        QCOMPARE(parts(w).MemoDescription->toPlainText(), QString());
        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(QStringLiteral("Test")));
        w->CB_SetChange();
        OnDisk disk;
        QCOMPARE(QString::fromUtf8(disk.set("Test").attribute("description").value()), stored);
        QVERIFY(!disk.set("Zweite").attribute("description"));
        QCOMPARE(parts(w).MemoDescription->toPlainText(), stored);
    }

    void showingADescriptionWritesNothing() {
        // A hand-written field with a blank reads as two lines; showing it
        // must not rewrite the attribute into the quoted spelling.
        QByteArray library(kLibrary);
        library.replace("<set name=\"Zweite\"/>", "<set name=\"Zweite\" description=\"a b\"/>");
        restartWith(library);
        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(QStringLiteral("Zweite")));
        w->CB_SetChange();
        QCOMPARE(parts(w).MemoDescription->toPlainText(), QStringLiteral("a\nb"));
        QCOMPARE(readFile(), library);
    }
};

KORVANE_OFFSCREEN_TEST_MAIN(PanelEditorTest)

#include "panel_editor_test.moc"
