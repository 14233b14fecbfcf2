// The main window's life: the log at creation, the data folder, settings,
// language, document and MIDI ports when it is first shown, and the orderly
// end.

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>

#include "data_files.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "log_class.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"
#include "program_log.h"

namespace {

QSettings openSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                     QStringLiteral("Korvane"));
}

// The per-machine data folder. On Windows the common application data
// folder; elsewhere the user's data folder, which honours XDG_DATA_HOME.
QString computeDataFolder() {
#ifdef Q_OS_WIN
    QString common = qEnvironmentVariable("ProgramData");
    if (common.isEmpty()) common = QStringLiteral("C:\\ProgramData");
    return QDir::toNativeSeparators(common + QStringLiteral("\\Pellux3"));
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pellux3");
#endif
}

// The folder of the shipped default documents: beside the executable when
// they are there (a build tree, a Windows installation), otherwise the
// installed share folder.
QString computeProgramFolder() {
    const QString beside = QCoreApplication::applicationDirPath();
    const QString shared = QDir::cleanPath(beside + QStringLiteral("/../share/korvane"));
    for (const QString& folder : {beside, shared})
        if (QFileInfo::exists(folder + QStringLiteral("/korvane.def"))) return folder;
    return beside;
}

}  // namespace

TFormMain::~TFormMain() {
    // The monitor window keeps plain pointers to the ports; they go first so
    // nothing can reach a port that no longer exists.
    if (FormMIDIMon) {
        FormMIDIMon->MIDIinput1 = nullptr;
        FormMIDIMon->MIDIoutput1 = nullptr;
    }
    MidiInputPort.reset();
    MidiOutputPort.reset();
    // The memo outlives this object's own part while Qt deletes the
    // children; whatever it signals then must not write a document that is
    // already gone.
    if (MemoDescription) MemoDescription->blockSignals(true);
    // Saves still on their way land before the window goes; nothing may
    // tell this window about them any more.
    if (XMLkonfig) {
        XMLkonfig->waitForWrites();
        XMLkonfig->setWriteFailureNotice({});
    }
    FormDestroy();
}

void TFormMain::setPortFactories(InputPortFactory in, OutputPortFactory out) {
    MakeInputPort = std::move(in);
    MakeOutputPort = std::move(out);
}

void TFormMain::FormCreate() {
    korvane::startProgramLog();
    // The log reports its own troubles ("Fehlermeldung: ...") on whatever
    // thread met them, often its writer thread. The box is shown on the
    // window thread, one at a time: while one is open or waiting, further
    // reports only go to standard error, so a burst cannot bury the window.
    if (korvane::TLogClass* log = korvane::programLog()) {
        log->SetNoticeHandler([](const korvane::TLogNotice& notice) {
            static std::atomic<bool> boxPending{false};
            QCoreApplication* app = QCoreApplication::instance();
            if (!app || boxPending.exchange(true)) return;
            QMetaObject::invokeMethod(
                app,
                [text = QString::fromStdString(notice.text)] {
                    korvane::dialogs().message(text);
                    boxPending.store(false);
                },
                Qt::QueuedConnection);
        });
    }
}

void TFormMain::FormDestroy() { korvane::stopProgramLog(); }

void TFormMain::Menu_Beenden_Click() { close(); }

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window is shown once per run; a restore from minimised must not
    // load everything again.
    if (!Shown && !event->spontaneous()) {
        Shown = true;
        FormShow();
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Closing waits for the saves still on their way, and says so when one
    // of them failed: the change it carried is not in the file.
    if (XMLkonfig) {
        XMLkonfig->waitForWrites();
        for (const korvane::DocumentStatus& failed : XMLkonfig->takeWriteFailures())
            ShowDocumentError(failed);
    }
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program, also while hidden windows
    // (monitor, motor profiles) are open.
    if (event->isAccepted()) QApplication::closeAllWindows();
}

void TFormMain::StartReadingLibrary() {
    LibraryReadAhead = korvane::ConfigDocument::readAhead(
        (computeDataFolder() + QStringLiteral("/korvane.xml")).toStdString());
}

void TFormMain::FormShow() {
    if (FormMIDIMon) FormMIDIMon->VersionsString.clear();

    QSettings settings = openSettings();

    DataFolder = computeDataFolder();
    ProgramFolder = ProgramFolderOverride.isEmpty() ? computeProgramFolder() : ProgramFolderOverride;
    // Where the shipped documents and the manual were found; the first thing
    // to know when a default document or the manual is reported missing.
    korvane::LogInfo("program folder: " + QDir::toNativeSeparators(ProgramFolder).toStdString());
    const korvane::ProvisionReport provision =
        korvane::provisionDataFolder(DataFolder.toStdString(), ProgramFolder.toStdString());

    bt_AenderungenUebernehmen->setText(QString());
    GeradeSelektierteEingabeElementNummer = -1;
    // Nothing is selected yet, so the editor starts empty and disabled.
    MessageDatenAnzeigen(pugi::xml_node());

    language = settings.value(QStringLiteral("Prefs/language"), QStringLiteral("de")).toString();
    // Only German and English exist. Any other code (a settings file edited
    // by hand, or written by a later version) would leave the message texts
    // empty and the web entries without an address; German, the default,
    // stands in. The stored value is left for the user's next switch.
    if (language != QStringLiteral("de") && language != QStringLiteral("en")) {
        korvane::LogWarning("settings: unknown interface language '" + language.toStdString() +
                            "', German is used");
        language = QStringLiteral("de");
    }
    setWindowTitle(trText("main.caption.start", language));
    Lokalisierung(language);

    // A working document that could not be created is told plainly, with
    // the file it needed; the window stays up without a document. Without
    // the data folder every file fails for that one reason, so the folder
    // alone is named, once.
    const std::string folderText =
        korvane::provisionFolderMessage(provision, DataFolder.toStdString(), language.toStdString());
    if (!folderText.empty()) {
        korvane::LogError(folderText);
        korvane::dialogs().error(fromStd(folderText));
    }
    for (const korvane::ProvisionedFile* file : {&provision.configuration, &provision.motorProfiles}) {
        const std::string text = korvane::provisionMessage(*file, language.toStdString());
        if (!text.empty()) {
            korvane::LogError(text);
            if (provision.folderReady) korvane::dialogs().error(fromStd(text));
        }
    }

    // The ports are made while the library is still being read on its own
    // thread; a library that cannot be read leaves them usable all the same.
    CreateMidiPorts();

    XMLkonfig = std::make_unique<korvane::ConfigDocument>();
    // A background save that failed is told on the window thread.
    XMLkonfig->setWriteFailureNotice([this] {
        QMetaObject::invokeMethod(
            this, [this] { ReportWriteFailures(); }, Qt::QueuedConnection);
    });
    const korvane::DocumentStatus loaded =
        XMLkonfig->load(workingDocumentPath().toStdString(), std::move(LibraryReadAhead));
    if (loaded.ok()) {
        XML_HoleKonfigurationen();
    } else {
        // Reported once, file and parser message named; nothing on disk is
        // touched.
        korvane::LogError(loaded.message("de"));
        if (provision.folderReady) ShowDocumentError(loaded);
        XML_HoleGruppen();
    }
}

void TFormMain::CreateMidiPorts() {
    bMIDIinCreated = false;
    bMIDIoutCreated = false;

    if (!MakeInputPort || !MakeOutputPort) {
        // What the MIDI systems print themselves (tens of lines when none
        // runs) belongs in the log, not on the terminal the editor came from.
        korvane::setMidiConsoleHandler(
            [](const std::string& line) { korvane::LogInfo("MIDI system: " + line); });
        DefaultMidiService = korvane::createRtMidiService("Korvane Editor");
        // Errors the MIDI system reports later (a port that goes away, a
        // backend that stops) arrive on its own threads; the log takes them
        // from any thread, so they are not lost.
        DefaultMidiService->setErrorHandler(
            [](const std::string& message) { korvane::LogError("MIDI: " + message); });
        korvane::MidiService* service = DefaultMidiService.get();
        if (!MakeInputPort)
            MakeInputPort = [service] { return std::make_unique<korvane::TMidiInput>(*service); };
        if (!MakeOutputPort)
            MakeOutputPort = [service] { return std::make_unique<korvane::TMidiOutput>(*service); };
    }

    // A port that cannot be made is only logged (in the log's own language):
    // every MIDI command later reports the missing interface itself.
    try {
        MidiInputPort = MakeInputPort();
        // Asked for its stored configuration, the device sends one SysEx per
        // element and its end marker in one burst. With the port's usual 16
        // SysEx buffers most of them would be lost before the window thread
        // hands a buffer back, and the read-back would never see its end.
        constexpr std::uint16_t kBuffersForADump = 128;
        if (MidiInputPort && MidiInputPort->SysexBufferCount() < kBuffersForADump)
            MidiInputPort->SetSysexBufferCount(kBuffersForADump);
        if (FormMIDIMon) FormMIDIMon->MIDIinput1 = MidiInputPort.get();
        bMIDIinCreated = MidiInputPort != nullptr;
    } catch (const std::exception& e) {
        korvane::LogError(trText("main.log.midi_in_problem", QStringLiteral("de")).toStdString() + e.what());
    }
    try {
        MidiOutputPort = MakeOutputPort();
        if (FormMIDIMon) FormMIDIMon->MIDIoutput1 = MidiOutputPort.get();
        bMIDIoutCreated = MidiOutputPort != nullptr;
    } catch (const std::exception& e) {
        korvane::LogError(trText("main.log.midi_out_problem", QStringLiteral("de")).toStdString() + e.what());
    }

    if (bMIDIinCreated && bMIDIoutCreated) {
        ConnectMidiPorts();
        AskFirmwareVersion();
        TimerPortWatch->start();
    }
    UpdateConnectionStatus();
}

void TFormMain::setMonitorWindow(TFormMIDIMon* monitor) {
    if (FormMIDIMon && FormMIDIMon != monitor) {
        // The old monitor goes away: nothing may reach it from the ports.
        if (MidiInputPort) MidiInputPort->OnMidiInput = nullptr;
        FormMIDIMon->MIDIinput1 = nullptr;
        FormMIDIMon->MIDIoutput1 = nullptr;
        FormMIDIMon->OnSetSendCaption = nullptr;
        FormMIDIMon->OnInitSendButton = nullptr;
        FormMIDIMon->OnTransferStage = nullptr;
        FormMIDIMon->OnVersionReceived = nullptr;
        FormMIDIMon->OnPortsCreated = nullptr;
    }
    FormMIDIMon = monitor;
    if (!monitor) return;
    monitor->MIDIinput1 = MidiInputPort.get();
    monitor->MIDIoutput1 = MidiOutputPort.get();
    monitor->OnSetSendCaption = [this](const QString& caption) { SetSendCaption(caption); };
    monitor->OnInitSendButton = [this] { InitSendButton(); };
    monitor->OnVersionReceived = [this](const QString& version) { FirmwareVersionReceived(version); };
    monitor->OnTransferStage = [this](korvane::TransferStage stage, int packetIndex, int packetCount) {
        ShowTransferProgress(stage, packetIndex, packetCount);
    };
    monitor->OnPortsCreated = [this] { return bMIDIinCreated && bMIDIoutCreated; };
}

void TFormMain::ConnectMidiPorts() {
    if (!MidiInputPort || !MidiOutputPort) return;
    // The port watch may have opened a port again that came back while the
    // dialog was not showing; the device of an open port cannot be changed.
    MidiInputPort->Close();
    MidiOutputPort->Close();
    korvane::MIDIInterfaceAusRegistry(*MidiInputPort, *MidiOutputPort);
    if (FormMIDIMon) FormMIDIMon->BindInput();
    UpdateConnectionStatus();
}

void TFormMain::Menu_Einstellungen_MIDI_Click() {
    if (!(bMIDIinCreated && bMIDIoutCreated)) {
        korvane::dialogs().error(korvane::noMidiInterfaceText());
        return;
    }
    bool confirmed = false;
    if (FormMidiInterface) {
        FormMidiInterface->MIDIinput1 = MidiInputPort.get();
        FormMidiInterface->MIDIoutput1 = MidiOutputPort.get();
        confirmed = FormMidiInterface->exec() == QDialog::Accepted;
    }
    ConnectMidiPorts();
    // A new choice: ask the device on it who it is.
    if (confirmed) AskFirmwareVersion();
}

void TFormMain::Menu_MIDI_Monitor_Click() {
    if (!(bMIDIinCreated && bMIDIoutCreated)) {
        korvane::dialogs().error(korvane::noMidiInterfaceText());
        return;
    }
    if (FormMIDIMon) {
        FormMIDIMon->show();
        FormMIDIMon->raise();
        FormMIDIMon->activateWindow();
    }
}
