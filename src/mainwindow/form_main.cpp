// Construction and layout of the main window's components.
//
// The window has a fixed client area of 1012 x 692 pixels below its menu: the
// surface map fills the upper part, the lower part holds, from left to right,
// the configuration and message choice with the send controls, and the
// message editor. Positions are fixed like the map's, so every component
// stays where the user expects it in both languages.

#include "form_main.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QWheelEvent>

#include "form_main_texts.h"
#include "midi_in.h"
#include "midi_out.h"
#include "midi_service.h"

namespace {

constexpr int kClientWidth = 1012;
constexpr int kClientHeight = 692;

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The three lists only offer what the document holds; a wheel turned while
// the mouse passes over a list must not silently switch the configuration or
// reassign the selected element, so the lists ignore the wheel unless they
// are open.
class WheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// The maker's logo: a plain drawn word mark, clickable.
QPixmap drawLogo() {
    QPixmap logo(217, 65);
    logo.fill(Qt::transparent);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient back(0, 0, 0, 65);
    back.setColorAt(0, QColor(70, 70, 78));
    back.setColorAt(1, QColor(40, 40, 46));
    p.setPen(QPen(QColor(110, 110, 120), 1));
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0.5, 0.5, 216, 64), 8, 8);
    QFont f = p.font();
    f.setPixelSize(30);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(f);
    p.setPen(QColor(220, 220, 228));
    p.drawText(QRect(0, 0, 217, 48), Qt::AlignCenter, QStringLiteral("Quillon"));
    f.setPixelSize(11);
    f.setBold(false);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(f);
    p.setPen(QColor(150, 200, 150));
    p.drawText(QRect(0, 42, 217, 18), Qt::AlignCenter, QStringLiteral("Pellux3"));
    return logo;
}

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("FormMain"));
    StartReadingLibrary();
    FormCreate();

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    BuildMenu();
    BuildMap();
    BuildPanel();
    ConnectHandlers();

    // The designed captions are the German ones; Lokalisierung switches them
    // once the language has been read from the settings.
    ApplyCaptions(QStringLiteral("de"));
    setWindowTitle(trText("main.caption.start", QStringLiteral("de")));

    // No resizing and no maximise button: the map has fixed pixel positions.
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint |
                    Qt::WindowCloseButtonHint | Qt::WindowTitleHint) &
                   ~Qt::WindowMaximizeButtonHint);
    BuildStatusBar();
    adjustSize();
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormMain::BuildMap() {
    QWidget* client = centralWidget();
    GroupBoxMap = named(new QGroupBox(client), "GroupBoxMap");
    GroupBoxMap->setGeometry(4, 2, 1004, 422);

    pnBackground = named(new QWidget(GroupBoxMap), "pnBackground");
    pnBackground->move(4, 18);
    Map = std::make_unique<korvane::SurfaceMap>(pnBackground);
    pnBackground->installEventFilter(this);
    for (int n = 0; n < 64; ++n) EingabeElemente[static_cast<std::size_t>(n)] = Map->element(n);

    MemoDescription = named(new QPlainTextEdit(pnBackground), "MemoDescription");
    MemoDescription->setGeometry(korvane::kMemoX, korvane::kMemoY, korvane::kMemoWidth, korvane::kMemoHeight);
    MemoDescription->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: black; color: lime; border: 1px solid #505050; }"));
    MemoDescription->setTabChangesFocus(true);
    MemoDescription->installEventFilter(this);
}

void TFormMain::BuildPanel() {
    QWidget* client = centralWidget();
    constexpr int top = 428;
    constexpr int leftWidth = 330;

    // Configuration choice.
    GroupBoxKonfiguration = named(new QGroupBox(client), "GroupBoxKonfiguration");
    GroupBoxKonfiguration->setGeometry(4, top, leftWidth, 56);
    labelKonfiguration = named(new QLabel(GroupBoxKonfiguration), "labelKonfiguration");
    labelKonfiguration->setGeometry(10, 24, 90, 22);
    CB_Set = named(new QComboBox(GroupBoxKonfiguration), "CB_Set");
    CB_Set->setGeometry(100, 22, 220, 24);
    labelKonfiguration->setBuddy(CB_Set);

    // Message choice.
    gb_MessageAuswahl = named(new QGroupBox(client), "gb_MessageAuswahl");
    gb_MessageAuswahl->setGeometry(4, top + 60, leftWidth, 86);
    LabelGruppe = named(new QLabel(gb_MessageAuswahl), "LabelGruppe");
    LabelGruppe->setGeometry(10, 24, 90, 22);
    CB_Group = named(new QComboBox(gb_MessageAuswahl), "CB_Group");
    CB_Group->setGeometry(100, 22, 220, 24);
    LabelGruppe->setBuddy(CB_Group);
    Label3 = named(new QLabel(gb_MessageAuswahl), "Label3");
    Label3->setGeometry(10, 54, 90, 22);
    CB_MessageName = named(new QComboBox(gb_MessageAuswahl), "CB_MessageName");
    CB_MessageName->setGeometry(100, 52, 220, 24);
    Label3->setBuddy(CB_MessageName);

    auto* wheelGuard = new WheelGuard(this);
    for (QComboBox* list : {CB_Set, CB_Group, CB_MessageName}) {
        // Pick from the list only: a typed name would silently assign an
        // element to a message that does not exist.
        list->setEditable(false);
        list->setFocusPolicy(Qt::StrongFocus);
        list->installEventFilter(wheelGuard);
    }

    // Sending.
    btSend = named(new QPushButton(client), "btSend");
    btSend->setGeometry(4, top + 152, leftWidth, 30);
    ProgressBar1 = named(new QProgressBar(client), "ProgressBar1");
    ProgressBar1->setGeometry(4, top + 186, leftWidth, 12);
    ProgressBar1->setRange(0, 63);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    // The maker's logo.
    GroupBox1 = named(new QGroupBox(client), "GroupBox1");
    GroupBox1->setGeometry(4, top + 200, leftWidth, 62);
    Image_Quillon = named(new QLabel(GroupBox1), "Image_Quillon");
    Image_Quillon->setPixmap(drawLogo().scaledToHeight(52, Qt::SmoothTransformation));
    Image_Quillon->setGeometry((leftWidth - 174) / 2, 5, 174, 52);
    Image_Quillon->setCursor(Qt::PointingHandCursor);
    Image_Quillon->installEventFilter(this);

    // Message editor.
    gb_Message = named(new QGroupBox(client), "gb_Message");
    gb_Message->setGeometry(340, top, 668, 262);

    RG_Mode = named(new QGroupBox(gb_Message), "RG_Mode");
    RG_Mode->setGeometry(8, 20, 226, 132);
    for (int i = 0; i < 4; ++i) {
        auto* item = new QRadioButton(RG_Mode);
        item->setObjectName(QStringLiteral("RG_Mode_%1").arg(i));
        item->setGeometry(10, 8 + 30 * i, 212, 24);
        // The group behaves as one radio group, but the panel must also be
        // able to show no item at all, which an exclusive Qt group forbids;
        // exclusivity is therefore kept by SetRG_ModeItemIndex and the click
        // handler.
        item->setAutoExclusive(false);
        RG_ModeItems[static_cast<std::size_t>(i)] = item;
    }

    LabelLinksDruecken = named(new QLabel(gb_Message), "LabelLinksDruecken");
    LabelLinksDruecken->setGeometry(244, 18, 410, 20);
    Edit_MsgLeft = named(new QLineEdit(gb_Message), "Edit_MsgLeft");
    Edit_MsgLeft->setGeometry(244, 38, 414, 24);
    LabelLinksDruecken->setBuddy(Edit_MsgLeft);
    LabelRechtsLoslassen = named(new QLabel(gb_Message), "LabelRechtsLoslassen");
    LabelRechtsLoslassen->setGeometry(244, 66, 410, 20);
    Edit_MsgRight = named(new QLineEdit(gb_Message), "Edit_MsgRight");
    Edit_MsgRight->setGeometry(244, 86, 414, 24);
    LabelRechtsLoslassen->setBuddy(Edit_MsgRight);

    GroupBoxStellbereich = named(new QGroupBox(gb_Message), "GroupBoxStellbereich");
    GroupBoxStellbereich->setGeometry(244, 118, 352, 136);
    rb_Range_Full = named(new QRadioButton(GroupBoxStellbereich), "rb_Range_Full");
    rb_Range_Full->setGeometry(10, 24, 130, 24);
    rb_Range_Part = named(new QRadioButton(GroupBoxStellbereich), "rb_Range_Part");
    rb_Range_Part->setGeometry(10, 54, 130, 24);
    rb_Range_Percent = named(new QRadioButton(GroupBoxStellbereich), "rb_Range_Percent");
    rb_Range_Percent->setGeometry(10, 84, 130, 24);
    for (QRadioButton* rb : {rb_Range_Full, rb_Range_Part, rb_Range_Percent}) rb->setAutoExclusive(false);

    struct RangeRow {
        QLabel*& label;
        const char* labelName;
        QLineEdit*& edit;
        const char* editName;
        QLabel*& percent;
        const char* percentName;
    };
    const RangeRow rows[] = {
        {LabelMax, "LabelMax", Ed_Max, "Ed_Max", Lb_percent1, "Lb_percent1"},
        {LabelMin, "LabelMin", Ed_Min, "Ed_Min", Lb_percent2, "Lb_percent2"},
        {LabelStep, "LabelStep", Ed_Step, "Ed_Step", Lb_percent3, "Lb_percent3"},
        {Label1, "Label1", Ed_Start, "Ed_Start", Lb_percent4, "Lb_percent4"},
    };
    int y = 20;
    for (const RangeRow& row : rows) {
        row.label = named(new QLabel(GroupBoxStellbereich), row.labelName);
        row.label->setGeometry(148, y + 2, 92, 22);
        row.label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row.edit = named(new QLineEdit(GroupBoxStellbereich), row.editName);
        row.edit->setGeometry(246, y, 76, 24);
        row.label->setBuddy(row.edit);
        row.percent = named(new QLabel(GroupBoxStellbereich), row.percentName);
        row.percent->setGeometry(326, y + 2, 20, 22);
        y += 28;
    }

    bt_AenderungenUebernehmen = named(new QPushButton(gb_Message), "bt_AenderungenUebernehmen");
    bt_AenderungenUebernehmen->setGeometry(606, 204, 52, 48);
    bt_AenderungenUebernehmen->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    bt_AenderungenUebernehmen->setIconSize(QSize(28, 28));
    bt_AenderungenUebernehmen->setEnabled(false);
    // Outside a dialog Qt's buttons ignore Enter; here a focused button
    // answers it like Space, as buttons of this window always have.
    bt_AenderungenUebernehmen->setAutoDefault(true);
    btSend->setAutoDefault(true);

    // Tab order follows the work: configuration, group, message, mode,
    // templates, range, apply, send, description, then the map.
    QWidget* order[] = {CB_Set,
                        CB_Group,
                        CB_MessageName,
                        RG_ModeItems[0],
                        RG_ModeItems[1],
                        RG_ModeItems[2],
                        RG_ModeItems[3],
                        Edit_MsgLeft,
                        Edit_MsgRight,
                        rb_Range_Full,
                        rb_Range_Part,
                        rb_Range_Percent,
                        Ed_Max,
                        Ed_Min,
                        Ed_Step,
                        Ed_Start,
                        bt_AenderungenUebernehmen,
                        btSend,
                        MemoDescription};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    // The map continues the chain in its own walking order.
    QWidget* previous = MemoDescription;
    for (const int n : korvane::elementTabOrder()) {
        korvane::TImage* picture = EingabeElemente[static_cast<std::size_t>(n)];
        if (!picture) continue;
        setTabOrder(previous, picture);
        previous = picture;
    }
}

void TFormMain::ConnectHandlers() {
    // The lists react to the user's choice only; filling them from code runs
    // the handlers explicitly where needed.
    connect(CB_Set, &QComboBox::activated, this, [this](int) { CB_SetChange(); });
    connect(CB_Group, &QComboBox::activated, this, [this](int) { CB_GroupChange(); });
    connect(CB_MessageName, &QComboBox::activated, this, [this](int) { CB_MessageNameChange(); });

    // These radio buttons are not exclusive in Qt's sense, so a click on the
    // one already checked unchecks it (clicked(false)). That is no new
    // choice: it is checked again and nothing else happens, or its handler
    // would redraw the range edits from the stored message and throw away
    // what the user has typed there.
    for (std::size_t i = 0; i < RG_ModeItems.size(); ++i) {
        connect(RG_ModeItems[i], &QRadioButton::clicked, this, [this, i](bool checked) {
            SetRG_ModeItemIndex(static_cast<int>(i));
            if (checked) RG_ModeClick();
        });
    }
    connect(rb_Range_Full, &QRadioButton::clicked, this, [this](bool checked) {
        SetRangeButton(korvane::RANGE_FULL);
        if (checked) rb_Range_FullClick();
    });
    connect(rb_Range_Part, &QRadioButton::clicked, this, [this](bool checked) {
        SetRangeButton(korvane::RANGE_ABS);
        if (checked) rb_Range_PartClick();
    });
    connect(rb_Range_Percent, &QRadioButton::clicked, this, [this](bool checked) {
        SetRangeButton(korvane::RANGE_PERCENT);
        if (checked) rb_Range_PercentClick();
    });

    for (QLineEdit* edit : {Edit_MsgLeft, Edit_MsgRight, Ed_Min, Ed_Max, Ed_Step, Ed_Start}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { MessageChange(); });
        // Enter in an edit of the panel applies, as the apply button does, so
        // an edit can be finished without leaving the keyboard. While nothing
        // differs from the stored message there is nothing to apply.
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (bt_AenderungenUebernehmen->isEnabled()) bt_AenderungenUebernehmenClick();
        });
    }

    // Text reaches the description without a key as well: pasted or cut with
    // the mouse, dropped, undone from the context menu, committed by an input
    // method. Each such change is written like a typed one, or it would be
    // lost at the next change of configuration. Unchanged text writes nothing.
    connect(MemoDescription, &QPlainTextEdit::textChanged, this, [this] { MemoDescriptionKeyUp(); });

    connect(bt_AenderungenUebernehmen, &QPushButton::clicked, this,
            [this] { bt_AenderungenUebernehmenClick(); });
    connect(btSend, &QPushButton::clicked, this, [this] { btSendClick(); });

    for (korvane::TImage* picture : EingabeElemente) {
        if (!picture) continue;
        connect(picture, &korvane::TImage::clicked, this, [this, picture] { ElementClicked(picture); });
    }
}

int TFormMain::RG_ModeItemIndex() const {
    for (std::size_t i = 0; i < RG_ModeItems.size(); ++i)
        if (RG_ModeItems[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void TFormMain::SetRG_ModeItemIndex(int index) {
    for (std::size_t i = 0; i < RG_ModeItems.size(); ++i)
        RG_ModeItems[i]->setChecked(static_cast<int>(i) == index);
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnBackground && event->type() == QEvent::MouseButtonPress) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Deselect();
    } else if (watched == MemoDescription && event->type() == QEvent::KeyRelease) {
        // Auto-repeat sends releases for every repeated key; each one is a
        // key release of the memo as well, and the text did change.
        MemoDescriptionKeyUp();
    } else if (watched == Image_Quillon && event->type() == QEvent::MouseButtonRelease) {
        if (menuEntry(u"Menu_Quillon_Homepage_")->isEnabled()) Image_QuillonClick();
    }
    return QMainWindow::eventFilter(watched, event);
}
