#pragma once
// The surface map: a drawn picture of the control surface on which every one
// of the 64 input elements is a clickable picture of its own.
//
// This header gives the main window everything it needs to put the map on its
// background panel: the plain picture class TImage, the four colour states,
// the five pre-rendered image lists, the builder that lays out the decorative
// artwork and the 64 element pictures at their fixed places, the colouring
// helper, the fader move, and the tag lookup of an element's picture.

#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <array>

class QLabel;

namespace korvane {

// Colour state of an element picture. The value is the image index in every
// image list, so it must not be reordered.
enum TEingabeElementFarbe : quint16 {
    EEIMG_BLUE = 0,   // the current configuration does not assign the element
    EEIMG_GREEN = 1,  // the element is selected
    EEIMG_BLACK = 2,  // assigned, and its message exists
    EEIMG_RED = 3,    // assigned, but its message or group is missing
};

// The plain picture class of the map. Shows its picture unscaled at its top
// left corner, so a picture larger than its image (a 28x73 fader showing a
// 28x68 image) leaves the rest transparent. Carries an integer Tag (0 for the
// decoration, the element number for element pictures, 64 for element 0).
//
// Element pictures are focusable: Tab walks over them, the arrow keys move
// the focus to the nearest element picture in that direction, Space or Enter
// acts like a left click, and a focus frame is drawn while one has the focus.
class TImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE setTag)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)

public:
    explicit TImage(QWidget* parent = nullptr);

    int Tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // The hint exactly as set (line breaks "\n\r" included); the tooltip
    // shows it with the carriage returns dropped.
    QString Hint() const { return hint_; }
    void setHint(const QString& hint);

    // Replaces the shown picture and repaints at once.
    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }

    // Whether the picture reacts to clicks and keys and takes the focus.
    // Decorative pictures are not clickable: their clicks fall through to
    // the panel beneath.
    void setClickable(bool clickable);
    bool isClickable() const { return clickable_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int tag_ = 0;
    QString hint_;
    QPixmap picture_;
    bool clickable_ = false;
    bool pressed_ = false;
};

// Four images of one size, one per colour state (index = TEingabeElementFarbe).
class ImageList {
public:
    ImageList(QSize size, std::array<QPixmap, 4> images);
    QSize size() const { return size_; }
    int count() const { return 4; }
    // The image of a state; a null pixmap for an index outside 0..3.
    QPixmap image(int index) const;

private:
    QSize size_;
    std::array<QPixmap, 4> images_;
};

// The five lists, drawn once on first use and kept for the whole run (needs a
// QGuiApplication). Faders 28x68, buttons 28x20, encoders 32x32, jog shuttle
// 177x193, jog-wheel position markers 13x13.
const ImageList& ImageListFader();
const ImageList& ImageListTaster();
const ImageList& ImageListInk();
const ImageList& ImageListJog();
const ImageList& ImageListJogAussen();

// The list that colours a picture with this tag: 1..8 or 64 faders, 9..28
// buttons, 29..46 encoders, 47 jog shuttle, 48..63 jog-wheel positions;
// nullptr for any other tag, so a decoration (Tag 0) is never coloured.
const ImageList* imageListForTag(int tag);

// Place and name of one element picture on the background panel.
struct ElementPicture {
    int element;       // element number 0..63
    const char* name;  // component name, also the objectName
    int x, y, width, height;
};

// The 64 element pictures, indexed by element number.
const std::array<ElementPicture, 64>& elementPictures();

// Element numbers in the order the keyboard walks the map: strip by strip
// (upper knob, lower knob, key, fader), the function keys, the transport
// keys, the shuttle, then the wheel positions around the ring from -8 to +7.
// SurfaceMap sets this focus chain; a window that chains its own controls in
// front of the map can continue with it.
const std::array<int, 64>& elementTabOrder();

// Size and colour of the background panel the map is built on.
inline constexpr int kBackgroundWidth = 995;
inline constexpr int kBackgroundHeight = 401;
inline constexpr QRgb kBackgroundColour = 0xff3c3c3c;  // RGB(60, 60, 60)

// Where the main window puts its description memo; the map leaves it free.
inline constexpr int kMemoX = 668, kMemoY = 8, kMemoWidth = 321, kMemoHeight = 81;

// Builds the map on the given panel (which gets its fixed size 995x401 and
// its background colour): the decorative pictures Image1..Image9, Image10,
// Image14 and Label5 (Tag 0, not clickable), then the 64 element pictures,
// each a clickable TImage with objectName = component name, Tag = element
// number (64 for element 0), coloured EEIMG_BLUE until the main window
// colours them. The panel owns every widget created here.
class SurfaceMap {
public:
    explicit SurfaceMap(QWidget* pnBackground);

    QWidget* background() const { return background_; }
    // The picture of an element 0..63, nullptr otherwise.
    TImage* element(int number) const;
    const std::array<TImage*, 64>& elements() const { return elements_; }
    // Decorative pictures: 1..9 strips, 10 function keys, 14 transport keys.
    TImage* decoration(int imageNumber) const;
    QLabel* label5() const { return label5_; }

private:
    QWidget* background_;
    std::array<TImage*, 64> elements_{};
    std::array<TImage*, 15> decorations_{};
    QLabel* label5_ = nullptr;
};

// Copies image Farbe of the list chosen by the picture's tag into the
// picture and repaints it. Nothing for no picture, a tag without a list, or
// a state outside the four.
void EingabeElementFaerben(TImage* ImageToChange, TEingabeElementFarbe Farbe);

// Top edge of a fader picture for a 14-bit value: trunc(222 - Value/16383*167),
// Value clamped to 0..16383 (0 gives 222, 16383 gives 55).
int faderTop(int Value);

// Moves the picture of fader Fadernummer (0..8) found under root to faderTop(Value).
// Nothing for another element number or when no such picture exists.
void SetFader(QObject* root, int Fadernummer, int Value);

// The element picture an arrow key moves the focus to from picture from:
// among the clickable, visible and enabled pictures beside it, the nearest
// whose centre lies ahead within a cone of about 63 degrees to either side,
// sideways distance counting twice. nullptr when there is none (the edge of
// the map) or for a key other than the four arrows.
TImage* nextElementPicture(const TImage* from, int arrowKey);

// The picture of an element under root: among all descendants whose class is
// exactly TImage (not derived from it), the last whose Tag equals the element
// number, 64 standing for element 0. nullptr when none has that tag.
TImage* Get_EingabeElement_By_Number(QObject* root, int EingabeElementNummer);

}  // namespace korvane
