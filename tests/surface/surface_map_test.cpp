// Surface map: layout of the element pictures, the image lists, colouring,
// the fader move and the tag lookup.

#include "surface_map.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

using namespace korvane;

namespace {

// Where every element picture must lie, written out row by row from the
// layout of the device picture rather than computed the way the map does.
struct Expected {
    const char* name;
    int element;
    int x, y, width, height;
};

const Expected kLayout[64] = {
    {"Fader1", 0, 46, 222, 28, 73},         {"ImgFader2", 1, 118, 222, 28, 73},
    {"ImgFader3", 2, 190, 222, 28, 73},     {"ImgFader4", 3, 262, 222, 28, 73},
    {"ImgFader5", 4, 334, 222, 28, 73},     {"ImgFader6", 5, 406, 222, 28, 73},
    {"ImgFader7", 6, 478, 222, 28, 73},     {"ImgFader8", 7, 550, 222, 28, 73},
    {"ImgFaderM", 8, 622, 222, 28, 73},     {"ImgTaste1", 9, 11, 128, 28, 20},
    {"ImgTaste2", 10, 83, 128, 28, 20},     {"ImgTaste3", 11, 155, 128, 28, 20},
    {"ImgTaste4", 12, 227, 128, 28, 20},    {"ImgTaste5", 13, 299, 128, 28, 20},
    {"ImgTaste6", 14, 371, 128, 28, 20},    {"ImgTaste7", 15, 443, 128, 28, 20},
    {"ImgTaste8", 16, 515, 128, 28, 20},    {"ImgTasteM", 17, 587, 128, 28, 20},
    {"ImgInk1o", 30, 8, 24, 33, 33},        {"ImgInk1u", 29, 8, 72, 33, 33},
    {"ImgInk2o", 31, 80, 24, 33, 33},       {"ImgInk2u", 32, 80, 72, 33, 33},
    {"ImgInk3o", 33, 152, 24, 33, 33},      {"ImgInk3u", 34, 152, 72, 33, 33},
    {"ImgInk4o", 35, 224, 24, 33, 33},      {"ImgInk4u", 36, 224, 72, 33, 33},
    {"ImgInk5o", 37, 296, 24, 33, 33},      {"ImgInk5u", 38, 296, 72, 33, 33},
    {"ImgInk6o", 39, 368, 24, 33, 33},      {"ImgInk6u", 40, 368, 72, 33, 33},
    {"ImgInk7o", 41, 440, 24, 33, 33},      {"ImgInk7u", 42, 440, 72, 33, 33},
    {"ImgInk8o", 43, 512, 24, 33, 33},      {"ImgInk8u", 44, 512, 72, 33, 33},
    {"ImgInkMo", 45, 584, 24, 33, 33},      {"ImgInkMu", 46, 584, 72, 33, 33},
    {"ImgTasteF1", 18, 687, 144, 28, 20},   {"ImgTasteF2", 19, 687, 192, 28, 20},
    {"ImgTasteF3", 20, 687, 240, 28, 20},   {"ImgTasteF4", 21, 687, 288, 28, 20},
    {"ImgTasteF5", 22, 687, 336, 28, 20},   {"ImgTasteRew", 23, 749, 128, 28, 20},
    {"ImgTasteForw", 24, 789, 128, 28, 20}, {"ImgTastePlay", 25, 829, 128, 28, 20},
    {"ImgTasteStop", 26, 869, 128, 28, 20}, {"ImgTasteRec", 27, 909, 128, 28, 20},
    {"ImgTasteInt", 28, 949, 128, 28, 20},  {"ImgJogShuttle", 47, 780, 170, 177, 193},
    {"JogWheel00", 63, 860, 188, 13, 13},   {"JogWheelF8", 54, 786, 281, 13, 13},
    {"JogWheel01", 59, 876, 190, 13, 13},   {"JogWheelF9", 50, 783, 264, 13, 13},
    {"JogWheel02", 57, 892, 195, 13, 13},   {"JogWheelFA", 48, 785, 246, 13, 13},
    {"JogWheel03", 61, 907, 204, 13, 13},   {"JogWheelFB", 52, 791, 229, 13, 13},
    {"JogWheel04", 53, 921, 215, 13, 13},   {"JogWheelFC", 60, 801, 215, 13, 13},
    {"JogWheel05", 49, 932, 229, 13, 13},   {"JogWheelFD", 56, 814, 204, 13, 13},
    {"JogWheel06", 51, 938, 246, 13, 13},   {"JogWheelFE", 58, 829, 195, 13, 11},
    {"JogWheel07", 55, 939, 264, 13, 13},   {"JogWheelFF", 62, 844, 190, 13, 13},
};

// A control that reuses the picture class; the lookup must not take it for
// an element picture. It deliberately declares no meta object of its own.
class DerivedImage : public TImage {
public:
    using TImage::TImage;
};

// Counts the mouse presses an object receives itself.
class PressCounter : public QObject {
public:
    int presses = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) ++presses;
        return false;
    }
};

// Which of the four colours an image shows: the hue most of its strongly
// coloured pixels have, or black when hardly any pixel is coloured.
TEingabeElementFarbe dominantColour(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0, red = 0, green = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() < 200) continue;
            ++opaque;
            if (c.hsvSaturationF() < 0.45 || c.valueF() < 0.3) continue;
            const int hue = c.hsvHue();
            if (hue < 20 || hue > 340) ++red;
            if (hue >= 90 && hue <= 160) ++green;
            if (hue >= 190 && hue <= 250) ++blue;
        }
    }
    if ((red + green + blue) * 10 < opaque) return EEIMG_BLACK;
    if (red > green && red > blue) return EEIMG_RED;
    return green > blue ? EEIMG_GREEN : EEIMG_BLUE;
}

// Renders a widget alone onto a transparent canvas (no parent background).
QImage renderAlone(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

}  // namespace

class SurfaceMapTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        window_ = std::make_unique<QWidget>();
        panel_ = new QWidget(window_.get());
        map_ = std::make_unique<SurfaceMap>(panel_);
    }
    void cleanup() {
        map_.reset();
        window_.reset();
    }

    void elementPicturesLieWhereTheDeviceHasThem() {
        QSet<QString> seen;
        for (const Expected& e : kLayout) {
            const QString name = QString::fromLatin1(e.name);
            auto* picture = panel_->findChild<TImage*>(name);
            QVERIFY2(picture != nullptr, e.name);
            QCOMPARE(picture->geometry(), QRect(e.x, e.y, e.width, e.height));
            QCOMPARE(picture->Tag(), e.element == 0 ? 64 : e.element);
            QCOMPARE(map_->element(e.element), picture);
            QVERIFY2(picture->isClickable(), e.name);
            QVERIFY(!seen.contains(name));
            seen.insert(name);
        }
        QCOMPARE(map_->element(64), nullptr);
        QCOMPARE(map_->element(-1), nullptr);
    }

    void decorationFramesTheElementsAndLeavesTheMemoFree() {
        QCOMPARE(panel_->size(), QSize(995, 401));
        QCOMPARE(panel_->palette().color(QPalette::Window), QColor(60, 60, 60));
        struct Plate {
            int number;
            QRect rect;
        };
        const Plate plates[] = {
            {1, {4, 0, 81, 401}},     {2, {76, 0, 81, 401}},    {3, {148, 0, 81, 401}},
            {4, {220, 0, 81, 401}},   {5, {292, 0, 81, 401}},   {6, {364, 0, 81, 401}},
            {7, {436, 0, 81, 401}},   {8, {508, 0, 81, 401}},   {9, {580, 0, 81, 401}},
            {10, {665, 96, 70, 291}}, {14, {738, 96, 257, 74}},
        };
        for (const Plate& plate : plates) {
            auto* image = panel_->findChild<TImage*>(QStringLiteral("Image%1").arg(plate.number));
            QVERIFY(image != nullptr);
            QCOMPARE(image->geometry(), plate.rect);
            QCOMPARE(image->Tag(), 0);
            QVERIFY(!image->isClickable());
            QCOMPARE(image->picture().size(), plate.rect.size());
        }
        auto* label = panel_->findChild<QLabel*>(QStringLiteral("Label5"));
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), QStringLiteral("Korvane Editor"));
        QVERIFY(label->font().bold());

        const QRect memo(668, 8, 321, 81);
        for (QWidget* child : panel_->findChildren<QWidget*>()) {
            QVERIFY2(!child->geometry().intersects(memo), qPrintable(child->objectName()));
        }
        // Every element picture lies on the panel and above all plates.
        const QList<QObject*> order = panel_->children();
        for (TImage* picture : map_->elements()) {
            QVERIFY(panel_->rect().contains(picture->geometry()));
            QVERIFY(order.indexOf(picture) > order.indexOf(map_->decoration(14)));
        }
        QVERIFY(order.indexOf(map_->element(47)) < order.indexOf(map_->element(63)));
    }

    void lookupByNumberFollowsTheTagRule() {
        TImage* fader1 = map_->element(0);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 0), fader1);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 64), fader1);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 63)->objectName(), QStringLiteral("JogWheel00"));
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 65), nullptr);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), -1), nullptr);
        QCOMPARE(Get_EingabeElement_By_Number(nullptr, 3), nullptr);

        // A derived picture with the same tag is ignored, even when it comes last.
        auto* derived = new DerivedImage(panel_);
        derived->setTag(5);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 5), map_->element(5));
        // Among plain pictures the last one with the tag wins.
        auto* later = new TImage(panel_);
        later->setTag(5);
        auto* derivedAgain = new DerivedImage(panel_);
        derivedAgain->setTag(5);
        QCOMPARE(Get_EingabeElement_By_Number(window_.get(), 5), later);
        // Decorations carry tag 0, which never stands for an element.
        QVERIFY(Get_EingabeElement_By_Number(window_.get(), 0) != map_->decoration(1));
    }

    void imageListsHaveTheirSizesAndFourDistinctColours_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QSize>("size");
        QTest::newRow("faders") << 0 << QSize(28, 68);
        QTest::newRow("buttons") << 1 << QSize(28, 20);
        QTest::newRow("encoders") << 2 << QSize(32, 32);
        QTest::newRow("jog shuttle") << 3 << QSize(177, 193);
        QTest::newRow("jog wheel positions") << 4 << QSize(13, 13);
    }
    void imageListsHaveTheirSizesAndFourDistinctColours() {
        QFETCH(int, list);
        QFETCH(QSize, size);
        const ImageList* lists[5] = {&ImageListFader(), &ImageListTaster(), &ImageListInk(), &ImageListJog(),
                                     &ImageListJogAussen()};
        const ImageList& images = *lists[list];
        QCOMPARE(images.size(), size);
        QCOMPARE(images.count(), 4);
        for (const TEingabeElementFarbe state : {EEIMG_BLUE, EEIMG_GREEN, EEIMG_BLACK, EEIMG_RED}) {
            const QPixmap image = images.image(state);
            QCOMPARE(image.size(), size);
            QCOMPARE(dominantColour(image), state);
            // Drawn once: every request hands out the same pixmap.
            QCOMPARE(images.image(state).cacheKey(), image.cacheKey());
        }
        QVERIFY(images.image(-1).isNull());
        QVERIFY(images.image(4).isNull());
    }

    void colouringPicksTheListByTag_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QSize>("imageSize");  // empty: the picture stays as it was
        QTest::newRow("element 0") << 64 << QSize(28, 68);
        QTest::newRow("first fader tag") << 1 << QSize(28, 68);
        QTest::newRow("master fader") << 8 << QSize(28, 68);
        QTest::newRow("first button") << 9 << QSize(28, 20);
        QTest::newRow("last button") << 28 << QSize(28, 20);
        QTest::newRow("first encoder") << 29 << QSize(32, 32);
        QTest::newRow("last encoder") << 46 << QSize(32, 32);
        QTest::newRow("jog shuttle") << 47 << QSize(177, 193);
        QTest::newRow("first wheel position") << 48 << QSize(13, 13);
        QTest::newRow("last wheel position") << 63 << QSize(13, 13);
        QTest::newRow("decoration") << 0 << QSize();
        QTest::newRow("beyond the elements") << 65 << QSize();
        QTest::newRow("negative") << -3 << QSize();
    }
    void colouringPicksTheListByTag() {
        QFETCH(int, tag);
        QFETCH(QSize, imageSize);
        TImage picture;
        picture.setTag(tag);
        for (const TEingabeElementFarbe state : {EEIMG_RED, EEIMG_GREEN, EEIMG_BLACK, EEIMG_BLUE}) {
            EingabeElementFaerben(&picture, state);
            if (!imageSize.isValid()) {
                QVERIFY(picture.picture().isNull());
                continue;
            }
            const ImageList* list = imageListForTag(tag);
            QVERIFY(list != nullptr);
            QCOMPARE(list->size(), imageSize);
            QCOMPARE(picture.picture().cacheKey(), list->image(state).cacheKey());
        }
    }

    void colouringIgnoresNoPictureAndUnknownStates() {
        EingabeElementFaerben(nullptr, EEIMG_RED);
        TImage* key = map_->element(12);
        EingabeElementFaerben(key, EEIMG_RED);
        const qint64 red = key->picture().cacheKey();
        EingabeElementFaerben(key, static_cast<TEingabeElementFarbe>(4));
        QCOMPARE(key->picture().cacheKey(), red);
    }

    void pictureKeepsItsOwnSize() {
        // A fader picture is 73 high but shows the 68-high image at its top,
        // unscaled; the rest stays transparent.
        TImage* fader = map_->element(2);
        EingabeElementFaerben(fader, EEIMG_GREEN);
        const QImage shown = renderAlone(fader).convertToFormat(QImage::Format_ARGB32);
        const QImage image =
            ImageListFader().image(EEIMG_GREEN).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shown.size(), QSize(28, 73));
        QCOMPARE(shown.copy(0, 0, 28, 68), image);
        for (int y = 68; y < 73; ++y) {
            for (int x = 0; x < 28; ++x) QCOMPARE(qAlpha(shown.pixel(x, y)), 0);
        }
    }

    void setFaderMovesOnlyFadersVertically_data() {
        QTest::addColumn<int>("element");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("top");  // -1: nothing moves
        QTest::newRow("half way") << 3 << 8192 << 138;
        QTest::newRow("zero") << 0 << 0 << 222;
        QTest::newRow("full") << 8 << 16383 << 55;
        QTest::newRow("one step") << 1 << 1 << 221;
        QTest::newRow("below the scale") << 4 << -20 << 222;
        QTest::newRow("above the scale") << 5 << 40000 << 55;
        QTest::newRow("a button is no fader") << 12 << 16383 << -1;
        QTest::newRow("no element") << 64 << 16383 << -1;
    }
    void setFaderMovesOnlyFadersVertically() {
        QFETCH(int, element);
        QFETCH(int, value);
        QFETCH(int, top);
        const std::array<TImage*, 64> before = map_->elements();
        std::array<QRect, 64> geometry;
        for (int n = 0; n < 64; ++n) geometry[n] = before[n]->geometry();
        SetFader(window_.get(), element, value);
        for (int n = 0; n < 64; ++n) {
            QRect expected = geometry[n];
            if (n == element && top >= 0) expected.moveTop(top);
            QCOMPARE(before[n]->geometry(), expected);
        }
    }

    void faderTopTruncatesTheScaledValue() {
        for (int value = 0; value <= 16383; ++value) {
            const int expected = static_cast<int>(std::trunc(222.0 - value / 16383.0 * 167.0));
            if (faderTop(value) != expected) QFAIL(qPrintable(QStringLiteral("value %1").arg(value)));
        }
    }

    void elementPicturesAnswerMouseAndKeys() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        TImage* key = map_->element(25);
        QSignalSpy clicks(key, &TImage::clicked);

        QTest::mouseClick(key, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(key, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);
        // Releasing away from the picture cancels the click.
        QTest::mousePress(key, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(key, Qt::LeftButton, {}, QPoint(200, 200));
        QCOMPARE(clicks.count(), 1);

        for (const Qt::Key k : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(key, k);
        QCOMPARE(clicks.count(), 4);
        QTest::keyClick(key, Qt::Key_A);
        QCOMPARE(clicks.count(), 4);
        QCOMPARE(key->focusPolicy(), Qt::StrongFocus);

        // A click on a strip plate falls through to the panel beneath it.
        QCOMPARE(map_->decoration(1)->focusPolicy(), Qt::NoFocus);
        PressCounter onPanel;
        panel_->installEventFilter(&onPanel);
        QTest::mouseClick(panel_, Qt::LeftButton, {}, QPoint(60, 380));
        QCOMPARE(onPanel.presses, 1);
    }

    void keyboardWalksEveryElementOnceInMapOrder() {
        QSet<int> seen;
        for (const int n : elementTabOrder()) {
            QVERIFY(n >= 0 && n < 64);
            seen.insert(n);
        }
        QCOMPARE(seen.size(), 64);
        // The chain set on the pictures follows that order.
        const std::array<int, 64>& order = elementTabOrder();
        for (std::size_t i = 1; i < order.size(); ++i) {
            QWidget* next = map_->element(order[i - 1])->nextInFocusChain();
            while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
            QCOMPARE(next, map_->element(order[i]));
        }
        QCOMPARE(order.front(), 30);  // strip 1, upper knob
        QCOMPARE(order[3], 0);        // strip 1, fader
        QCOMPARE(order.back(), 55);   // wheel position +7
    }

    // The arrow keys move along the map as it looks: along a row of strips,
    // up and down a strip, into the function and transport keys and around
    // the wheel; at an edge they find nothing.
    void arrowKeysFindTheNeighbourOnTheMap_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");  // -1: nothing in that direction
        const int left = Qt::Key_Left, right = Qt::Key_Right, up = Qt::Key_Up, down = Qt::Key_Down;
        QTest::newRow("fader 1 right") << 0 << right << 1;
        QTest::newRow("fader 2 left") << 1 << left << 0;
        QTest::newRow("fader 1 up to its key") << 0 << up << 9;
        QTest::newRow("key up to lower knob") << 10 << up << 32;
        QTest::newRow("lower knob up to upper") << 29 << up << 30;
        QTest::newRow("upper knob down") << 30 << down << 29;
        QTest::newRow("key down to fader") << 12 << down << 3;
        QTest::newRow("master key right to F1") << 17 << right << 18;
        QTest::newRow("F1 down to F2") << 18 << down << 19;
        QTest::newRow("F1 right to Rewind") << 18 << right << 23;
        QTest::newRow("Rewind right to Forward") << 23 << right << 24;
        QTest::newRow("wheel top down to shuttle") << 63 << down << 47;
        QTest::newRow("shuttle up to wheel top") << 47 << up << 63;
        QTest::newRow("fader 1 left edge") << 0 << left << -1;
        QTest::newRow("fader 1 below is nothing") << 0 << down << -1;
        QTest::newRow("upper knob top edge") << 30 << up << -1;
        QTest::newRow("Internal right edge") << 28 << right << -1;
        QTest::newRow("not an arrow") << 0 << int(Qt::Key_PageUp) << -1;
    }
    void arrowKeysFindTheNeighbourOnTheMap() {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        QCOMPARE(nextElementPicture(map_->element(from), key), to < 0 ? nullptr : map_->element(to));
    }

    void arrowKeysReachEveryElementAndMoveTheFocus() {
        // Every element can be reached from Fader1 with the arrows alone.
        QSet<TImage*> seen{map_->element(0)};
        QList<TImage*> open{map_->element(0)};
        while (!open.isEmpty()) {
            TImage* at = open.takeLast();
            for (const int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
                TImage* next = nextElementPicture(at, key);
                if (next && !seen.contains(next)) {
                    seen.insert(next);
                    open << next;
                }
            }
        }
        QCOMPARE(seen.size(), 64);
        // Decoration is never a target.
        for (TImage* reached : seen) QVERIFY(reached->isClickable());

        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        TImage* start = map_->element(0);
        QSignalSpy clicks(start, &TImage::clicked);
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), map_->element(1));
        QTest::keyClick(map_->element(1), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), map_->element(10));
        // Moving the focus selects nothing; at the edge the focus stays.
        QCOMPARE(clicks.count(), 0);
        map_->element(30)->setFocus();
        QTest::keyClick(map_->element(30), Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), map_->element(30));
    }

    void hintKeepsItsTextAndShowsCleanLines() {
        TImage* fader = map_->element(0);
        const QString hint = QStringLiteral("Fader 1\n\rGruppe\n\rMessage");
        fader->setHint(hint);
        QCOMPARE(fader->Hint(), hint);
        QCOMPARE(fader->toolTip(), QStringLiteral("Fader 1\nGruppe\nMessage"));
        QCOMPARE(fader->accessibleName(), QStringLiteral("Fader 1"));
    }

private:
    std::unique_ptr<QWidget> window_;
    QWidget* panel_ = nullptr;
    std::unique_ptr<SurfaceMap> map_;
};

QTEST_MAIN(SurfaceMapTest)
#include "surface_map_test.moc"
