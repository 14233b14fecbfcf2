// Choice of the MIDI interfaces: the lookup of the saved names at start and
// after the dialog, and the dialog itself. Settings live in a temporary
// folder; boxes are answered by the scripted dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "dialogs.h"
#include "form_midi_interface.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

using namespace korvane;

namespace {

// A service with fixed device lists; every open succeeds and is recorded
// as "name #rank" (the rank among equally named devices).
class FixedService : public MidiService {
public:
    std::vector<std::string> ins, outs;
    std::string openedIn, openedOut;
    struct In : MidiInputConnection {
        std::string n;
        const std::string& name() const override { return n; }
    };
    struct Out : MidiOutputConnection {
        std::string n;
        const std::string& name() const override { return n; }
        bool send(std::span<const std::uint8_t>, std::string*) override { return true; }
    };
    std::vector<std::string> inputPortNames() override { return ins; }
    std::vector<std::string> outputPortNames() override { return outs; }
    std::unique_ptr<MidiInputConnection> openInput(const std::string& n, MidiInputCallback, std::string&,
                                                   std::size_t occurrence) override {
        openedIn = n + " #" + std::to_string(occurrence);
        auto c = std::make_unique<In>();
        c->n = n;
        return c;
    }
    std::unique_ptr<MidiOutputConnection> openOutput(const std::string& n, std::string&,
                                                     std::size_t occurrence) override {
        openedOut = n + " #" + std::to_string(occurrence);
        auto c = std::make_unique<Out>();
        c->n = n;
        return c;
    }
    std::unique_ptr<MidiInputConnection> openVirtualInput(const std::string&, MidiInputCallback,
                                                          std::string&) override {
        return nullptr;
    }
    std::unique_ptr<MidiOutputConnection> openVirtualOutput(const std::string&, std::string&) override {
        return nullptr;
    }
    void setErrorHandler(MidiErrorHandler) override {}
    std::vector<std::string> backendNames() const override { return {"fixed"}; }
};

// Settings in a folder of the test's own, empty at the start of each test:
// tests run in parallel processes and must not meet in the user's settings.
class OwnSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane").clear();
        setUiLanguage("de");
    }
    static QTemporaryDir* dir_;
};
QTemporaryDir* OwnSettings::dir_ = nullptr;

class InterfaceChoice : public OwnSettings {
protected:
    void SetUp() override {
        OwnSettings::SetUp();
        service.ins = {"In A", "In B", "In C"};
        service.outs = {"Out A", "Out B"};
        in = std::make_unique<TMidiInput>(service);
        out = std::make_unique<TMidiOutput>(service);
    }

    FixedService service;
    ScriptedDialogs boxes;
    ScopedDialogs scope{&boxes};
    std::unique_ptr<TMidiInput> in;
    std::unique_ptr<TMidiOutput> out;
};

TEST_F(InterfaceChoice, SettingsFileLivesInTheTestFolder) {
    saveInterfaceIn("x");
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "vandrell", "Korvane");
    EXPECT_TRUE(s.fileName().startsWith(dir_->path())) << s.fileName().toStdString();
    EXPECT_EQ(s.value("MIDI/InterfaceIn").toString(), "x");
}

TEST_F(InterfaceChoice, FirstStartAsksForBothAndUsesTheHighestDevices) {
    EXPECT_FALSE(MIDIInterfaceAusRegistry(*in, *out));
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.shown()[0].text,
              "Wählen Sie gleich ein gültiges MIDI-Interface für MIDI Out (unter Datei -> Einstellungen -> "
              "MIDI-Interface)");
    EXPECT_EQ(boxes.shown()[1].text,
              "Wählen Sie gleich ein gültiges MIDI-Interface für MIDI In (unter Datei -> Einstellungen -> "
              "MIDI-Interface)");
    EXPECT_EQ(out->DeviceID(), 1);
    EXPECT_EQ(in->DeviceID(), 2);
    EXPECT_EQ(in->State(), misOpen);
    EXPECT_EQ(out->State(), mosOpen);
}

TEST_F(InterfaceChoice, SavedNamesAreFoundAndTheLastOfTwoEqualNamesWins) {
    service.ins = {"Twin", "Other", "Twin", "Last"};
    service.outs = {"Out A", "Out B"};
    in = std::make_unique<TMidiInput>(service);
    saveInterfaceIn("Twin");
    saveInterfaceOut("Out A");
    EXPECT_TRUE(MIDIInterfaceAusRegistry(*in, *out));
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(in->DeviceID(), 2);
    EXPECT_EQ(out->DeviceID(), 0);
    EXPECT_EQ(out->ProductName(), "Out A");
    // The chosen device is the one opened, not the first of its name.
    EXPECT_EQ(service.openedIn, "Twin #1");
    EXPECT_EQ(service.openedOut, "Out A #0");
}

// Whichever of several equally named devices is selected is the one that opens.
TEST_F(InterfaceChoice, EachOfEquallyNamedDevicesOpensItself) {
    service.ins = {"Twin", "Other", "Twin", "Twin"};
    service.outs = {"Pair", "Pair", "Solo"};
    in = std::make_unique<TMidiInput>(service);
    out = std::make_unique<TMidiOutput>(service);
    const struct {
        int in, out;
        const char* openedIn;
        const char* openedOut;
    } cases[] = {
        {0, 0, "Twin #0", "Pair #0"},
        {2, 1, "Twin #1", "Pair #1"},
        {3, 2, "Twin #2", "Solo #0"},
        {1, 1, "Other #0", "Pair #1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.openedIn);
        in->Close();
        out->Close();
        in->SetDeviceID(c.in);
        out->SetDeviceID(c.out);
        ASSERT_TRUE(in->Open());
        ASSERT_TRUE(out->Open());
        EXPECT_EQ(service.openedIn, c.openedIn);
        EXPECT_EQ(service.openedOut, c.openedOut);
    }
}

TEST_F(InterfaceChoice, ASelectionErrorShowsTheNoInterfaceBox) {
    ASSERT_TRUE(in->Open());  // an open port refuses a new device
    EXPECT_FALSE(MIDIInterfaceAusRegistry(*in, *out));
    ASSERT_FALSE(boxes.texts(ScriptedDialogs::Kind::Error).empty());
    EXPECT_EQ(
        boxes.texts(ScriptedDialogs::Kind::Error).back(),
        "MIDI-Interface nicht vorhanden oder fehlerhaft. Gewünschte Funktion kann daher nicht ausgeführt "
        "werden.");
}

TEST_F(InterfaceChoice, DialogListsDevicesAndWritesOnlyOnSelect) {
    saveInterfaceOut("Out B");
    saveInterfaceIn("Gone");
    ASSERT_TRUE(in->Open());
    ASSERT_TRUE(out->Open());
    TFormMidiInterface dlg;
    dlg.MIDIinput1 = in.get();
    dlg.MIDIoutput1 = out.get();
    dlg.FormShow();
    // Enumerating closes both ports.
    EXPECT_EQ(in->State(), misClosed);
    EXPECT_EQ(out->State(), mosClosed);
    ASSERT_EQ(dlg.ListBox1->count(), 2);
    ASSERT_EQ(dlg.ListBox2->count(), 3);
    EXPECT_EQ(dlg.edMidiOut->text(), "Out B");
    EXPECT_EQ(dlg.ListBox1->currentRow(), 1);
    EXPECT_EQ(dlg.edMidiIn->text(), "");  // saved name not among the devices

    dlg.ListBox2->setCurrentRow(1);
    dlg.ListBox1Click(dlg.ListBox2);
    EXPECT_EQ(dlg.edMidiIn->text(), "In B");
    EXPECT_EQ(dlg.InterfaceIndex, 1);

    dlg.btCancelClick();
    EXPECT_EQ(savedInterfaceIn(), "Gone");

    dlg.FormShow();
    dlg.ListBox2->setCurrentRow(2);
    dlg.ListBox1Click(dlg.ListBox2);
    dlg.edMidiOut->clear();  // an empty edit leaves its value alone
    dlg.btOKClick();
    EXPECT_EQ(savedInterfaceIn(), "In C");
    EXPECT_EQ(savedInterfaceOut(), "Out B");
}

TEST_F(InterfaceChoice, ArrowKeysChooseLikeAClick) {
    saveInterfaceOut("Out B");
    saveInterfaceIn("In A");
    TFormMidiInterface dlg;
    dlg.MIDIinput1 = in.get();
    dlg.MIDIoutput1 = out.get();
    dlg.FormShow();
    // Showing the saved choice changes nothing.
    EXPECT_EQ(dlg.edMidiOut->text(), "Out B");
    EXPECT_EQ(dlg.edMidiIn->text(), "In A");

    dlg.ListBox2->setFocus();
    QTest::keyClick(dlg.ListBox2, Qt::Key_Down);
    EXPECT_EQ(dlg.edMidiIn->text(), "In B");
    QTest::keyClick(dlg.ListBox1, Qt::Key_Up);
    EXPECT_EQ(dlg.edMidiOut->text(), "Out A");
    dlg.btOKClick();
    EXPECT_EQ(savedInterfaceIn(), "In B");
    EXPECT_EQ(savedInterfaceOut(), "Out A");
}

// With nothing saved both fields stay empty until the user chooses: the
// focus entering a list marks its first line without choosing it, and Enter
// then saves nothing.
TEST_F(InterfaceChoice, FirstSetupLeavesBothFieldsEmptyUntilChosen) {
    TFormMidiInterface dlg;
    dlg.MIDIinput1 = in.get();
    dlg.MIDIoutput1 = out.get();
    dlg.FormShow();
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(dlg.ListBox2, &focusIn);
    ASSERT_EQ(dlg.ListBox2->currentRow(), 0) << "the list marks its first line on focus";
    EXPECT_EQ(dlg.edMidiIn->text(), "");
    EXPECT_EQ(dlg.edMidiOut->text(), "");

    // A click on the output list copies only that choice.
    dlg.ListBox1->setCurrentRow(1);
    EXPECT_EQ(dlg.edMidiOut->text(), "Out B");
    EXPECT_EQ(dlg.edMidiIn->text(), "") << "the input line the focus marked was not chosen";
    dlg.btOKClick();
    EXPECT_EQ(savedInterfaceIn(), "");
    EXPECT_EQ(savedInterfaceOut(), "Out B");

    // Space on the marked line chooses it.
    dlg.FormShow();
    QApplication::sendEvent(dlg.ListBox2, &focusIn);
    QTest::keyClick(dlg.ListBox2, Qt::Key_Space);
    EXPECT_EQ(dlg.edMidiIn->text(), "In A");
}

// The device as the search meets it on the loopback switchboard: it answers
// the version query on its own output a moment later, as a real one does.
struct AnsweringDevice {
    explicit AnsweringDevice(MidiService& service) {
        std::string error;
        out = service.openVirtualOutput("Korvane Out", error);
        in = service.openVirtualInput(
            "Korvane In",
            [this](std::span<const std::uint8_t> b, double) {
                if (std::vector<std::uint8_t>(b.begin(), b.end()) !=
                    std::vector<std::uint8_t>{0xF0, 0x7D, 0x07, 0xF7})
                    return;
                ++asked;
                QTimer::singleShot(5, [this] {
                    out->send(std::vector<std::uint8_t>{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7});
                });
            },
            error);
    }
    int asked = 0;
    std::unique_ptr<MidiOutputConnection> out;
    std::unique_ptr<MidiInputConnection> in;
};

// A loopback switchboard with the ports of another instrument that never
// answers, the device when asked for, and the dialog on them, shown.
struct SearchRig {
    explicit SearchRig(bool withDevice) {
        std::string error;
        muteOut = service->openVirtualOutput("Synth Out", error);
        muteIn = service->openVirtualInput(
            "Synth In", [](std::span<const std::uint8_t>, double) {}, error);
        if (withDevice) device.emplace(*service);
        // The ports are made once the switchboard lists something.
        in = std::make_unique<TMidiInput>(*service);
        out = std::make_unique<TMidiOutput>(*service);
        dlg.MIDIinput1 = in.get();
        dlg.MIDIoutput1 = out.get();
        dlg.show();
    }
    std::unique_ptr<MidiService> service = createLoopbackService();
    std::unique_ptr<MidiOutputConnection> muteOut;
    std::unique_ptr<MidiInputConnection> muteIn;
    std::optional<AnsweringDevice> device;
    std::unique_ptr<TMidiInput> in;
    std::unique_ptr<TMidiOutput> out;
    TFormMidiInterface dlg;
};

// Runs the event loop until the search button is back (the search is over).
bool searchEnds(TFormMidiInterface& dlg) {
    QElapsedTimer clock;
    clock.start();
    while (!dlg.btFindDevice->isEnabled() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return dlg.btFindDevice->isEnabled();
}

class FindTheDevice : public OwnSettings {};

TEST_F(FindTheDevice, TheAnsweringPairIsChosenLikeAClickOnBothLists) {
    setUiLanguage("en");
    SearchRig rig(true);
    TFormMidiInterface& dlg = rig.dlg;
    EXPECT_EQ(dlg.edMidiIn->text(), "");
    EXPECT_EQ(dlg.btFindDevice->text(), "Find the device");

    QTest::mouseClick(dlg.btFindDevice, Qt::LeftButton);
    EXPECT_FALSE(dlg.btFindDevice->isEnabled()) << "the button shows the search is running";
    EXPECT_EQ(dlg.btFindDevice->text(), "Searching …");
    ASSERT_TRUE(searchEnds(dlg));
    EXPECT_GE(rig.device->asked, 1);
    EXPECT_EQ(dlg.edMidiIn->text(), "Korvane Out");
    EXPECT_EQ(dlg.edMidiOut->text(), "Korvane In");
    ASSERT_EQ(dlg.ListBox2->selectedItems().size(), 1);
    EXPECT_EQ(dlg.ListBox2->selectedItems().front()->text(), "Korvane Out");
    ASSERT_EQ(dlg.ListBox1->selectedItems().size(), 1);
    EXPECT_EQ(dlg.ListBox1->selectedItems().front()->text(), "Korvane In");
    EXPECT_EQ(dlg.lbFindResult->text(), "Device found: MIDI In 'Korvane Out', MIDI Out 'Korvane In'.");
    dlg.btOKClick();
    EXPECT_EQ(savedInterfaceIn(), "Korvane Out");
    EXPECT_EQ(savedInterfaceOut(), "Korvane In");
    setUiLanguage("de");
}

TEST_F(FindTheDevice, NoAnswerSaysSoAndClosingStopsTheSearch) {
    SearchRig rig(false);
    TFormMidiInterface& dlg = rig.dlg;
    QTest::mouseClick(dlg.btFindDevice, Qt::LeftButton);
    ASSERT_TRUE(searchEnds(dlg));
    EXPECT_EQ(
        dlg.lbFindResult->text(),
        "Kein Gerät hat geantwortet. Ist der Korvane eingeschaltet und über MIDI In und MIDI Out verbunden?");
    EXPECT_EQ(dlg.edMidiIn->text(), "");
    EXPECT_EQ(dlg.edMidiOut->text(), "");

    // Closing the dialog in the middle of a search ends it: the device that
    // answers then is never chosen.
    rig.device.emplace(*rig.service);
    QTest::mouseClick(dlg.btFindDevice, Qt::LeftButton);
    ASSERT_TRUE(dlg.findingDevice());
    dlg.btCancelClick();
    EXPECT_FALSE(dlg.findingDevice());
    EXPECT_TRUE(dlg.btFindDevice->isEnabled());
    QTest::qWait(1500);
    EXPECT_EQ(rig.device->asked, 1);
    EXPECT_EQ(dlg.edMidiIn->text(), "");
    EXPECT_EQ(dlg.lbFindResult->text(), "");
}

TEST_F(InterfaceChoice, CaptionsFollowTheLanguage) {
    TFormMidiInterface dlg;
    setUiLanguage("en");
    dlg.Lokalisierung();
    EXPECT_EQ(dlg.windowTitle(), "Select MIDI Interface");
    EXPECT_EQ(dlg.btOK->text(), "Select");
    setUiLanguage("de");
    dlg.Lokalisierung();
    EXPECT_EQ(dlg.gbMidiIn->title(), "Midi In (verbunden mit Korvane MIDI Out)");
}

}  // namespace
