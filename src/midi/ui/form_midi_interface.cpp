#include "form_midi_interface.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "device_search.h"
#include "dialogs.h"
#include "log_class.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "sysex.h"
#include "texts.h"

namespace korvane {

namespace {

// Named apart from QObject::tr, which a window's members would pick instead.
QString uiText(const char* key) {
    const auto t = text(key, uiLanguage().toStdString());
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

// The native settings store: ~/.config/vandrell/Korvane.conf here, the
// registry key Software\vandrell\Korvane on Windows.
QString readSetting(const char* value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane");
    return settings.value(QStringLiteral("MIDI/") + value).toString();
}

void writeSetting(const char* value, const QString& name) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane");
    settings.setValue(QStringLiteral("MIDI/") + value, name);
    settings.sync();
}

// Enumerates a port's devices by selecting each in turn; the last device with
// the saved name wins. Returns its number or -1.
template <class Port>
int findDevice(Port& port, const QString& saved) {
    int match = -1;
    const int count = int(port.Numdevs());
    for (int i = 0; i < count; ++i) {
        port.SetDeviceID(i);
        if (QString::fromStdString(port.ProductName()) == saved) match = i;
    }
    return match;
}

}  // namespace

QString noMidiInterfaceText() { return uiText("midi.noInterface"); }

QString savedInterfaceIn() { return readSetting("InterfaceIn"); }
QString savedInterfaceOut() { return readSetting("InterfaceOut"); }
void saveInterfaceIn(const QString& name) { writeSetting("InterfaceIn", name); }
void saveInterfaceOut(const QString& name) { writeSetting("InterfaceOut", name); }

bool MIDIInterfaceAusRegistry(TMidiInput& input, TMidiOutput& output) {
    bool quiet = true;
    try {
        const QString nameIn = savedInterfaceIn();
        const QString nameOut = savedInterfaceOut();

        const int out = findDevice(output, nameOut);
        if (out >= 0) {
            output.SetDeviceID(out);
        } else {
            dialogs().message(uiText("midi.selectOut"));
            quiet = false;
        }
        const int in = findDevice(input, nameIn);
        if (in >= 0) {
            input.SetDeviceID(in);
        } else {
            dialogs().message(uiText("midi.selectIn"));
            quiet = false;
        }
        // Failures to open leave a port closed without a word; sending then
        // reports the closed port.
        input.Open();
        input.Start();
        output.Open();
    } catch (const std::exception& e) {
        // The box has a fixed text; the log keeps what actually failed.
        LogError(std::string("MIDI interface selection failed: ") + e.what());
        dialogs().error(noMidiInterfaceText());
        return false;
    }
    return quiet;
}

}  // namespace korvane

using namespace korvane;

TFormMidiInterface::TFormMidiInterface(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("FormMidiInterface");
    setModal(true);

    gbMidiIn = new QGroupBox(this);
    gbMidiIn->setObjectName("gbMidiIn");
    ListBox2 = new QListWidget(gbMidiIn);
    ListBox2->setObjectName("ListBox2");
    edMidiIn = new QLineEdit(gbMidiIn);
    edMidiIn->setObjectName("edMidiIn");
    auto* inLayout = new QVBoxLayout(gbMidiIn);
    inLayout->addWidget(ListBox2);
    inLayout->addWidget(edMidiIn);

    gbMidiOut = new QGroupBox(this);
    gbMidiOut->setObjectName("gbMidiOut");
    ListBox1 = new QListWidget(gbMidiOut);
    ListBox1->setObjectName("ListBox1");
    edMidiOut = new QLineEdit(gbMidiOut);
    edMidiOut->setObjectName("edMidiOut");
    auto* outLayout = new QVBoxLayout(gbMidiOut);
    outLayout->addWidget(ListBox1);
    outLayout->addWidget(edMidiOut);

    btOK = new QPushButton(this);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    btCancel = new QPushButton(this);
    btCancel->setObjectName("btCancel");
    btFindDevice = new QPushButton(this);
    btFindDevice->setObjectName("btFindDevice");
    // Enter in the dialog means OK, never a search.
    btFindDevice->setAutoDefault(false);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(btFindDevice);
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);

    lbFindResult = new QLabel(this);
    lbFindResult->setObjectName("lbFindResult");
    lbFindResult->setWordWrap(true);
    TimerFind = new QTimer(this);
    TimerFind->setObjectName("TimerFind");
    TimerFind->setInterval(20);
    connect(TimerFind, &QTimer::timeout, this, &TFormMidiInterface::TimerFindTimer);

    // The input group stands above the output group.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbMidiIn);
    layout->addWidget(gbMidiOut);
    layout->addWidget(lbFindResult);
    layout->addLayout(buttons);
    resize(420, 480);

    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(ListBox1); });
    connect(ListBox2, &QListWidget::itemClicked, this, [this] { ListBox1Click(ListBox2); });
    // Choosing with the arrow keys (or Space) counts like a click; otherwise
    // OK after a keyboard choice would save the name that was in the edit
    // before. A choice is a change of the selection: a list that merely takes
    // the focus marks its first line as current without selecting it, and
    // that is no choice, or Enter on a first setup would save whatever port
    // happens to come first. (FormShow fills the lists with signals blocked.)
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!ListBox1->selectedItems().isEmpty()) ListBox1Click(ListBox1);
    });
    connect(ListBox2, &QListWidget::itemSelectionChanged, this, [this] {
        if (!ListBox2->selectedItems().isEmpty()) ListBox1Click(ListBox2);
    });
    connect(btOK, &QPushButton::clicked, this, &TFormMidiInterface::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TFormMidiInterface::btCancelClick);
    connect(btFindDevice, &QPushButton::clicked, this, &TFormMidiInterface::btFindDeviceClick);
    Lokalisierung();
}

TFormMidiInterface::~TFormMidiInterface() = default;

void TFormMidiInterface::Lokalisierung() {
    setWindowTitle(uiText("midi.dlg.caption"));
    gbMidiIn->setTitle(uiText("midi.dlg.gbMidiIn"));
    gbMidiOut->setTitle(uiText("midi.dlg.gbMidiOut"));
    btOK->setText(uiText("midi.dlg.btOK"));
    btCancel->setText(uiText("midi.dlg.btCancel"));
    btFindDevice->setText(uiText(findingDevice() ? "midi.dlg.searching" : "midi.dlg.btFindDevice"));
}

void TFormMidiInterface::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormMidiInterface::hideEvent(QHideEvent* event) {
    // However the dialog closes (OK, Cancel, Escape), the search ends with
    // it and gives the ports back before the editor reopens its own.
    StopFindDevice();
    QDialog::hideEvent(event);
}

void TFormMidiInterface::FormShow() {
    StopFindDevice();
    lbFindResult->clear();
    Lokalisierung();
    // Filling the lists is not a choice of the user's.
    const QSignalBlocker blockOut(ListBox1);
    const QSignalBlocker blockIn(ListBox2);
    try {
        // Output side. The port is closed so that its device can be changed
        // while enumerating; it is opened again after the dialog.
        ListBox1->clear();
        InterfaceIndex = -1;
        edMidiOut->setText(savedInterfaceOut());
        if (MIDIoutput1) {
            MIDIoutput1->Close();
            const int count = MIDIoutput1->Numdevs();
            for (int i = 0; i < count; ++i) {
                MIDIoutput1->SetDeviceID(i);
                const QString name = QString::fromStdString(MIDIoutput1->ProductName());
                ListBox1->addItem(name);
                if (name == edMidiOut->text()) InterfaceIndex = i;
            }
        }
        if (InterfaceIndex == -1) {
            edMidiOut->clear();
        } else {
            ListBox1->setCurrentRow(InterfaceIndex);
        }

        // Input side.
        ListBox2->clear();
        InterfaceIndex = -1;
        edMidiIn->setText(savedInterfaceIn());
        if (MIDIinput1) {
            MIDIinput1->Close();
            const int count = int(MIDIinput1->Numdevs());
            for (int i = 0; i < count; ++i) {
                MIDIinput1->SetDeviceID(i);
                const QString name = QString::fromStdString(MIDIinput1->ProductName());
                ListBox2->addItem(name);
                if (name == edMidiIn->text()) InterfaceIndex = i;
            }
        }
        if (InterfaceIndex == -1) {
            edMidiIn->clear();
        } else {
            ListBox2->setCurrentRow(InterfaceIndex);
        }
    } catch (const std::exception& e) {
        dialogs().error(QString::fromStdString(e.what()));
    }
}

void TFormMidiInterface::ListBox1Click(QListWidget* sender) {
    // The selected lines, not the current ones: a list the focus passed
    // through has a current line the user never chose.
    const auto outs = ListBox1->selectedItems();
    const auto ins = ListBox2->selectedItems();
    if (!outs.isEmpty()) edMidiOut->setText(outs.front()->text());
    if (!ins.isEmpty()) edMidiIn->setText(ins.front()->text());
    if (sender) InterfaceIndex = sender->currentRow();
}

void TFormMidiInterface::btOKClick() {
    if (!edMidiOut->text().isEmpty()) saveInterfaceOut(edMidiOut->text());
    if (!edMidiIn->text().isEmpty()) saveInterfaceIn(edMidiIn->text());
    accept();
}

void TFormMidiInterface::btCancelClick() { reject(); }

bool TFormMidiInterface::findingDevice() const { return search_ && search_->running(); }

void TFormMidiInterface::btFindDeviceClick() {
    if (findingDevice() || !MIDIinput1) return;
    lbFindResult->clear();
    // The version query; every reply to it names the device's firmware.
    search_ = std::make_unique<DeviceSearch>(
        MIDIinput1->Service(), CommandPacket(sysex::kCmdVersionQuery), [](std::span<const std::uint8_t> m) {
            // Runs on the MIDI system's thread: look, do not copy.
            return m.size() == sysex::kVersionReplyLength && m[0] == sysex::kStart &&
                   m[1] == sysex::kManufacturer && m[2] == sysex::kCmdVersionReply && m.back() == sysex::kEnd;
        });
    searchClock_.start();
    search_->start(0);
    for (const std::string& problem : search_->problems()) LogWarning("device search: " + problem);
    if (search_->finished()) {
        showFindResult();
        return;
    }
    btFindDevice->setEnabled(false);
    btFindDevice->setText(uiText("midi.dlg.searching"));
    TimerFind->start();
}

void TFormMidiInterface::TimerFindTimer() {
    if (!search_ || !search_->running()) {
        TimerFind->stop();
        return;
    }
    if (search_->poll(searchClock_.elapsed())) showFindResult();
}

void TFormMidiInterface::StopFindDevice() {
    TimerFind->stop();
    if (search_) search_->stop();
    search_.reset();
    btFindDevice->setEnabled(true);
    btFindDevice->setText(uiText("midi.dlg.btFindDevice"));
}

void TFormMidiInterface::chooseLine(QListWidget* list, const QString& name) {
    const auto lines = list->findItems(name, Qt::MatchExactly);
    if (lines.isEmpty()) list->addItem(name);
    QListWidgetItem* line = lines.isEmpty() ? list->item(list->count() - 1) : lines.front();
    list->setCurrentItem(line);
    line->setSelected(true);
    // As a click on the line: also when it was selected already (the saved
    // choice), the edit takes its name.
    ListBox1Click(list);
}

void TFormMidiInterface::showFindResult() {
    const std::vector<FoundDevice> found = search_ ? search_->found() : std::vector<FoundDevice>{};
    const std::vector<std::string> answering =
        search_ ? search_->answeringInputs() : std::vector<std::string>{};
    TimerFind->stop();
    search_.reset();
    btFindDevice->setEnabled(true);
    btFindDevice->setText(uiText("midi.dlg.btFindDevice"));
    const std::string language = uiLanguage().toStdString();
    std::string result;
    if (!found.empty()) {
        const FoundDevice& first = found.front();
        // With several devices the first pair of the port listing is taken,
        // and the line says so; the user may still click another pair.
        result = found.size() == 1
                     ? textWithAll("midi.dlg.deviceFound", language, {first.input, first.output})
                     : textWithAll("midi.dlg.severalFound", language,
                                   {std::to_string(found.size()), first.input, first.output});
        chooseLine(ListBox2, QString::fromStdString(first.input));
        chooseLine(ListBox1, QString::fromStdString(first.output));
        LogInfo("device search found MIDI In " + first.input + ", MIDI Out " + first.output);
    } else if (!answering.empty()) {
        result = textWith("midi.dlg.outputNotFound", language, answering.front());
        chooseLine(ListBox2, QString::fromStdString(answering.front()));
        LogInfo("device search: an answer on " + answering.front() + ", no output reaching it");
    } else {
        result = std::string(text("midi.dlg.noDeviceAnswered", language));
        LogInfo("device search: no device answered");
    }
    lbFindResult->setText(QString::fromStdString(result));
}
