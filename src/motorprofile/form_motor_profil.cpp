#include "form_motor_profil.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "dialogs.h"
#include "form_midimon.h"
#include "log_class.h"
#include "motor_profile_reading.h"
#include "texts.h"

using namespace korvane;

namespace {

QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QSettings openSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                     QStringLiteral("Korvane"));
}

const QString kSettingsKey = QStringLiteral("Motorprofil/Motorprofil");

template <typename T>
T* named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The client area paints the off-screen drawing; everything else on it is
// made of child widgets.
class Client : public QWidget {
public:
    explicit Client(TFormMotorProfil* form) : QWidget(form), form_(form) {}

protected:
    void paintEvent(QPaintEvent*) override {
        // Only the framed block is copied, one pixel inside the frame, so
        // the frame's own lines stay visible around it.
        const QRect bevel = form_->Bevel1->geometry();
        QPainter p(this);
        p.drawImage(QPoint(bevel.left() + 1, bevel.top() + 1), form_->SichtbarBMP,
                    QRect(bevel.left(), bevel.top(), bevel.width() - 1, bevel.height() - 2));
    }

private:
    TFormMotorProfil* form_;
};

}  // namespace

// ---- construction --------------------------------------------------------

TFormMotorProfil::TFormMotorProfil(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormMotorProfil"));
    FarbeHintergrund = QColor(255, 255, 255);
    FarbeVordergrund = QColor(0, 0, 0);
    FarbeRaster = QColor(204, 204, 204);
    BuildComponents();
    SendTimer = named(new QTimer(this), "SendTimer");
    SendTimer->setSingleShot(true);
    SendTimer->setInterval(kPacketPauseMs);
    connect(SendTimer, &QTimer::timeout, this, [this] { SendTimerTimer(); });
    Lokalisierung();
}

TFormMotorProfil::~TFormMotorProfil() = default;

void TFormMotorProfil::BuildComponents() {
    auto* bar = named(new QMenuBar(this), "MainMenu1");
    setMenuBar(bar);
    Menu_Motorprofil = named(bar->addMenu(QString()), "Menu_Motorprofil");
    Menu_Copy_ = named(Menu_Motorprofil->addAction(QString()), "Menu_Copy_");
    Menu_Save_ = named(Menu_Motorprofil->addAction(QString()), "Menu_Save_");
    Menu_SaveAs_ = named(Menu_Motorprofil->addAction(QString()), "Menu_SaveAs_");
    Menu_Delete_ = named(Menu_Motorprofil->addAction(QString()), "Menu_Delete_");
    Menu_Motorprofil->addSeparator();
    Menu_Close_ = named(Menu_Motorprofil->addAction(QString()), "Menu_Close_");
    connect(Menu_Copy_, &QAction::triggered, this, [this] { Menu_Copy_Click(); });
    connect(Menu_Save_, &QAction::triggered, this, [this] { Menu_Save_Click(); });
    connect(Menu_SaveAs_, &QAction::triggered, this, [this] { Menu_SaveAs_Click(); });
    connect(Menu_Delete_, &QAction::triggered, this, [this] { Menu_Delete_Click(); });
    connect(Menu_Close_, &QAction::triggered, this, [this] { Menu_Close_Click(); });

    client = named(new Client(this), "client");
    client->setFixedSize(780, 574);
    setCentralWidget(client);

    gb_SelectProfile = named(new QGroupBox(client), "gb_SelectProfile");
    gb_SelectProfile->setGeometry(8, 8, 289, 65);
    cb_MotorProfile = named(new QComboBox(gb_SelectProfile), "cb_MotorProfile");
    cb_MotorProfile->setEditable(false);
    cb_MotorProfile->setGeometry(16, 26, 257, 25);
    connect(cb_MotorProfile, &QComboBox::activated, this, [this](int) { cb_MotorProfileChange(); });

    gb_SendProfile = named(new QGroupBox(client), "gb_SendProfile");
    gb_SendProfile->setGeometry(304, 8, 473, 65);
    bt_Send = named(new QPushButton(gb_SendProfile), "bt_Send");
    bt_Send->setGeometry(24, 24, 81, 25);
    bt_Test = named(new QPushButton(gb_SendProfile), "bt_Test");
    bt_Test->setGeometry(120, 24, 81, 25);
    bt_Burn = named(new QPushButton(gb_SendProfile), "bt_Burn");
    bt_Burn->setGeometry(374, 24, 83, 25);
    bt_Burn->setEnabled(false);
    connect(bt_Send, &QPushButton::clicked, this, [this] { bt_SendClick(); });
    connect(bt_Test, &QPushButton::clicked, this, [this] { bt_TestClick(); });
    connect(bt_Burn, &QPushButton::clicked, this, [this] { bt_BurnClick(); });
    bt_Read = named(new QPushButton(gb_SendProfile), "bt_Read");
    bt_Read->setGeometry(216, 24, 121, 25);
    connect(bt_Read, &QPushButton::clicked, this, [this] { bt_ReadClick(); });

    gb_Faderauswahl = named(new QGroupBox(client), "gb_Faderauswahl");
    gb_Faderauswahl->setGeometry(8, 80, 129, 377);
    for (int i = 0; i < 10; ++i) {
        auto* panel = new QFrame(gb_Faderauswahl);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setGeometry(8, 24 + 24 * i, 113, 25);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Raised);
        panel->setAutoFillBackground(true);
        QPalette pal = panel->palette();
        pal.setColor(QPalette::Window, i < 9 ? GetProfilColor(i) : pal.color(QPalette::Button));
        panel->setPalette(pal);
        panel->setCursor(Qt::PointingHandCursor);
        panel->installEventFilter(this);
        Panels[static_cast<std::size_t>(i)] = panel;
        if (i < 9) {
            auto* label = new QLabel(fromUtf8(faderLabel(i)), panel);
            label->setObjectName(QStringLiteral("Label%1").arg(i + 8));
            // The fader's name reads the same in both languages.
            label->setProperty("korvaneData", true);
            label->move(8, 2);
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
            QPalette lp = label->palette();
            lp.setColor(QPalette::WindowText, Qt::white);
            label->setPalette(lp);
            label->installEventFilter(this);
            FaderLabels[static_cast<std::size_t>(i)] = label;
        } else {
            Panel10Caption = named(new QLabel(QStringLiteral("-"), panel), "Panel10Caption");
            Panel10Caption->setGeometry(0, 0, 113, 25);
            Panel10Caption->setAlignment(Qt::AlignCenter);
            Panel10Caption->installEventFilter(this);
        }
    }
    rb_ZeigeAlle = named(new QRadioButton(gb_Faderauswahl), "rb_ZeigeAlle");
    rb_ZeigeAlle->setGeometry(8, 276, 113, 21);
    rb_ZeigeSelektierten = named(new QRadioButton(gb_Faderauswahl), "rb_ZeigeSelektierten");
    rb_ZeigeSelektierten->setGeometry(8, 300, 113, 21);
    // The two pairs of radio buttons work as two groups of their own; each
    // click handler turns the other one off as the user expects.
    rb_ZeigeAlle->setAutoExclusive(false);
    rb_ZeigeSelektierten->setAutoExclusive(false);
    rb_ZeigeAlle->setChecked(true);
    connect(rb_ZeigeAlle, &QRadioButton::clicked, this, [this] { rb_ZeigeAlleClick(); });
    connect(rb_ZeigeSelektierten, &QRadioButton::clicked, this, [this] { rb_ZeigeSelektiertenClick(); });
    bt_CopyProfile = named(new QPushButton(gb_Faderauswahl), "bt_CopyProfile");
    bt_CopyProfile->setGeometry(8, 336, 113, 25);
    connect(bt_CopyProfile, &QPushButton::clicked, this, [this] { bt_CopyProfileClick(); });

    Bevel2 = named(new QFrame(client), "Bevel2");
    Bevel2->setGeometry(144, 85, 449, 372);
    Bevel2->setFrameShape(QFrame::Box);
    Bevel2->setFrameShadow(QFrame::Sunken);
    pn_Editor = named(new QLabel(client), "pn_Editor");
    pn_Editor->setGeometry(152, 78, 49, 15);
    pn_Editor->setAlignment(Qt::AlignCenter);
    pn_Editor->setAutoFillBackground(true);
    Bevel1 = named(new QFrame(client), "Bevel1");
    Bevel1->setGeometry(288, 104, 277, 277);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    // The frame only draws its lines; the drawing shows through it.
    Bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);

    lb_YAchse = named(new QLabel(client), "lb_YAchse");
    lb_YAchse->setGeometry(202, 104, 84, 34);
    lb_YAchse->setWordWrap(true);
    lb_YAchse->setAlignment(Qt::AlignRight | Qt::AlignTop);
    lb_XAchse = named(new QLabel(client), "lb_XAchse");
    lb_XAchse->setGeometry(476, 384, 110, 17);
    rb_monoton = named(new QRadioButton(client), "rb_monoton");
    rb_monoton->setGeometry(152, 360, 132, 21);
    rb_beliebig = named(new QRadioButton(client), "rb_beliebig");
    rb_beliebig->setGeometry(152, 384, 132, 21);
    // The captions have to fit between the frame's left edge and the
    // drawing area, in both languages.
    QFont narrow = rb_monoton->font();
    narrow.setPointSizeF(narrow.pointSizeF() * 0.85);
    for (QWidget* tight : {static_cast<QWidget*>(lb_YAchse), static_cast<QWidget*>(rb_monoton),
                           static_cast<QWidget*>(rb_beliebig)})
        tight->setFont(narrow);
    rb_monoton->setAutoExclusive(false);
    rb_beliebig->setAutoExclusive(false);
    rb_monoton->setChecked(true);
    connect(rb_monoton, &QRadioButton::clicked, this, [this] { rb_monotonClick(); });
    connect(rb_beliebig, &QRadioButton::clicked, this, [this] { rb_beliebigClick(); });

    gb_TabelleLinks = named(new QGroupBox(client), "gb_TabelleLinks");
    gb_TabelleLinks->setGeometry(600, 80, 81, 377);
    gb_TabelleRechts = named(new QGroupBox(client), "gb_TabelleRechts");
    gb_TabelleRechts->setGeometry(680, 80, 97, 377);
    for (int i = 0; i < 20; ++i) {
        const int row = i / 2;
        auto* edit = new QLineEdit(i % 2 == 0 ? gb_TabelleLinks : gb_TabelleRechts);
        edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        edit->setGeometry(16, 24 + 24 * row, 49, 21);
        edit->setProperty("tag", row);
        edit->setEnabled(false);
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { EditChange(edit); });
        Edits[static_cast<std::size_t>(i)] = edit;
    }

    gb_Positionierzeit = named(new QGroupBox(client), "gb_Positionierzeit");
    gb_Positionierzeit->setGeometry(8, 464, 769, 105);
    lb_Formel = named(new QLabel(gb_Positionierzeit), "lb_Formel");
    lb_Formel->setGeometry(16, 22, 360, 17);
    Label6 = named(new QLabel(QStringLiteral("tot"), gb_Positionierzeit), "Label6");
    // The subscript of the formula's t, a symbol in both languages.
    Label6->setProperty("korvaneData", true);
    QFont small = Label6->font();
    small.setPointSizeF(small.pointSizeF() * 0.75);
    Label6->setFont(small);
    Label6->setGeometry(24, 30, 24, 13);
    lb_Faktor = named(new QLabel(gb_Positionierzeit), "lb_Faktor");
    lb_Faktor->setGeometry(16, 48, 96, 21);
    lb_Faktor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edFaktor = named(new QLineEdit(gb_Positionierzeit), "edFaktor");
    edFaktor->setGeometry(116, 48, 49, 21);
    lb_Konstante = named(new QLabel(gb_Positionierzeit), "lb_Konstante");
    lb_Konstante->setGeometry(176, 48, 80, 21);
    lb_Konstante->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edKonstante = named(new QLineEdit(gb_Positionierzeit), "edKonstante");
    edKonstante->setGeometry(260, 48, 49, 21);
    lb_PosZeitInfo = named(new QLabel(gb_Positionierzeit), "lb_PosZeitInfo");
    lb_PosZeitInfo->setGeometry(336, 18, 417, 80);
    lb_PosZeitInfo->setWordWrap(true);
    lb_PosZeitInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The ten handles and the drawing exist for the whole life of the
    // window; showing it only sets them up again.
    PositionsOffsetX = Bevel1->x() + OffsetLinks;
    PositionsOffsetY = Bevel1->y() + OffsetOben;
    for (int i = 0; i < kMotorPointCount; ++i) {
        ProfilPunkte[static_cast<std::size_t>(i)] = std::make_unique<TVerschiebbarerPunkt>(
            this, QPoint(0, 0), i, i != 0, true, QPoint(PositionsOffsetX, PositionsOffsetY + 256),
            QPoint(PositionsOffsetX + 256, PositionsOffsetY));
    }
    SichtbarBMP = QImage(client->size(), QImage::Format_RGB32);
    SichtbarBMP.fill(palette().color(QPalette::Window));
    Neuzeichnen();
}

QString TFormMotorProfil::txt(const char* key) const {
    return fromUtf8(text(key, uiLanguage().toStdString()));
}

void TFormMotorProfil::Lokalisierung() {
    const std::string lang = uiLanguage().toStdString();
    // Any other code than the two of the table keeps the captions as they are.
    if (lang != "de" && lang != "en") {
        if (windowTitle().isEmpty()) setWindowTitle(fromUtf8(text("main.TFormMotorProfil", "de")));
        if (!Menu_Motorprofil->title().isEmpty()) return;
    }
    const std::string use = (lang == "en") ? "en" : "de";
    auto t = [&use](const char* key) { return fromUtf8(text(key, use)); };
    setWindowTitle(t("main.TFormMotorProfil"));
    Menu_Motorprofil->setTitle(t("motor.Menu_Motorprofil"));
    Menu_Copy_->setText(t("motor.Menu_Copy_"));
    Menu_Save_->setText(t("motor.Menu_Save_"));
    Menu_SaveAs_->setText(t("motor.Menu_SaveAs_"));
    Menu_Delete_->setText(t("motor.Menu_Delete_"));
    Menu_Close_->setText(t("motor.Menu_Close_"));
    gb_SelectProfile->setTitle(t("motor.gb_SelectProfile"));
    gb_SendProfile->setTitle(t("motor.gb_SendProfile"));
    bt_Send->setText(t("motor.bt_Send"));
    bt_Test->setText(t("motor.bt_Test"));
    bt_Burn->setText(t("motor.bt_Burn"));
    bt_Read->setText(t("motor.bt_Read"));
    gb_Faderauswahl->setTitle(t("motor.gb_Faderauswahl"));
    rb_ZeigeAlle->setText(t("motor.rb_ZeigeAlle"));
    rb_ZeigeSelektierten->setText(t("motor.rb_ZeigeSelektierten"));
    pn_Editor->setText(t("motor.pn_Editor"));
    lb_YAchse->setText(t("motor.lb_YAchse"));
    lb_XAchse->setText(t("motor.lb_XAchse"));
    rb_monoton->setText(t("motor.rb_monoton"));
    rb_beliebig->setText(t("motor.rb_beliebig"));
    gb_TabelleLinks->setTitle(t("motor.gb_TabelleLinks"));
    gb_TabelleRechts->setTitle(t("motor.gb_TabelleRechts"));
    gb_Positionierzeit->setTitle(t("motor.gb_Positionierzeit"));
    lb_Formel->setText(t("motor.lb_Formel"));
    lb_Faktor->setText(t("motor.lb_Faktor"));
    lb_Konstante->setText(t("motor.lb_Konstante"));
    lb_PosZeitInfo->setText(t("motor.lb_PosZeitInfo"));
    // The copy button and the last panel keep their copy-mode meaning.
    bt_CopyProfile->setText(t(bProfilKopieren ? "motor.cancelCopy" : "motor.copyProfile"));
    Panel10Caption->setText(bProfilKopieren ? t("motor.copyToAll") : QStringLiteral("-"));
}

void TFormMotorProfil::setProfileTable(TMotorProfilTabelle* table) {
    CancelSend();
    MotorProfilTabelle = table;
    Profilnummer = -1;
    ZeigeProfil(-1);
}

// ---- window events -------------------------------------------------------

template <typename F>
auto TFormMotorProfil::Box(F&& show) {
    ++boxDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{boxDepth_};
    return show(dialogs());
}

bool TFormMotorProfil::event(QEvent* e) {
    if (e->type() == QEvent::WindowDeactivate && boxDepth_ > 0) deactivatedForBox_ = true;
    if (e->type() == QEvent::WindowActivate) {
        // Closing one of this window's boxes hands the activation back; that
        // is no new activation and must not drop the user's edits.
        if (deactivatedForBox_) {
            deactivatedForBox_ = false;
        } else if (boxDepth_ == 0) {
            FormActivate();
        }
    }
    return QMainWindow::event(e);
}

void TFormMotorProfil::showEvent(QShowEvent* e) {
    FormShow();
    QMainWindow::showEvent(e);
}

void TFormMotorProfil::FormShow() {
    PositionsOffsetX = Bevel1->x() + OffsetLinks;
    PositionsOffsetY = Bevel1->y() + OffsetOben;
    QuantisierungX = 1;
    QuantisierungY = 32;
    bZeigeAuchInaktiveKurven = true;
    rb_ZeigeAlle->setChecked(true);
    rb_ZeigeSelektierten->setChecked(false);
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TFormMotorProfil::closeEvent(QCloseEvent* e) {
    CancelSend();
    if (reading_) SetReading(false);
    QMainWindow::closeEvent(e);
}

void TFormMotorProfil::hideEvent(QHideEvent* e) {
    // A window the program hides sends nothing more; one the user only
    // minimises goes on sending.
    if (!e->spontaneous()) {
        CancelSend();
        if (reading_) SetReading(false);
    }
    bMouseMoveInProgress = false;
    QMainWindow::hideEvent(e);
}

bool TFormMotorProfil::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < 10; ++i) {
            const QObject* panel = Panels[static_cast<std::size_t>(i)];
            const QObject* label = i < 9 ? static_cast<QObject*>(FaderLabels[static_cast<std::size_t>(i)])
                                         : static_cast<QObject*>(Panel10Caption);
            if (watched == panel || watched == label) {
                if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) FaderPanelClick(i);
                return true;
            }
        }
    }
    for (const auto& punkt : ProfilPunkte) {
        if (!punkt || watched != punkt->EmbeddedImage) continue;
        auto* me = static_cast<QMouseEvent*>(e);
        switch (e->type()) {
            case QEvent::MouseButtonPress:
                punkt->ImageMouseDown(me->button(), me->position().toPoint().x(),
                                      me->position().toPoint().y());
                return true;
            case QEvent::MouseMove:
                punkt->ImageMouseMove(punkt->EmbeddedImage->mapTo(client, me->position().toPoint()));
                return true;
            case QEvent::MouseButtonRelease:
                punkt->ImageMouseUp();
                return true;
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---- profile document ----------------------------------------------------

QString TFormMotorProfil::CurrentProfileName() const { return cb_MotorProfile->currentText(); }

void TFormMotorProfil::ShowDocumentFailure(const DocumentStatus& st) {
    if (st.ok()) return;
    const std::string message = st.message(uiLanguage().toStdString());
    LogError("motor profile document: " + message);
    Box([&](Dialogs& d) { d.error(fromUtf8(message)); });
}

bool TFormMotorProfil::OpenDocument() {
    const DocumentStatus st = XMLkonfig.open(DocumentFile.toStdString());
    if (!st.ok()) {
        ShowDocumentFailure(st);
        return false;
    }
    return true;
}

void TFormMotorProfil::FormActivate() {
    Profilnummer = -1;
    ZeigeProfil(-1);
    // No fader is selected any more, so copy mode has nothing to copy from.
    EndCopyMode();
    if (!OpenDocument()) {
        cb_MotorProfile->clear();
        return;
    }
    XML_HoleMotorProfile();
    const QString remembered = openSettings().value(kSettingsKey, QStringLiteral("default")).toString();
    cb_MotorProfile->setCurrentIndex(
        cb_MotorProfile->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive));
    cb_MotorProfileChange();
}

void TFormMotorProfil::XML_HoleMotorProfile() {
    if (XMLkonfig.fileName().empty() || !XMLkonfig.reload().ok()) {
        if (!XMLkonfig.isLoaded()) return;
    }
    QSignalBlocker block(cb_MotorProfile);
    cb_MotorProfile->clear();
    for (const std::string& name : XMLkonfig.profileNames()) cb_MotorProfile->addItem(fromUtf8(name));
    cb_MotorProfile->setCurrentIndex(cb_MotorProfile->count() > 0 ? 0 : -1);
}

void TFormMotorProfil::XMLProfilLaden(pugi::xml_node xml_Node_Message) {
    if (!xml_Node_Message || !MotorProfilTabelle) return;
    const PositioningTime time = MotorProfileDocument::XMLProfilLaden(xml_Node_Message, *MotorProfilTabelle);
    TotzeitFaktor = time.TotzeitFaktor;
    TotzeitKonstante = time.TotzeitKonstante;
    edFaktor->setText(QString::number(TotzeitFaktor));
    edKonstante->setText(QString::number(TotzeitKonstante));
    Profilnummer = -1;
    ZeigeProfil(-1);
}

void TFormMotorProfil::cb_MotorProfileChange() {
    const QString name = CurrentProfileName();
    if (XMLkonfig.isLoaded()) XMLProfilLaden(XMLkonfig.Finde_XML_ProfilByName(name.toStdString()));
    openSettings().setValue(kSettingsKey, name);
}

void TFormMotorProfil::SelectEntries(const QString& name) {
    // With the same name twice in the list the last one ends up chosen.
    for (int i = 0; i < cb_MotorProfile->count(); ++i)
        if (cb_MotorProfile->itemText(i) == name) cb_MotorProfile->setCurrentIndex(i);
}

void TFormMotorProfil::Menu_Save_Click() {
    if (!XMLkonfig.isLoaded() || !MotorProfilTabelle) return;
    const QString name = CurrentProfileName();
    if (name ==
        QLatin1String(kReservedProfileName.data(), static_cast<qsizetype>(kReservedProfileName.size()))) {
        Box([&](Dialogs& d) { d.message(fromUtf8(text("motor.saveDefaultRefused", "de"))); });
        // Nothing to write: the file stays exactly as it is.
        XMLkonfig.reload();
        return;
    }
    ShowDocumentFailure(XMLkonfig.saveProfile(name.toStdString(), *MotorProfilTabelle,
                                              edFaktor->text().toStdString(),
                                              edKonstante->text().toStdString()));
}

std::optional<QString> TFormMotorProfil::AskProfileName(const char* captionKey, const char* labelKey,
                                                        const QString& overwriteQuestion,
                                                        const QString& source, bool& exists) {
    const auto answer = Box([&](Dialogs& d) {
        return d.prompt(fromUtf8(text(captionKey, "de")), fromUtf8(text(labelKey, "de")), QString());
    });
    if (!answer) return std::nullopt;
    if (!source.isEmpty() && *answer == source) {
        // Overwriting the source would delete it before it is copied.
        Box([&](Dialogs& d) { d.error(txt("motor.copyOntoItself")); });
        return std::nullopt;
    }
    exists = cb_MotorProfile->findText(*answer, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
    if (exists && !Box([&](Dialogs& d) { return d.question(overwriteQuestion); })) return std::nullopt;
    return answer;
}

void TFormMotorProfil::ShowStoredProfile(const DocumentStatus& st, const QString& name) {
    if (!st.ok()) {
        // The file is as it was; the curves the user edited stay on screen.
        ShowDocumentFailure(st);
        return;
    }
    XML_HoleMotorProfile();
    SelectEntries(name);
    cb_MotorProfileChange();
}

void TFormMotorProfil::Menu_SaveAs_Click() {
    if (!XMLkonfig.isLoaded() || !MotorProfilTabelle) return;
    bool exists = false;
    const std::optional<QString> name =
        AskProfileName("motor.saveAsCaption", "motor.saveAsLabel", fromUtf8(text("motor.overwrite", "de")),
                       QString(), exists);
    if (!name) return;
    ShowStoredProfile(
        XMLkonfig.saveProfileAs(name->toStdString(), *MotorProfilTabelle, edFaktor->text().toStdString(),
                                edKonstante->text().toStdString(), exists),
        *name);
}

void TFormMotorProfil::Menu_Copy_Click() {
    if (!XMLkonfig.isLoaded()) return;
    const QString source = CurrentProfileName();
    if (source.isEmpty()) return;
    bool exists = false;
    const std::optional<QString> name =
        AskProfileName("motor.copyCaption", "motor.copyLabel", txt("motor.overwrite"), source, exists);
    if (!name) return;
    ShowStoredProfile(XMLkonfig.copyProfile(source.toStdString(), name->toStdString(), exists), *name);
}

void TFormMotorProfil::Menu_Delete_Click() {
    if (!XMLkonfig.isLoaded()) return;
    const QString name = CurrentProfileName();
    if (name ==
        QLatin1String(kReservedProfileName.data(), static_cast<qsizetype>(kReservedProfileName.size()))) {
        Box([&](Dialogs& d) { d.message(fromUtf8(text("motor.deleteDefaultRefused", "de"))); });
        return;
    }
    const QString question = fromUtf8(textWith("motor.deleteQuestion", "de", name.toStdString()));
    if (!Box([&](Dialogs& d) { return d.question(question); })) return;
    const DocumentStatus st = XMLkonfig.XML_LoescheMotorProfil(name.toStdString());
    if (!st.ok()) {
        ShowDocumentFailure(st);
        return;
    }
    XML_HoleMotorProfile();
    cb_MotorProfile->setCurrentIndex(cb_MotorProfile->count() > 0 ? 0 : -1);
    cb_MotorProfileChange();
}

void TFormMotorProfil::Menu_Close_Click() { close(); }

// ---- curve editor --------------------------------------------------------

QColor TFormMotorProfil::GetProfilColor(int Profilnummer) {
    static const QColor colours[kMotorFaderCount] = {
        QColor(255, 0, 0),   QColor(255, 204, 0), QColor(0, 217, 0),
        QColor(0, 128, 0),   QColor(0, 0, 255),   QColor(166, 202, 240),
        QColor(232, 0, 232), QColor(128, 0, 128), QColor(128, 128, 64),
    };
    if (Profilnummer < 0 || Profilnummer >= kMotorFaderCount) return QColor(0, 0, 0);
    return colours[Profilnummer];
}

void TFormMotorProfil::ZeigeProfil(int n) {
    if (n == -1 || !MotorProfilTabelle) {
        EditOnChangeToNIL();
        ClearEdits();
    } else {
        LeseProfilPunkteAusArray(n);
        EditOnChangeToNIL();
        TabelleVollstaendigAusgeben();
        EditOnChangeActivate();
    }
    Neuzeichnen();
}

void TFormMotorProfil::ClearEdits() {
    const bool attached = editHandlerAttached_;
    editHandlerAttached_ = false;
    for (QLineEdit* edit : Edits) {
        edit->clear();
        edit->setEnabled(false);
    }
    editHandlerAttached_ = attached;
}

void TFormMotorProfil::EditOnChangeActivate() {
    for (QLineEdit* edit : Edits) edit->setEnabled(true);
    editHandlerAttached_ = true;
}

void TFormMotorProfil::EditOnChangeToNIL() { editHandlerAttached_ = false; }

void TFormMotorProfil::EditChange(QLineEdit* sender) {
    if (!editHandlerAttached_ || !MotorProfilTabelle || Profilnummer < 0 || Profilnummer >= kMotorFaderCount)
        return;
    const int row = sender->property("tag").toInt();
    const auto point = static_cast<std::size_t>(9 - row);
    QLineEdit* left = Edits[static_cast<std::size_t>(2 * row)];
    QLineEdit* right = Edits[static_cast<std::size_t>(2 * row + 1)];
    auto& entry = MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(Profilnummer)];
    entry.Differenz[point] = parseInteger(left->text().toStdString()).value_or(256);
    // A typed step beyond what 32 bits hold in speed units is kept as the
    // largest that fits rather than wrapping into a plausible value.
    const std::int64_t step = parseInteger(right->text().toStdString()).value_or(8);
    entry.Geschwindigkeit[point] =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(step * QuantisierungY, INT32_MIN, INT32_MAX));
    ZeigeProfil(Profilnummer);
}

void TFormMotorProfil::WertePaarInEditsAusgeben(int Nummer, int x, int y) {
    if (Profilnummer < 0) {
        ClearEdits();
        return;
    }
    const int row = 9 - Nummer;
    Edits[static_cast<std::size_t>(2 * row)]->setText(QString::number(x));
    Edits[static_cast<std::size_t>(2 * row + 1)]->setText(QString::number(y / QuantisierungY));
}

void TFormMotorProfil::TabelleVollstaendigAusgeben() {
    if (Profilnummer < 0 || !MotorProfilTabelle) return;
    const auto& entry = MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(Profilnummer)];
    for (int i = 0; i < kMotorPointCount; ++i)
        WertePaarInEditsAusgeben(i, entry.Differenz[static_cast<std::size_t>(i)],
                                 entry.Geschwindigkeit[static_cast<std::size_t>(i)]);
}

void TFormMotorProfil::EndCopyMode() {
    bProfilKopieren = false;
    bt_CopyProfile->setText(txt("motor.copyProfile"));
    Panel10Caption->setText(QStringLiteral("-"));
}

void TFormMotorProfil::FaderPanelClick(int index) {
    if (index >= 0 && index < kMotorFaderCount && index != Profilnummer) {
        if (bProfilKopieren) {
            if (MotorProfilTabelle) CopyProfile(*MotorProfilTabelle, Profilnummer, index);
            EndCopyMode();
        }
        Profilnummer = index;
        GewaehlterFader = fromUtf8(faderLabel(index));
    } else if (index == 9) {
        if (bProfilKopieren) {
            if (MotorProfilTabelle) CopyProfile(*MotorProfilTabelle, Profilnummer, -1);
            EndCopyMode();
        } else {
            if (!rb_ZeigeAlle->isChecked()) {
                rb_ZeigeAlle->setChecked(true);
                rb_ZeigeAlleClick();
            }
            rb_ZeigeSelektierten->setChecked(false);
            Profilnummer = -1;
        }
    }
    ZeigeProfil(Profilnummer);
}

void TFormMotorProfil::bt_CopyProfileClick() {
    if (Profilnummer < 0) {
        Box([&](Dialogs& d) { d.error(txt("motor.copyNothingSelected")); });
        return;
    }
    if (bProfilKopieren) {
        EndCopyMode();
        return;
    }
    bt_CopyProfile->setText(txt("motor.cancelCopy"));
    Panel10Caption->setText(txt("motor.copyToAll"));
    bProfilKopieren = true;
}

void TFormMotorProfil::rb_ZeigeAlleClick() {
    rb_ZeigeAlle->setChecked(true);
    rb_ZeigeSelektierten->setChecked(false);
    bZeigeAuchInaktiveKurven = true;
    ZeigeProfil(Profilnummer);
}

void TFormMotorProfil::rb_ZeigeSelektiertenClick() {
    rb_ZeigeSelektierten->setChecked(true);
    rb_ZeigeAlle->setChecked(false);
    bZeigeAuchInaktiveKurven = false;
    ZeigeProfil(Profilnummer);
}

void TFormMotorProfil::rb_monotonClick() {
    rb_monoton->setChecked(true);
    rb_beliebig->setChecked(false);
}

void TFormMotorProfil::rb_beliebigClick() {
    rb_beliebig->setChecked(true);
    rb_monoton->setChecked(false);
}

// ---- sending -------------------------------------------------------------

void TFormMotorProfil::bt_SendClick() {
    if (sendInProgress() || reading_ || !MotorProfilTabelle) return;
    const bool canSend = SendBytes || (FormMIDIMon && FormMIDIMon->MIDIoutput1);
    if (!canSend) {
        Box([&](Dialogs& d) { d.error(txt("midi.noInterface")); });
        return;
    }
    if (const auto bad = firstValueOutsideByte(*MotorProfilTabelle)) {
        const std::string lang = uiLanguage().toStdString();
        const std::string what(text(bad->speed ? "motor.value.speed" : "motor.value.difference", lang));
        const std::string message = textWithAll(
            "motor.valueOutsideByte", lang,
            {faderLabel(bad->fader), std::to_string(bad->point + 1), what, std::to_string(bad->value)});
        LogWarning("motor profile not sent: " + message);
        Box([&](Dialogs& d) { d.error(fromUtf8(message)); });
        return;
    }
    // All nine packets are made from what the table and the edits hold at
    // the click, so the user cannot mix two states by typing during a send.
    const std::uint8_t factor = positioningTimeByte(edFaktor->text().toStdString());
    const std::uint8_t constant = positioningTimeByte(edKonstante->text().toStdString());
    pendingPackets_.clear();
    for (int f = 0; f < kMotorFaderCount; ++f)
        pendingPackets_.push_back(MotorProfilePacket(
            MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(f)], f, factor, constant));
    sendIndex_ = 0;
    bt_Send->setEnabled(false);
    bt_Burn->setEnabled(false);
    LogInfo("motor profile: sending nine packets");
    SendTimerTimer();
}

void TFormMotorProfil::SendTimerTimer() {
    if (sendIndex_ < 0) return;
    if (sendIndex_ < static_cast<int>(pendingPackets_.size())) {
        const ByteString& packet = pendingPackets_[static_cast<std::size_t>(sendIndex_)];
        const bool sent = SendBytes ? SendBytes(packet) : FormMIDIMon->MidiSend(packet);
        if (!sent) {
            LogError("motor profile: packet " + std::to_string(sendIndex_) + " was not taken by the port");
            CancelSend();
            Box([&](Dialogs& d) { d.error(txt("midi.noInterface")); });
            return;
        }
        ++sendIndex_;
        // The device takes a packet in before the next one may follow; the
        // window stays live meanwhile.
        SendTimer->start();
        return;
    }
    // The pause after the ninth packet is over: the send is complete.
    pendingPackets_.clear();
    sendIndex_ = -1;
    bt_Send->setEnabled(true);
    bt_Burn->setEnabled(true);
    LogInfo("motor profile: nine packets sent");
}

void TFormMotorProfil::CancelSend() {
    if (!sendInProgress()) return;
    if (SendTimer) SendTimer->stop();
    pendingPackets_.clear();
    sendIndex_ = -1;
    bt_Send->setEnabled(true);
    LogInfo("motor profile: send cancelled");
}

void TFormMotorProfil::bt_BurnClick() {
    bt_Burn->setEnabled(false);
    const ByteString commit = MotorProfileCommitPacket();
    if (SendBytes) {
        SendBytes(commit);
    } else if (FormMIDIMon) {
        FormMIDIMon->MidiSend(commit);
    }
}

void TFormMotorProfil::bt_TestClick() {
    const auto bytes = ParseHexText(kFaderTestHexText);
    if (!bytes) return;
    if (SendBytes) {
        SendBytes(*bytes);
    } else if (FormMIDIMon && FormMIDIMon->MIDIoutput1) {
        FormMIDIMon->MidiSend(*bytes);
    } else {
        Box([&](Dialogs& d) { d.error(txt("midi.noInterface")); });
    }
}

// ---- reading the device back ---------------------------------------------

void TFormMotorProfil::bt_ReadClick() {
    // A send in progress would have the device take packets while it dumps.
    if (reading_ || sendInProgress() || !XMLkonfig.isLoaded()) return;
    if (!FetchProfiles) {
        Box([&](Dialogs& d) { d.error(txt("midi.noInterface")); });
        return;
    }
    SetReading(true);
    QPointer<TFormMotorProfil> self(this);
    const std::string refused = FetchProfiles([self](const FetchResult& result) {
        if (self) self->ProfilesFetched(result);
    });
    if (!refused.empty()) {
        SetReading(false);
        // No ports is a fault to mend; a transfer or another read running
        // only asks the user to wait, as the main window says it.
        const QString message = txt(refused.c_str());
        Box([&](Dialogs& d) { refused == "midi.noInterface" ? d.error(message) : d.info(message); });
    }
}

void TFormMotorProfil::SetReading(bool reading) {
    reading_ = reading;
    bt_Read->setEnabled(!reading);
    bt_Send->setEnabled(!reading);
}

void TFormMotorProfil::ProfilesFetched(const FetchResult& result) {
    // The window was closed while the device was read: nobody waits for it.
    if (!reading_) {
        LogInfo("motor profiles read after the editor stopped waiting; dropped");
        return;
    }
    SetReading(false);
    const std::string lang = uiLanguage().toStdString();
    if (result.outcome != FetchResult::Outcome::Complete) {
        if (result.outcome == FetchResult::Outcome::NotRecognised)
            LogError("motor profile dump not recognised: " + result.detail);
        const FetchOutcomeBox box = fetchOutcomeBox(result.outcome);
        const QString message = fromUtf8(text(box.key, lang));
        switch (box.kind) {
            case FetchOutcomeBox::Kind::Message:
                Box([&](Dialogs& d) { d.message(message); });
                break;
            case FetchOutcomeBox::Kind::Info:
                Box([&](Dialogs& d) { d.info(message); });
                break;
            case FetchOutcomeBox::Kind::Error:
                Box([&](Dialogs& d) { d.error(message); });
                break;
            case FetchOutcomeBox::Kind::None:
                break;
        }
        return;
    }
    const MotorProfileReading reading = readMotorProfiles(result.dump);
    if (reading.problems == std::vector<ProfileReadProblem>{{ProfileReadProblem::Kind::NoProfiles, -1}}) {
        // A well-formed answer that holds nothing: there is nothing to refuse.
        Box([&](Dialogs& d) { d.info(txt("motor.read.noProfiles")); });
        return;
    }
    if (!reading.ok()) {
        const std::string problems = profileReadProblemsText(reading.problems, lang);
        LogError("motor profile dump not taken: " + profileReadProblemsText(reading.problems, "en"));
        Box([&](Dialogs& d) { d.error(fromUtf8(textWith("motor.read.notRecognised", lang, problems))); });
        return;
    }
    // Nothing is written before the user has named the new profile. A name
    // that cannot be used is asked again: the device need not be read anew.
    for (;;) {
        const auto answer = Box([&](Dialogs& d) {
            return d.prompt(txt("motor.read.caption"), txt("motor.read.label"), QString());
        });
        if (!answer) return;
        const QString name = answer->trimmed();
        if (name.isEmpty()) return;
        if (name ==
            QLatin1String(kReservedProfileName.data(), static_cast<qsizetype>(kReservedProfileName.size()))) {
            Box([&](Dialogs& d) { d.error(txt("motor.read.defaultRefused")); });
            continue;
        }
        const bool exists = cb_MotorProfile->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
        if (exists && !Box([&](Dialogs& d) { return d.question(txt("motor.overwrite")); })) continue;
        const DocumentStatus st =
            XMLkonfig.saveProfileAs(name.toStdString(), reading.table, std::to_string(reading.factor),
                                    std::to_string(reading.constant), exists);
        if (!st.ok()) {
            // The file is as it was; the profile on screen stays as well.
            ShowDocumentFailure(st);
            return;
        }
        LogInfo("motor profiles read from the device into profile '" + name.toStdString() + "'");
        XML_HoleMotorProfile();
        SelectEntries(name);
        cb_MotorProfileChange();
        return;
    }
}
