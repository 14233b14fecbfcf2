// The editor sending a configuration over real MIDI: a private JACK server,
// korvane-sim as its own program, the editor's windows in this process,
// offscreen. The device's state file must hold exactly what "korvane encode"
// prints, and every way the transfer ends must give the send controls back.

#include <signal.h>

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <sstream>

#include "editor_rig.h"
#include "form_main.h"
#include "form_main_access.h"
#include "form_midimon.h"
#include "jack_server.h"
#include "midi_in.h"
#include "midi_out.h"
#include "process.h"

using korvane::e2e::DeviceState;
using korvane::e2e::EditorSession;
using korvane::e2e::runUntil;
using korvane::e2e::SimulatedDevice;
using korvane::e2e::uiText;
using Kind = korvane::ScriptedDialogs::Kind;
using namespace std::chrono_literals;

namespace {

const std::filesystem::path kBin = KORVANE_BIN_DIR;
const QString kStandard = QStringLiteral("Standard Tarvok NRPN");

// Where in a transfer the device goes away.
enum class Stage { Packets, Restart };

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Empty when equal, else where the two packet lists part.
QString packetDifference(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i])
            return QStringLiteral("packet %1 differs:\n stored %2\n sent   %3")
                .arg(i)
                .arg(QString::fromStdString(got[i]), QString::fromStdString(want[i]));
    if (got.size() != want.size())
        return QStringLiteral("device stored %1 packets, encoder made %2").arg(got.size()).arg(want.size());
    return {};
}

// A quarter of the stream is out and more is to come.
bool packetsFlowing(const korvane::TTransferStateMachine& machine) {
    return machine.state() == korvane::CONTINUE_SEND_CONFIG &&
           std::size_t(machine.posEndSysValue()) * 4 >= machine.sysExConfig().size();
}

}  // namespace

Q_DECLARE_METATYPE(Stage)

class EditorSendOverJack : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void deviceStoresExactlyTheEncodedPackets();
    void silentDeviceGivesNotRespondingAndControlsBack();
    void deviceGoneMidTransfer_data();
    void deviceGoneMidTransfer();
    void deviceBackIsServedOnceItsInterfacesAreChosenAgain();
    void restartedDeviceIsFoundAgainWithoutTheDialog();
    void findTheDeviceChoosesTheSimulatorsPorts();

private:
    // Starts the simulator with extra options, remembers its ports as the
    // editor's interfaces and starts the editor on them.
    void startDeviceAndEditor(const std::vector<std::string>& extra);
    // What the user reads on the send button and in boxes, in the editor's language.
    QString editorText(const char* key) const {
        return uiText(key, TFormMainTestAccess::language(editor_->main()).toStdString());
    }
    QString diagnosis() const;

    std::unique_ptr<korvane::testing::JackServer> jack_;
    std::vector<std::string> encoded_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<SimulatedDevice> sim_;
    std::unique_ptr<EditorSession> editor_;
};

void EditorSendOverJack::initTestCase() {
    if (!korvane::testing::JackServer::installed())
        QSKIP("jackd is not installed (package jackd2); the end-to-end test needs a JACK server");
    std::string why;
    jack_ = korvane::testing::JackServer::start(why);
    QVERIFY2(jack_, why.c_str());

    const auto encoded = korvane::testing::runProcess(
        {(kBin / "korvane").string(), "encode", (kBin / "korvane.def").string(), kStandard.toStdString()});
    QVERIFY2(encoded.exitCode == 0, encoded.err.c_str());
    encoded_ = lines(encoded.out);
    QCOMPARE(encoded_.size(), std::size_t(64));
}

void EditorSendOverJack::cleanupTestCase() { jack_.reset(); }

void EditorSendOverJack::init() {
    // Documents, log and settings of every test live in a folder of its own.
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_DATA_HOME", (home_->path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home_->path() + "/config").toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home_->path() + "/config");
}

void EditorSendOverJack::cleanup() {
    // The editor closes its ports before the device goes: the order a user
    // would see when quitting the editor first.
    editor_.reset();
    sim_.reset();
    home_.reset();
}

void EditorSendOverJack::startDeviceAndEditor(const std::vector<std::string>& extra) {
    std::string why;
    sim_ = SimulatedDevice::start(kBin, std::filesystem::path(home_->path().toStdString()) / "device.json",
                                  extra, why);
    QVERIFY2(sim_, why.c_str());
    // The editor sends to the device's input and listens to its output.
    korvane::e2e::rememberInterfaces(sim_->outputPort(), sim_->inputPort());

    editor_ = std::make_unique<EditorSession>(QString::fromStdString(kBin.string()));
    // A name the editor could not find would have asked for a valid interface.
    QVERIFY2(editor_->boxes().count() == 0,
             qPrintable("start-up showed: " + editor_->boxes().texts(Kind::Message).join(" | ") +
                        editor_->boxes().texts(Kind::Error).join(" | ")));
    TFormMIDIMon& monitor = editor_->monitor();
    QVERIFY(monitor.MIDIinput1 && monitor.MIDIoutput1);
    QCOMPARE(monitor.MIDIinput1->State(), korvane::misOpen);
    QCOMPARE(monitor.MIDIoutput1->State(), korvane::mosOpen);
    QCOMPARE(QString::fromStdString(monitor.MIDIoutput1->ProductName()),
             QString::fromStdString(sim_->inputPort()));
    QCOMPARE(QString::fromStdString(monitor.MIDIinput1->ProductName()),
             QString::fromStdString(sim_->outputPort()));

    QVERIFY(editor_->sendButton() && editor_->messageChoice() && editor_->messageEditor() &&
            editor_->progress());
    QVERIFY(editor_->chooseConfiguration(kStandard));
    QVERIFY(editor_->sendControlsRestored());
}

QString EditorSendOverJack::diagnosis() const {
    QString out;
    if (editor_) {
        const std::string_view state = korvane::stateName(editor_->monitor().MyStateMachine());
        out +=
            QStringLiteral("state %1, caption '%2'")
                .arg(QString::fromUtf8(state.data(), qsizetype(state.size())), editor_->sendButton()->text());
    }
    if (sim_) out += QStringLiteral("\nsimulator: ") + QString::fromStdString(sim_->errors());
    return out;
}

void EditorSendOverJack::deviceStoresExactlyTheEncodedPackets() {
    startDeviceAndEditor({});
    if (QTest::currentTestFailed()) return;

    editor_->clickSend();
    // The click returns once all 64 elements are encoded; the exchange with
    // the device runs on in the event loop, with the controls disabled.
    // From here the bar follows the device's answers: 64 packets, the
    // store and the restart.
    QCOMPARE(editor_->progress()->maximum(), 66);
    QVERIFY(!editor_->sendButton()->isEnabled());
    QVERIFY(!editor_->messageChoice()->isEnabled());
    QVERIFY(!editor_->messageEditor()->isEnabled());

    // Every caption the button shows on the way, without repeats.
    QStringList captions{editor_->sendButton()->text()};
    QList<int> progressSeen;
    QElapsedTimer clock;
    clock.start();
    const bool restored = runUntil(
        [&] {
            const QString now = editor_->sendButton()->text();
            if (captions.back() != now) captions << now;
            if (!editor_->sendButton()->isEnabled()) {
                progressSeen << editor_->progress()->value();
            }
            return editor_->sendButton()->isEnabled();
        },
        60s);
    QVERIFY2(restored, qPrintable(diagnosis()));
    qInfo("click to restored send button: %lld ms", static_cast<long long>(clock.elapsed()));

    QVERIFY2(editor_->boxes().count() == 0, qPrintable(editor_->boxes().texts(Kind::Message).join(" | ") +
                                                       editor_->boxes().texts(Kind::Error).join(" | ")));
    QVERIFY(editor_->sendControlsRestored());
    QCOMPARE(editor_->progress()->value(), 0);
    // It only moved forward while the transfer ran, and it reached the restart.
    QVERIFY(std::is_sorted(progressSeen.begin(), progressSeen.end()));
    QVERIFY(!progressSeen.isEmpty() && progressSeen.back() >= 65);
    QCOMPARE(editor_->monitor().MyStateMachine(), korvane::IDLE);
    // The "initializing" caption shows only while the device is still busy
    // storing, so whether it is seen depends on timing; the others must come
    // in this order.
    captions.removeAll(editorText("transfer.caption.initializing"));
    QCOMPARE(captions, (QStringList{editorText("main.btSend.busy"), editorText("transfer.caption.saving"),
                                    editorText("transfer.caption.backAgain"), editorText("main.btSend")}));

    const DeviceState device = sim_->state();
    const QString difference = packetDifference(device.configuration, encoded_);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(device.stores, 1);
    QCOMPARE(device.resets, 1);
    QCOMPARE(device.rejected, 0);

    // Every step went to the diagnostics log, which is complete once the
    // editor has ended.
    editor_.reset();
    QFile log(home_->path() + "/data/Pellux3/logs/Korvane.log");
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QString logged = QString::fromUtf8(log.readAll());
    QCOMPARE(logged.count("ACK received, send: "), 64);
    QCOMPARE(logged.count("last SysEx packet sent"), 1);
    QCOMPARE(logged.count("ACK received, write EEPROM"), 1);
    QCOMPARE(logged.count("ACK received, resetting Korvane"), 1);
    QCOMPARE(logged.count("ACK received, finished."), 1);
}

void EditorSendOverJack::silentDeviceGivesNotRespondingAndControlsBack() {
    startDeviceAndEditor({"--no-reply"});
    if (QTest::currentTestFailed()) return;

    editor_->clickSend();
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(runUntil([&] { return editor_->sendButton()->isEnabled(); }, 30s), qPrintable(diagnosis()));
    qInfo("click to the not-responding box: %lld ms", static_cast<long long>(clock.elapsed()));

    QCOMPARE(editor_->boxes().texts(Kind::Message).size(), 1);
    QVERIFY(editor_->boxes().texts(Kind::Message)[0].startsWith(editorText("transfer.notResponding")));
    QCOMPARE(editor_->boxes().count(), std::size_t(1));
    QVERIFY(editor_->sendControlsRestored());
    QCOMPARE(editor_->progress()->value(), 0);
    QCOMPARE(editor_->monitor().MyStateMachine(), korvane::IDLE);
    QCOMPARE(sim_->state().stores, 0);
}

void EditorSendOverJack::deviceGoneMidTransfer_data() {
    QTest::addColumn<int>("sig");
    QTest::addColumn<Stage>("stage");
    // A clean stop unregisters the device's ports; a kill makes them vanish
    // with the process. Either way the editor keeps asking a device that is
    // no longer there.
    QTest::newRow("stopped while packets flow") << int(SIGTERM) << Stage::Packets;
    QTest::newRow("killed while packets flow") << int(SIGKILL) << Stage::Packets;
    QTest::newRow("killed while it restarts") << int(SIGKILL) << Stage::Restart;
}

void EditorSendOverJack::deviceGoneMidTransfer() {
    QFETCH(int, sig);
    QFETCH(Stage, stage);
    startDeviceAndEditor({});
    if (QTest::currentTestFailed()) return;

    editor_->clickSend();
    korvane::TTransferStateMachine& machine = editor_->monitor().stateMachine();
    const auto reached = [&] {
        if (stage == Stage::Restart)
            return machine.state() == korvane::SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE;
        return packetsFlowing(machine);
    };
    QVERIFY2(runUntil(reached, 30s), qPrintable(diagnosis()));
    sim_->signal(sig);

    QElapsedTimer clock;
    clock.start();
    QVERIFY2(runUntil([&] { return editor_->sendButton()->isEnabled(); }, 60s), qPrintable(diagnosis()));
    qInfo("device gone to the not-responding box: %lld ms", static_cast<long long>(clock.elapsed()));

    // Gone during the restart, the device stored but never came back; the
    // box says that rather than blaming the cabling.
    const char* expected = stage == Stage::Restart ? "transfer.noRestart" : "transfer.notResponding";
    QCOMPARE(editor_->boxes().texts(Kind::Message).size(), 1);
    QVERIFY(editor_->boxes().texts(Kind::Message)[0].startsWith(editorText(expected)));
    QCOMPARE(editor_->boxes().count(), std::size_t(1));
    QVERIFY(editor_->sendControlsRestored());
    QCOMPARE(editor_->progress()->value(), 0);
    QCOMPARE(machine.state(), korvane::IDLE);
    QVERIFY(!sim_->running());
    // Gone before the store command: nothing may have been stored.
    if (stage == Stage::Packets) QCOMPARE(sim_->state().stores, 0);
}

void EditorSendOverJack::deviceBackIsServedOnceItsInterfacesAreChosenAgain() {
    // The port watch opens the returned device's ports and asks for its
    // firmware; the interface dialog then closes them before the answer is
    // in. That query must not stay waiting for an answer, or it takes every
    // reply of the next transfer one query too early.
    startDeviceAndEditor({});
    if (QTest::currentTestFailed()) return;
    const std::string deviceIn = sim_->inputPort(), deviceOut = sim_->outputPort();

    // The device goes away in the middle of a transfer...
    editor_->clickSend();
    korvane::TTransferStateMachine& machine = editor_->monitor().stateMachine();
    QVERIFY2(runUntil([&] { return packetsFlowing(machine); }, 30s), qPrintable(diagnosis()));
    sim_->signal(SIGKILL);
    QVERIFY2(runUntil([&] { return editor_->sendButton()->isEnabled(); }, 60s), qPrintable(diagnosis()));
    QCOMPARE(editor_->boxes().texts(Kind::Message).size(), 1);
    QVERIFY(editor_->boxes().texts(Kind::Message)[0].startsWith(editorText("transfer.notResponding")));
    editor_->boxes().clear();

    // ...and comes back under the names it had.
    const std::string name = sim_->name();
    sim_.reset();
    std::string why;
    sim_ = SimulatedDevice::start(kBin, std::filesystem::path(home_->path().toStdString()) / "device.json",
                                  {}, why, name);
    QVERIFY2(sim_, why.c_str());
    QCOMPARE(sim_->inputPort(), deviceIn);
    QCOMPARE(sim_->outputPort(), deviceOut);

    // The user opens the interface dialog, finds the device chosen on both
    // sides and confirms; the ports are opened again on those names.
    auto* dialog = editor_->main().findChild<QDialog*>(QStringLiteral("FormMidiInterface"));
    QVERIFY(dialog);
    QString chosenOut, chosenIn;
    QTimer::singleShot(0, dialog, [&] {
        chosenOut = dialog->findChild<QLineEdit*>(QStringLiteral("edMidiOut"))->text();
        chosenIn = dialog->findChild<QLineEdit*>(QStringLiteral("edMidiIn"))->text();
        dialog->findChild<QPushButton*>(QStringLiteral("btOK"))->click();
    });
    // Should the dialog not react, the test must not hang in it.
    QTimer::singleShot(20000, dialog, [dialog] { dialog->reject(); });
    auto* menuEntry = editor_->main().findChild<QAction*>(QStringLiteral("Menu_Einstellungen_MIDI_"));
    QVERIFY(menuEntry);
    menuEntry->trigger();
    QCOMPARE(chosenOut, QString::fromStdString(deviceIn));
    QCOMPARE(chosenIn, QString::fromStdString(deviceOut));
    QVERIFY2(editor_->boxes().count() == 0, qPrintable(editor_->boxes().texts(Kind::Message).join(" | ") +
                                                       editor_->boxes().texts(Kind::Error).join(" | ")));
    QCOMPARE(editor_->monitor().MIDIinput1->State(), korvane::misOpen);
    QCOMPARE(editor_->monitor().MIDIoutput1->State(), korvane::mosOpen);

    editor_->clickSend();
    QVERIFY2(runUntil([&] { return editor_->sendButton()->isEnabled(); }, 60s), qPrintable(diagnosis()));
    QVERIFY2(editor_->boxes().count() == 0, qPrintable(editor_->boxes().texts(Kind::Message).join(" | ")));
    const DeviceState device = sim_->state();
    const QString difference = packetDifference(device.configuration, encoded_);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(device.stores, 1);
    QCOMPARE(device.resets, 1);
}

QTEST_MAIN(EditorSendOverJack)
#include "editor_send_test.moc"

// The status bar shows the ports and the firmware the device reported; when
// the device's ports vanish and come back under their names, the editor
// opens them again by itself and the next transfer reaches the device.
void EditorSendOverJack::restartedDeviceIsFoundAgainWithoutTheDialog() {
    startDeviceAndEditor({});
    if (QTest::currentTestFailed()) return;
    TFormMain& w = editor_->main();
    const QString deviceIn = QString::fromStdString(sim_->inputPort());
    const QString deviceOut = QString::fromStdString(sim_->outputPort());
    const auto status = [&] { return parts(w).StatusMidi->text(); };
    QVERIFY2(runUntil([&] { return status().contains(QStringLiteral("03.04")); }, 10s), qPrintable(status()));
    QVERIFY2(status().contains(deviceIn) && status().contains(deviceOut), qPrintable(status()));
    QVERIFY(!status().contains(editorText("transfer.port.closed")));

    const std::string name = sim_->name();
    sim_->signal(SIGKILL);
    QVERIFY2(runUntil([&] { return editor_->monitor().MIDIoutput1->State() != korvane::mosOpen; }, 20s),
             qPrintable(status()));
    QVERIFY2(status().contains(editorText("transfer.port.closed")), qPrintable(status()));

    sim_.reset();
    std::string why;
    sim_ = SimulatedDevice::start(kBin, std::filesystem::path(home_->path().toStdString()) / "device.json",
                                  {}, why, name);
    QVERIFY2(sim_, why.c_str());
    QVERIFY2(runUntil(
                 [&] {
                     return editor_->monitor().MIDIinput1->State() == korvane::misOpen &&
                            editor_->monitor().MIDIoutput1->State() == korvane::mosOpen &&
                            status().contains(QStringLiteral("03.04"));
                 },
                 20s),
             qPrintable(status() + " | " + w.statusBar()->currentMessage()));
    QCOMPARE(editor_->boxes().count(), std::size_t(0));

    editor_->clickSend();
    QVERIFY2(runUntil([&] { return editor_->sendButton()->isEnabled(); }, 60s), qPrintable(diagnosis()));
    QVERIFY2(editor_->boxes().count() == 0, qPrintable(editor_->boxes().texts(Kind::Message).join(" | ")));
    QCOMPARE(sim_->state().stores, 1);
    QCOMPARE(sim_->state().resets, 1);
}

// The interface dialog's search asks every port: with the choice emptied,
// it finds the simulator's two ports and selects them on both lists.
void EditorSendOverJack::findTheDeviceChoosesTheSimulatorsPorts() {
    startDeviceAndEditor({});
    if (QTest::currentTestFailed()) return;
    auto* dialog = editor_->main().findChild<QDialog*>(QStringLiteral("FormMidiInterface"));
    QVERIFY(dialog);
    auto* find = dialog->findChild<QPushButton*>(QStringLiteral("btFindDevice"));
    auto* edIn = dialog->findChild<QLineEdit*>(QStringLiteral("edMidiIn"));
    auto* edOut = dialog->findChild<QLineEdit*>(QStringLiteral("edMidiOut"));
    QVERIFY(find && edIn && edOut);
    QString chosenIn, chosenOut, result;
    bool searched = false;
    QTimer::singleShot(0, dialog, [&] {
        edIn->clear();
        edOut->clear();
        QTest::mouseClick(find, Qt::LeftButton);
        searched = !find->isEnabled();
    });
    // The dialog's own loop runs the search; once the button is back, OK.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, dialog, [&] {
        if (!searched || !find->isEnabled()) return;
        watch.stop();
        chosenIn = edIn->text();
        chosenOut = edOut->text();
        result = dialog->findChild<QLabel*>(QStringLiteral("lbFindResult"))->text();
        dialog->findChild<QPushButton*>(QStringLiteral("btOK"))->click();
    });
    watch.start(50);
    QTimer::singleShot(20000, dialog, [dialog] { dialog->reject(); });
    editor_->main().findChild<QAction*>(QStringLiteral("Menu_Einstellungen_MIDI_"))->trigger();
    QVERIFY(searched);
    QVERIFY2(chosenIn == QString::fromStdString(sim_->outputPort()), qPrintable(result));
    QCOMPARE(chosenOut, QString::fromStdString(sim_->inputPort()));
    QCOMPARE(editor_->boxes().count(), std::size_t(0));
}
