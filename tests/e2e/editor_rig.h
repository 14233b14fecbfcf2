#pragma once
// The editor and the simulated device as the user would run them, for the
// end-to-end test and the send-time benchmark:
//
//   JACK server (private)  <->  korvane-sim (own process)  <->  editor windows (this process)
//
// The editor is made exactly as the program entry makes it (all seven
// windows, the main window shown so its start-up runs), reads the two
// interface names from the settings store and opens real JACK ports. Boxes
// are answered by the scripted dialogs, so nothing blocks in a modal loop.
//
// The caller points XDG_DATA_HOME / XDG_CONFIG_HOME at a temporary folder and
// has a JACK server running (JACK_DEFAULT_SERVER exported) before anything
// here opens a port.

#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs.h"
#include "process.h"
#include "program.h"

class QGroupBox;
class QProgressBar;
class QPushButton;
class TFormMain;
class TFormMIDIMon;

namespace korvane::e2e {

// What korvane-sim reports in its --state file.
struct DeviceState {
    std::vector<std::string> configuration;  // stored packets as hex text, in element order
    int stores = -1;
    int resets = -1;
    int rejected = -1;
};

// Reads the simulator's state JSON; missing counters stay -1.
DeviceState parseDeviceState(const std::string& json);

// korvane-sim running as its own program under a port name of its own.
class SimulatedDevice {
public:
    // Starts bin/korvane-sim with --state stateFile and the extra options,
    // and waits until it has opened its ports. The ports get a name of their
    // own unless name is given (a device coming back under the name it had).
    // nullptr with the reason (its error output included) when it does not
    // come up.
    static std::unique_ptr<SimulatedDevice> start(const std::filesystem::path& bin,
                                                  const std::filesystem::path& stateFile,
                                                  const std::vector<std::string>& extra, std::string& why,
                                                  const std::string& name = {});

    // The --name it was started with.
    const std::string& name() const { return name_; }

    // The device's MIDI In: what the editor sends to ("InterfaceOut").
    const std::string& inputPort() const { return input_; }
    // The device's MIDI Out: what the editor listens to ("InterfaceIn").
    const std::string& outputPort() const { return output_; }

    // Sends a signal to the simulator (SIGTERM stops it cleanly, SIGKILL
    // makes its ports vanish without a goodbye).
    void signal(int sig);
    bool running() { return process_->running(); }
    std::string errors() const { return process_->errors(); }
    // The state file as it is on disk now.
    DeviceState state() const;
    std::string stateText() const;

private:
    SimulatedDevice() = default;
    std::unique_ptr<testing::BackgroundProcess> process_;
    std::filesystem::path stateFile_;
    std::string name_, input_, output_;
};

// Stores the two interface names the way the interface dialog's OK does.
void rememberInterfaces(const std::string& interfaceIn, const std::string& interfaceOut);

// Runs the event loop as the program's own loop does (blocking until the next
// event, no polling delay) until done() holds or limit passes; done() is
// asked after every batch of events. Returns whether done() held.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// The editor, started as the program starts it.
class EditorSession {
public:
    // Makes the windows, shows the main window (start-up: data folder,
    // document, MIDI ports on the remembered interfaces). The shipped
    // default documents are taken from programFolder.
    explicit EditorSession(const QString& programFolder);
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    TFormMain& main() { return windows_->main(); }
    TFormMIDIMon& monitor() { return windows_->monitor(); }
    ScriptedDialogs& boxes() { return boxes_; }

    // Components of the main window found by their object names.
    QPushButton* sendButton() const { return sendButton_; }
    QGroupBox* messageChoice() const { return messageChoice_; }
    QGroupBox* messageEditor() const { return messageEditor_; }
    QProgressBar* progress() const { return progress_; }

    // Picks a configuration in the configuration list as the user does.
    // False when the list does not hold it.
    bool chooseConfiguration(const QString& name);
    // Clicks the send button.
    void clickSend();
    // The send button and both message groups enabled, the button showing its
    // normal caption in the window's language.
    bool sendControlsRestored() const;

private:
    ScriptedDialogs boxes_;
    ScopedDialogs scope_{&boxes_};
    std::unique_ptr<EditorWindows> windows_;
    QPushButton* sendButton_ = nullptr;
    QGroupBox* messageChoice_ = nullptr;
    QGroupBox* messageEditor_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

// A user text of the one table as a QString.
QString uiText(const char* key, const std::string& language);

}  // namespace korvane::e2e
