#pragma once
// The motor profile editor: choose a stored profile, shape the speed curves
// of the nine motor faders by dragging their points or typing into the value
// table, save the profile, send it to the device and have it stored there.
//
// The window is thin: the table, the fader text, the packets, the drag rules
// and the document commands live in the Qt-free core (motor_profile.h,
// motor_profile_document.h). Every box goes through korvane::dialogs().

#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "device_fetch.h"
#include "motor_profile.h"
#include "motor_profile_document.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;
class TFormMIDIMon;
class TFormMotorProfil;

// One of the ten handles on the drawing area: a 6 x 6 picture the user grabs.
class TVerschiebbarerPunkt {
public:
    TVerschiebbarerPunkt(TFormMotorProfil* Sender, QPoint Point, int Number, bool HorizontalVerschiebbar,
                         bool VertikalVerschiebbar, QPoint Grenze1, QPoint Grenze2);
    ~TVerschiebbarerPunkt();
    TVerschiebbarerPunkt(const TVerschiebbarerPunkt&) = delete;
    TVerschiebbarerPunkt& operator=(const TVerschiebbarerPunkt&) = delete;

    void SetPosition(QPoint Point);
    void ImageMouseDown(Qt::MouseButton button, int x, int y);
    // cursor: the mouse position in the editor's client coordinates.
    void ImageMouseMove(QPoint cursor);
    void ImageMouseUp();
    // Writes this point's current place into its table row.
    void TabellenWertepaarAusgeben();

    QLabel* EmbeddedImage = nullptr;
    QImage Picture;  // what EmbeddedImage shows
    QPoint Position;
    QPoint Versatz;
    int Nummer = 0;
    bool HorizontalVersch = true;
    bool VertikalVersch = true;
    QPoint Border1;
    QPoint Border2;

private:
    TFormMotorProfil* form_;
};

class TFormMotorProfil : public QMainWindow {
    Q_OBJECT

public:
    explicit TFormMotorProfil(QWidget* parent = nullptr);
    ~TFormMotorProfil() override;

    // ---- Set by the main window before it shows the editor. ----
    // The profile table (owned by the main window; replaced at each opening).
    void setProfileTable(korvane::TMotorProfilTabelle* table);
    korvane::TMotorProfilTabelle* profileTable() const { return MotorProfilTabelle; }
    // Full name of the motor profile document.
    QString DocumentFile;
    // The monitor window, whose output port carries what this window sends.
    TFormMIDIMon* FormMIDIMon = nullptr;
    // Where packets go; unset: FormMIDIMon->MidiSend. Tests capture here.
    std::function<bool(const korvane::ByteString&)> SendBytes;
    // Reads the device's motor profiles (the main window's fetch). Returns
    // the text key of why it did not start, empty when it started; done is
    // then called once with the fetch's result. Unset: no device to read.
    std::function<std::string(std::function<void(const korvane::FetchResult&)> done)> FetchProfiles;

    // Captions in korvane::uiLanguage().
    void Lokalisierung();

    // ---- Profile document ----
    void FormActivate();
    void XML_HoleMotorProfile();
    void XMLProfilLaden(pugi::xml_node xml_Node_Message);
    void cb_MotorProfileChange();
    void Menu_Save_Click();
    void Menu_SaveAs_Click();
    void Menu_Copy_Click();
    void Menu_Delete_Click();
    void Menu_Close_Click();

    // ---- Curve editor ----
    void ZeigeProfil(int Profilnummer);
    void LeseProfilPunkteAusArray(int Profilnummer);
    void ClearEdits();
    void EditOnChangeActivate();
    void EditOnChangeToNIL();
    void EditChange(QLineEdit* sender);
    void FaderPanelClick(int index);
    void bt_CopyProfileClick();
    void rb_ZeigeAlleClick();
    void rb_ZeigeSelektiertenClick();
    void rb_monotonClick();
    void rb_beliebigClick();
    static QColor GetProfilColor(int Profilnummer);
    void WertePaarInEditsAusgeben(int Nummer, int x, int y);
    void TabelleVollstaendigAusgeben();

    // ---- Drawing ----
    void InitialisiereZeichenflaeche();
    void ZeichneInaktiveKurven(int AktiveProfilnummer);
    void ZeichneInaktiveKurve(int Kurve);
    void ZeichneAktiveKurve();
    // The whole drawing: clear, grid and other curves, active curve.
    void Neuzeichnen();

    // ---- Sending ----
    void bt_SendClick();
    void bt_BurnClick();
    void bt_TestClick();
    // "Read from device": fetches the device's profiles and, once named,
    // stores them as a new profile.
    void bt_ReadClick();
    void ProfilesFetched(const korvane::FetchResult& result);
    bool readInProgress() const { return reading_; }
    // One step of a running send: the next packet, or the end of the send.
    void SendTimerTimer();
    bool sendInProgress() const { return !pendingPackets_.empty() || sendIndex_ >= 0; }
    // Stops a running send; bt_Burn stays as it was before the send.
    void CancelSend();

    // ---- State ----
    korvane::TMotorProfilTabelle* MotorProfilTabelle = nullptr;
    korvane::MotorProfileDocument XMLkonfig;
    std::int32_t TotzeitFaktor = 100;
    std::int32_t TotzeitKonstante = 100;
    int Profilnummer = -1;
    QString GewaehlterFader;
    std::array<std::unique_ptr<TVerschiebbarerPunkt>, korvane::kMotorPointCount> ProfilPunkte;
    bool bMouseMoveInProgress = false;
    bool bProfilKopieren = false;
    bool bZeigeAuchInaktiveKurven = true;
    QColor PenColor;
    QImage SichtbarBMP;

    int OffsetLinks = 10;
    int OffsetOben = 10;
    int PositionsOffsetX = 298;
    int PositionsOffsetY = 114;
    unsigned char QuantisierungX = 1;
    unsigned char QuantisierungY = 32;
    QColor FarbeHintergrund;
    QColor FarbeVordergrund;
    QColor FarbeRaster;

    // ---- Components (objectName = field name) ----
    QWidget* client = nullptr;
    QMenu* Menu_Motorprofil = nullptr;
    QAction* Menu_Copy_ = nullptr;
    QAction* Menu_Save_ = nullptr;
    QAction* Menu_SaveAs_ = nullptr;
    QAction* Menu_Delete_ = nullptr;
    QAction* Menu_Close_ = nullptr;
    QGroupBox* gb_SelectProfile = nullptr;
    QComboBox* cb_MotorProfile = nullptr;
    QGroupBox* gb_SendProfile = nullptr;
    QPushButton* bt_Send = nullptr;
    QPushButton* bt_Test = nullptr;
    QPushButton* bt_Burn = nullptr;
    QPushButton* bt_Read = nullptr;
    QGroupBox* gb_Faderauswahl = nullptr;
    std::array<QFrame*, 10> Panels{};      // Panel1 ... Panel10
    std::array<QLabel*, 9> FaderLabels{};  // Label8 ... Label16
    QLabel* Panel10Caption = nullptr;
    QRadioButton* rb_ZeigeAlle = nullptr;
    QRadioButton* rb_ZeigeSelektierten = nullptr;
    QPushButton* bt_CopyProfile = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel* pn_Editor = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* lb_YAchse = nullptr;
    QLabel* lb_XAchse = nullptr;
    QRadioButton* rb_monoton = nullptr;
    QRadioButton* rb_beliebig = nullptr;
    QGroupBox* gb_TabelleLinks = nullptr;
    QGroupBox* gb_TabelleRechts = nullptr;
    std::array<QLineEdit*, 20> Edits{};  // Edit1 ... Edit20
    QGroupBox* gb_Positionierzeit = nullptr;
    QLabel* lb_Formel = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lb_Faktor = nullptr;
    QLineEdit* edFaktor = nullptr;
    QLabel* lb_Konstante = nullptr;
    QLineEdit* edKonstante = nullptr;
    QLabel* lb_PosZeitInfo = nullptr;
    QTimer* SendTimer = nullptr;

    // Pause between two profile packets: the device needs it to take one in.
    static constexpr int kPacketPauseMs = 100;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void BuildComponents();
    void FormShow();
    QString txt(const char* key) const;
    QString CurrentProfileName() const;
    void SelectEntries(const QString& name);
    void EndCopyMode();
    void ShowDocumentFailure(const korvane::DocumentStatus& st);
    // Asks for the name a profile is to be stored under; nullopt when the
    // user cancels, names source (a copy onto itself), or does not want the
    // profile of that name overwritten. exists tells whether there is one.
    std::optional<QString> AskProfileName(const char* captionKey, const char* labelKey,
                                          const QString& overwriteQuestion, const QString& source,
                                          bool& exists);
    // After a profile was stored under name: the lists show it chosen, or
    // the failure is told.
    void ShowStoredProfile(const korvane::DocumentStatus& st, const QString& name);
    bool OpenDocument();
    // A box of this window is open: the activation it hands back on closing
    // is no new activation.
    template <typename F>
    auto Box(F&& show);
    int faderOfRow(QLineEdit* sender, int& row) const;
    // While the device is read, Read and Send wait.
    void SetReading(bool reading);

    bool editHandlerAttached_ = false;
    int boxDepth_ = 0;
    bool deactivatedForBox_ = false;
    std::vector<korvane::ByteString> pendingPackets_;
    int sendIndex_ = -1;
    bool reading_ = false;
};
