#pragma once
// Choice of the two MIDI interfaces and the connection of the ports to them.
//
// The chosen device names live in the user's settings (organisation
// "vandrell", application "Korvane", section "MIDI", values "InterfaceIn" and
// "InterfaceOut"). MIDIInterfaceAusRegistry looks them up among the devices
// and opens the ports; TFormMidiInterface lets the user pick them.
//
// The main window's menu command does, when both port objects exist:
//   dlg->MIDIinput1 = in; dlg->MIDIoutput1 = out;
//   dlg->exec();
//   korvane::MIDIInterfaceAusRegistry(*in, *out);
//   monitor->BindInput();
// and otherwise shows korvane::noMidiInterfaceText() as an error box.
// Boxes go through korvane::dialogs(), texts in korvane::uiLanguage().

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <memory>

class QGroupBox;
class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;
class QTimer;

namespace korvane {
class DeviceSearch;
class TMidiInput;
class TMidiOutput;

// "MIDI-Interface nicht vorhanden oder fehlerhaft. ..." in the current language.
QString noMidiInterfaceText();

// Reads the saved names and selects, opens and starts the ports on them.
// Never throws: a failing device selection shows the no-interface error box.
// Returns true if no box had to be shown.
bool MIDIInterfaceAusRegistry(TMidiInput& input, TMidiOutput& output);

// The saved names (empty when missing).
QString savedInterfaceIn();
QString savedInterfaceOut();
void saveInterfaceIn(const QString& name);
void saveInterfaceOut(const QString& name);
}  // namespace korvane

class TFormMidiInterface : public QDialog {
    Q_OBJECT

public:
    explicit TFormMidiInterface(QWidget* parent = nullptr);
    ~TFormMidiInterface() override;

    // The port objects to enumerate with (owned by the main window).
    korvane::TMidiInput* MIDIinput1 = nullptr;
    korvane::TMidiOutput* MIDIoutput1 = nullptr;

    QGroupBox* gbMidiIn = nullptr;
    QListWidget* ListBox2 = nullptr;
    QLineEdit* edMidiIn = nullptr;
    QGroupBox* gbMidiOut = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLineEdit* edMidiOut = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
    // Asks every port for the device and chooses the pair that answered.
    QPushButton* btFindDevice = nullptr;
    // What the search found, or that nothing answered.
    QLabel* lbFindResult = nullptr;
    QTimer* TimerFind = nullptr;
    int InterfaceIndex = -1;

    void FormShow();
    void ListBox1Click(QListWidget* sender);
    void btOKClick();
    void btCancelClick();
    void btFindDeviceClick();
    void TimerFindTimer();
    // Ends a running search; the ports it opened are closed.
    void StopFindDevice();
    bool findingDevice() const;
    // Captions in korvane::uiLanguage().
    void Lokalisierung();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showFindResult();
    // Selects the line of that name as a click on it would (adding the line
    // when the device appeared after the list was filled).
    void chooseLine(QListWidget* list, const QString& name);

    std::unique_ptr<korvane::DeviceSearch> search_;
    QElapsedTimer searchClock_;
};
