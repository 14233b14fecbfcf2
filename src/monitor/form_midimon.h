#pragma once
// The MIDI monitor window. It lives for the whole run (hidden until the user
// opens it), receives every incoming MIDI event and hosts the acknowledged
// transfer with the device (TTransferStateMachine): its input handler runs
// the reply step for every SysEx event before it displays the event, and its
// TimerWaitForAnswer drives the machine's timer step.
//
// It records both directions from start-up, whether it is shown or not: the
// incoming events from its input handler and everything the output port
// sends (through the port's OnSent). The record (monitor::History) is
// bounded; Memo1 shows the part the filter lets through and is brought up to
// date once per event-loop turn, never once per message. Memo1 is a list view
// over the record rather than a text editor: appending a hundred thousand
// lines then costs what the visible ones cost to paint.
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
//   mon->BindInput();            // input->OnMidiInput := MIDIMonitorInput,
//                                // output->OnSent := record as outgoing
//   ...
//   mon->SendConfiguration(stream);   // from btSendClick / KonfigurationSenden
//
// The not-responding text (T1) and every other box go through
// korvane::dialogs() in korvane::uiLanguage(); texts are looked up when shown.
// Any hook left empty is simply not called.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "monitor_history.h"
#include "sysex.h"
#include "transfer_state_machine.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QSpinBox;
class QTimer;

namespace korvane {
class TMidiInput;
class TMidiOutput;
}  // namespace korvane

class TFormMIDIMon : public QWidget {
    Q_OBJECT

public:
    // Input handled in one event-loop turn before the window gets its turn
    // to paint and to answer the user: at most this many events, and no
    // longer than this. Together with the bounded view update this keeps a
    // repaint at least every 50 ms under any flood.
    static constexpr int kInputSliceEvents = 4096;
    static constexpr std::int64_t kInputSliceMs = 15;
    // Lines taken from the record into Memo1 in one turn.
    static constexpr int kViewSliceLines = 20000;

    explicit TFormMIDIMon(QWidget* parent = nullptr);
    ~TFormMIDIMon() override;

    // ---- Port objects: owned by the main window, reached through here. ----
    korvane::TMidiInput* MIDIinput1 = nullptr;
    korvane::TMidiOutput* MIDIoutput1 = nullptr;

    // Sets MIDIinput1's OnMidiInput to this window's MIDIMonitorInput (after
    // MIDIInterfaceAusRegistry at start and after the interface dialog), its
    // OnOverflow so that events lost to a full input queue are told in the
    // monitor and the log, once per burst, and MIDIoutput1's OnSent so that
    // what is sent is recorded as outgoing. Outgoing time stamps count from
    // here, as the input's do from its start.
    void BindInput();

    // ---- Hooks set by the main window. ----
    // Send button caption while the device stores and restarts (T2/T3/T4,
    // already in the current language).
    std::function<void(const QString& caption)> OnSetSendCaption;
    // InitSendButton of the main window: normal caption, progress 0, enable.
    std::function<void()> OnInitSendButton;
    // Every version reply, with its text (the main window's status bar).
    std::function<void(const QString& version)> OnVersionReceived;
    // Each stage a configuration transfer reaches, for the progress bar.
    std::function<void(korvane::TransferStage stage, int packetIndex, int packetCount)> OnTransferStage;
    // Whether both port objects exist (bMIDIinCreated && bMIDIoutCreated);
    // asked by the profile request. Unset counts as "yes" when both fields
    // above are non-null.
    std::function<bool()> OnPortsCreated;
    // Monotonic milliseconds for the machine's time-outs, the sine test's
    // ten seconds and the input slices; tests put a fake clock here. Unset:
    // the steady clock.
    std::function<std::int64_t()> NowMs;
    // Every received SysEx message, before the transfer's reply step: the
    // main window's read-back of the device listens here.
    std::function<void(const korvane::ByteString& message)> OnSysExReceived;

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
    // The input port's OnMidiInput handler: takes the queued events, a
    // bounded slice per event-loop turn, runs the reply step for SysEx
    // events and records them. Never blocks.
    void MIDIMonitorInput();
    // TimerWaitForAnswer's handler.
    void TimerWaitForAnswerTimer();

    korvane::TMyStateMachine MyStateMachine() const;
    const korvane::ByteString& SysExConfig() const;
    korvane::TTransferStateMachine& stateMachine();

    // Version text of the last version reply; cleared by VersionsAbfrage.
    std::string VersionsString;

    // ---- Fields of the display and the sine test. ----
    QString Trennlinie;                   // the divider line
    double Testwinkel = 0.0;              // the sine test's angle; never reset
    std::int64_t TimerSineStartedAt = 0;  // when the sine test was last toggled
    void TrennlinieInit(int BytesProZeile);

    // ---- Components (objectName = field name). ----
    QTimer* TimerWaitForAnswer = nullptr;
    QTimer* Timer1 = nullptr;     // divider after a pause
    QTimer* TimerSine = nullptr;  // sine test, 50 ms
    QGroupBox* gbMIDImonitor = nullptr;
    QPushButton* btClear = nullptr;
    QCheckBox* chkTrennlinie = nullptr;
    QCheckBox* chkShowTimestamps = nullptr;
    QLabel* lbTrennlinieNach = nullptr;
    QLineEdit* ed_timerinterval = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lbBytesZeile = nullptr;
    QLineEdit* Edit_BytesProZeile = nullptr;
    QListView* Memo1 = nullptr;  // one row per line; rows can be selected and copied
    // What the monitor offers beyond showing: pause, copy, save, filter,
    // either direction, the bound of the record.
    QPushButton* btPause = nullptr;  // checkable: down while paused
    QPushButton* btCopy = nullptr;
    QPushButton* btSave = nullptr;
    QLabel* lbFilter = nullptr;
    QComboBox* cbFilter = nullptr;  // all, SysEx only, short only
    QCheckBox* chkShowIn = nullptr;
    QCheckBox* chkShowOut = nullptr;
    QLabel* lbHistoryLines = nullptr;
    QSpinBox* edHistoryLines = nullptr;
    QGroupBox* gbSendMIDI = nullptr;
    QLineEdit* edSend = nullptr;
    QPushButton* btSend = nullptr;
    QPushButton* btSendVol7F = nullptr;
    QPushButton* btSendVol60 = nullptr;
    QPushButton* btSendVol40 = nullptr;
    QPushButton* btSendVol00 = nullptr;
    QPushButton* btSine = nullptr;  // checkable: down while the test runs
    QGroupBox* gbInfo = nullptr;
    QPushButton* btAskFirmwareVersion = nullptr;
    QPushButton* btAskProfiles = nullptr;       // hidden
    QPushButton* btAskConfiguration = nullptr;  // hidden
    QCheckBox* chkNibblesToBytes = nullptr;     // hidden
    QPushButton* btClose = nullptr;

    // ---- Handlers. ----
    void FormShow();
    void btClearClick();
    void btCloseClick();
    void btSendClick();
    void btSendVol7FClick();
    void btSendVol60Click();
    void btSendVol40Click();
    void btSendVol00Click();
    void btSineClick();
    void TimerSineTimer();
    void Timer1Timer();
    void Edit_BytesProZeileChange();
    void ed_timerintervalChange();
    void btAskFirmwareVersionClick();
    void btAskConfigurationClick();
    void btAskProfilesClick();
    void btPauseClick();
    void btCopyClick();
    void btSaveClick();
    void ViewChoiceChange();  // filter or a direction check box changed
    void edHistoryLinesChange();

    // Re-reads captions in korvane::uiLanguage() (the main window calls this
    // when it applies a language).
    void Lokalisierung();

    // Brings Memo1 up to date with the record at once (unless paused) and
    // returns its lines (tests, tools).
    QStringList memoLines();
    // Whether Memo1 shows everything recorded that the filter lets through.
    bool viewUpToDate() const;
    // The record itself, all directions and kinds.
    const korvane::monitor::History& history() const { return history_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class Host;
    class Lines;
    std::int64_t now() const;
    void addLine(const QString& line, korvane::monitor::LineKind kind, korvane::monitor::Direction direction);
    void addNote(const QString& line);
    void recordShort(std::span<const std::uint8_t> bytes, std::uint32_t timeMs,
                     korvane::monitor::Direction direction);
    void recordSysEx(std::span<const std::uint8_t> bytes, korvane::monitor::Direction direction);
    void recordSent(std::span<const std::uint8_t> bytes);
    bool outputOpen() const;
    // Sends bytes typed or fixed in the send panel, with a box for a missing
    // output or a failed send.
    void sendFromPanel(const korvane::ByteString& bytes);
    void sendVolume(std::size_t button);
    void inputLost();
    void reportLostInput();
    void scheduleView();
    // Moves up to maxLines lines of the record into Memo1 and drops from it
    // what the record no longer holds; true when Memo1 is up to date.
    bool updateView(int maxLines);
    void rebuildView();

    std::unique_ptr<Host> host_;
    std::unique_ptr<korvane::TTransferStateMachine> machine_;
    std::uint32_t lostInput_ = 0;  // events lost since the last report
    std::string lastSendError_;

    korvane::monitor::History history_;
    korvane::monitor::ViewChoice view_;
    // Memo1's rows, and the next record line the view has not looked at yet.
    Lines* lines_ = nullptr;
    std::uint64_t nextSeq_ = 0;
    bool paused_ = false;
    QTimer* viewTimer_ = nullptr;   // next turn: update Memo1
    QTimer* inputTimer_ = nullptr;  // next turn: the next slice of input
    bool inputWaiting_ = false;     // a slice is used up; the rest waits for inputTimer_

    int bytesPerLine_ = 16;
    korvane::monitor::Direction lastShortDirection_ = korvane::monitor::Direction::In;
    std::int64_t sentBaseMs_ = 0;  // outgoing time stamps count from here
};
