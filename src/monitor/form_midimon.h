#pragma once
// The MIDI monitor window. It lives for the whole run (hidden until the user
// opens it), receives every incoming MIDI event and hosts the acknowledged
// transfer with the device (TTransferStateMachine): its input handler runs
// the reply step for every SysEx event before it displays the event, and its
// TimerWaitForAnswer drives the machine's timer step.
//
// How the main window uses it (all on the user-interface thread):
//
//   auto* mon = new TFormMIDIMon();                 // created at start-up
//   mon->MIDIinput1 = input;                        // ports stay owned by the
//   mon->MIDIoutput1 = output;                      // main window
//   mon->OnSetSendCaption = [...](QString caption) { btSend->setText(caption); };
//   mon->OnInitSendButton = [...] { InitSendButton(); };
//   mon->OnPortsCreated = [...] { return bMIDIinCreated && bMIDIoutCreated; };
//   ...
//   mon->BindInput();            // input->OnMidiInput := MIDIMonitorInput
//   ...
//   mon->SendConfiguration(stream);   // from btSendClick / KonfigurationSenden
//
// The not-responding text (T1) and every other box go through
// korvane::dialogs() in korvane::uiLanguage(); texts are looked up when shown.
// Any hook left empty is simply not called.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sysex.h"
#include "transfer_state_machine.h"

class QTimer;
class QPlainTextEdit;
class QPushButton;
class QGroupBox;

namespace korvane {
class TMidiInput;
class TMidiOutput;
}  // namespace korvane

class TFormMIDIMon : public QWidget {
    Q_OBJECT

public:
    explicit TFormMIDIMon(QWidget* parent = nullptr);
    ~TFormMIDIMon() override;

    // ---- Port objects: owned by the main window, reached through here. ----
    korvane::TMidiInput* MIDIinput1 = nullptr;
    korvane::TMidiOutput* MIDIoutput1 = nullptr;

    // Sets MIDIinput1's OnMidiInput to this window's MIDIMonitorInput (after
    // MIDIInterfaceAusRegistry at start and after the interface dialog), and
    // its OnOverflow so that events lost to a full input queue are told in
    // Memo1 and the log, once per burst.
    void BindInput();

    // ---- Hooks set by the main window. ----
    // Send button caption while the device stores and restarts (T2/T3/T4,
    // already in the current language).
    std::function<void(const QString& caption)> OnSetSendCaption;
    // InitSendButton of the main window: normal caption, progress 0, enable.
    std::function<void()> OnInitSendButton;
    // Whether both port objects exist (bMIDIinCreated && bMIDIoutCreated);
    // asked by the profile request. Unset counts as "yes" when both fields
    // above are non-null.
    std::function<bool()> OnPortsCreated;
    // Monotonic milliseconds for the machine's time-outs; tests put a fake
    // clock here. Unset: the steady clock.
    std::function<std::int64_t()> NowMs;

    // ---- Transfer (state machine hosted here). ----
    // Starts the configuration transfer of a packet stream (concatenated
    // F0..F7 packets). Overwrites any exchange still running.
    void SendConfiguration(korvane::ByteString stream);
    // Hands bytes whole to MIDIoutput1->PutLong. Empty input or no output
    // port: nothing is sent. Port errors are logged, never thrown out.
    // Returns whether the port took the bytes.
    bool MidiSend(const korvane::ByteString& SysEx);
    // Clears VersionsString and sends the version query F0 7D 07 F7.
    void VersionsAbfrage();
    // The input port's OnMidiInput handler: takes every queued event, runs the
    // reply step for SysEx events and displays them. Never blocks.
    void MIDIMonitorInput();
    // TimerWaitForAnswer's handler.
    void TimerWaitForAnswerTimer();

    korvane::TMyStateMachine MyStateMachine() const;
    const korvane::ByteString& SysExConfig() const;
    korvane::TTransferStateMachine& stateMachine();

    // Version text of the last version reply; cleared by VersionsAbfrage.
    std::string VersionsString;

    // ---- Components (objectName = field name). ----
    QTimer* TimerWaitForAnswer = nullptr;
    QGroupBox* gbMIDImonitor = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btClear = nullptr;
    QGroupBox* gbInfo = nullptr;
    QPushButton* btAskFirmwareVersion = nullptr;
    QPushButton* btAskProfiles = nullptr;       // hidden
    QPushButton* btAskConfiguration = nullptr;  // hidden
    QPushButton* btClose = nullptr;

    // ---- Handlers. ----
    void FormShow();
    void btClearClick();
    void btCloseClick();
    void btAskFirmwareVersionClick();
    void btAskConfigurationClick();
    void btAskProfilesClick();

    // Re-reads captions in korvane::uiLanguage() (the main window calls this
    // when it applies a language).
    void Lokalisierung();

    // Lines shown so far in Memo1 (tests, tools).
    QStringList memoLines() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Host;
    void addLine(const QString& line);
    void showEventBytes(const korvane::ByteString& bytes);
    void inputLost();
    void reportLostInput();

    std::unique_ptr<Host> host_;
    std::unique_ptr<korvane::TTransferStateMachine> machine_;
    std::uint32_t lostInput_ = 0;  // events lost since the last report
};
