#pragma once
// The editor's main window.
//
// The upper half is the picture of the surface with its 64 clickable element
// pictures; the lower half chooses the configuration, the message group and
// the message of the selected element and edits that message. The window
// owns the configuration document and the two MIDI port objects (which the
// monitor window holds in its fields MIDIinput1 / MIDIoutput1).
//
// Components are the fields of TFormMainParts, named as the program has
// always named them; the same names are their Qt objectName. Every
// handler is one method of the same name. The implementation is split by
// concern:
//   form_main.cpp            construction and layout of the components
//   form_main_startup.cpp    FormCreate / FormShow / FormDestroy, paths, settings, ports
//   form_main_lists.cpp      configuration and group lists, save-and-reload
//   form_main_menus.cpp      the menu table: every menu entry and its handler
//   form_main_language.cpp   Lokalisierung and the language menu
//   form_main_send.cpp       sending a configuration to the device
//   form_main_library.cpp    opening a library, the configuration, group and
//                            message menus, undo and redo
//   form_main_{panel,map,selection,apply}.cpp   surface map, message panel,
//                            selection and assignment, applying edits

#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config_document.h"
#include "library_history.h"
#include "message_record.h"
#include "motor_profile.h"
#include "surface_map.h"
#include "sysex.h"
#include "transfer_state_machine.h"

class QAction;
class QComboBox;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QRadioButton;
class QUrl;
class QWidget;

class TFormMIDIMon;
class TFormMotorProfil;
class TFormMidiInterface;

namespace korvane {
struct FetchResult;
class MidiService;
class TMidiInput;
class TMidiOutput;
}  // namespace korvane

// The components of the main window, named as the program has always named
// them; each name is also the component's Qt objectName. The window holds
// them as a private base: only the window itself and the tests' door
// (tests/support/form_main_access.h) reach them, everything else finds a
// component by its objectName.
struct TFormMainParts {
    // Menu. Every menu and entry is built from the table in
    // form_main_menus.cpp and found by its objectName with menuEntry(); these
    // few are also kept as fields because code and tests name them.
    QMenu* MenuDatei = nullptr;
    QAction* Menu_Sprache_Deutsch_ = nullptr;
    QAction* Menu_Sprache_English_ = nullptr;
    QAction* Menu_Beenden_ = nullptr;
    QAction* Menu_Sende_Konfiguration_ = nullptr;
    QAction* Menu_Motorprofileditor_ = nullptr;

    // Surface map (upper half).
    QGroupBox* GroupBoxMap = nullptr;
    QWidget* pnBackground = nullptr;
    QPlainTextEdit* MemoDescription = nullptr;
    // The 64 element pictures by element number (index 0 is Fader1, Tag 64).
    std::array<korvane::TImage*, 64> EingabeElemente{};

    // Configuration choice.
    QGroupBox* GroupBoxKonfiguration = nullptr;
    QLabel* labelKonfiguration = nullptr;
    QComboBox* CB_Set = nullptr;

    // Message choice.
    QGroupBox* gb_MessageAuswahl = nullptr;
    QLabel* LabelGruppe = nullptr;
    QComboBox* CB_Group = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* CB_MessageName = nullptr;

    // Message editor.
    QGroupBox* gb_Message = nullptr;
    QGroupBox* RG_Mode = nullptr;
    std::array<QRadioButton*, 4> RG_ModeItems{};
    QLabel* LabelLinksDruecken = nullptr;
    QLineEdit* Edit_MsgLeft = nullptr;
    QLabel* LabelRechtsLoslassen = nullptr;
    QLineEdit* Edit_MsgRight = nullptr;
    QGroupBox* GroupBoxStellbereich = nullptr;
    QRadioButton* rb_Range_Full = nullptr;
    QRadioButton* rb_Range_Part = nullptr;
    QRadioButton* rb_Range_Percent = nullptr;
    QLabel* LabelMax = nullptr;
    QLineEdit* Ed_Max = nullptr;
    QLabel* LabelMin = nullptr;
    QLineEdit* Ed_Min = nullptr;
    QLabel* LabelStep = nullptr;
    QLineEdit* Ed_Step = nullptr;
    QLabel* Label1 = nullptr;  // "Init", beside Ed_Start
    QLineEdit* Ed_Start = nullptr;
    QLabel* Lb_percent1 = nullptr;
    QLabel* Lb_percent2 = nullptr;
    QLabel* Lb_percent3 = nullptr;
    QLabel* Lb_percent4 = nullptr;
    QPushButton* bt_AenderungenUebernehmen = nullptr;

    // Sending and the maker's logo.
    QPushButton* btSend = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Image_Quillon = nullptr;

    // The status bar: the chosen ports, whether they are open, and the
    // device's firmware version once it answered.
    QLabel* StatusMidi = nullptr;
    // The one line under the map with the result of a comparison with the
    // device.
    QLabel* lbDeviceCompare = nullptr;
};

class TFormMain : public QMainWindow, private TFormMainParts {
    Q_OBJECT

public:
    // Builds every component (FormCreate runs here: the program log starts).
    explicit TFormMain(QWidget* parent = nullptr);
    // FormDestroy runs here: the closing log line, then the log ends.
    ~TFormMain() override;

    // ---------------------------------------------------------------- wiring
    // The windows the main window works with; the program entry sets them
    // after creating all windows and before the main window is shown.
    // The monitor window gets the send button hooks of the transfer here.
    void setMonitorWindow(TFormMIDIMon* monitor);
    void setMidiInterfaceDialog(TFormMidiInterface* dialog) { FormMidiInterface = dialog; }
    void setMotorProfileWindow(TFormMotorProfil* window) { FormMotorProfil = window; }
    void setAboutBox(QWidget* window) { Form4 = window; }

    // How FormShow makes the two port objects. The program uses the
    // platform's MIDI service; tests hand in factories that give loopback
    // ports or throw (a machine without MIDI).
    using InputPortFactory = std::function<std::unique_ptr<korvane::TMidiInput>()>;
    using OutputPortFactory = std::function<std::unique_ptr<korvane::TMidiOutput>()>;
    void setPortFactories(InputPortFactory in, OutputPortFactory out);

    // Where the finished packet stream of a configuration goes. The program
    // hands it to the monitor window's transfer; tests capture it.
    using TransferStarter = std::function<void(const korvane::ByteString& stream)>;
    void setTransferStarter(TransferStarter starter);

    // Where the shipped default documents are looked for; empty (the
    // default) means beside the executable or in the installed share folder.
    void setProgramFolder(const QString& folder) { ProgramFolderOverride = folder; }

    // The folders the window works with. Computed in FormShow from the
    // platform (see form_main_startup.cpp); tests may read them.
    QString dataFolder() const { return DataFolder; }
    QString programFolder() const { return ProgramFolder; }
    QString workingDocumentPath() const { return DataFolder + QStringLiteral("/korvane.xml"); }

    // ---------------------------------------------------------------- life
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void Menu_Beenden_Click();

    // ---------------------------------------------------------------- lists
    // Fills CB_Set from the document file (sorted), selects the first entry
    // and runs CB_SetChange.
    void XML_HoleKonfigurationen();
    // Fills CB_Group: the no-assignment entry, then every group in document
    // order (reloads the document file first).
    void XML_HoleGruppen();
    // The configuration in CB_Set becomes the current one: caption, groups,
    // description, hints.
    void CB_SetChange();
    // The one way every change reaches the disk: the document is saved to
    // its file atomically; it stays in step with the file, so nothing is read
    // back. changed names the nodes the edit changed (only the entries
    // holding them are written out anew; empty: anything may have changed).
    // With background saving the write happens on the writer thread and a
    // failure is told when it happens; otherwise the call waits for the
    // disk. On failure one error box names the file and the reason, the file
    // stays as it was, and false is returned (the change stays in memory).
    // Every such save is recorded in the undo history under change (a
    // generic label when empty); saves with the same non-empty mergeKey in a
    // row are one step.
    bool SaveAndReload(const korvane::TableText& change = {}, const std::string& mergeKey = {},
                       const std::vector<pugi::xml_node>& changed = {});
    // Saves go to the disk on a writer thread, the window never waits for
    // them (the editor's setting; without it every save waits).
    void setBackgroundSaving(bool on) { BackgroundSaving = on; }
    // The no-assignment entry of the group list in the current language.
    QString NoAssignmentText() const;
    // Whether a group list text is one of the two no-assignment texts,
    // whatever the language.
    static bool IsNoAssignment(const QString& groupText);

    // ---------------------------------------------------------------- language
    // Sets every caption, label and menu entry of the main window (and the
    // shared interface language) to code "de" or "en"; any other code
    // changes nothing.
    void Lokalisierung(const QString& code);
    void Menu_Sprache_Deutsch_Click();
    void Menu_Sprache_English_Click();
    // The language menu's work: captions, hints, the no-assignment entry and
    // the remembered setting follow code.
    void SwitchLanguage(const QString& code);

    // ---------------------------------------------------------------- sending
    void btSendClick();
    void Menu_Sende_Konfiguration_Click();
    void KonfigurationZumKorvaneSenden();
    // Encodes the current configuration, showing each assigned element
    // selected on the map while it is read, and starts the transfer. False
    // when the encoder refused (its message has been shown, nothing sent).
    bool KonfigurationSenden();
    // Puts the send controls back after a transfer (or a refusal).
    void InitSendButton();
    // The progress bar follows the transfer: packets answered, store, restart.
    void ShowTransferProgress(korvane::TransferStage stage, int packetIndex, int packetCount);
    // Sets the caption of btSend (the transfer shows its stages there).
    void SetSendCaption(const QString& caption);

    // ---------------------------------------------------------------- connection
    void UpdateConnectionStatus();
    // Asks the device for its version once (no box when it does not answer).
    void AskFirmwareVersion();
    void FirmwareVersionReceived(const QString& version);
    void TimerVersionAnswerTimer();
    void TimerPortWatchTimer();

    // ---------------------------------------------------------------- reading the device back
    // Implemented in form_main_readback.cpp. Compare fetches the device's
    // stored packets and colours the map by how each element compares with
    // the current configuration, until the next click; import fetches them
    // and makes a new configuration of them.
    void Menu_Compare_With_Device_Click();
    void Menu_Import_From_Device_Click();
    // Every SysEx message from the device (the monitor window forwards them
    // while a fetch runs) and the fetch timer's tick.
    void DeviceFetchInput(const korvane::ByteString& message);
    void DeviceFetchTimer();
    bool DeviceFetchRunning() const;
    // Reads the device's motor profiles for the motor profile editor through
    // the same fetch. Empty when it started (done is called once when it
    // ends), else the text key of why it did not.
    std::string FetchMotorProfiles(std::function<void(const korvane::FetchResult&)> done);
    // Whether the map shows the comparison with the device; ending it puts
    // the assignment colours back.
    bool CompareViewShown() const;
    void EndCompareView();
    // Where the fetch's bytes go (default: the monitor window's MidiSend) and
    // its clock (default: the steady clock); tests put their own here.
    using FetchSender = std::function<bool(const korvane::ByteString& bytes)>;
    void setFetchSender(FetchSender sender);
    void setFetchClock(std::function<std::int64_t()> clock);

    // ---------------------------------------------------------------- MIDI, windows, help
    void Menu_Einstellungen_MIDI_Click();
    void Menu_MIDI_Monitor_Click();
    void Menu_Motorprofileditor_Click();
    void Menu_Info_Ueber_Editor_Click();
    void Menu_Hilfe_Anleitung_Click();
    void Menu_Quillon_Homepage_Click();
    void Menu_Internet_Look_For_Updates_Click();
    void Menu_Internet_Look_For_Configurations_Click();
    void Image_QuillonClick();
    // The file name of the manual for a language: the German manual for
    // "de", the English one for any other code.
    static QString ManualFileName(const QString& code);
    // How the help menu hands a file or address to the desktop. The program
    // uses the desktop's default handler; tests record the address instead.
    using UrlOpener = std::function<void(const QUrl&)>;
    void setUrlOpener(UrlOpener opener);

    // --- panel, map, selection, apply: implemented in form_main_{panel,map,selection,apply}.cpp ---
    // Surface map (colours and hints).
    QString HinweisErzeugen(korvane::TImage* ImageToDraw);
    void HinweiseErzeugen();
    void EingabeElementFaerben(korvane::TImage* ImageToChange, korvane::TEingabeElementFarbe Farbe);
    void SetFader(int Fadernummer, int Value);
    // The picture of an element number (64 or 0 gives Fader1), or nullptr.
    korvane::TImage* Get_EingabeElement_By_Number(int Nummer);
    // The picture of a German element name, or nullptr.
    korvane::TImage* Get_EingabeElement_By_Name(const QString& Name);

    // Message editor panel. Shows a message node or, given none, empties the
    // panel. True when a message is shown; a message whose range values are
    // not whole numbers is reported and leaves the panel empty.
    bool MessageDatenAnzeigen(pugi::xml_node xml_Node_Message);
    void RG_ModeClick();
    void rb_Range_FullClick();
    void rb_Range_PartClick();
    void rb_Range_PercentClick();
    void AusgabeStellbereich(bool AusLetzterMessage, korvane::TMode Mode, korvane::TRange Range);
    korvane::TMode GetMode() const;
    korvane::TRange GetRange() const;
    void MessageChange();
    void VergleicheMessageDaten();

    // Selection and assignment.
    void ElementClicked(korvane::TImage* Sender);
    void Deselect();
    void Selektiere(korvane::TImage* ClickedImage);
    void CB_GroupChange();
    void CB_MessageNameChange();

    // Applying edits and the description.
    void bt_AenderungenUebernehmenClick();
    void Aenderungen_uebernehmen();
    void MemoDescriptionKeyUp();

    // Fills CB_MessageName with the messages of a group, none chosen.
    void FillMessageList(const QString& groupName);
    // Checks one range button (the others uncheck) without running its click.
    void SetRangeButton(korvane::TRange Range);
    // Captions over the two template edits for the chosen mode and the
    // selected element, in the current language; nothing while no mode is
    // chosen (an empty panel keeps them empty).
    void SetTemplateCaptions();
    // --- end of panel block ---

    // ---------------------------------------------------------------- RG_Mode access
    // RG_Mode is a group box of four radio buttons used like one radio group:
    // the index of the checked item, -1 for none. Setting the index does not
    // run RG_ModeClick (only the user's click does); -1 unchecks all four.
    int RG_ModeItemIndex() const;
    void SetRG_ModeItemIndex(int index);

    // ---------------------------------------------------------------- library
    // Opening another library file, and the configuration, group and message
    // menus (form_main_library.cpp).
    void Menu_Oeffnen_Click();
    void Menu_Neue_Konfiguration_Click();
    void Menu_Dupliziere_Konfiguration_Click();
    void Menu_Umbenenne_Konfiguration_Click();
    void Menu_Loesche_Konfiguration_Click();
    void Menu_Exportiere_Konfiguration_Click();
    void Menu_Neue_Gruppe_Click();
    void Menu_Dupliziere_Gruppe_Click();
    void Menu_Umbenenne_Gruppe_Click();
    void Menu_Loesche_Gruppe_Click();
    void Menu_Exportiere_Gruppe_Click();
    void Menu_Neue_Message_Click();
    void Menu_Dupliziere_Message_Click();
    void Menu_Umbenenne_Message_Click();
    void Menu_Loesche_Message_Click();
    void Menu_Schiebe_Message_In_Andere_Gruppe_Click();
    void Menu_Kopiere_Message_In_Andere_Gruppe_Click();
    // Edit menu: undo and redo of every change of the library.
    void Menu_Rueckgaengig_Click();
    void Menu_Wiederherstellen_Click();

    // ---------------------------------------------------------------- menus
    // One row of the menu table (form_main_menus.cpp).
    struct MenuRow;
    // The menu entry (or, for a menu, its menu action) of that objectName;
    // nullptr if the table has none.
    QAction* menuEntry(QStringView objectName) const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Clicks on the element pictures and the background, key releases in
    // the description.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ================================================================ state
    // The window's own state. Tests reach it through the one friend below
    // (tests/support/form_main_access.h); nothing else outside the window does.
    friend struct TFormMainTestAccess;
    QString language;  // "de" (default) or "en"
    std::unique_ptr<korvane::ConfigDocument> XMLkonfig;
    int GeradeSelektierteEingabeElementNummer = -1;
    korvane::TImage* LastElement = nullptr;
    korvane::TMessageRecord LetzteMessage{};
    QString glb_KonfigName;
    bool bMIDIinCreated = false;
    bool bMIDIoutCreated = false;
    // Web addresses of the help menu, set by Lokalisierung.
    QString URLhomepage;
    QString URLupdates;
    QString URLusersets;

    // Whether the panel shows a message (false while it is empty). The apply
    // button works only while it does: an empty panel must never be written
    // over the message that the lists still name.
    bool PanelShowsMessage = false;

    static std::span<const MenuRow> menuRows();
    // Builds the menu bar from the table, connects the handlers and enables
    // the entries that have one.
    void BuildMenu();
    // Sets the caption of every menu and entry of the table.
    void CaptionMenus(const QString& code);
    void BuildMap();
    void BuildPanel();
    void ConnectHandlers();
    // Sets every caption of the main window in language "de" or "en".
    void ApplyCaptions(const QString& code);
    // Brings the document in step with its file (reads it when another
    // program changed it or a save failed); on failure one error box names
    // the file and the parser's message, and false is returned.
    bool ReloadDocument();
    // Shows a failed load or save of the document as one error box.
    void ShowDocumentError(const korvane::DocumentStatus& status);
    // Library commands (form_main_library.cpp).
    QString LibraryText(std::string_view key) const;
    QString LibraryText(std::string_view key, std::initializer_list<QString> values) const;
    bool LibraryReady() const;
    // Records a change in the history, or shows why nothing changed. True
    // when the library changed or an export was written.
    bool TakeOutcome(const korvane::LibraryOutcome& outcome, const std::string& mergeKey = {});
    // Records a save made by SaveAndReload, given the file's bytes before
    // and after it.
    void RecordChange(const korvane::ConfigDocument::Commit& commit, const korvane::TableText& change,
                      const std::string& mergeKey);
    // Shows the background saves that failed (one box each) and brings the
    // lists in step with the file where another program changed it.
    void ReportWriteFailures();
    bool BackgroundSaving = false;
    std::optional<std::string> WorkingFileBytes() const;
    // Fills the lists from the document again, keeping the configuration,
    // group, message and element the user had chosen where they still exist.
    void RefreshLists();
    // Shows the message the lists name in the panel, assigning nothing.
    void ShowListedMessage();
    void ShowConfiguration(const QString& name);
    void ShowGroup(const QString& name);
    void ShowMessageOfGroup(const QString& name);
    // The group list's text, or nothing when it shows the no-assignment entry.
    QString CurrentGroup() const;
    bool MessageChosen();
    void MoveOrCopyMessage(bool move);
    // Names the next undo and redo in the Edit menu, in language code.
    void UpdateUndoMenu(const QString& code);
    void TravelHistory(bool back);
    void CreateMidiPorts();
    void BuildStatusBar();
    // One side of the port watch; true when it changed something.
    bool WatchInputPort(const QString& chosen);
    bool WatchOutputPort(const QString& chosen);
    QString FirmwareStatus;
    // Looks at the port lists every second and reopens a chosen port that
    // came back (a re-plugged cable, a restarted MIDI system or simulator).
    QTimer* TimerPortWatch = nullptr;
    // Fires when the version query's time is up without an answer.
    QTimer* TimerVersionAnswer = nullptr;
    // A save writes only the entries an edit changed, once the text of the
    // others is known. After the library was read, that text is prepared a
    // few entries at a time while the event loop is idle, so that the first
    // edit does not pay for all of it.
    void PrepareSaving();
    // The working document is read and parsed on a thread of its own while
    // the window is built; FormShow takes it unless the file changed in
    // between (a first run, for one, creates it only then).
    void StartReadingLibrary();
    std::future<korvane::ConfigDocument::ParsedFile> LibraryReadAhead;
    QTimer* PiecePreparation = nullptr;
    // Opens both ports on the remembered interfaces and routes their input
    // to the monitor window.
    void ConnectMidiPorts();
    // Hands a file or address to the desktop (or to the test's opener).
    void OpenWithDesktop(const QUrl& url);

    TFormMIDIMon* FormMIDIMon = nullptr;
    TFormMidiInterface* FormMidiInterface = nullptr;
    TFormMotorProfil* FormMotorProfil = nullptr;
    // The curves the motor profile editor works on; a fresh table at each
    // opening of the editor.
    std::unique_ptr<korvane::TMotorProfilTabelle> MotorProfilTabelle;
    QWidget* Form4 = nullptr;

    // The platform's MIDI service under the default ports; it must outlive
    // them, hence declared first.
    std::unique_ptr<korvane::MidiService> DefaultMidiService;
    // The port objects belong to the main window; the monitor window keeps
    // plain pointers to them.
    std::unique_ptr<korvane::TMidiInput> MidiInputPort;
    std::unique_ptr<korvane::TMidiOutput> MidiOutputPort;
    InputPortFactory MakeInputPort;
    OutputPortFactory MakeOutputPort;
    TransferStarter StartTransfer;
    UrlOpener OpenUrl;

    // The built action of each menu table row, by row (a menu's menu action).
    std::vector<QAction*> MenuActions;

    std::unique_ptr<korvane::SurfaceMap> Map;
    QString DataFolder;
    QString ProgramFolder;
    QString ProgramFolderOverride;
    bool ReloadErrorShown = false;
    // How deep the list refills are nested (a configuration refill runs a
    // group refill); the outermost one starts a new report of a broken file.
    int RefillDepth = 0;
    bool Shown = false;
    // The fetch from the device and the comparison view (form_main_readback.cpp).
    class ReadbackHost;
    std::shared_ptr<ReadbackHost> Readback;
    ReadbackHost& readback();
    // Undo and redo of the library's file.
    korvane::LibraryHistory History;
};
