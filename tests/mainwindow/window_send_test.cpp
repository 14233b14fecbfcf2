// Sending a configuration from the main window: the port check, the
// controls while encoding, the packet stream handed to the transfer, a
// refused configuration, and the making and connecting of the MIDI ports.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_midimon.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "offscreen_main.h"
#include "window_world.h"

namespace {

// Fader 1 and encoder "Drehregler 1 oben" (element 30) assigned in "Zwei",
// one dangling element in "Kaputt", nothing assigned in "Leer".
const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane>
  <sets>
    <set name="Zwei">
      <element name="Drehregler 1 oben"><group>G</group><name>Knopf</name></element>
      <element name="Fader 1"><group>G</group><name>Fader</name></element>
    </set>
    <set name="Kaputt">
      <element name="Fader 1"><group>G</group><name>Fader</name></element>
      <element name="Taste F3"><group>Verschwunden</group><name>X</name></element>
    </set>
    <set name="Leer"/>
  </sets>
  <messagegroups>
    <messagegroup name="G">
      <message name="Fader"><left>B0,07</left><mode>14</mode><range>full</range></message>
      <message name="Knopf"><left>B0,10,F1</left><mode>7</mode><range>full</range></message>
    </messagegroup>
  </messagegroups>
</korvane>
)";

struct World : korvane::testing::WindowWorld {
    World() : WindowWorld(kLibrary) {}
};

std::unique_ptr<korvane::TMidiInput> noInput() { throw korvane::EMidiInputError("Invalid device ID"); }
std::unique_ptr<korvane::TMidiOutput> noOutput() { throw korvane::EmidioutputError("Invalid device ID"); }

void selectSet(TFormMain& w, const QString& name) {
    parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(name));
    w.CB_SetChange();
}

bool sendControlsEnabled(const TFormMain& w) {
    return parts(w).btSend->isEnabled() && parts(w).gb_Message->isEnabled() &&
           parts(w).gb_MessageAuswahl->isEnabled();
}

int packetCount(const korvane::ByteString& stream) {
    return static_cast<int>(std::count(stream.begin(), stream.end(), std::uint8_t{0xF0}));
}

}  // namespace

class WindowSendTest : public QObject {
    Q_OBJECT

private slots:
    // Without both port objects the button and the menu entry only say so.
    void withoutPortsTheNoInterfaceBox_data() {
        QTest::addColumn<bool>("menu");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::newRow("button de")
            << false << "de"
            << "MIDI-Interface nicht vorhanden oder fehlerhaft. Gewünschte Funktion kann "
               "daher nicht ausgeführt werden.";
        QTest::newRow("menu en") << true << "en"
                                 << "No MIDI interface found. Can not execute selected function.";
    }
    void withoutPortsTheNoInterfaceBox() {
        QFETCH(bool, menu);
        QFETCH(QString, language);
        QFETCH(QString, text);
        World world;
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane")
            .setValue("Prefs/language", language);
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        TFormMain w;
        w.setProgramFolder(world.program());
        korvane::testing::withoutMidi(w);
        bool started = false;
        w.setTransferStarter([&](const korvane::ByteString&) { started = true; });
        w.show();
        QVERIFY(!TFormMainTestAccess::inputPortCreated(w) && !TFormMainTestAccess::outputPortCreated(w));

        if (menu)
            parts(w).Menu_Sende_Konfiguration_->trigger();
        else
            QTest::mouseClick(parts(w).btSend, Qt::LeftButton);
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Error), QStringList{text});
        QVERIFY(!started);
        QVERIFY(sendControlsEnabled(w));
        QCOMPARE(parts(w).ProgressBar1->value(), 0);
    }

    // A configuration is encoded while each assigned element shows selected
    // on the map, the stream goes to the transfer, and the controls stay
    // disabled until the transfer gives them back.
    void sendEncodesAndHandsOverTheStream() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        TFormMain w;
        w.setProgramFolder(world.program());
        korvane::testing::withoutMidi(w);
        std::vector<korvane::ByteString> streams;
        bool disabledWhileEncoding = false;
        QString captionWhileEncoding;
        w.setTransferStarter([&](const korvane::ByteString& s) {
            streams.push_back(s);
            disabledWhileEncoding = !parts(w).btSend->isEnabled() && !parts(w).gb_Message->isEnabled() &&
                                    !parts(w).gb_MessageAuswahl->isEnabled() &&
                                    !parts(w).Menu_Sende_Konfiguration_->isEnabled();
            captionWhileEncoding = parts(w).btSend->text();
        });
        w.show();
        TFormMainTestAccess::inputPortCreated(w) = TFormMainTestAccess::outputPortCreated(w) =
            true;  // ports as if made
        selectSet(w, QStringLiteral("Zwei"));

        w.btSendClick();
        QCOMPARE(streams.size(), std::size_t(1));
        QCOMPARE(packetCount(streams[0]), 2);
        // Packets in element order: fader 1 (element 0) before element 30;
        // the element number is the first payload byte, sent as two nibbles.
        QCOMPARE(streams[0][3], std::uint8_t{0x00});
        QCOMPARE(streams[0][4], std::uint8_t{0x00});
        QVERIFY(disabledWhileEncoding);
        QCOMPARE(captionWhileEncoding, QStringLiteral("Daten werden gesendet, bitte warten..."));
        QCOMPARE(boxes.count(), std::size_t(0));
        // The encoder walked over the assigned elements on the map and the
        // map shows nothing selected afterwards.
        QCOMPARE(TFormMainTestAccess::lastElement(w), w.Get_EingabeElement_By_Number(30));
        QCOMPARE(TFormMainTestAccess::selectedElement(w), -1);
        // Encoded; the bar now waits for the device: nothing answered of
        // two packets, a store and a restart.
        QCOMPARE(parts(w).ProgressBar1->value(), 0);
        QCOMPARE(parts(w).ProgressBar1->maximum(), 4);
        w.ShowTransferProgress(korvane::TransferStage::Restarting, 2, 2);
        QCOMPARE(parts(w).ProgressBar1->value(), 3);
        QVERIFY(!sendControlsEnabled(w));

        // The end of the transfer.
        w.InitSendButton();
        QVERIFY(sendControlsEnabled(w));
        QVERIFY(parts(w).Menu_Sende_Konfiguration_->isEnabled());
        QCOMPARE(parts(w).btSend->text(), QStringLiteral("Konfiguration zum Korvane senden"));
        QCOMPARE(parts(w).ProgressBar1->value(), 0);

        // Nothing assigned: sending would erase what the device has stored,
        // so the user is asked first. No sends nothing and gives the
        // controls back; Yes hands the (empty) stream over.
        selectSet(w, QStringLiteral("Leer"));
        w.btSendClick();
        QCOMPARE(streams.size(), std::size_t(1));
        QCOMPARE(boxes.texts(korvane::ScriptedDialogs::Kind::Question).size(), 1);
        QVERIFY(boxes.texts(korvane::ScriptedDialogs::Kind::Question)[0].contains(QStringLiteral("'Leer'")));
        QVERIFY(sendControlsEnabled(w));
        boxes.setNextAnswer(true);
        w.btSendClick();
        QCOMPARE(streams.size(), std::size_t(2));
        QVERIFY(streams[1].empty());
    }

    // A configuration with a dangling element is refused as a whole: its
    // message names the problem, nothing is sent and the controls return.
    void refusedConfigurationRestoresControls() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        TFormMain w;
        w.setProgramFolder(world.program());
        korvane::testing::withoutMidi(w);
        int started = 0;
        w.setTransferStarter([&](const korvane::ByteString&) { ++started; });
        w.show();
        TFormMainTestAccess::inputPortCreated(w) = TFormMainTestAccess::outputPortCreated(w) = true;
        selectSet(w, QStringLiteral("Kaputt"));
        const QByteArray before = [&] {
            QFile f(w.workingDocumentPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        w.btSendClick();
        QCOMPARE(started, 0);
        const QStringList errors = boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("Verschwunden")), qPrintable(errors[0]));
        QVERIFY(sendControlsEnabled(w));
        QCOMPARE(parts(w).btSend->text(), QStringLiteral("Konfiguration zum Korvane senden"));
        QCOMPARE(parts(w).ProgressBar1->value(), 0);
        QFile f(w.workingDocumentPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    // The monitor window's transfer reaches the send button through the
    // hooks the main window sets.
    void monitorHooksDriveTheSendButton() {
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        TFormMain w;
        TFormMIDIMon monitor;
        w.setMonitorWindow(&monitor);
        w.setProgramFolder(world.program());
        korvane::testing::withoutMidi(w);
        w.show();
        parts(w).btSend->setEnabled(false);
        QVERIFY(monitor.OnSetSendCaption && monitor.OnInitSendButton && monitor.OnPortsCreated);
        monitor.OnSetSendCaption(QStringLiteral("Daten werden gespeichert"));
        QCOMPARE(parts(w).btSend->text(), QStringLiteral("Daten werden gespeichert"));
        QVERIFY(!monitor.OnPortsCreated());
        monitor.OnInitSendButton();
        QVERIFY(sendControlsEnabled(w));
        QCOMPARE(parts(w).btSend->text(), QStringLiteral("Konfiguration zum Korvane senden"));
        w.setMonitorWindow(nullptr);
        QVERIFY(!monitor.OnInitSendButton);
    }

    // Making the ports: a port that cannot be made is logged and keeps both
    // unconnected; with both made they are connected to the remembered
    // interfaces (here none remembered, so both requests to choose appear).
    void portCreation_data() {
        QTest::addColumn<bool>("input");
        QTest::addColumn<bool>("output");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<int>("chooseBoxes");
        QTest::newRow("only output") << false << true
                                     << "Kein MIDI-Interface? MIDI In Problem: Invalid device ID" << 0;
        QTest::newRow("only input") << true << false
                                    << "Kein MIDI-Interface? MIDI Out Problem: Invalid device ID" << 0;
        QTest::newRow("both") << true << true << "" << 2;
    }
    void portCreation() {
        QFETCH(bool, input);
        QFETCH(bool, output);
        QFETCH(QString, logLine);
        QFETCH(int, chooseBoxes);
        World world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        auto service = korvane::createLoopbackService();
        std::string error;
        // Devices for the ports to find: what the device would offer.
        auto deviceIn = service->openVirtualInput("Korvane In", {}, error);
        auto deviceOut = service->openVirtualOutput("Korvane Out", error);
        {
            TFormMain w;
            TFormMIDIMon monitor;
            w.setMonitorWindow(&monitor);
            w.setProgramFolder(world.program());
            auto* svc = service.get();
            w.setPortFactories(
                [&, svc]() -> std::unique_ptr<korvane::TMidiInput> {
                    if (!input) return noInput();
                    return std::make_unique<korvane::TMidiInput>(*svc);
                },
                [&, svc]() -> std::unique_ptr<korvane::TMidiOutput> {
                    if (!output) return noOutput();
                    return std::make_unique<korvane::TMidiOutput>(*svc);
                });
            w.show();
            QCOMPARE(TFormMainTestAccess::inputPortCreated(w), input);
            QCOMPARE(TFormMainTestAccess::outputPortCreated(w), output);
            QCOMPARE(monitor.MIDIinput1 != nullptr, input);
            QCOMPARE(monitor.MIDIoutput1 != nullptr, output);
            QCOMPARE(boxes.count(), std::size_t(chooseBoxes));
            w.setMonitorWindow(nullptr);
        }
        const QString log = world.log();
        QVERIFY2(log.contains(QStringLiteral("Started")), qPrintable(log));
        QVERIFY2(log.trimmed().endsWith(QStringLiteral("Close")), qPrintable(log));
        if (!logLine.isEmpty())
            QVERIFY2(log.contains(logLine), qPrintable(log));
        else
            QVERIFY(!log.contains(QStringLiteral("Problem")));
    }
};

KORVANE_OFFSCREEN_TEST_MAIN(WindowSendTest)
#include "window_send_test.moc"
