#include "form_midimon.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <exception>
#include <utility>

#include "dialogs.h"
#include "log_class.h"
#include "log_types.h"
#include "midi_in.h"
#include "midi_out.h"
#include "texts.h"
#include "transfer_log.h"

using namespace korvane;

namespace {

QString uiText(const char* key) {
    const auto t = text(key, uiLanguage().toStdString());
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

QString hexByte(std::uint8_t b) { return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper(); }

constexpr int kBytesPerLine = 16;
// The monitor keeps the newest lines only, so a long flood of input cannot
// grow the window's memory without end.
constexpr int kMaxMemoLines = 20000;

}  // namespace

// Connects the transfer state machine to this window's timer, output port,
// boxes and the main window's send controls.
class TFormMIDIMon::Host : public TransferHost {
public:
    explicit Host(TFormMIDIMon& mon) : mon_(mon) {}

    bool MidiSend(const ByteString& bytes) override { return mon_.MidiSend(bytes); }
    void startTimer(int intervalMs) override { mon_.TimerWaitForAnswer->start(intervalMs); }
    void stopTimer() override { mon_.TimerWaitForAnswer->stop(); }
    std::int64_t nowMs() override {
        if (mon_.NowMs) return mon_.NowMs();
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void showFailure(TransferFailure failure) override {
        // The box runs a nested event loop in which replies and timer ticks
        // go on being handled; one more "does not respond" box on top of an
        // open one tells the user nothing new.
        if (boxOpen_) {
            LogInfo("not-responding box already open; not shown again");
            return;
        }
        boxOpen_ = true;
        dialogs().message(uiText(failureTextKey(failure)));
        boxOpen_ = false;
    }
    void setSendCaption(SendCaption caption) override {
        const char* key = caption == SendCaption::Saving         ? "transfer.caption.saving"
                          : caption == SendCaption::Initializing ? "transfer.caption.initializing"
                                                                 : "transfer.caption.backAgain";
        if (mon_.OnSetSendCaption) mon_.OnSetSendCaption(uiText(key));
    }
    void InitSendButton() override {
        if (mon_.OnInitSendButton) mon_.OnInitSendButton();
    }
    void log(TransferLogLevel level, std::string_view line) override { logTransferLine(level, line); }
    void versionQuerySent() override { mon_.VersionsString.clear(); }
    void versionReceived(std::string_view version) override {
        mon_.VersionsString = std::string(version);
        // The version digits are not range checked, so the text is 8-bit
        // and may hold characters above 0x7F that are not UTF-8.
        mon_.addLine(QString::fromStdString(
            textWith("monitor.version", uiLanguage().toStdString(), ansiToUtf8(version))));
    }

private:
    TFormMIDIMon& mon_;
    bool boxOpen_ = false;
};

TFormMIDIMon::TFormMIDIMon(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint) {
    setObjectName("FormMIDIMon");
    host_ = std::make_unique<Host>(*this);
    machine_ = std::make_unique<TTransferStateMachine>(*host_);

    TimerWaitForAnswer = new QTimer(this);
    TimerWaitForAnswer->setObjectName("TimerWaitForAnswer");
    connect(TimerWaitForAnswer, &QTimer::timeout, this, &TFormMIDIMon::TimerWaitForAnswerTimer);

    gbMIDImonitor = new QGroupBox(this);
    gbMIDImonitor->setObjectName("gbMIDImonitor");
    Memo1 = new QPlainTextEdit(gbMIDImonitor);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setMaximumBlockCount(kMaxMemoLines);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setBold(true);
    Memo1->setFont(mono);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { color: blue; background: #87CEEB; }"));
    btClear = new QPushButton(gbMIDImonitor);
    btClear->setObjectName("btClear");
    auto* monLayout = new QVBoxLayout(gbMIDImonitor);
    monLayout->addWidget(btClear);
    monLayout->addWidget(Memo1);

    gbInfo = new QGroupBox(this);
    gbInfo->setObjectName("gbInfo");
    btAskFirmwareVersion = new QPushButton(gbInfo);
    btAskFirmwareVersion->setObjectName("btAskFirmwareVersion");
    btAskProfiles = new QPushButton(gbInfo);
    btAskProfiles->setObjectName("btAskProfiles");
    btAskProfiles->hide();
    btAskConfiguration = new QPushButton(gbInfo);
    btAskConfiguration->setObjectName("btAskConfiguration");
    btAskConfiguration->hide();
    auto* infoLayout = new QVBoxLayout(gbInfo);
    infoLayout->addWidget(btAskFirmwareVersion);
    infoLayout->addWidget(btAskProfiles);
    infoLayout->addWidget(btAskConfiguration);
    infoLayout->addStretch();

    btClose = new QPushButton(this);
    btClose->setObjectName("btClose");

    auto* right = new QVBoxLayout();
    right->addWidget(gbInfo);
    right->addStretch();
    right->addWidget(btClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(gbMIDImonitor, 1);
    layout->addLayout(right);
    setFixedSize(742, 692);

    connect(btClear, &QPushButton::clicked, this, &TFormMIDIMon::btClearClick);
    connect(btClose, &QPushButton::clicked, this, &TFormMIDIMon::btCloseClick);
    connect(btAskFirmwareVersion, &QPushButton::clicked, this, &TFormMIDIMon::btAskFirmwareVersionClick);
    connect(btAskConfiguration, &QPushButton::clicked, this, &TFormMIDIMon::btAskConfigurationClick);
    connect(btAskProfiles, &QPushButton::clicked, this, &TFormMIDIMon::btAskProfilesClick);
    Lokalisierung();
}

TFormMIDIMon::~TFormMIDIMon() {
    // The input port may outlive this window: it must not call back into it.
    if (MIDIinput1) {
        MIDIinput1->OnMidiInput = nullptr;
        MIDIinput1->OnOverflow = nullptr;
    }
}

void TFormMIDIMon::Lokalisierung() {
    setWindowTitle(uiText("monitor.caption"));
    gbMIDImonitor->setTitle(uiText("monitor.gbMIDImonitor"));
    btClear->setText(uiText("monitor.btClear"));
    gbInfo->setTitle(uiText("monitor.gbInfo"));
    btAskFirmwareVersion->setText(uiText("monitor.btAskFirmwareVersion"));
    btAskProfiles->setText(uiText("monitor.btAskProfiles"));
    btAskConfiguration->setText(uiText("monitor.btAskConfiguration"));
    btClose->setText(uiText("monitor.btClose"));
}

void TFormMIDIMon::BindInput() {
    if (!MIDIinput1) return;
    MIDIinput1->OnMidiInput = [this](TMidiInput*) { MIDIMonitorInput(); };
    MIDIinput1->OnOverflow = [this](TMidiInput*) { inputLost(); };
}

void TFormMIDIMon::inputLost() {
    // A flood loses many events in a row and each loss is notified on its
    // own; one line after the burst says how many, instead of one per event.
    if (lostInput_++ == 0) QTimer::singleShot(0, this, [this] { reportLostInput(); });
}

void TFormMIDIMon::reportLostInput() {
    const std::string count = std::to_string(std::exchange(lostInput_, 0));
    LogWarning("MIDI input queue full, events lost: " + count);
    addLine(QString::fromStdString(textWith("monitor.inputLost", uiLanguage().toStdString(), count)));
}

void TFormMIDIMon::SendConfiguration(ByteString stream) { machine_->startConfigTransfer(std::move(stream)); }

bool TFormMIDIMon::MidiSend(const ByteString& SysEx) {
    // An empty byte string has nothing to hand over; a message above 65535
    // bytes cannot be expressed as one long message.
    if (SysEx.empty() || !MIDIoutput1) return false;
    if (SysEx.size() > 0xFFFF) {
        LogError("MIDI send refused: message too long");
        return false;
    }
    try {
        MIDIoutput1->PutLong(SysEx.data(), static_cast<std::uint16_t>(SysEx.size()));
    } catch (const std::exception& e) {
        // A closed or vanished port, or a message the MIDI system refuses:
        // logged here; the transfer ends when a packet or command is refused.
        LogError(std::string("MIDI send failed: ") + e.what());
        return false;
    }
    return true;
}

void TFormMIDIMon::VersionsAbfrage() { machine_->VersionsAbfrage(); }

void TFormMIDIMon::MIDIMonitorInput() {
    if (!MIDIinput1) return;
    // Only the events present now are handled; events arriving meanwhile
    // bring their own notifications. A flood thus cannot keep this handler
    // (and with it the whole window) busy for good.
    std::uint32_t budget = MIDIinput1->MessageCount();
    while (budget > 0 && MIDIinput1 && MIDIinput1->MessageCount() > 0) {
        --budget;
        std::unique_ptr<TMyMidiEvent> event;
        try {
            event = MIDIinput1->GetMidiEvent();
        } catch (const std::exception& e) {
            LogError(std::string("MIDI input: ") + e.what());
            return;
        }
        if (!event) return;
        if (event->MidiMessage == 0xF0) {
            ByteString bytes;
            if (event->Sysex) bytes.assign(event->Sysex.get(), event->Sysex.get() + event->SysexLength);
            // An unsupported firmware version ends this notification; what
            // is still queued is handled on the next one.
            if (!machine_->onSysEx(bytes)) return;
            showEventBytes(bytes);
        } else {
            addLine(hexByte(event->MidiMessage) + ' ' + hexByte(event->Data1) + ' ' + hexByte(event->Data2));
        }
    }
}

void TFormMIDIMon::showEventBytes(const ByteString& bytes) {
    QString line;
    int inLine = 0;
    for (std::uint8_t b : bytes) {
        line += ' ' + hexByte(b);
        if (++inLine == kBytesPerLine) {
            addLine(line);
            line.clear();
            inLine = 0;
        }
    }
    if (!line.isEmpty()) addLine(line);
    addLine(QString(3 * kBytesPerLine, QLatin1Char('-')));
}

void TFormMIDIMon::TimerWaitForAnswerTimer() { machine_->onTimer(); }

TMyStateMachine TFormMIDIMon::MyStateMachine() const { return machine_->state(); }
const ByteString& TFormMIDIMon::SysExConfig() const { return machine_->sysExConfig(); }
TTransferStateMachine& TFormMIDIMon::stateMachine() { return *machine_; }

void TFormMIDIMon::addLine(const QString& line) { Memo1->appendPlainText(line); }

QStringList TFormMIDIMon::memoLines() const {
    QStringList lines;
    for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
    if (lines.size() == 1 && lines.front().isEmpty()) lines.clear();
    return lines;
}

void TFormMIDIMon::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TFormMIDIMon::FormShow() {
    Lokalisierung();
    Memo1->clear();
}

void TFormMIDIMon::btClearClick() { Memo1->clear(); }
void TFormMIDIMon::btCloseClick() { hide(); }

void TFormMIDIMon::btAskFirmwareVersionClick() { machine_->startManualVersion(); }

void TFormMIDIMon::btAskConfigurationClick() { machine_->startConfigRequest(); }

void TFormMIDIMon::btAskProfilesClick() {
    const bool created = OnPortsCreated ? OnPortsCreated() : (MIDIinput1 && MIDIoutput1);
    if (!created) {
        dialogs().error(uiText("midi.noInterface"));
        return;
    }
    machine_->startProfilesRequest();
}
