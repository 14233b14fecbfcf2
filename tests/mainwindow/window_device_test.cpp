// The whole road from the send button to the device: the editor's own ports
// on a private JACK server, connected by the names in the settings to the
// simulated device, which must end up storing exactly the packets the
// encoder makes for the configuration, once, followed by one restart.

#include <QComboBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <regex>

#include "config_encoder.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_midimon.h"
#include "hexmon.h"
#include "jack_server.h"
#include "midi_in.h"
#include "midi_out.h"
#include "process.h"
#include "window_world.h"

namespace {

const QString kBin = QStringLiteral(KORVANE_BIN_DIR);
const QString kStandard = QStringLiteral("Standard Tarvok NRPN");

QStringList packetsOf(const QString& json, const QString& key) {
    const auto start = json.indexOf(QLatin1Char('"') + key + QStringLiteral("\": ["));
    if (start < 0) return {};
    const QString array = json.mid(start, json.indexOf(QLatin1Char(']'), start) - start);
    QStringList out;
    static const QRegularExpression packet(QStringLiteral("\"(F0[0-9A-F ]*F7)\""));
    for (auto it = packet.globalMatch(array); it.hasNext();) out << it.next().captured(1);
    return out;
}

int counterOf(const QString& json, const QString& key) {
    const QRegularExpression re(QLatin1Char('"') + key + QStringLiteral("\": ([0-9]+)"));
    const auto m = re.match(json);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString hex(const korvane::ByteString& bytes) {
    QStringList parts;
    for (std::uint8_t b : bytes) parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

}  // namespace

class WindowDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void sendButtonReachesTheDevice() {
        std::string why;
        auto server = korvane::testing::JackServer::start(why);
        if (!server) {
            if (!korvane::testing::JackServer::installed()) QSKIP(why.c_str());
            QFAIL(why.c_str());
        }
        const korvane::testing::WindowWorld world;
        const QString state = world.root() + "/state.json";

        korvane::testing::BackgroundProcess sim({(kBin + "/korvane-sim").toStdString(), "--name", "WinSim",
                                                 "--state", state.toStdString(), "--reset-ms", "100"});
        QVERIFY(sim.started());
        const auto deviceIn = sim.waitForLine("device input: ", std::chrono::seconds(20));
        const auto deviceOut = sim.waitForLine("device output: ", std::chrono::seconds(5));
        QVERIFY2(deviceIn && deviceOut, sim.errors().c_str());
        QVERIFY(sim.waitForLine("ready", std::chrono::seconds(10)));
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane");
            s.setValue("MIDI/InterfaceOut", QString::fromStdString(*deviceIn));
            s.setValue("MIDI/InterfaceIn", QString::fromStdString(*deviceOut));
        }

        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        TFormMain w;
        TFormMIDIMon monitor;
        w.setMonitorWindow(&monitor);
        w.setProgramFolder(kBin);  // the shipped default library
        w.show();
        QVERIFY(TFormMainTestAccess::inputPortCreated(w) && TFormMainTestAccess::outputPortCreated(w));
        if (boxes.count() != 0) QFAIL(qPrintable(boxes.shown().front().text));

        parts(w).CB_Set->setCurrentIndex(parts(w).CB_Set->findText(kStandard));
        w.CB_SetChange();
        w.btSendClick();
        QVERIFY(!parts(w).btSend->isEnabled());
        // The transfer ends when the device answers after its restart; the
        // limit only keeps a broken run from hanging.
        QTRY_VERIFY_WITH_TIMEOUT(parts(w).btSend->isEnabled(), 120000);
        QCOMPARE(boxes.count(), std::size_t(0));
        QCOMPARE(parts(w).btSend->text(), QStringLiteral("Konfiguration zum Korvane senden"));
        QCOMPARE(parts(w).ProgressBar1->value(), 0);

        // What the device stored is what the encoder makes of the library.
        korvane::ConfigDocument doc;
        QVERIFY(doc.load((kBin + "/korvane.def").toStdString()).ok());
        struct Quiet : korvane::EncoderReport {
            void sendFactorZero(int) override {}
            void refused(const std::vector<korvane::EncodeProblem>&) override {}
        } quiet;
        const korvane::EncodeResult expected =
            korvane::KonfigurationSenden(doc, kStandard.toStdString(), quiet);
        QVERIFY(expected.ok());
        QStringList expectedPackets;
        for (const auto& p : expected.packets) expectedPackets << hex(p);

        QFile f(state);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString json = QString::fromUtf8(f.readAll());
        if (packetsOf(json, "configuration") != expectedPackets)
            qWarning().noquote() << "simulator:" << QString::fromStdString(sim.errors())
                                 << "\nJACK server:" << QString::fromStdString(server->log());
        QCOMPARE(packetsOf(json, "configuration"), expectedPackets);
        QCOMPARE(counterOf(json, "stores"), 1);
        QCOMPARE(counterOf(json, "resets"), 1);
        QCOMPARE(counterOf(json, "rejected"), 0);
        w.setMonitorWindow(nullptr);
        sim.stop();
    }
};

QTEST_MAIN(WindowDeviceTest)
#include "window_device_test.moc"
