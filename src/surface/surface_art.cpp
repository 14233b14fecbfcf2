#include "surface_art.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

namespace korvane::art {

namespace {

constexpr double kPi = std::numbers::pi;

// Plate metal, printing and fittings shared by all decorative plates.
const QColor kPlateTop(172, 176, 181);
const QColor kPlateBottom(139, 143, 148);
const QColor kPrint(38, 40, 43);
const QColor kSlot(20, 20, 21);
const QColor kDisplay(27, 29, 31);
const QColor kWell(112, 116, 121);

// Every image is painted on a transparent ARGB canvas first; pixmaps made
// from images behave the same on every platform plugin, offscreen included.
QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QFont printFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, pixelSize <= 8 ? 0.4 : 0.0);
    return font;
}

// A small deterministic generator, so the brushed-metal grain is identical on
// every run and in every test.
class Grain {
public:
    explicit Grain(quint32 seed) : state_(seed * 2654435761u + 1u) {}
    int next(int range) {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<int>((state_ >> 8) % static_cast<quint32>(range));
    }

private:
    quint32 state_;
};

// A brushed aluminium plate with a light upper-left and a dark lower-right edge.
void drawPlate(QPainter& p, const QRectF& rect, qreal radius, quint32 seed) {
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);

    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0.0, kPlateTop);
    fill.setColorAt(1.0, kPlateBottom);
    p.fillPath(shape, fill);

    // Vertical brushing: each pixel column slightly lighter or darker metal.
    // The columns are one row of a texture that repeats downwards, laid over
    // the plate in one fill; a clipped line per column costs many times more.
    const int first = static_cast<int>(rect.left());
    const int last = static_cast<int>(rect.right());
    QImage brushing(last - first + 1, 1, QImage::Format_ARGB32_Premultiplied);
    Grain grain(seed);
    for (int x = first; x <= last; ++x) {
        const int alpha = grain.next(12);
        brushing.setPixelColor(x - first, 0,
                               grain.next(2) ? QColor(255, 255, 255, alpha) : QColor(0, 0, 0, alpha));
    }
    QBrush metal(brushing);
    metal.setTransform(QTransform::fromTranslate(first, 0));
    p.fillPath(shape, metal);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1.0));
    p.drawLine(QPointF(rect.left() + radius, rect.top() + 0.5),
               QPointF(rect.right() - radius, rect.top() + 0.5));
    p.drawLine(QPointF(rect.left() + 0.5, rect.top() + radius),
               QPointF(rect.left() + 0.5, rect.bottom() - radius));
    p.setPen(QPen(QColor(40, 42, 45), 1.0));
    p.drawPath(shape);
}

// A recessed well around a key or knob.
void drawWell(QPainter& p, const QRectF& rect, qreal radius) {
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0.0, kWell.darker(115));
    fill.setColorAt(1.0, kWell);
    p.fillPath(shape, fill);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 62, 66), 1.0));
    p.drawPath(shape);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
    p.drawLine(QPointF(rect.left() + radius, rect.bottom() + 0.5),
               QPointF(rect.right() - radius, rect.bottom() + 0.5));
}

void drawScrew(QPainter& p, QPointF centre) {
    QRadialGradient head(centre - QPointF(1.0, 1.0), 4.0);
    head.setColorAt(0.0, QColor(220, 222, 225));
    head.setColorAt(1.0, QColor(120, 123, 128));
    p.setBrush(head);
    p.setPen(QPen(QColor(70, 72, 76), 0.8));
    p.drawEllipse(centre, 3.5, 3.5);
    p.setPen(QPen(QColor(60, 62, 66), 1.0));
    p.drawLine(centre + QPointF(-2.2, 1.2), centre + QPointF(2.2, -1.2));
}

void drawText(QPainter& p, const QRectF& rect, const QString& text, int pixelSize, bool bold,
              const QColor& colour, Qt::Alignment alignment = Qt::AlignCenter) {
    p.setFont(printFont(pixelSize, bold));
    p.setPen(colour);
    p.drawText(rect, alignment, text);
}

QPointF polar(QPointF centre, double radius, double degrees) {
    const double a = degrees * kPi / 180.0;
    return centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
}

// A filled triangle pointing right (+1) or left (-1), tip at the given x.
void drawArrow(QPainter& p, qreal tipX, qreal centreY, qreal length, qreal halfHeight, int direction) {
    const qreal baseX = tipX - direction * length;
    QPainterPath path;
    path.moveTo(tipX, centreY);
    path.lineTo(baseX, centreY - halfHeight);
    path.lineTo(baseX, centreY + halfHeight);
    path.closeSubpath();
    p.fillPath(path, kPrint);
}

}  // namespace

Tone toneFor(TEingabeElementFarbe state) {
    switch (state) {
        case EEIMG_GREEN:
            return {QColor(46, 182, 76), QColor(140, 230, 150), QColor(18, 98, 38)};
        case EEIMG_BLACK:
            return {QColor(40, 40, 43), QColor(100, 100, 106), QColor(10, 10, 12)};
        case EEIMG_RED:
            return {QColor(214, 52, 42), QColor(252, 135, 120), QColor(118, 20, 14)};
        case EEIMG_BLUE:
        default:
            return {QColor(44, 108, 216), QColor(130, 178, 250), QColor(20, 52, 122)};
    }
}

QPixmap drawFader(TEingabeElementFarbe state) {
    const Tone tone = toneFor(state);
    QImage image = canvas(28, 68);
    QPainter p(&image);
    prepare(p);

    // The slot runs through the image at the same place as on the strip, so
    // the cap sits on its slot wherever the picture is moved.
    const int slotX = kStripSlotX - kFaderImageX;
    p.fillRect(QRect(slotX, 0, kSlotWidth, 68), kSlot);

    const QRectF cap(1.5, 12.5, 25.0, 43.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 100));
    p.drawRoundedRect(cap.translated(1.0, 2.0), 3.0, 3.0);

    QLinearGradient body(cap.topLeft(), cap.bottomLeft());
    body.setColorAt(0.0, tone.light);
    body.setColorAt(0.42, tone.base);
    body.setColorAt(0.58, tone.base);
    body.setColorAt(1.0, tone.dark);
    p.setBrush(body);
    p.setPen(QPen(tone.dark.darker(160), 1.0));
    p.drawRoundedRect(cap, 3.0, 3.0);

    // Grip ridges above and below the centre line.
    const qreal centreY = cap.center().y();
    for (qreal y = cap.top() + 5.0; y < cap.bottom() - 4.0; y += 4.0) {
        if (std::abs(y - centreY) < 4.0) continue;
        p.setPen(QPen(QColor(0, 0, 0, 110), 1.0));
        p.drawLine(QPointF(cap.left() + 3.0, y), QPointF(cap.right() - 3.0, y));
        p.setPen(QPen(QColor(255, 255, 255, 70), 1.0));
        p.drawLine(QPointF(cap.left() + 3.0, y + 1.0), QPointF(cap.right() - 3.0, y + 1.0));
    }
    p.setPen(QPen(QColor(245, 245, 245), 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(cap.left() + 1.5, centreY), QPointF(cap.right() - 1.5, centreY));
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawTaster(TEingabeElementFarbe state) {
    const Tone tone = toneFor(state);
    QImage image = canvas(28, 20);
    QPainter p(&image);
    prepare(p);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRoundedRect(QRectF(1.0, 2.0, 27.0, 18.0), 3.0, 3.0);

    // Key skirt, then the slightly smaller top face lit from above.
    const QRectF skirt(0.5, 0.5, 27.0, 18.0);
    p.setBrush(tone.dark);
    p.setPen(QPen(tone.dark.darker(170), 1.0));
    p.drawRoundedRect(skirt, 3.0, 3.0);

    const QRectF face(2.5, 1.5, 23.0, 14.0);
    QLinearGradient top(face.topLeft(), face.bottomLeft());
    top.setColorAt(0.0, tone.light);
    top.setColorAt(0.55, tone.base);
    top.setColorAt(1.0, tone.base.darker(115));
    p.setBrush(top);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(face, 2.0, 2.0);

    QLinearGradient gloss(face.topLeft(), QPointF(face.left(), face.top() + 6.0));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(face.left() + 1.0, face.top() + 0.5, face.width() - 2.0, 6.0), 2.0, 2.0);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawInk(TEingabeElementFarbe state) {
    const Tone tone = toneFor(state);
    QImage image = canvas(32, 32);
    QPainter p(&image);
    prepare(p);
    const QPointF c(16.0, 16.0);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 100));
    p.drawEllipse(c + QPointF(0.8, 1.4), 14.8, 14.8);

    // Knurled skirt.
    QRadialGradient skirt(c, 15.0);
    skirt.setColorAt(0.7, tone.base.darker(120));
    skirt.setColorAt(1.0, tone.dark);
    p.setBrush(skirt);
    p.setPen(QPen(tone.dark.darker(170), 1.0));
    p.drawEllipse(c, 14.5, 14.5);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    for (int i = 0; i < 32; ++i) {
        const double angle = i * 360.0 / 32.0;
        p.drawLine(polar(c, 11.5, angle), polar(c, 14.0, angle));
    }

    // Domed cap lit from the upper left.
    QRadialGradient cap(c, 10.5, c - QPointF(3.5, 4.0));
    cap.setColorAt(0.0, tone.light);
    cap.setColorAt(0.6, tone.base);
    cap.setColorAt(1.0, tone.base.darker(130));
    p.setBrush(cap);
    p.setPen(QPen(tone.dark.darker(150), 0.8));
    p.drawEllipse(c, 10.5, 10.5);

    // Pointer mark.
    p.setPen(QPen(QColor(248, 248, 248), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(polar(c, 2.5, 90.0), polar(c, 9.0, 90.0));
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawJog(TEingabeElementFarbe state) {
    const Tone tone = toneFor(state);
    QImage image = canvas(177, 193);
    QPainter p(&image);
    prepare(p);
    const QPointF c(kJogCentreX, kJogCentreY);
    constexpr double outer = 86.5;
    constexpr double gap = 68.5;
    constexpr double wheel = 66.0;

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawEllipse(c + QPointF(1.5, 2.5), outer, outer);

    // Shuttle ring: the coloured part of this element.
    QLinearGradient ring(c + QPointF(-outer, -outer), c + QPointF(outer, outer));
    ring.setColorAt(0.0, tone.light);
    ring.setColorAt(0.45, tone.base);
    ring.setColorAt(1.0, tone.dark);
    p.setBrush(ring);
    p.setPen(QPen(tone.dark.darker(170), 1.0));
    p.drawEllipse(c, outer, outer);

    // Grip notches around the outer edge.
    for (int i = 0; i < 60; ++i) {
        const double angle = i * 6.0;
        p.setPen(QPen(QColor(0, 0, 0, 80), 1.4));
        p.drawLine(polar(c, outer - 4.0, angle), polar(c, outer - 0.5, angle));
    }
    // Engraved direction arrows on the lower half of the ring, where no
    // position marker lies: left one pointing up the ring to the left, right
    // one up to the right.
    for (const int direction : {-1, 1}) {
        const double angle = direction < 0 ? 234.0 : 306.0;
        QPainterPath arrow;
        arrow.moveTo(polar(c, 77.5, angle + direction * 6.5));
        arrow.lineTo(polar(c, 73.5, angle - direction * 4.0));
        arrow.lineTo(polar(c, 81.5, angle - direction * 4.0));
        arrow.closeSubpath();
        p.fillPath(arrow, QColor(255, 255, 255, 170));
    }

    // Gap between ring and wheel.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(16, 16, 17));
    p.drawEllipse(c, gap, gap);

    // Jog wheel: machined dark metal with fine rings, a finger dimple and hub.
    QRadialGradient metal(c, wheel, c - QPointF(18.0, 22.0));
    metal.setColorAt(0.0, QColor(92, 93, 97));
    metal.setColorAt(1.0, QColor(36, 36, 39));
    p.setBrush(metal);
    p.setPen(QPen(QColor(8, 8, 9), 1.0));
    p.drawEllipse(c, wheel, wheel);
    p.setBrush(Qt::NoBrush);
    for (double r = 14.0; r < wheel - 3.0; r += 3.0) {
        p.setPen(QPen(QColor(255, 255, 255, static_cast<int>(r) % 2 ? 14 : 0), 1.0));
        p.drawEllipse(c, r, r);
        p.setPen(QPen(QColor(0, 0, 0, 22), 1.0));
        p.drawEllipse(c, r + 1.0, r + 1.0);
    }
    p.setPen(QPen(tone.base, 2.0));
    p.drawEllipse(c, wheel - 1.5, wheel - 1.5);

    const QPointF dimple = polar(c, 42.0, 40.0);
    QRadialGradient hollow(dimple, 11.0, dimple - QPointF(3.0, 3.0));
    hollow.setColorAt(0.0, QColor(22, 22, 24));
    hollow.setColorAt(1.0, QColor(70, 71, 75));
    p.setBrush(hollow);
    p.setPen(QPen(QColor(12, 12, 13), 1.0));
    p.drawEllipse(dimple, 10.5, 10.5);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1.2));
    p.drawArc(QRectF(dimple - QPointF(10.5, 10.5), QSizeF(21.0, 21.0)), 200 * 16, 140 * 16);

    QRadialGradient hub(c, 9.0, c - QPointF(2.5, 3.0));
    hub.setColorAt(0.0, QColor(140, 142, 146));
    hub.setColorAt(1.0, QColor(52, 53, 56));
    p.setBrush(hub);
    p.setPen(QPen(QColor(10, 10, 11), 1.0));
    p.drawEllipse(c, 8.5, 8.5);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawJogMarker(TEingabeElementFarbe state) {
    const Tone tone = toneFor(state);
    QImage image = canvas(13, 13);
    QPainter p(&image);
    prepare(p);
    const QPointF c(6.5, 6.5);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawEllipse(c + QPointF(0.3, 0.6), 6.0, 6.0);
    // A light rim keeps the marker readable on a ring of the same colour.
    p.setBrush(QColor(236, 236, 236));
    p.drawEllipse(c, 5.6, 5.6);
    QRadialGradient dot(c, 4.3, c - QPointF(1.3, 1.5));
    dot.setColorAt(0.0, tone.light);
    dot.setColorAt(0.6, tone.base);
    dot.setColorAt(1.0, tone.dark);
    p.setBrush(dot);
    p.drawEllipse(c, 4.2, 4.2);
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawStrip(int strip) {
    const bool master = strip == 8;
    QImage image = canvas(81, 401);
    QPainter p(&image);
    prepare(p);

    // The plate uses only the strip's own 72-pixel step; the rest of the 81
    // pixels lies under the next strip.
    drawPlate(p, QRectF(1.5, 0.5, 69.0, 400.0), 5.0, 17u + static_cast<quint32>(strip));

    // Knob wells (knob centres at 20,40 and 20,88).
    for (const qreal y : {40.0, 88.0}) {
        const QPointF centre(20.0, y);
        QRadialGradient well(centre, 18.0);
        well.setColorAt(0.75, kWell.darker(118));
        well.setColorAt(1.0, kWell);
        p.setBrush(well);
        p.setPen(QPen(QColor(255, 255, 255, 80), 1.0));
        p.drawEllipse(centre, 17.5, 17.5);
        // Position ticks at the ends and top of the travel.
        p.setPen(QPen(kPrint, 1.2));
        for (const double angle : {225.0, 90.0, -45.0}) {
            p.drawLine(polar(centre, 18.0, angle), polar(centre, 20.5, angle));
        }
    }

    // Strip button (at 7,128) with its label.
    drawText(p, QRectF(4.0, 110.0, 34.0, 14.0), QStringLiteral("SEL"), 8, true, kPrint);
    drawWell(p, QRectF(5.0, 126.0, 32.0, 24.0), 4.0);

    // Level meter segments, unlit.
    for (int i = 0; i < 12; ++i) {
        const QRectF segment(15.0, 166.0 + i * 10.0, 12.0, 6.0);
        p.setPen(QPen(QColor(40, 42, 45), 1.0));
        p.setBrush(i < 2 ? QColor(88, 58, 56) : QColor(64, 67, 71));
        p.drawRoundedRect(segment, 1.0, 1.0);
    }
    drawText(p, QRectF(4.0, 288.0, 34.0, 10.0), QStringLiteral("LEVEL"), 7, false, kPrint);

    // Fader slot with a scale on both sides of it; the cap centre travels
    // from y 89 (full) to y 256 (zero).
    drawScrew(p, QPointF(56.0, 14.0));
    const qreal slotCentre = kStripSlotX + kSlotWidth / 2.0;
    for (int i = 0; i <= 10; ++i) {
        const qreal y = 89.0 + (256.0 - 89.0) * i / 10.0;
        const qreal length = (i % 5 == 0) ? 8.0 : 5.0;
        p.setPen(QPen(kPrint, 1.0));
        p.drawLine(QPointF(slotCentre - 5.0 - length, y), QPointF(slotCentre - 5.0, y));
        p.drawLine(QPointF(slotCentre + 5.0, y), QPointF(slotCentre + 5.0 + length, y));
    }
    drawText(p, QRectF(42.0, 70.0, 12.0, 10.0), QStringLiteral("+"), 8, true, kPrint);
    drawText(p, QRectF(42.0, 262.0, 12.0, 10.0), QStringLiteral("-"), 8, true, kPrint);
    QPainterPath slot;
    slot.addRoundedRect(QRectF(kStripSlotX, kSlotTop, kSlotWidth, kSlotBottom - kSlotTop), 2.0, 2.0);
    p.fillPath(slot, kSlot);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.0));
    p.drawLine(QPointF(kStripSlotX + kSlotWidth + 0.5, kSlotTop + 2.0),
               QPointF(kStripSlotX + kSlotWidth + 0.5, kSlotBottom - 2.0));

    // Channel number in a dark window near the bottom edge.
    drawText(p, QRectF(2.0, 306.0, 68.0, 12.0), master ? QStringLiteral("MASTER") : QStringLiteral("CHANNEL"),
             8, true, kPrint);
    const QRectF window(10.5, 322.5, 51.0, 40.0);
    p.setBrush(kDisplay);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
    p.drawRoundedRect(window, 4.0, 4.0);
    drawText(p, window, master ? QStringLiteral("M") : QString::number(strip + 1), 26, true,
             QColor(228, 230, 232));
    drawScrew(p, QPointF(12.0, 386.0));
    drawScrew(p, QPointF(60.0, 386.0));
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawFunctionPlate() {
    QImage image = canvas(70, 291);
    QPainter p(&image);
    prepare(p);
    drawPlate(p, QRectF(0.5, 0.5, 69.0, 290.0), 5.0, 41u);
    drawText(p, QRectF(0.0, 8.0, 70.0, 12.0), QStringLiteral("FUNCTION"), 8, true, kPrint);
    // Keys sit at x 22, y 48 + 48 i.
    for (int i = 0; i < 5; ++i) {
        const qreal keyTop = 48.0 + 48.0 * i;
        drawText(p, QRectF(20.0, keyTop - 17.0, 32.0, 13.0), QStringLiteral("F%1").arg(i + 1), 10, true,
                 kPrint);
        drawWell(p, QRectF(20.0, keyTop - 2.0, 32.0, 24.0), 4.0);
    }
    drawScrew(p, QPointF(35.0, 280.0));
    p.end();
    return QPixmap::fromImage(image);
}

QPixmap drawTransportPlate() {
    QImage image = canvas(257, 74);
    QPainter p(&image);
    prepare(p);
    drawPlate(p, QRectF(0.5, 0.5, 256.0, 73.0), 5.0, 53u);
    static const char* const labels[6] = {"REW", "FWD", "PLAY", "STOP", "REC", "INT"};
    // Keys sit at x 11 + 40 i, y 32.
    for (int i = 0; i < 6; ++i) {
        const qreal left = 11.0 + 40.0 * i;
        const qreal cx = left + 14.0;
        drawText(p, QRectF(left - 6.0, 14.0, 40.0, 13.0), QString::fromLatin1(labels[i]), 9, true, kPrint);
        drawWell(p, QRectF(left - 2.0, 30.0, 32.0, 24.0), 4.0);
        const qreal y = 63.5;
        switch (i) {
            case 0:
                drawArrow(p, cx - 6.0, y, 6.0, 3.5, -1);
                drawArrow(p, cx, y, 6.0, 3.5, -1);
                break;
            case 1:
                drawArrow(p, cx, y, 6.0, 3.5, 1);
                drawArrow(p, cx + 6.0, y, 6.0, 3.5, 1);
                break;
            case 2:
                drawArrow(p, cx + 4.0, y, 7.0, 4.0, 1);
                break;
            case 3:
                p.fillRect(QRectF(cx - 3.5, y - 3.5, 7.0, 7.0), kPrint);
                break;
            case 4:
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(150, 36, 30));
                p.drawEllipse(QPointF(cx, y), 3.8, 3.8);
                break;
            default:
                drawText(p, QRectF(left - 6.0, y - 5.0, 40.0, 10.0), QStringLiteral("MMC"), 7, true, kPrint);
                break;
        }
    }
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace korvane::art
