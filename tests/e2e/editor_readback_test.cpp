// Reading the device back from the editor over real MIDI: a private JACK
// server, korvane-sim as its own program, the editor's windows in this
// process, offscreen. After a send the comparison says the device holds the
// configuration, and an import makes a configuration whose packets are the
// device's; a device that does not answer, or never ends its dump, ends in
// a box.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "config_encoder.h"
#include "editor_rig.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_midimon.h"
#include "jack_server.h"

using korvane::e2e::EditorSession;
using korvane::e2e::runUntil;
using korvane::e2e::SimulatedDevice;
using korvane::e2e::uiText;
using Kind = korvane::ScriptedDialogs::Kind;
using namespace std::chrono_literals;

namespace {

const std::filesystem::path kBin = KORVANE_BIN_DIR;
const QString kStandard = QStringLiteral("Standard Tarvok NRPN");

struct SilentReport : korvane::EncoderReport {
    void sendFactorZero(int) override {}
    void refused(const std::vector<korvane::EncodeProblem>&) override {}
};

std::vector<std::string> packetsOf(TFormMain& w, const QString& configuration) {
    SilentReport report;
    std::vector<std::string> out;
    for (const auto& p :
         korvane::KonfigurationSenden(TFormMainTestAccess::document(w), configuration.toStdString(), report)
             .packets)
        out.push_back(korvane::HexBytes(p));
    return out;
}

}  // namespace

class EditorReadbackOverJack : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!korvane::testing::JackServer::installed()) QSKIP("jackd is not installed (package jackd2)");
        std::string why;
        jack_ = korvane::testing::JackServer::start(why);
        QVERIFY2(jack_, why.c_str());
    }
    void cleanupTestCase() { jack_.reset(); }
    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid());
        qputenv("XDG_DATA_HOME", (home_->path() + "/data").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home_->path() + "/config").toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home_->path() + "/config");
    }
    void cleanup() {
        editor_.reset();
        sim_.reset();
        home_.reset();
    }

    void sendCompareAndImport() {
        start({});
        if (QTest::currentTestFailed()) return;
        TFormMain& w = editor_->main();
        editor_->clickSend();
        QVERIFY(runUntil([&] { return editor_->sendControlsRestored(); }, 60s));
        QVERIFY(editor_->boxes().shown().empty());

        w.menuEntry(u"Menu_Compare_With_Device_")->trigger();
        const bool shown = runUntil([&] { return w.CompareViewShown(); }, 20s);
        QVERIFY2(shown,
                 qPrintable(
                     QStringLiteral("line '%1', running %2, boxes: %3")
                         .arg(parts(w).lbDeviceCompare ? parts(w).lbDeviceCompare->text() : QString())
                         .arg(w.DeviceFetchRunning())
                         .arg(editor_->boxes().count() ? editor_->boxes().shown().front().text : QString())));
        QCOMPARE(parts(w).lbDeviceCompare->text(),
                 uiText("readback.equal", TFormMainTestAccess::language(w).toStdString()));

        // The library's limited ranges come back as absolute values: the
        // user is told, and goes on.
        editor_->boxes().setNextAnswer(true);
        editor_->boxes().setNextText(QStringLiteral("Vom Gerät"));
        w.menuEntry(u"Menu_Import_From_Device_")->trigger();
        QVERIFY(runUntil([&] { return parts(w).CB_Set->currentText() == QStringLiteral("Vom Gerät"); }, 20s));
        QVERIFY(editor_->boxes().texts(Kind::Error).isEmpty());
        QCOMPARE(editor_->boxes().texts(Kind::Question).size(), 1);
        QCOMPARE(packetsOf(w, QStringLiteral("Vom Gerät")), sim_->state().configuration);
        QCOMPARE(packetsOf(w, kStandard), sim_->state().configuration);
    }

    void aDeviceThatDoesNotFinishEndsInABox_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("key");
        QTest::newRow("no reply") << "--no-reply" << int(Kind::Message) << "transfer.notResponding";
        QTest::newRow("no end marker") << "--no-end-marker" << int(Kind::Error) << "readback.noEndMarker";
    }
    void aDeviceThatDoesNotFinishEndsInABox() {
        QFETCH(QString, option);
        QFETCH(int, kind);
        QFETCH(QString, key);
        start({option.toStdString()});
        if (QTest::currentTestFailed()) return;
        TFormMain& w = editor_->main();
        w.menuEntry(u"Menu_Compare_With_Device_")->trigger();
        QVERIFY(w.DeviceFetchRunning());
        QVERIFY(runUntil([&] { return !w.DeviceFetchRunning() && editor_->boxes().count() > 0; }, 20s));
        QCOMPARE(editor_->boxes().count(), std::size_t(1));
        QCOMPARE(int(editor_->boxes().shown().front().kind), kind);
        QCOMPARE(editor_->boxes().shown().front().text,
                 uiText(key.toLatin1().constData(), TFormMainTestAccess::language(w).toStdString()));
        QVERIFY(!w.CompareViewShown());
    }

private:
    void start(const std::vector<std::string>& extra) {
        std::string why;
        sim_ = SimulatedDevice::start(
            kBin, std::filesystem::path(home_->path().toStdString()) / "device.json", extra, why);
        QVERIFY2(sim_, why.c_str());
        korvane::e2e::rememberInterfaces(sim_->outputPort(), sim_->inputPort());
        editor_ = std::make_unique<EditorSession>(QString::fromStdString(kBin.string()));
        QVERIFY(editor_->boxes().count() == 0);
        QVERIFY(editor_->chooseConfiguration(kStandard));
    }

    std::unique_ptr<korvane::testing::JackServer> jack_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<SimulatedDevice> sim_;
    std::unique_ptr<EditorSession> editor_;
};

QTEST_MAIN(EditorReadbackOverJack)
#include "editor_readback_test.moc"
