#include "editor_rig.h"

#include <signal.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <fstream>
#include <regex>
#include <sstream>

#include "form_main.h"
#include "form_main_access.h"
#include "jack_server.h"
#include "texts.h"

namespace korvane::e2e {

QString uiText(const char* key, const std::string& language) {
    const std::string_view t = text(key, language);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

DeviceState parseDeviceState(const std::string& json) {
    DeviceState state;
    const auto start = json.find("\"configuration\": [");
    if (start != std::string::npos) {
        const auto end = json.find(']', start);
        const std::string array = json.substr(start, end - start);
        const std::regex packet("\"(F0[0-9A-F ]*F7)\"");
        for (auto it = std::sregex_iterator(array.begin(), array.end(), packet); it != std::sregex_iterator();
             ++it)
            state.configuration.push_back((*it)[1]);
    }
    auto counter = [&json](const char* key) {
        std::smatch m;
        if (!std::regex_search(json, m, std::regex(std::string("\"") + key + "\": ([0-9]+)"))) return -1;
        return std::stoi(m[1]);
    };
    state.stores = counter("stores");
    state.resets = counter("resets");
    state.rejected = counter("rejected");
    return state;
}

std::unique_ptr<SimulatedDevice> SimulatedDevice::start(const std::filesystem::path& bin,
                                                        const std::filesystem::path& stateFile,
                                                        const std::vector<std::string>& extra,
                                                        std::string& why, const std::string& name) {
    // Every simulator of a run gets a name of its own, so a port left over
    // from a simulator stopped earlier can never be mistaken for this one.
    static int counter = 0;
    std::unique_ptr<SimulatedDevice> device(new SimulatedDevice);
    device->name_ = name.empty() ? "KorvaneSim" + std::to_string(counter++) : name;
    std::vector<std::string> argv{(bin / "korvane-sim").string(), "--name", device->name_, "--state",
                                  stateFile.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());

    device->stateFile_ = stateFile;
    device->process_ = std::make_unique<testing::BackgroundProcess>(argv);
    if (!device->process_->started()) {
        why = "korvane-sim could not be started from " + bin.string();
        return nullptr;
    }
    const auto in = device->process_->waitForLine("device input: ", std::chrono::seconds(20));
    const auto out = device->process_->waitForLine("device output: ", std::chrono::seconds(5));
    if (!in || !out) {
        why = "korvane-sim did not open its ports:\n" + device->process_->errors();
        return nullptr;
    }
    device->input_ = *in;
    device->output_ = *out;
    // The simulator lists its ports itself; the editor, another JACK client
    // started next, must find them too. Only a wait: should the names not be
    // JACK's own, the editor's start-up still tells what it could not find.
    testing::waitForJackPorts({device->input_, device->output_}, std::chrono::seconds(5));
    return device;
}

void SimulatedDevice::signal(int sig) {
    if (process_->running()) ::kill(process_->pid(), sig);
}

std::string SimulatedDevice::stateText() const {
    std::ifstream in(stateFile_);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

DeviceState SimulatedDevice::state() const { return parseDeviceState(stateText()); }

void rememberInterfaces(const std::string& interfaceIn, const std::string& interfaceOut) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                       QStringLiteral("Korvane"));
    settings.setValue(QStringLiteral("MIDI/InterfaceIn"), QString::fromStdString(interfaceIn));
    settings.setValue(QStringLiteral("MIDI/InterfaceOut"), QString::fromStdString(interfaceOut));
    settings.sync();
}

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    // Wakes the blocking wait below when nothing else happens before the limit.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(int(limit.count()));
    QEventLoop loop;
    while (!done()) {
        if (clock.elapsed() >= limit.count()) return done();
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

EditorSession::EditorSession(const QString& programFolder) {
    windows_ = std::make_unique<EditorWindows>();
    TFormMain& window = windows_->main();
    window.setProgramFolder(programFolder);
    sendButton_ = window.findChild<QPushButton*>(QStringLiteral("btSend"));
    messageChoice_ = window.findChild<QGroupBox*>(QStringLiteral("gb_MessageAuswahl"));
    messageEditor_ = window.findChild<QGroupBox*>(QStringLiteral("gb_Message"));
    progress_ = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    window.show();
}

EditorSession::~EditorSession() {
    if (windows_) windows_->main().close();
    windows_.reset();
}

bool EditorSession::chooseConfiguration(const QString& name) {
    auto* list = main().findChild<QComboBox*>(QStringLiteral("CB_Set"));
    if (!list) return false;
    const int index = list->findText(name);
    if (index < 0) return false;
    list->setCurrentIndex(index);
    emit list->activated(index);
    return list->currentText() == name;
}

void EditorSession::clickSend() {
    if (sendButton_) sendButton_->click();
}

bool EditorSession::sendControlsRestored() const {
    if (!sendButton_ || !messageChoice_ || !messageEditor_) return false;
    return sendButton_->isEnabled() && messageChoice_->isEnabled() && messageEditor_->isEnabled() &&
           sendButton_->text() ==
               uiText("main.btSend", TFormMainTestAccess::language(windows_->main()).toStdString());
}

}  // namespace korvane::e2e
