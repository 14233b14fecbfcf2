// Motor profiles over real MIDI: a private JACK server, korvane-sim as its own
// program, and the profile sent once from the editor window (offscreen, in
// this process) and once with "korvane profile-send". The device must hold
// nine profile packets equal to the encoder's and count one store per commit,
// and reading them back must give the curves that were sent.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <regex>

#include "editor_rig.h"
#include "form_main.h"
#include "form_midimon.h"
#include "form_motor_profil.h"
#include "jack_server.h"
#include "motor_profile.h"
#include "motor_profile_document.h"
#include "process.h"

using korvane::e2e::EditorSession;
using korvane::e2e::runUntil;
using korvane::e2e::SimulatedDevice;
using namespace std::chrono_literals;

namespace {

const std::filesystem::path kBin = KORVANE_BIN_DIR;

// The packets of the "motorprofiles" array of the simulator's state, in order.
std::vector<std::string> storedProfiles(const std::string& json) {
    const auto start = json.find("\"motorprofiles\": [");
    if (start == std::string::npos) return {};
    const std::string array = json.substr(start, json.find(']', start) - start);
    std::vector<std::string> out;
    const std::regex packet("\"(F0[0-9A-F ]*F7)\"");
    for (auto it = std::sregex_iterator(array.begin(), array.end(), packet); it != std::sregex_iterator();
         ++it)
        out.push_back((*it)[1]);
    return out;
}

int profileStores(const std::string& json) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"profile_stores\": ([0-9]+)"))) return -1;
    return std::stoi(m[1]);
}

// What the encoder makes of the shipped profile "default", as hex text.
std::vector<std::string> expectedPackets() {
    korvane::MotorProfileDocument doc;
    if (!doc.open(kBin / "motorprofile.def").ok()) return {};
    korvane::TMotorProfilTabelle table;
    const auto time =
        korvane::MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName("default"), table);
    std::vector<std::string> out;
    for (int f = 0; f < korvane::kMotorFaderCount; ++f)
        out.push_back(korvane::HexBytes(korvane::MotorProfilePacket(
            table.MotorProfile[static_cast<std::size_t>(f)], f,
            korvane::positioningTimeByte(std::to_string(time.TotzeitFaktor)),
            korvane::positioningTimeByte(std::to_string(time.TotzeitKonstante)))));
    return out;
}

}  // namespace

class MotorProfileOverJack : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void sentFromTheWindowAndCommitted();
    void sentWithTheCommandLineTool();

private:
    void startDevice();

    std::unique_ptr<korvane::testing::JackServer> jack_;
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<SimulatedDevice> sim_;
    std::vector<std::string> expected_;
};

void MotorProfileOverJack::initTestCase() {
    if (!korvane::testing::JackServer::installed())
        QSKIP("jackd is not installed (package jackd2); the end-to-end test needs a JACK server");
    std::string why;
    jack_ = korvane::testing::JackServer::start(why);
    QVERIFY2(jack_, why.c_str());
    expected_ = expectedPackets();
    QCOMPARE(expected_.size(), std::size_t(9));
}

void MotorProfileOverJack::cleanupTestCase() { jack_.reset(); }

void MotorProfileOverJack::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_DATA_HOME", (home_->path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home_->path() + "/config").toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home_->path() + "/config");
}

void MotorProfileOverJack::cleanup() {
    sim_.reset();
    home_.reset();
}

void MotorProfileOverJack::startDevice() {
    std::string why;
    // The device is deaf while it stores; its state file tells of the store
    // when it begins. Storing at once lets the read-back follow the commit
    // without racing the store (a real user reads back seconds later).
    sim_ = SimulatedDevice::start(kBin, std::filesystem::path(home_->path().toStdString()) / "device.json",
                                  {"--store-ms", "0"}, why);
    QVERIFY2(sim_, why.c_str());
}

void MotorProfileOverJack::sentFromTheWindowAndCommitted() {
    startDevice();
    if (QTest::currentTestFailed()) return;
    korvane::e2e::rememberInterfaces(sim_->outputPort(), sim_->inputPort());
    EditorSession editor(QString::fromStdString(kBin.string()));
    QVERIFY(editor.monitor().MIDIoutput1);

    // The user opens the editor from the main window's menu.
    auto* open = editor.main().findChild<QAction*>(QStringLiteral("Menu_Motorprofileditor_"));
    QVERIFY(open && open->isEnabled());
    open->trigger();
    TFormMotorProfil* w = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* candidate = qobject_cast<TFormMotorProfil*>(top)) w = candidate;
    QVERIFY(w);
    w->FormActivate();
    QCOMPARE(w->cb_MotorProfile->currentText(), QStringLiteral("default"));

    QVERIFY(!w->bt_Burn->isEnabled());
    w->bt_Send->click();
    // The send runs on in the event loop; the window stays responsive and
    // the commit comes free only at its end.
    QVERIFY(!w->bt_Burn->isEnabled());
    QVERIFY(runUntil([&] { return w->bt_Burn->isEnabled(); }, 20s));
    w->bt_Burn->click();
    QVERIFY(!w->bt_Burn->isEnabled());
    const bool stored = runUntil([&] { return profileStores(sim_->stateText()) == 1; }, 20s);
    QVERIFY2(stored, (sim_->stateText() + sim_->errors()).c_str());
    QCOMPARE(storedProfiles(sim_->stateText()), expected_);

    // Read back into a new profile: the same curves as the one sent.
    const korvane::TMotorProfilTabelle sentTable = *w->profileTable();
    editor.boxes().setNextText(QStringLiteral("Vom Gerät"));
    w->bt_Read->click();
    QVERIFY(runUntil([&] { return w->cb_MotorProfile->currentText() == QStringLiteral("Vom Gerät"); }, 20s));
    QVERIFY2(editor.boxes().texts(korvane::ScriptedDialogs::Kind::Error).isEmpty(),
             qPrintable(editor.boxes().texts(korvane::ScriptedDialogs::Kind::Error).join('\n')));
    QVERIFY(w->profileTable()->MotorProfile == sentTable.MotorProfile);
    w->hide();
}

void MotorProfileOverJack::sentWithTheCommandLineTool() {
    startDevice();
    if (QTest::currentTestFailed()) return;
    const auto sent = korvane::testing::runProcess(
        {(kBin / "korvane").string(), "profile-send", (kBin / "motorprofile.def").string(), "default",
         "--out", sim_->inputPort(), "--in", sim_->outputPort(), "--commit"},
        std::chrono::seconds(60));
    QVERIFY2(sent.exitCode == 0, (sent.out + sent.err).c_str());
    QVERIFY(sent.out.find("fader Fader M sent") != std::string::npos);
    const bool stored = runUntil([&] { return profileStores(sim_->stateText()) == 1; }, 20s);
    QVERIFY2(stored, (sim_->stateText() + sim_->errors()).c_str());
    QCOMPARE(storedProfiles(sim_->stateText()), expected_);

    // An unknown profile is named with the ones the document holds.
    const auto unknown = korvane::testing::runProcess(
        {(kBin / "korvane").string(), "profile-send", (kBin / "motorprofile.def").string(), "Default",
         "--out", sim_->inputPort(), "--in", sim_->outputPort()});
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY(unknown.err.find("  default") != std::string::npos);

    // A value that does not fit one byte refuses the whole send, naming it.
    const std::string tooLarge = home_->path().toStdString() + "/large.mp";
    {
        std::ofstream out(tooLarge);
        out << "<k><motorprofile><profil name=\"p\"><fader3>256, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
               "8, 8, 8, 8, 8, 8, 8, 8, 8, 8</fader3></profil></motorprofile></k>\n";
    }
    const auto refused =
        korvane::testing::runProcess({(kBin / "korvane").string(), "profile-send", tooLarge, "p", "--out",
                                      sim_->inputPort(), "--in", sim_->outputPort()});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY2(refused.err.find("Fader 3, point 10: difference 256") != std::string::npos, refused.err.c_str());
    QVERIFY(refused.out.empty());
}

QTEST_MAIN(MotorProfileOverJack)
#include "motor_profile_send_test.moc"
