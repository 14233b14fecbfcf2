#include "surface_map.h"

#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstdlib>
#include <typeinfo>

#include "surface_art.h"

namespace korvane {

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(QWidget* parent) : QWidget(parent) { setClickable(false); }

void TImage::setHint(const QString& hint) {
    hint_ = hint;
    // Hints separate their lines with "\n\r"; a tooltip would show the
    // carriage return as a stray glyph, so only the line feed is kept there.
    QString shown = hint;
    shown.remove(QLatin1Char('\r'));
    setToolTip(shown);
    setAccessibleName(shown.section(QLatin1Char('\n'), 0, 0));
    setAccessibleDescription(shown.section(QLatin1Char('\n'), 1));
}

void TImage::setPicture(const QPixmap& picture) {
    picture_ = picture;
    repaint();
}

void TImage::setClickable(bool clickable) {
    clickable_ = clickable;
    // Decoration lets clicks through to the panel beneath, so clicking a strip
    // plate deselects like clicking the bare background does.
    setAttribute(Qt::WA_TransparentForMouseEvents, !clickable);
    setFocusPolicy(clickable ? Qt::StrongFocus : Qt::NoFocus);
    if (clickable) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!picture_.isNull()) p.drawPixmap(0, 0, picture_);
    if (clickable_ && hasFocus()) {
        // Frame the visible image, not the whole picture: a fader picture is
        // taller than its image.
        QRect frame = rect();
        if (!picture_.isNull()) frame &= QRect(QPoint(0, 0), picture_.deviceIndependentSize().toSize());
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 204, 51), 2.0));
        p.drawRoundedRect(QRectF(frame).adjusted(1.0, 1.0, -1.0, -1.0), 2.0, 2.0);
    }
}

void TImage::mousePressEvent(QMouseEvent* event) {
    if (clickable_ && event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    if (clickable_ && event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        // Like a button: releasing outside the picture cancels the click.
        if (rect().contains(event->position().toPoint())) emit clicked();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TImage::keyPressEvent(QKeyEvent* event) {
    if (clickable_ && !event->isAutoRepeat() &&
        (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
         event->key() == Qt::Key_Select)) {
        event->accept();
        emit clicked();
        return;
    }
    if (clickable_) {
        if (TImage* next = nextElementPicture(this, event->key())) {
            event->accept();
            next->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TImage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TImage::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

// ---------------------------------------------------------------------------
// Image lists

ImageList::ImageList(QSize size, std::array<QPixmap, 4> images) : size_(size), images_(std::move(images)) {}

QPixmap ImageList::image(int index) const {
    if (index < 0 || index >= count()) return {};
    return images_[static_cast<std::size_t>(index)];
}

namespace {

// Built once and never freed: the pixmaps must outlive every picture that
// shares them, and freeing them after the application object is gone is not
// safe for every platform plugin.
const ImageList* makeList(QSize size, QPixmap (*draw)(TEingabeElementFarbe)) {
    return new ImageList(size, {draw(EEIMG_BLUE), draw(EEIMG_GREEN), draw(EEIMG_BLACK), draw(EEIMG_RED)});
}

}  // namespace

const ImageList& ImageListFader() {
    static const ImageList* list = makeList(QSize(28, 68), art::drawFader);
    return *list;
}

const ImageList& ImageListTaster() {
    static const ImageList* list = makeList(QSize(28, 20), art::drawTaster);
    return *list;
}

const ImageList& ImageListInk() {
    static const ImageList* list = makeList(QSize(32, 32), art::drawInk);
    return *list;
}

const ImageList& ImageListJog() {
    static const ImageList* list = makeList(QSize(177, 193), art::drawJog);
    return *list;
}

const ImageList& ImageListJogAussen() {
    static const ImageList* list = makeList(QSize(13, 13), art::drawJogMarker);
    return *list;
}

const ImageList* imageListForTag(int tag) {
    if ((tag >= 1 && tag <= 8) || tag == 64) return &ImageListFader();
    if (tag >= 9 && tag <= 28) return &ImageListTaster();
    if (tag >= 29 && tag <= 46) return &ImageListInk();
    if (tag == 47) return &ImageListJog();
    if (tag >= 48 && tag <= 63) return &ImageListJogAussen();
    return nullptr;
}

// ---------------------------------------------------------------------------
// Geometry

namespace {

std::array<ElementPicture, 64> buildTable() {
    std::array<ElementPicture, 64> table{};
    auto put = [&table](int element, const char* name, int x, int y, int w, int h) {
        table[static_cast<std::size_t>(element)] = ElementPicture{element, name, x, y, w, h};
    };

    static const char* const faders[9] = {"Fader1",    "ImgFader2", "ImgFader3", "ImgFader4", "ImgFader5",
                                          "ImgFader6", "ImgFader7", "ImgFader8", "ImgFaderM"};
    static const char* const keys[9] = {"ImgTaste1", "ImgTaste2", "ImgTaste3", "ImgTaste4", "ImgTaste5",
                                        "ImgTaste6", "ImgTaste7", "ImgTaste8", "ImgTasteM"};
    static const char* const upper[9] = {"ImgInk1o", "ImgInk2o", "ImgInk3o", "ImgInk4o", "ImgInk5o",
                                         "ImgInk6o", "ImgInk7o", "ImgInk8o", "ImgInkMo"};
    static const char* const lower[9] = {"ImgInk1u", "ImgInk2u", "ImgInk3u", "ImgInk4u", "ImgInk5u",
                                         "ImgInk6u", "ImgInk7u", "ImgInk8u", "ImgInkMu"};
    for (int k = 0; k < 9; ++k) {
        put(k, faders[k], 46 + 72 * k, 222, 28, 73);
        put(9 + k, keys[k], 11 + 72 * k, 128, 28, 20);
        // Strip 1 numbers its lower knob first; every other strip its upper one.
        put(k == 0 ? 30 : 29 + 2 * k, upper[k], 8 + 72 * k, 24, 33, 33);
        put(k == 0 ? 29 : 30 + 2 * k, lower[k], 8 + 72 * k, 72, 33, 33);
    }

    static const char* const functions[5] = {"ImgTasteF1", "ImgTasteF2", "ImgTasteF3", "ImgTasteF4",
                                             "ImgTasteF5"};
    for (int i = 0; i < 5; ++i) put(18 + i, functions[i], 687, 144 + 48 * i, 28, 20);

    static const char* const transport[6] = {"ImgTasteRew",  "ImgTasteForw", "ImgTastePlay",
                                             "ImgTasteStop", "ImgTasteRec",  "ImgTasteInt"};
    for (int i = 0; i < 6; ++i) put(23 + i, transport[i], 749 + 40 * i, 128, 28, 20);

    put(47, "ImgJogShuttle", 780, 170, 177, 193);

    struct Marker {
        int element;
        const char* name;
        int x, y;
    };
    static const Marker markers[16] = {
        {63, "JogWheel00", 860, 188}, {59, "JogWheel01", 876, 190}, {57, "JogWheel02", 892, 195},
        {61, "JogWheel03", 907, 204}, {53, "JogWheel04", 921, 215}, {49, "JogWheel05", 932, 229},
        {51, "JogWheel06", 938, 246}, {55, "JogWheel07", 939, 264}, {54, "JogWheelF8", 786, 281},
        {50, "JogWheelF9", 783, 264}, {48, "JogWheelFA", 785, 246}, {52, "JogWheelFB", 791, 229},
        {60, "JogWheelFC", 801, 215}, {56, "JogWheelFD", 814, 204}, {58, "JogWheelFE", 829, 195},
        {62, "JogWheelFF", 844, 190},
    };
    for (const Marker& m : markers) {
        // The -2 marker's picture is two pixels shorter than the others.
        put(m.element, m.name, m.x, m.y, 13, m.element == 58 ? 11 : 13);
    }
    return table;
}

constexpr std::array<int, 64> kTabOrder = {
    30, 29, 9,  0,  31, 32, 10, 1,  33, 34, 11, 2,  35, 36, 12, 3,  37, 38, 13, 4,  39, 40,
    14, 5,  41, 42, 15, 6,  43, 44, 16, 7,  45, 46, 17, 8,  18, 19, 20, 21, 22, 23, 24, 25,
    26, 27, 28, 47, 54, 50, 48, 52, 60, 56, 58, 62, 63, 59, 57, 61, 53, 49, 51, 55,
};

}  // namespace

const std::array<int, 64>& elementTabOrder() { return kTabOrder; }

const std::array<ElementPicture, 64>& elementPictures() {
    static const std::array<ElementPicture, 64> table = buildTable();
    return table;
}

// ---------------------------------------------------------------------------
// The map

SurfaceMap::SurfaceMap(QWidget* pnBackground) : background_(pnBackground) {
    background_->setFixedSize(kBackgroundWidth, kBackgroundHeight);
    QPalette palette = background_->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kBackgroundColour));
    background_->setPalette(palette);
    background_->setAutoFillBackground(true);

    // Creation order is stacking order: plates first, element pictures above
    // them, and the wheel position markers above the shuttle they lie on.
    auto decoration = [this](int number, const QPixmap& art, int x, int y) {
        auto* image = new TImage(background_);
        image->setObjectName(QStringLiteral("Image%1").arg(number));
        image->setGeometry(x, y, art.width(), art.height());
        image->setPicture(art);
        decorations_[static_cast<std::size_t>(number)] = image;
    };
    for (int k = 0; k < 9; ++k) decoration(k + 1, art::drawStrip(k), 4 + 72 * k, 0);
    decoration(10, art::drawFunctionPlate(), 665, 96);
    decoration(14, art::drawTransportPlate(), 738, 96);

    label5_ = new QLabel(QStringLiteral("Korvane Editor"), background_);
    label5_->setObjectName(QStringLiteral("Label5"));
    label5_->setProperty("Tag", 0);
    QFont font = label5_->font();
    font.setPixelSize(16);
    font.setBold(true);
    label5_->setFont(font);
    QPalette labelPalette = label5_->palette();
    labelPalette.setColor(QPalette::WindowText, QColor(150, 150, 150));
    label5_->setPalette(labelPalette);
    label5_->setAlignment(Qt::AlignCenter);
    label5_->setGeometry(768, 370, 200, 24);
    label5_->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    for (const ElementPicture& e : elementPictures()) {
        auto* image = new TImage(background_);
        image->setObjectName(QString::fromLatin1(e.name));
        image->setTag(e.element == 0 ? 64 : e.element);
        image->setGeometry(e.x, e.y, e.width, e.height);
        image->setClickable(true);
        elements_[static_cast<std::size_t>(e.element)] = image;
        EingabeElementFaerben(image, EEIMG_BLUE);
    }
    for (std::size_t i = 1; i < kTabOrder.size(); ++i) {
        QWidget::setTabOrder(elements_[static_cast<std::size_t>(kTabOrder[i - 1])],
                             elements_[static_cast<std::size_t>(kTabOrder[i])]);
    }
}

TImage* SurfaceMap::element(int number) const {
    if (number < 0 || number >= static_cast<int>(elements_.size())) return nullptr;
    return elements_[static_cast<std::size_t>(number)];
}

TImage* SurfaceMap::decoration(int imageNumber) const {
    if (imageNumber < 0 || imageNumber >= static_cast<int>(decorations_.size())) return nullptr;
    return decorations_[static_cast<std::size_t>(imageNumber)];
}

// ---------------------------------------------------------------------------
// Colouring, fader move, lookup

void EingabeElementFaerben(TImage* ImageToChange, TEingabeElementFarbe Farbe) {
    if (ImageToChange == nullptr) return;
    const ImageList* list = imageListForTag(ImageToChange->Tag());
    if (list == nullptr) return;
    const QPixmap image = list->image(static_cast<int>(Farbe));
    if (image.isNull()) return;
    // Recolouring the whole map after each change mostly finds the colour
    // already there; painting it again would only cost time.
    if (ImageToChange->picture().cacheKey() == image.cacheKey()) return;
    ImageToChange->setPicture(image);
}

int faderTop(int Value) {
    const int value = std::clamp(Value, 0, 16383);
    // trunc(222 - value * 167 / 16383) in whole numbers: the subtrahend is
    // rounded up, which truncates the (always positive) result.
    return 222 - (value * 167 + 16382) / 16383;
}

void SetFader(QObject* root, int Fadernummer, int Value) {
    if (Fadernummer < 0 || Fadernummer > 8) return;
    TImage* fader = Get_EingabeElement_By_Number(root, Fadernummer);
    if (fader == nullptr) return;
    fader->move(fader->x(), faderTop(Value));
}

TImage* nextElementPicture(const TImage* from, int arrowKey) {
    if (from == nullptr || from->parentWidget() == nullptr) return nullptr;
    // Unit vector of the direction, in widget coordinates (y grows downwards).
    int ax = 0, ay = 0;
    switch (arrowKey) {
        case Qt::Key_Left:
            ax = -1;
            break;
        case Qt::Key_Right:
            ax = 1;
            break;
        case Qt::Key_Up:
            ay = -1;
            break;
        case Qt::Key_Down:
            ay = 1;
            break;
        default:
            return nullptr;
    }
    // Doubled centres keep the arithmetic in whole numbers.
    const QRect g = from->geometry();
    const int fx = 2 * g.x() + g.width(), fy = 2 * g.y() + g.height();
    TImage* best = nullptr;
    long bestScore = 0;
    for (TImage* candidate : from->parentWidget()->findChildren<TImage*>(Qt::FindDirectChildrenOnly)) {
        if (candidate == from || !candidate->isClickable() || candidate->isHidden() ||
            !candidate->isEnabled())
            continue;
        const QRect c = candidate->geometry();
        const long dx = 2 * c.x() + c.width() - fx, dy = 2 * c.y() + c.height() - fy;
        const long ahead = dx * ax + dy * ay;
        const long aside = std::abs(dx * ay - dy * ax);
        // Only what lies ahead, and not so far to the side that the key
        // would read as the other arrow.
        if (ahead <= 0 || aside > 2 * ahead) continue;
        const long score = ahead + 2 * aside;
        if (best == nullptr || score < bestScore) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

TImage* Get_EingabeElement_By_Number(QObject* root, int EingabeElementNummer) {
    if (root == nullptr) return nullptr;
    const int wanted = EingabeElementNummer == 0 ? 64 : EingabeElementNummer;
    TImage* found = nullptr;
    const QList<TImage*> pictures = root->findChildren<TImage*>();
    for (TImage* picture : pictures) {
        // Only the plain picture class counts; a class derived from it is
        // some other control that merely reuses the painting. typeid also
        // tells apart a derived class that declares no meta object of its own.
        if (typeid(*picture) != typeid(TImage)) continue;
        if (picture->Tag() == wanted) found = picture;
    }
    return found;
}

}  // namespace korvane
