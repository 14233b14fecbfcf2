#include "form_midimon.h"

#include <QAbstractListModel>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "dialogs.h"
#include "log_class.h"
#include "log_types.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "monitor_format.h"
#include "texts.h"
#include "transfer_log.h"

using namespace korvane;
using korvane::monitor::Direction;
using korvane::monitor::LineKind;

namespace {

QString uiText(const char* key) {
    const auto t = text(key, uiLanguage().toStdString());
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

QString uiTextWith(const char* key, std::initializer_list<std::string_view> values) {
    return QString::fromStdString(textWithAll(key, uiLanguage().toStdString(), values));
}

// The parser's own box for a send text that is not hex byte text.
class HexBox : public HexTextReport {
public:
    void invalidHexText(std::string_view wholeText) override {
        dialogs().error(QString::fromStdString(invalidHexTextMessage(wholeText, uiLanguage().toStdString())));
    }
};

}  // namespace

// Connects the transfer state machine to this window's timer, output port,
// boxes and the main window's send controls.
class TFormMIDIMon::Host : public TransferHost {
public:
    explicit Host(TFormMIDIMon& mon) : mon_(mon) {}

    bool MidiSend(const ByteString& bytes) override { return mon_.MidiSend(bytes); }
    void startTimer(int intervalMs) override { mon_.TimerWaitForAnswer->start(intervalMs); }
    void stopTimer() override { mon_.TimerWaitForAnswer->stop(); }
    std::int64_t nowMs() override { return mon_.now(); }
    void showFailure(TransferFailure failure) override {
        // The box runs a nested event loop in which replies and timer ticks
        // go on being handled; one more "does not respond" box on top of an
        // open one tells the user nothing new.
        if (boxOpen_) {
            LogInfo("not-responding box already open; not shown again");
            return;
        }
        boxOpen_ = true;
        const auto port = [](const auto* p, bool open) {
            return PortReport{p ? p->ProductName() : std::string(), p && open};
        };
        const PortReport in = port(mon_.MIDIinput1, mon_.MIDIinput1 && mon_.MIDIinput1->State() == misOpen);
        const PortReport out =
            port(mon_.MIDIoutput1, mon_.MIDIoutput1 && mon_.MIDIoutput1->State() == mosOpen);
        dialogs().message(
            QString::fromStdString(failureReport(failure, uiLanguage().toStdString(), in, out)));
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
    void stageReached(TransferStage stage, int packetIndex, int packetCount) override {
        if (mon_.OnTransferStage) mon_.OnTransferStage(stage, packetIndex, packetCount);
    }
    void log(TransferLogLevel level, std::string_view line) override { logTransferLine(level, line); }
    void versionQuerySent() override { mon_.VersionsString.clear(); }
    void versionReceived(std::string_view version) override {
        mon_.VersionsString = std::string(version);
        if (mon_.OnVersionReceived) mon_.OnVersionReceived(QString::fromStdString(ansiToUtf8(version)));
        // The version digits are not range checked, so the text is 8-bit
        // and may hold characters above 0x7F that are not UTF-8.
        mon_.addLine(QString::fromStdString(
                         textWith("monitor.version", uiLanguage().toStdString(), ansiToUtf8(version))),
                     LineKind::SysEx, Direction::In);
    }

private:
    TFormMIDIMon& mon_;
    bool boxOpen_ = false;
};

// Memo1's rows: the record numbers of the lines the filter lets through, in
// order, below one row about dropped lines when there is one. The texts stay
// in the record; a row reads its line only when it is painted.
class TFormMIDIMon::Lines : public QAbstractListModel {
public:
    Lines(const monitor::History& history, QObject* parent) : QAbstractListModel(parent), history_(history) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(seqs_.size()) + (note_.isEmpty() ? 0 : 1);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return text(index.row());
    }
    QString text(int row) const {
        const int top = note_.isEmpty() ? 0 : 1;
        if (row < top) return note_;
        const std::uint64_t seq = seqs_[std::size_t(row - top)];
        // A line the record dropped a moment ago, until the next update
        // removes its row.
        if (seq < history_.firstSeq() || seq >= history_.endSeq()) return {};
        const std::string& t = history_.at(seq).text;
        return QString::fromUtf8(t.data(), qsizetype(t.size()));
    }

    void append(const std::vector<std::uint64_t>& seqs) {
        if (seqs.empty()) return;
        const int first = rowCount();
        beginInsertRows({}, first, first + int(seqs.size()) - 1);
        seqs_.insert(seqs_.end(), seqs.begin(), seqs.end());
        endInsertRows();
    }
    // Removes the rows of lines older than the record's oldest.
    void dropBefore(std::uint64_t firstSeq) {
        std::size_t gone = 0;
        while (gone < seqs_.size() && seqs_[gone] < firstSeq) ++gone;
        if (gone == 0) return;
        const int top = note_.isEmpty() ? 0 : 1;
        beginRemoveRows({}, top, top + int(gone) - 1);
        seqs_.erase(seqs_.begin(), seqs_.begin() + std::ptrdiff_t(gone));
        endRemoveRows();
    }
    void setNote(const QString& note) {
        if (note == note_) return;
        if (note_.isEmpty() != note.isEmpty()) {
            beginResetModel();
            note_ = note;
            endResetModel();
            return;
        }
        note_ = note;
        emit dataChanged(index(0), index(0));
    }
    void clear() {
        beginResetModel();
        seqs_.clear();
        note_.clear();
        endResetModel();
    }

private:
    const monitor::History& history_;
    std::deque<std::uint64_t> seqs_;
    QString note_;
};

TFormMIDIMon::TFormMIDIMon(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("FormMIDIMon");
    host_ = std::make_unique<Host>(*this);
    machine_ = std::make_unique<TTransferStateMachine>(*host_);

    auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(name);
        t->setInterval(interval);
        return t;
    };
    TimerWaitForAnswer = timer("TimerWaitForAnswer", 2000);
    Timer1 = timer("Timer1", monitor::kDefaultDividerMs);
    TimerSine = timer("TimerSine", monitor::kSineTickMs);
    viewTimer_ = timer("viewTimer", 0);
    viewTimer_->setSingleShot(true);
    inputTimer_ = timer("inputTimer", 0);
    inputTimer_->setSingleShot(true);
    connect(TimerWaitForAnswer, &QTimer::timeout, this, &TFormMIDIMon::TimerWaitForAnswerTimer);
    connect(Timer1, &QTimer::timeout, this, &TFormMIDIMon::Timer1Timer);
    connect(TimerSine, &QTimer::timeout, this, &TFormMIDIMon::TimerSineTimer);
    connect(viewTimer_, &QTimer::timeout, this, [this] {
        if (!updateView(kViewSliceLines)) scheduleView();
    });
    connect(inputTimer_, &QTimer::timeout, this, [this] {
        inputWaiting_ = false;
        MIDIMonitorInput();
    });

    auto button = [](QWidget* owner, const char* name) {
        auto* b = new QPushButton(owner);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    auto check = [](QWidget* owner, const char* name, bool checked) {
        auto* c = new QCheckBox(owner);
        c->setObjectName(name);
        c->setChecked(checked);
        return c;
    };
    auto label = [](QWidget* owner, const char* name) {
        auto* l = new QLabel(owner);
        l->setObjectName(name);
        return l;
    };
    auto edit = [](QWidget* owner, const char* name, const char* initial, int width) {
        auto* e = new QLineEdit(QString::fromLatin1(initial), owner);
        e->setObjectName(name);
        if (width > 0) e->setFixedWidth(width);
        return e;
    };

    // ---- Left: the monitor. ----
    gbMIDImonitor = new QGroupBox(this);
    gbMIDImonitor->setObjectName("gbMIDImonitor");
    btClear = button(gbMIDImonitor, "btClear");
    chkTrennlinie = check(gbMIDImonitor, "chkTrennlinie", true);
    chkShowTimestamps = check(gbMIDImonitor, "chkShowTimestamps", false);
    lbTrennlinieNach = label(gbMIDImonitor, "lbTrennlinieNach");
    ed_timerinterval = edit(gbMIDImonitor, "ed_timerinterval", "200", 60);
    Label5 = label(gbMIDImonitor, "Label5");
    lbBytesZeile = label(gbMIDImonitor, "lbBytesZeile");
    Edit_BytesProZeile = edit(gbMIDImonitor, "Edit_BytesProZeile", "16", 50);
    btPause = button(gbMIDImonitor, "btPause");
    btPause->setCheckable(true);
    btCopy = button(gbMIDImonitor, "btCopy");
    btSave = button(gbMIDImonitor, "btSave");
    lbFilter = label(gbMIDImonitor, "lbFilter");
    cbFilter = new QComboBox(gbMIDImonitor);
    cbFilter->setObjectName("cbFilter");
    cbFilter->addItems({QString(), QString(), QString()});
    chkShowIn = check(gbMIDImonitor, "chkShowIn", true);
    chkShowOut = check(gbMIDImonitor, "chkShowOut", true);
    lbHistoryLines = label(gbMIDImonitor, "lbHistoryLines");
    edHistoryLines = new QSpinBox(gbMIDImonitor);
    edHistoryLines->setObjectName("edHistoryLines");
    edHistoryLines->setRange(100, 10000000);
    edHistoryLines->setSingleStep(10000);
    edHistoryLines->setValue(int(monitor::History::kDefaultMaxLines));

    lines_ = new Lines(history_, this);
    Memo1 = new QListView(gbMIDImonitor);
    Memo1->setObjectName("Memo1");
    Memo1->setModel(lines_);
    Memo1->setUniformItemSizes(true);
    Memo1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Memo1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setBold(true);
    Memo1->setFont(mono);
    Memo1->setStyleSheet(QStringLiteral("QListView { color: blue; background: #87CEEB; }"));
    auto* copy = new QShortcut(QKeySequence::Copy, Memo1, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &TFormMIDIMon::btCopyClick);

    auto* row1 = new QHBoxLayout();
    row1->addWidget(btClear);
    row1->addWidget(chkTrennlinie);
    row1->addWidget(chkShowTimestamps);
    row1->addStretch();
    row1->addWidget(lbTrennlinieNach);
    row1->addWidget(ed_timerinterval);
    row1->addWidget(Label5);
    row1->addSpacing(8);
    row1->addWidget(lbBytesZeile);
    row1->addWidget(Edit_BytesProZeile);
    auto* row2 = new QHBoxLayout();
    row2->addWidget(btPause);
    row2->addWidget(btCopy);
    row2->addWidget(btSave);
    row2->addStretch();
    row2->addWidget(lbHistoryLines);
    row2->addWidget(edHistoryLines);
    auto* row3 = new QHBoxLayout();
    row3->addWidget(lbFilter);
    row3->addWidget(cbFilter);
    row3->addWidget(chkShowIn);
    row3->addWidget(chkShowOut);
    row3->addStretch();
    auto* monLayout = new QVBoxLayout(gbMIDImonitor);
    monLayout->addLayout(row1);
    monLayout->addLayout(row2);
    monLayout->addLayout(row3);
    monLayout->addWidget(Memo1, 1);

    // ---- Upper right: sending. ----
    gbSendMIDI = new QGroupBox(this);
    gbSendMIDI->setObjectName("gbSendMIDI");
    edSend = edit(gbSendMIDI, "edSend", "B0,07,7F", 0);
    edSend->setFont(QFont(QStringLiteral("Monospace")));
    btSend = button(gbSendMIDI, "btSend");
    QPushButton** volume[] = {&btSendVol7F, &btSendVol60, &btSendVol40, &btSendVol00};
    for (std::size_t i = 0; i < std::size(volume); ++i)
        *volume[i] = button(gbSendMIDI, std::string(monitor::kVolumeButtons[i].name).c_str());
    btSine = button(gbSendMIDI, "btSine");
    btSine->setCheckable(true);
    auto* sendLayout = new QVBoxLayout(gbSendMIDI);
    sendLayout->addWidget(edSend);
    sendLayout->addWidget(btSend);
    sendLayout->addSpacing(6);
    for (auto* b : volume) sendLayout->addWidget(*b);
    sendLayout->addWidget(btSine);

    // ---- Lower right: information. ----
    gbInfo = new QGroupBox(this);
    gbInfo->setObjectName("gbInfo");
    btAskFirmwareVersion = button(gbInfo, "btAskFirmwareVersion");
    btAskProfiles = button(gbInfo, "btAskProfiles");
    btAskProfiles->hide();
    btAskConfiguration = button(gbInfo, "btAskConfiguration");
    btAskConfiguration->hide();
    chkNibblesToBytes = check(gbInfo, "chkNibblesToBytes", false);
    chkNibblesToBytes->hide();
    auto* infoLayout = new QVBoxLayout(gbInfo);
    infoLayout->addWidget(btAskFirmwareVersion);
    infoLayout->addWidget(btAskProfiles);
    infoLayout->addWidget(btAskConfiguration);
    infoLayout->addWidget(chkNibblesToBytes);
    infoLayout->addStretch();

    btClose = button(this, "btClose");

    auto* right = new QVBoxLayout();
    right->addWidget(gbSendMIDI);
    right->addWidget(gbInfo, 1);
    right->addWidget(btClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(gbMIDImonitor, 1);
    layout->addLayout(right);
    // The designed size, but the window may grow: a long record reads better
    // in a bigger view.
    resize(742, 692);

    connect(btClear, &QPushButton::clicked, this, &TFormMIDIMon::btClearClick);
    connect(btClose, &QPushButton::clicked, this, &TFormMIDIMon::btCloseClick);
    connect(btSend, &QPushButton::clicked, this, &TFormMIDIMon::btSendClick);
    connect(edSend, &QLineEdit::returnPressed, this, &TFormMIDIMon::btSendClick);
    connect(btSendVol7F, &QPushButton::clicked, this, &TFormMIDIMon::btSendVol7FClick);
    connect(btSendVol60, &QPushButton::clicked, this, &TFormMIDIMon::btSendVol60Click);
    connect(btSendVol40, &QPushButton::clicked, this, &TFormMIDIMon::btSendVol40Click);
    connect(btSendVol00, &QPushButton::clicked, this, &TFormMIDIMon::btSendVol00Click);
    connect(btSine, &QPushButton::clicked, this, &TFormMIDIMon::btSineClick);
    connect(Edit_BytesProZeile, &QLineEdit::textChanged, this, &TFormMIDIMon::Edit_BytesProZeileChange);
    connect(ed_timerinterval, &QLineEdit::textChanged, this, &TFormMIDIMon::ed_timerintervalChange);
    connect(btAskFirmwareVersion, &QPushButton::clicked, this, &TFormMIDIMon::btAskFirmwareVersionClick);
    connect(btAskConfiguration, &QPushButton::clicked, this, &TFormMIDIMon::btAskConfigurationClick);
    connect(btAskProfiles, &QPushButton::clicked, this, &TFormMIDIMon::btAskProfilesClick);
    connect(btPause, &QPushButton::clicked, this, &TFormMIDIMon::btPauseClick);
    connect(btCopy, &QPushButton::clicked, this, &TFormMIDIMon::btCopyClick);
    connect(btSave, &QPushButton::clicked, this, &TFormMIDIMon::btSaveClick);
    connect(cbFilter, &QComboBox::currentIndexChanged, this, &TFormMIDIMon::ViewChoiceChange);
    connect(chkShowIn, &QCheckBox::toggled, this, &TFormMIDIMon::ViewChoiceChange);
    connect(chkShowOut, &QCheckBox::toggled, this, &TFormMIDIMon::ViewChoiceChange);
    connect(edHistoryLines, &QSpinBox::valueChanged, this, &TFormMIDIMon::edHistoryLinesChange);

    TrennlinieInit(bytesPerLine_);
    Lokalisierung();
    sentBaseMs_ = now();
}

TFormMIDIMon::~TFormMIDIMon() {
    // The ports may outlive this window: they must not call back into it.
    if (MIDIinput1) {
        MIDIinput1->OnMidiInput = nullptr;
        MIDIinput1->OnOverflow = nullptr;
    }
    if (MIDIoutput1) MIDIoutput1->OnSent = nullptr;
}

std::int64_t TFormMIDIMon::now() const {
    if (NowMs) return NowMs();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TFormMIDIMon::Lokalisierung() {
    setWindowTitle(uiText("monitor.caption"));
    gbMIDImonitor->setTitle(uiText("monitor.gbMIDImonitor"));
    btClear->setText(uiText("monitor.btClear"));
    chkTrennlinie->setText(uiText("monitor.chkTrennlinie"));
    chkShowTimestamps->setText(uiText("monitor.chkShowTimestamps"));
    lbTrennlinieNach->setText(uiText("monitor.lbTrennlinieNach"));
    Label5->setText(uiText("monitor.Label5"));
    lbBytesZeile->setText(uiText("monitor.lbBytesZeile"));
    btPause->setText(uiText(paused_ ? "monitor.btResume" : "monitor.btPause"));
    btCopy->setText(uiText("monitor.btCopy"));
    btSave->setText(uiText("monitor.btSave"));
    lbFilter->setText(uiText("monitor.lbFilter"));
    cbFilter->setItemText(0, uiText("monitor.filter.all"));
    cbFilter->setItemText(1, uiText("monitor.filter.sysex"));
    cbFilter->setItemText(2, uiText("monitor.filter.short"));
    chkShowIn->setText(uiText("monitor.chkShowIn"));
    chkShowOut->setText(uiText("monitor.chkShowOut"));
    lbHistoryLines->setText(uiText("monitor.lbHistoryLines"));
    gbSendMIDI->setTitle(uiText("monitor.gbSendMIDI"));
    btSend->setText(uiText("monitor.btSend"));
    btSendVol7F->setText(uiText("monitor.btSendVol7F"));
    btSendVol60->setText(uiText("monitor.btSendVol60"));
    btSendVol40->setText(uiText("monitor.btSendVol40"));
    btSendVol00->setText(uiText("monitor.btSendVol00"));
    btSine->setText(uiText("monitor.btSine"));
    gbInfo->setTitle(uiText("monitor.gbInfo"));
    btAskFirmwareVersion->setText(uiText("monitor.btAskFirmwareVersion"));
    btAskProfiles->setText(uiText("monitor.btAskProfiles"));
    btAskConfiguration->setText(uiText("monitor.btAskConfiguration"));
    chkNibblesToBytes->setText(uiText("monitor.chkNibblesToBytes"));
    btClose->setText(uiText("monitor.btClose"));
}

void TFormMIDIMon::BindInput() {
    sentBaseMs_ = now();
    // Bound after every opening of the ports; a reply still on its way to
    // the port closed before is lost with it.
    machine_->forgetQueries();
    if (MIDIinput1) {
        MIDIinput1->OnMidiInput = [this](TMidiInput*) { MIDIMonitorInput(); };
        MIDIinput1->OnOverflow = [this](TMidiInput*) { inputLost(); };
    }
    if (MIDIoutput1) MIDIoutput1->OnSent = [this](std::span<const std::uint8_t> bytes) { recordSent(bytes); };
}

void TFormMIDIMon::inputLost() {
    // A flood loses many events in a row and each loss is notified on its
    // own; one line after the burst says how many, instead of one per event.
    if (lostInput_++ == 0) QTimer::singleShot(0, this, [this] { reportLostInput(); });
}

void TFormMIDIMon::reportLostInput() {
    const std::string count = std::to_string(std::exchange(lostInput_, 0));
    LogWarning("MIDI input queue full, events lost: " + count);
    addNote(QString::fromStdString(textWith("monitor.inputLost", uiLanguage().toStdString(), count)));
}

void TFormMIDIMon::SendConfiguration(ByteString stream) { machine_->startConfigTransfer(std::move(stream)); }

bool TFormMIDIMon::MidiSend(const ByteString& SysEx) {
    lastSendError_.clear();
    // An empty byte string has nothing to hand over; a message above 65535
    // bytes cannot be expressed as one long message.
    if (SysEx.empty() || !MIDIoutput1) return false;
    if (SysEx.size() > 0xFFFF) {
        lastSendError_ = "message too long";
        LogError("MIDI send refused: message too long");
        return false;
    }
    try {
        MIDIoutput1->PutLong(SysEx.data(), static_cast<std::uint16_t>(SysEx.size()));
    } catch (const std::exception& e) {
        // A closed or vanished port, or a message the MIDI system refuses:
        // logged here; the transfer ends when a packet or command is refused.
        lastSendError_ = e.what();
        LogError(std::string("MIDI send failed: ") + e.what());
        return false;
    }
    return true;
}

void TFormMIDIMon::VersionsAbfrage() { machine_->VersionsAbfrage(); }

void TFormMIDIMon::MIDIMonitorInput() {
    if (!MIDIinput1) return;
    // The rest of a flood waits for the next turn of the event loop, after
    // the window has painted and handled the user's input; the notifications
    // that arrive meanwhile find the slice used up and return at once.
    if (inputWaiting_) return;
    const std::int64_t sliceStart = now();
    int handled = 0;
    bool shortSeen = false;
    auto endOfSlice = [&] {
        if (shortSeen) Timer1->start();
    };
    while (MIDIinput1 && MIDIinput1->MessageCount() > 0) {
        if (handled >= kInputSliceEvents || (handled % 64 == 63 && now() - sliceStart >= kInputSliceMs)) {
            inputWaiting_ = true;
            inputTimer_->start();
            break;
        }
        ++handled;
        std::unique_ptr<TMyMidiEvent> event;
        try {
            event = MIDIinput1->GetMidiEvent();
        } catch (const std::exception& e) {
            LogError(std::string("MIDI input: ") + e.what());
            break;
        }
        if (!event) break;
        if (event->MidiMessage == 0xF0) {
            ByteString bytes;
            if (event->Sysex) bytes.assign(event->Sysex.get(), event->Sysex.get() + event->SysexLength);
            // An unsupported firmware version ends this notification; what
            // is still queued is handled on the next one.
            if (OnSysExReceived) OnSysExReceived(bytes);
            if (!machine_->onSysEx(bytes)) break;
            recordSysEx(bytes, Direction::In);
        } else {
            const std::uint8_t b[3] = {event->MidiMessage, event->Data1, event->Data2};
            recordShort(b, event->Time, Direction::In);
            // Restarting the divider's timer once per slice is the same as
            // once per message: it cannot fire before the slice ends.
            shortSeen = true;
        }
    }
    endOfSlice();
}

void TFormMIDIMon::recordShort(std::span<const std::uint8_t> bytes, std::uint32_t timeMs,
                               Direction direction) {
    std::optional<std::uint32_t> time;
    char decimalPoint = '.';
    if (chkShowTimestamps->isChecked()) {
        time = timeMs;
        const QString dp = QLocale().decimalPoint();
        if (!dp.isEmpty() && dp.at(0).unicode() < 0x80) decimalPoint = char(dp.at(0).unicode());
    }
    std::string line = monitor::shortLine(bytes, time, decimalPoint);
    if (direction == Direction::Out) line.insert(0, monitor::kOutgoingMark);
    history_.add({std::move(line), direction, LineKind::Short});
    lastShortDirection_ = direction;
    scheduleView();
}

void TFormMIDIMon::recordSysEx(std::span<const std::uint8_t> bytes, Direction direction) {
    for (auto& line : monitor::sysexLines(bytes, bytesPerLine_, chkNibblesToBytes->isChecked())) {
        if (direction == Direction::Out) line.insert(0, monitor::kOutgoingMark);
        history_.add({std::move(line), direction, LineKind::SysEx});
    }
    if (chkTrennlinie->isChecked()) history_.add({Trennlinie.toStdString(), direction, LineKind::SysEx});
    scheduleView();
}

void TFormMIDIMon::recordSent(std::span<const std::uint8_t> bytes) {
    // Sent messages get their time on the incoming events' scale, so that a
    // question and its answer read in order; without a started input the
    // scale begins when the ports were bound.
    std::int64_t elapsedMs = now() - sentBaseMs_;
    if (const auto started = MIDIinput1 ? MIDIinput1->StartedAt() : std::nullopt) {
        using namespace std::chrono;
        const double nowSeconds = duration<double>(steady_clock::now().time_since_epoch()).count();
        elapsedMs = std::int64_t((nowSeconds - *started) * 1000.0);
    }
    const auto timeMs = static_cast<std::uint32_t>(std::max<std::int64_t>(0, elapsedMs));
    bool shortSeen = false;
    ByteString sysex;
    scanMidiMessages(bytes, [&](const MidiPiece& p) {
        if (p.isShort) {
            recordShort(std::span<const std::uint8_t>(p.shortBytes, p.shortLength), timeMs, Direction::Out);
            shortSeen = true;
            return;
        }
        sysex.insert(sysex.end(), p.sysex.begin(), p.sysex.end());
        if (p.sysexEnds) recordSysEx(std::exchange(sysex, {}), Direction::Out);
    });
    if (shortSeen) Timer1->start();
}

void TFormMIDIMon::addLine(const QString& line, LineKind kind, Direction direction) {
    history_.add({line.toStdString(), direction, kind});
    scheduleView();
}

void TFormMIDIMon::addNote(const QString& line) { addLine(line, LineKind::Note, Direction::None); }

// ---- The view. ----

void TFormMIDIMon::scheduleView() {
    if (!viewTimer_->isActive()) viewTimer_->start();
}

bool TFormMIDIMon::updateView(int maxLines) {
    // Lines the record has dropped leave the view too, paused or not: the
    // view never shows a line the record no longer holds.
    lines_->dropBefore(history_.firstSeq());
    // One line at the top says how many older lines are no longer kept.
    lines_->setNote(history_.dropped() > 0
                        ? uiTextWith("monitor.dropped", {std::to_string(history_.dropped())})
                        : QString());
    if (paused_) return true;

    if (nextSeq_ < history_.firstSeq()) nextSeq_ = history_.firstSeq();
    const std::uint64_t end = history_.endSeq();
    std::vector<std::uint64_t> seqs;
    for (int taken = 0; nextSeq_ < end && taken < maxLines; ++nextSeq_, ++taken)
        if (view_.shows(history_.at(nextSeq_))) seqs.push_back(nextSeq_);
    if (!seqs.empty()) {
        // Follow the newest line only when the user has not scrolled away
        // from it: reading older lines during a flood must stay possible.
        QScrollBar* bar = Memo1->verticalScrollBar();
        const bool atBottom = bar->value() == bar->maximum();
        lines_->append(seqs);
        if (atBottom) Memo1->scrollToBottom();
    }
    return nextSeq_ >= end;
}

bool TFormMIDIMon::viewUpToDate() const { return nextSeq_ >= history_.endSeq(); }

void TFormMIDIMon::rebuildView() {
    lines_->clear();
    nextSeq_ = history_.firstSeq();
    scheduleView();
}

QStringList TFormMIDIMon::memoLines() {
    while (!updateView(kViewSliceLines)) {
    }
    QStringList lines;
    for (int row = 0, n = lines_->rowCount(); row < n; ++row) lines << lines_->text(row);
    return lines;
}

void TFormMIDIMon::ViewChoiceChange() {
    monitor::ViewChoice choice;
    choice.filter = static_cast<monitor::Filter>(std::max(0, cbFilter->currentIndex()));
    choice.showIn = chkShowIn->isChecked();
    choice.showOut = chkShowOut->isChecked();
    if (choice == view_) return;
    view_ = choice;
    rebuildView();
}

void TFormMIDIMon::edHistoryLinesChange() {
    history_.setMaxLines(std::size_t(edHistoryLines->value()));
    scheduleView();
}

void TFormMIDIMon::btPauseClick() {
    paused_ = btPause->isChecked();
    btPause->setText(uiText(paused_ ? "monitor.btResume" : "monitor.btPause"));
    // Recording goes on while paused; on resume the view catches up.
    scheduleView();
}

void TFormMIDIMon::btCopyClick() {
    // With nothing selected, everything shown is what the user most likely wants.
    QModelIndexList rows = Memo1->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        QGuiApplication::clipboard()->setText(memoLines().join(QLatin1Char('\n')));
        return;
    }
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList selected;
    for (const auto& r : rows) selected << lines_->text(r.row());
    QGuiApplication::clipboard()->setText(selected.join(QLatin1Char('\n')));
}

void TFormMIDIMon::btSaveClick() {
    const auto path =
        dialogs().saveFile(uiText("monitor.saveCaption"), QDir::homePath(), uiText("monitor.saveFilter"));
    if (!path || path->isEmpty()) return;
    QString content = memoLines().join(QLatin1Char('\n'));
    if (!content.isEmpty()) content += QLatin1Char('\n');
    // Written beside the target and renamed over it: a failed save leaves an
    // older file of that name as it was.
    QSaveFile file(*path);
    const QByteArray bytes = content.toUtf8();
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok) {
        const QString reason = file.errorString();
        file.cancelWriting();
        LogError("monitor: saving " + path->toStdString() + " failed: " + reason.toStdString());
        dialogs().error(uiTextWith("monitor.saveFailed", {path->toStdString(), reason.toStdString()}));
    }
}

// ---- Display choices. ----

void TFormMIDIMon::TrennlinieInit(int BytesProZeile) {
    Trennlinie = QString::fromStdString(monitor::divider(BytesProZeile));
}

void TFormMIDIMon::Edit_BytesProZeileChange() {
    bytesPerLine_ = monitor::bytesPerLineFrom(Edit_BytesProZeile->text().toStdString());
    TrennlinieInit(bytesPerLine_);
}

void TFormMIDIMon::ed_timerintervalChange() {
    Timer1->setInterval(monitor::dividerIntervalFrom(ed_timerinterval->text().toStdString()));
}

void TFormMIDIMon::Timer1Timer() {
    if (chkTrennlinie->isChecked()) addLine(Trennlinie, LineKind::Short, lastShortDirection_);
    Timer1->stop();
}

// ---- Sending. ----

bool TFormMIDIMon::outputOpen() const { return MIDIoutput1 && MIDIoutput1->State() == mosOpen; }

void TFormMIDIMon::sendFromPanel(const ByteString& bytes) {
    // Nothing to send is not an error: the port could not take an empty
    // message anyway.
    if (bytes.empty()) return;
    if (!outputOpen()) {
        dialogs().error(uiText("midi.selectOut"));
        return;
    }
    if (!MidiSend(bytes)) dialogs().error(uiTextWith("monitor.sendFailed", {lastSendError_}));
}

void TFormMIDIMon::btSendClick() {
    // The edit's text as 8-bit text: anything outside Latin-1 is no hex digit
    // and becomes a separator either way.
    const std::string typed = edSend->text().toLatin1().toStdString();
    HexBox box;
    sendFromPanel(StrInSequence(typed, &box));
}

void TFormMIDIMon::sendVolume(std::size_t button) {
    sendFromPanel(StrInSequence(monitor::kVolumeButtons[button].bytes, nullptr));
}

void TFormMIDIMon::btSendVol7FClick() { sendVolume(0); }
void TFormMIDIMon::btSendVol60Click() { sendVolume(1); }
void TFormMIDIMon::btSendVol40Click() { sendVolume(2); }
void TFormMIDIMon::btSendVol00Click() { sendVolume(3); }

void TFormMIDIMon::btSineClick() {
    TimerSineStartedAt = now();
    if (TimerSine->isActive()) {
        TimerSine->stop();
    } else if (outputOpen()) {
        TimerSine->start();
    } else {
        dialogs().error(uiText("midi.selectOut"));
    }
    btSine->setChecked(TimerSine->isActive());
}

void TFormMIDIMon::TimerSineTimer() {
    Testwinkel += monitor::kSineStep;
    const auto values = monitor::sineValues(Testwinkel);
    for (std::size_t i = 0; i < values.size(); ++i) {
        // One long message of three bytes per channel: controller 7 on
        // channels 1 to 9 (status B0 to B8).
        if (!MidiSend(ByteString{std::uint8_t(0xB0 + i), 0x07, values[i]})) {
            // The port went away under the test: stop instead of failing
            // 180 times a second.
            LogError("sine test stopped: " + lastSendError_);
            TimerSine->stop();
            break;
        }
    }
    if (now() - TimerSineStartedAt > monitor::kSineRunMs) TimerSine->stop();
    btSine->setChecked(TimerSine->isActive());
}

// ---- Window. ----

void TFormMIDIMon::TimerWaitForAnswerTimer() { machine_->onTimer(); }

TMyStateMachine TFormMIDIMon::MyStateMachine() const { return machine_->state(); }
const ByteString& TFormMIDIMon::SysExConfig() const { return machine_->sysExConfig(); }
TTransferStateMachine& TFormMIDIMon::stateMachine() { return *machine_; }

void TFormMIDIMon::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TFormMIDIMon::hideEvent(QHideEvent* event) {
    // Faders moving on their own with nobody watching the window that
    // started them: closing the window ends the test.
    TimerSine->stop();
    btSine->setChecked(false);
    QWidget::hideEvent(event);
}

void TFormMIDIMon::FormShow() {
    // What was recorded while the window was closed (a whole transfer, for
    // example) stays: the record is the point of opening the monitor.
    Lokalisierung();
    TrennlinieInit(bytesPerLine_);
    scheduleView();
}

void TFormMIDIMon::btClearClick() {
    history_.clear();
    rebuildView();
}

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
