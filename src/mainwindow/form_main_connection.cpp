// The connection to the device, made visible and kept alive: the status bar
// names the chosen ports, says whether they are open and shows the firmware
// version the device reported; a timer looks at the port lists and reopens a
// chosen port that vanished and came back under its name.

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "form_main.h"
#include "form_main_texts.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "log_class.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

namespace {

// Polling is cheap (one listing per system) and needs nothing from the MIDI
// system beyond what every listing uses; a second is soon enough for a user
// who just plugged a cable in.
constexpr int kPortWatchMs = 1000;
// The first query of a transfer waits as long.
constexpr int kVersionAnswerMs = 2000;

bool listed(const std::vector<std::string>& names, const std::string& chosen) {
    return std::find(names.begin(), names.end(), chosen) != names.end();
}

}  // namespace

void TFormMain::BuildStatusBar() {
    StatusMidi = new QLabel(this);
    StatusMidi->setObjectName(QStringLiteral("StatusMidi"));
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(false);
    // Permanent, so the short notes about reconnections show beside it.
    statusBar()->addPermanentWidget(StatusMidi);

    TimerPortWatch = new QTimer(this);
    TimerPortWatch->setObjectName(QStringLiteral("TimerPortWatch"));
    TimerPortWatch->setInterval(kPortWatchMs);
    connect(TimerPortWatch, &QTimer::timeout, this, &TFormMain::TimerPortWatchTimer);

    TimerVersionAnswer = new QTimer(this);
    TimerVersionAnswer->setObjectName(QStringLiteral("TimerVersionAnswer"));
    TimerVersionAnswer->setSingleShot(true);
    TimerVersionAnswer->setInterval(kVersionAnswerMs);
    connect(TimerVersionAnswer, &QTimer::timeout, this, &TFormMain::TimerVersionAnswerTimer);
}

void TFormMain::UpdateConnectionStatus() {
    if (!StatusMidi) return;
    const auto port = [this](const QString& chosen, bool open) {
        const QString name = chosen.isEmpty() ? trText("transfer.port.none", language) : chosen;
        return name + QStringLiteral(" (") +
               trText(open ? "transfer.port.open" : "transfer.port.closed", language) + QLatin1Char(')');
    };
    const bool inOpen = MidiInputPort && MidiInputPort->State() == korvane::misOpen;
    const bool outOpen = MidiOutputPort && MidiOutputPort->State() == korvane::mosOpen;
    const QString firmware =
        FirmwareStatus.isEmpty() ? trText("connection.firmware.unknown", language) : FirmwareStatus;
    StatusMidi->setText(QString::fromStdString(korvane::textWithAll(
        "connection.status", language.toStdString(),
        {port(korvane::savedInterfaceIn(), inOpen).toStdString(),
         port(korvane::savedInterfaceOut(), outOpen).toStdString(), firmware.toStdString()})));
}

void TFormMain::AskFirmwareVersion() {
    if (!FormMIDIMon || !MidiOutputPort || MidiOutputPort->State() != korvane::mosOpen) {
        FirmwareStatus.clear();
        UpdateConnectionStatus();
        return;
    }
    // Never over a running transfer or request: a query of ours would not
    // harm it, but taking the machine over would end it.
    const korvane::TMyStateMachine state = FormMIDIMon->MyStateMachine();
    if (state != korvane::IDLE && state != korvane::MANUAL_GET_VERSION) return;
    FirmwareStatus = trText("connection.firmware.asking", language);
    UpdateConnectionStatus();
    FormMIDIMon->stateMachine().startManualVersion();
    TimerVersionAnswer->start();
}

void TFormMain::FirmwareVersionReceived(const QString& version) {
    TimerVersionAnswer->stop();
    FirmwareStatus = version;
    UpdateConnectionStatus();
}

void TFormMain::TimerVersionAnswerTimer() {
    // Only the status bar says so: a device that is switched off is no
    // error of the user's at start-up.
    FirmwareStatus = trText("connection.firmware.noAnswer", language);
    UpdateConnectionStatus();
}

namespace {

enum class WatchOutcome { Unchanged, Gone, Reopened };

// One look at one port. The input and the output differ only in how they
// say they are open, in the listing that shows them and in that an input
// has to be started once open.
template <class Port>
WatchOutcome watchPort(Port& port, const std::string& chosen, bool open,
                       std::vector<std::string> (korvane::MidiService::*listing)()) {
    const bool present = listed((port.Service().*listing)(), chosen);
    if (open && port.ProductName() == chosen) {
        if (present) return WatchOutcome::Unchanged;
        // Gone from the system: the open port hears nothing any more, and
        // closing it lets the next look find the port when it is back.
        port.Close();
        return WatchOutcome::Gone;
    }
    // Closed, or open on a stand-in because the chosen one was missing.
    if (!present) return WatchOutcome::Unchanged;
    if (open) port.Close();
    const int count = int(port.Numdevs());
    int match = -1;
    for (int i = 0; i < count; ++i)
        if (port.deviceNames().at(std::size_t(i)) == chosen) match = i;
    if (match < 0) return WatchOutcome::Unchanged;
    port.SetDeviceID(match);
    if (!port.Open()) return WatchOutcome::Unchanged;
    if constexpr (requires { port.Start(); }) port.Start();
    return WatchOutcome::Reopened;
}

// Says what a look changed, in the log and the status bar; true when it
// changed anything.
bool reportWatch(WatchOutcome outcome, const char* side, const QString& chosen, const QString& language,
                 QStatusBar& bar) {
    switch (outcome) {
        case WatchOutcome::Unchanged:
            return false;
        case WatchOutcome::Gone:
            korvane::LogWarning(std::string(side) + " gone: " + chosen.toStdString());
            bar.showMessage(trTextWith("connection.gone", language, chosen));
            return true;
        case WatchOutcome::Reopened:
            korvane::LogInfo(std::string(side) + " opened again: " + chosen.toStdString());
            bar.showMessage(trTextWith("connection.reconnected", language, chosen));
            return true;
    }
    return false;
}

}  // namespace

bool TFormMain::WatchInputPort(const QString& chosen) {
    const WatchOutcome outcome =
        watchPort(*MidiInputPort, chosen.toStdString(), MidiInputPort->State() == korvane::misOpen,
                  &korvane::MidiService::inputPortNames);
    return reportWatch(outcome, "MIDI in", chosen, language, *statusBar());
}

bool TFormMain::WatchOutputPort(const QString& chosen) {
    const WatchOutcome outcome =
        watchPort(*MidiOutputPort, chosen.toStdString(), MidiOutputPort->State() == korvane::mosOpen,
                  &korvane::MidiService::outputPortNames);
    return reportWatch(outcome, "MIDI out", chosen, language, *statusBar());
}

void TFormMain::TimerPortWatchTimer() {
    if (!MidiInputPort || !MidiOutputPort) return;
    // The interface dialog closes the ports to list the devices and has them
    // reopened when it closes; a transfer must keep the ports it runs on.
    if (FormMidiInterface && FormMidiInterface->isVisible()) return;
    if (FormMIDIMon) {
        const korvane::TMyStateMachine state = FormMIDIMon->MyStateMachine();
        if (state != korvane::IDLE && state != korvane::MANUAL_GET_VERSION) return;
    }
    const QString chosenIn = korvane::savedInterfaceIn();
    const QString chosenOut = korvane::savedInterfaceOut();
    bool changed = false;
    try {
        if (!chosenIn.isEmpty()) changed |= WatchInputPort(chosenIn);
        if (!chosenOut.isEmpty()) changed |= WatchOutputPort(chosenOut);
    } catch (const std::exception& e) {
        // A device that vanished between the listing and the choice: the
        // next look tries again.
        korvane::LogWarning(std::string("MIDI port watch: ") + e.what());
    }
    if (!changed) {
        UpdateConnectionStatus();
        return;
    }
    if (FormMIDIMon) FormMIDIMon->BindInput();
    const bool bothOpen =
        MidiInputPort->State() == korvane::misOpen && MidiOutputPort->State() == korvane::mosOpen;
    if (bothOpen) {
        AskFirmwareVersion();
    } else {
        FirmwareStatus.clear();
    }
    UpdateConnectionStatus();
}
