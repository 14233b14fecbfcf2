// Reading the device back from the main window: the comparison on the map
// and its one line, the import into a new configuration, and the boxes of a
// fetch that does not end well. The device's side is played by the test:
// it sees what the window sends and answers through DeviceFetchInput, with a
// fake clock for the time-outs.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "config_encoder.h"
#include "device_fetch.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_motor_profil.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "motor_profile_document.h"
#include "surface_map.h"
#include "window_world.h"

using Kind = korvane::ScriptedDialogs::Kind;
using korvane::ByteString;

namespace {

// "Zwei" assigns fader 1 and the upper encoder of strip 1 (element 30).
const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane>
  <sets>
    <set name="Zwei">
      <element name="Drehregler 1 oben"><group>G</group><name>Knopf</name></element>
      <element name="Fader 1"><group>G</group><name>Fader</name></element>
    </set>
  </sets>
  <messagegroups>
    <messagegroup name="G">
      <message name="Fader"><left>B0,07</left><mode>14</mode><range>full</range></message>
      <message name="Knopf"><left>B0,10,F1</left><mode>7</mode><range>full</range></message>
    </messagegroup>
  </messagegroups>
</korvane>
)";

const ByteString kQuery{0xF0, 0x7D, 0x07, 0xF7};
const ByteString kRequest{0xF0, 0x7D, 0x02, 0xF7};
const ByteString kVersion{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7};

struct World : korvane::testing::WindowWorld {
    World() : WindowWorld(kLibrary) {}
};

struct SilentReport : korvane::EncoderReport {
    void sendFactorZero(int) override {}
    void refused(const std::vector<korvane::EncodeProblem>&) override {}
};

std::vector<ByteString> encode(const TFormMain& w, const QString& configuration) {
    SilentReport report;
    return korvane::KonfigurationSenden(TFormMainTestAccess::document(w), configuration.toStdString(), report)
        .packets;
}

ByteString echoed(ByteString packet) {
    packet[2] = 0x02;
    return packet;
}

// The main window with loopback ports (so it has its MIDI ports), a fake
// clock, and every byte the fetch sends recorded.
class Rig {
public:
    Rig() : service(korvane::createLoopbackService()) {
        // The device's ports, for the window's ports to find.
        std::string error;
        deviceIn = service->openVirtualInput("Korvane In", {}, error);
        deviceOut = service->openVirtualOutput("Korvane Out", error);
        w.setProgramFolder(world.program());
        auto* svc = service.get();
        w.setPortFactories([svc] { return std::make_unique<korvane::TMidiInput>(*svc); },
                           [svc] { return std::make_unique<korvane::TMidiOutput>(*svc); });
        w.setFetchSender([this](const ByteString& bytes) {
            sent.push_back(bytes);
            return true;
        });
        w.setFetchClock([this] { return now; });
        w.show();
        boxes.clear();  // the requests to choose interfaces at the first start
    }

    // The device answers the query and sends its dump.
    void deviceAnswers(const std::vector<ByteString>& stored, bool endMarker = true) {
        w.DeviceFetchInput(kVersion);
        for (const auto& p : stored) w.DeviceFetchInput(echoed(p));
        if (endMarker) w.DeviceFetchInput(kRequest);
        QCoreApplication::processEvents();
    }
    void wait(int ms) {
        for (int t = 0; t < ms; t += korvane::TDeviceFetch::kTickMs) {
            now += korvane::TDeviceFetch::kTickMs;
            w.DeviceFetchTimer();
        }
        QCoreApplication::processEvents();
    }
    QString hint(int element) { return w.Get_EingabeElement_By_Number(element)->Hint(); }
    QString line() const { return parts(w).lbDeviceCompare ? parts(w).lbDeviceCompare->text() : QString(); }

    World world;
    korvane::ScriptedDialogs boxes;
    korvane::ScopedDialogs scope{&boxes};
    std::unique_ptr<korvane::MidiService> service;
    std::unique_ptr<korvane::MidiInputConnection> deviceIn;
    std::unique_ptr<korvane::MidiOutputConnection> deviceOut;
    TFormMain w;
    std::vector<ByteString> sent;
    std::int64_t now = 5000;
};

}  // namespace

class WindowReadbackTest : public QObject {
    Q_OBJECT

private slots:
    // The map takes the comparison's colours and hints, one line says the
    // result, and the next click anywhere puts the assignment colours back.
    void compareShowsTheResultUntilTheNextClick_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("device");  // what the device holds
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("faderHint");
        QTest::addColumn<QString>("knobHint");
        QTest::newRow("same, English") << "en"
                                       << "same"
                                       << "The device holds this configuration"
                                       << "Same on the device"
                                       << "Same on the device";
        QTest::newRow("one differs, German") << "de"
                                             << "changed"
                                             << "1 Element unterscheidet sich"
                                             << "Auf dem Gerät anders"
                                             << "Auf dem Gerät gleich";
        QTest::newRow("empty device") << "en"
                                      << "empty"
                                      << "2 elements differ"
                                      << "Only in the library, not on the device"
                                      << "Only in the library, not on the device";
    }
    void compareShowsTheResultUntilTheNextClick() {
        QFETCH(QString, language);
        QFETCH(QString, device);
        QFETCH(QString, line);
        QFETCH(QString, faderHint);
        QFETCH(QString, knobHint);
        Rig rig;
        if (language == QStringLiteral("en"))
            rig.w.Menu_Sprache_English_Click();
        else
            rig.w.Menu_Sprache_Deutsch_Click();
        parts(rig.w).CB_Set->setCurrentIndex(parts(rig.w).CB_Set->findText(QStringLiteral("Zwei")));
        rig.w.CB_SetChange();
        const QString normalFaderHint = rig.hint(0);
        const QPixmap normalFader = rig.w.Get_EingabeElement_By_Number(0)->picture();

        std::vector<ByteString> stored = encode(rig.w, QStringLiteral("Zwei"));
        QCOMPARE(stored.size(), std::size_t(2));
        if (device == QStringLiteral("changed"))
            stored[0] =
                korvane::BuildDataPacket(0x01, {0, 14, 0, 0, 0xFF, 0xFF, 1, 0, 0, 0, 0xB1, 0x07, 0xFE, 0xFE});
        if (device == QStringLiteral("empty")) stored.clear();

        rig.w.menuEntry(u"Menu_Compare_With_Device_")->trigger();
        QCOMPARE(rig.sent, std::vector<ByteString>{kQuery});
        rig.deviceAnswers(stored);
        QCOMPARE(rig.sent, (std::vector<ByteString>{kQuery, kRequest}));
        QCOMPARE(rig.boxes.count(), std::size_t(0));

        QVERIFY(rig.w.CompareViewShown());
        QCOMPARE(rig.line(), line);
        QVERIFY(rig.hint(0).endsWith(faderHint));
        QVERIFY(rig.hint(30).endsWith(knobHint));
        QVERIFY(rig.w.Get_EingabeElement_By_Number(0)->picture().toImage() != normalFader.toImage());

        QTest::mouseClick(parts(rig.w).pnBackground, Qt::LeftButton);
        QVERIFY(!rig.w.CompareViewShown());
        QCOMPARE(rig.line(), QString());
        QCOMPARE(rig.hint(0), normalFaderHint);
        QCOMPARE(rig.w.Get_EingabeElement_By_Number(0)->picture().toImage(), normalFader.toImage());
    }

    // The device's packets become a new configuration whose packets are the
    // device's, byte for byte; a taken name is asked again, and nothing is
    // written when the user declines the approximations.
    void importMakesANewConfiguration() {
        Rig rig;
        rig.w.Menu_Sprache_English_Click();
        const std::vector<ByteString> stored = encode(rig.w, QStringLiteral("Zwei"));
        rig.boxes.setNextText(QStringLiteral("Zwei"));  // taken
        rig.boxes.setNextText(QStringLiteral("Vom Gerät"));

        rig.w.menuEntry(u"Menu_Import_From_Device_")->trigger();
        rig.deviceAnswers(stored);

        const auto prompts = rig.boxes.texts(Kind::Prompt);
        QCOMPARE(prompts.size(), 2);
        QCOMPARE(rig.boxes.texts(Kind::Error).size(), 1);
        QVERIFY(rig.boxes.texts(Kind::Error).front().contains(QStringLiteral("\"Zwei\"")));
        QCOMPARE(parts(rig.w).CB_Set->currentText(), QStringLiteral("Vom Gerät"));
        QCOMPARE(encode(rig.w, QStringLiteral("Vom Gerät")), stored);

        // One undo takes the whole import back.
        rig.w.menuEntry(u"Menu_Rueckgaengig_")->trigger();
        QCOMPARE(parts(rig.w).CB_Set->findText(QStringLiteral("Vom Gerät")), -1);
        rig.w.menuEntry(u"Menu_Wiederherstellen_")->trigger();
        QVERIFY(parts(rig.w).CB_Set->findText(QStringLiteral("Vom Gerät")) >= 0);

        // A limited range cannot say whether it was shown in percent: the
        // user is asked first, and No writes nothing.
        QFile file(rig.w.workingDocumentPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        rig.boxes.clear();
        rig.boxes.setNextAnswer(false);
        rig.w.menuEntry(u"Menu_Import_From_Device_")->trigger();
        rig.deviceAnswers({korvane::BuildDataPacket(0x01, {29, 7, 0, 10, 0, 20, 0, 3, 0, 15, 0xFE, 0xFE})});
        const auto questions = rig.boxes.texts(Kind::Question);
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions.front().contains(QStringLiteral("Limited ranges read as absolute values")));
        QVERIFY(rig.boxes.texts(Kind::Prompt).isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // Every way a fetch can fail ends in one box and leaves the map alone.
    void aFetchThatFailsEndsInOneBox_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("no answer") << "silent" << int(Kind::Message) << "Korvane does not respond.";
        QTest::newRow("no end marker") << "no end" << int(Kind::Error) << "the end marker is missing";
        QTest::newRow("not a dump") << "foreign" << int(Kind::Error) << "dump was not recognised";
    }
    void aFetchThatFailsEndsInOneBox() {
        QFETCH(QString, how);
        QFETCH(int, kind);
        QFETCH(QString, text);
        Rig rig;
        rig.w.Menu_Sprache_English_Click();
        rig.w.menuEntry(u"Menu_Compare_With_Device_")->trigger();
        QVERIFY(rig.w.DeviceFetchRunning());

        // No transfer may start while the device is being read.
        rig.w.btSendClick();
        QCOMPARE(rig.boxes.texts(Kind::Info).size(), 1);
        rig.boxes.clear();

        if (how == QStringLiteral("silent")) {
            rig.wait(korvane::TDeviceFetch::kVersionTimeoutMs - korvane::TDeviceFetch::kTickMs);
            QVERIFY(rig.w.DeviceFetchRunning());
            rig.wait(korvane::TDeviceFetch::kTickMs);
        } else if (how == QStringLiteral("no end")) {
            rig.deviceAnswers(encode(rig.w, parts(rig.w).CB_Set->currentText()), false);
            rig.wait(korvane::TDeviceFetch::kDumpQuietTimeoutMs);
        } else {
            rig.w.DeviceFetchInput(kVersion);
            rig.w.DeviceFetchInput({0xF0, 0x7D, 0x02, 0x41, 0x42, 0xF7});
            QCoreApplication::processEvents();
        }
        QVERIFY(!rig.w.DeviceFetchRunning());
        QCOMPARE(rig.boxes.count(), std::size_t(1));
        QCOMPARE(int(rig.boxes.shown().front().kind), kind);
        QVERIFY2(rig.boxes.shown().front().text.contains(text), qPrintable(rig.boxes.shown().front().text));
        QVERIFY(!rig.w.CompareViewShown());
        QCOMPARE(rig.line(), QString());
    }

    // The motor profile editor reads the device's nine curves through the
    // main window's fetch and keeps them as a new profile once it is named.
    // A dump that is not nine profile packets is refused fader by fader
    // before anything is asked or written.
    void motorProfilesAreReadIntoANewProfile() {
        Rig rig;
        rig.w.Menu_Sprache_English_Click();
        TFormMotorProfil motor;
        rig.w.setMotorProfileWindow(&motor);
        const QString file = rig.w.dataFolder() + QStringLiteral("/motorprofile.mp");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<korvane>\n  <motorprofile>\n"
                "    <profil name=\"default\">\n"
                "      <fader1>255, 160, 96, 64, 32, 16, 8, 4, 2, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0</fader1>\n"
                "      <tFactor>100</tFactor>\n      <tConst>100</tConst>\n"
                "    </profil>\n  </motorprofile>\n</korvane>\n");
        }
        rig.w.Menu_Motorprofileditor_Click();
        motor.FormActivate();
        QCOMPARE(motor.cb_MotorProfile->count(), 1);

        // What the device holds: every point of every fader different.
        korvane::TMotorProfilTabelle device;
        for (int f = 0; f < korvane::kMotorFaderCount; ++f)
            for (int p = 0; p < korvane::kMotorPointCount; ++p) {
                auto& entry = device.MotorProfile[static_cast<std::size_t>(f)];
                entry.Differenz[static_cast<std::size_t>(p)] = 20 * f + p;
                entry.Geschwindigkeit[static_cast<std::size_t>(p)] =
                    (9 - p + f) * korvane::kSpeedUnitsPerStep;
            }
        std::vector<ByteString> stored;
        for (int f = 0; f < korvane::kMotorFaderCount; ++f) {
            ByteString packet =
                korvane::MotorProfilePacket(device.MotorProfile[static_cast<std::size_t>(f)], f, 120, 40);
            packet[2] = 0x06;
            stored.push_back(packet);
        }
        auto deviceDumps = [&rig](const std::vector<ByteString>& packets) {
            rig.w.DeviceFetchInput(kVersion);
            for (const auto& p : packets) rig.w.DeviceFetchInput(p);
            rig.w.DeviceFetchInput({0xF0, 0x7D, 0x06, 0xF7});
            QCoreApplication::processEvents();
        };
        auto fileBytes = [&file] {
            QFile in(file);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        };

        // While the main window reads the device, the editor waits its turn.
        rig.w.menuEntry(u"Menu_Import_From_Device_")->trigger();
        QTest::mouseClick(motor.bt_Read, Qt::LeftButton);
        QCOMPARE(
            rig.boxes.texts(Kind::Info),
            QStringList{QStringLiteral("The device is being read. Please wait until reading has finished.")});
        QVERIFY(motor.bt_Read->isEnabled());
        rig.wait(korvane::TDeviceFetch::kVersionTimeoutMs);
        QVERIFY(!rig.w.DeviceFetchRunning());
        rig.boxes.clear();
        rig.sent.clear();

        // Eight packets: refused, naming the fader that is missing.
        const QByteArray before = fileBytes();
        QTest::mouseClick(motor.bt_Read, Qt::LeftButton);
        QCOMPARE(rig.sent, std::vector<ByteString>{kQuery});
        QVERIFY(!motor.bt_Read->isEnabled());
        deviceDumps({stored.begin(), stored.end() - 1});
        QCOMPARE(rig.sent, (std::vector<ByteString>{kQuery, {0xF0, 0x7D, 0x06, 0xF7}}));
        QCOMPARE(rig.boxes.texts(Kind::Error).size(), 1);
        QVERIFY2(rig.boxes.texts(Kind::Error).front().contains(QStringLiteral("Fader M: no packet")),
                 qPrintable(rig.boxes.texts(Kind::Error).front()));
        QVERIFY(rig.boxes.texts(Kind::Prompt).isEmpty());
        QCOMPARE(fileBytes(), before);
        QVERIFY(motor.bt_Read->isEnabled());

        // All nine: named (the reserved name is asked again), stored, shown.
        rig.boxes.clear();
        rig.sent.clear();
        rig.boxes.setNextText(QStringLiteral("default"));
        rig.boxes.setNextText(QStringLiteral("Vom Gerät"));
        QTest::mouseClick(motor.bt_Read, Qt::LeftButton);
        deviceDumps(stored);
        QCOMPARE(rig.boxes.texts(Kind::Prompt).size(), 2);
        QCOMPARE(rig.boxes.texts(Kind::Error).size(), 1);
        QCOMPARE(motor.cb_MotorProfile->currentText(), QStringLiteral("Vom Gerät"));
        QCOMPARE(motor.edFaktor->text(), QStringLiteral("120"));
        QCOMPARE(motor.edKonstante->text(), QStringLiteral("40"));
        QVERIFY(motor.profileTable()->MotorProfile == device.MotorProfile);

        korvane::MotorProfileDocument doc;
        QVERIFY(doc.open(file.toStdString()).ok());
        korvane::TMotorProfilTabelle saved;
        korvane::MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("Vom Gerät"), saved);
        QVERIFY(saved.MotorProfile == device.MotorProfile);
    }
};

QTEST_MAIN(WindowReadbackTest)
#include "window_readback_test.moc"
