// The drawing of the curve area and the draggable handles.
//
// Everything is painted into SichtbarBMP first and reaches the window as one
// block, so a drag never shows a half-drawn state. Lines leave out their end
// pixel, the way the curves have always been drawn, so that a step and the
// next segment meet without a doubled pixel.

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

#include "tformmotorprofil.h"

using namespace korvane;

namespace {

// A solid one-pixel line from a to b without b.
void line1(QImage& image, QPoint a, QPoint b, QColor colour) {
    const QRgb rgb = colour.rgb();
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), sx = x < b.x() ? 1 : -1;
    const int dy = -std::abs(b.y() - y), sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    while (x != b.x() || y != b.y()) {
        if (image.rect().contains(x, y)) image.setPixel(x, y, rgb);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// A two-pixel line from a to b without b: the one-pixel line and a copy one
// pixel below it for flat lines, one pixel to the right for steep ones.
void line2(QImage& image, QPoint a, QPoint b, QColor colour, bool dashed) {
    const QRgb rgb = colour.rgb();
    const bool steep = std::abs(b.y() - a.y()) > std::abs(b.x() - a.x());
    const QPoint second = steep ? QPoint(1, 0) : QPoint(0, 1);
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), sx = x < b.x() ? 1 : -1;
    const int dy = -std::abs(b.y() - y), sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    int step = 0;
    while (x != b.x() || y != b.y()) {
        // Dashes of six pixels with gaps of three.
        if (!dashed || step % 9 < 6) {
            for (QPoint p : {QPoint(x, y), QPoint(x, y) + second})
                if (image.rect().contains(p)) image.setPixel(p, rgb);
        }
        ++step;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// Text with its top-left corner at p, on an opaque background.
void textOut(QImage& image, const QFont& font, QPoint p, const QString& s, QColor ink, QColor paper) {
    QPainter painter(&image);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QRect box(p, QSize(metrics.horizontalAdvance(s), metrics.height()));
    painter.fillRect(box, paper);
    painter.setPen(ink);
    painter.drawText(QPoint(p.x(), p.y() + metrics.ascent()), s);
}

}  // namespace

// ---- handles -------------------------------------------------------------

TVerschiebbarerPunkt::TVerschiebbarerPunkt(TFormMotorProfil* Sender, QPoint Point, int Number,
                                           bool HorizontalVerschiebbar, bool VertikalVerschiebbar,
                                           QPoint Grenze1, QPoint Grenze2)
    : Nummer(Number),
      HorizontalVersch(HorizontalVerschiebbar),
      VertikalVersch(VertikalVerschiebbar),
      Border1(Grenze1),
      Border2(Grenze2),
      form_(Sender) {
    EmbeddedImage = new QLabel(Sender->client);
    EmbeddedImage->setObjectName(QStringLiteral("ProfilPunkt%1").arg(Number));
    EmbeddedImage->resize(6, 6);
    EmbeddedImage->setCursor(Qt::SizeAllCursor);
    Picture = QImage(6, 6, QImage::Format_RGB32);
    Picture.fill(Sender->palette().color(QPalette::Button));
    EmbeddedImage->setPixmap(QPixmap::fromImage(Picture));
    EmbeddedImage->installEventFilter(Sender);
    SetPosition(Point);
}

TVerschiebbarerPunkt::~TVerschiebbarerPunkt() { delete EmbeddedImage; }

void TVerschiebbarerPunkt::SetPosition(QPoint Point) {
    Position = Point;
    EmbeddedImage->move(Point.x() - 1, Point.y() - 2);
}

void TVerschiebbarerPunkt::ImageMouseDown(Qt::MouseButton button, int x, int y) {
    Versatz = QPoint(x, y);
    if (button == Qt::LeftButton) form_->bMouseMoveInProgress = true;
}

void TVerschiebbarerPunkt::ImageMouseMove(QPoint cursor) {
    if (!form_->bMouseMoveInProgress) return;
    TFormMotorProfil& f = *form_;
    // The handle sits one pixel left of its point: add it back so that a
    // grab without a move leaves the point where it was. The ten pixels
    // downwards let the speed snap to the nearer step instead of always the
    // one below.
    const QPoint wanted(cursor.x() - Versatz.x() + 1, cursor.y() - Versatz.y() + 10);
    DragRules rules;
    rules.offX = f.PositionsOffsetX;
    rules.offY = f.PositionsOffsetY;
    rules.quantX = f.QuantisierungX;
    rules.quantY = f.QuantisierungY;
    rules.horizontal = HorizontalVersch;
    rules.vertical = VertikalVersch;
    rules.monotonic = f.rb_monoton->isChecked();
    if (Nummer > 0) {
        const QPoint p = f.ProfilPunkte[static_cast<std::size_t>(Nummer - 1)]->Position;
        rules.before = ScreenPoint{p.x(), p.y()};
    }
    if (Nummer < kMotorPointCount - 1) {
        const QPoint p = f.ProfilPunkte[static_cast<std::size_t>(Nummer + 1)]->Position;
        rules.after = ScreenPoint{p.x(), p.y()};
    }
    const ScreenPoint landed =
        dragPoint(ScreenPoint{Position.x(), Position.y()}, ScreenPoint{wanted.x(), wanted.y()}, rules);
    SetPosition(QPoint(landed.x, landed.y));
    f.Neuzeichnen();
    TabellenWertepaarAusgeben();
}

void TVerschiebbarerPunkt::ImageMouseUp() { form_->bMouseMoveInProgress = false; }

void TVerschiebbarerPunkt::TabellenWertepaarAusgeben() {
    form_->WertePaarInEditsAusgeben(Nummer, Position.x() - form_->PositionsOffsetX,
                                    form_->PositionsOffsetY - Position.y() + 256);
}

// ---- drawing -------------------------------------------------------------

void TFormMotorProfil::LeseProfilPunkteAusArray(int n) {
    if (!MotorProfilTabelle || n < 0 || n >= kMotorFaderCount) return;
    const auto& entry = MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(n)];
    const QColor colour = GetProfilColor(n);
    auto shade = [&colour](double factor) {
        return QColor(static_cast<int>(colour.red() * factor), static_cast<int>(colour.green() * factor),
                      static_cast<int>(colour.blue() * factor));
    };
    const QRgb medium = shade(0.7).rgb(), light = shade(1.0).rgb(), dark = shade(0.4).rgb();
    for (int i = 0; i < kMotorPointCount; ++i) {
        TVerschiebbarerPunkt& punkt = *ProfilPunkte[static_cast<std::size_t>(i)];
        const ScreenPoint p = pointPosition(entry, i, PositionsOffsetX, PositionsOffsetY);
        punkt.SetPosition(QPoint(p.x, p.y));
        QImage& pic = punkt.Picture;
        for (int x = 0; x < 5; ++x)
            for (int y = 0; y < 5; ++y) pic.setPixel(x, y, medium);
        // A raised square: light top and left edges over dark bottom and
        // right ones, the light winning the two corners they share.
        for (int j = 0; j < 6; ++j) {
            pic.setPixel(j, 5, dark);
            pic.setPixel(5, j, dark);
            pic.setPixel(j, 0, light);
            pic.setPixel(0, j, light);
        }
        punkt.EmbeddedImage->setPixmap(QPixmap::fromImage(pic));
    }
}

void TFormMotorProfil::InitialisiereZeichenflaeche() {
    QPainter p(&SichtbarBMP);
    p.fillRect(QRect(QPoint(Bevel1->x(), Bevel1->y()), QSize(2 * OffsetLinks + 255, 2 * OffsetOben + 255)),
               FarbeHintergrund);
}

void TFormMotorProfil::ZeichneInaktiveKurven(int a) {
    const int X0 = PositionsOffsetX, Y0 = PositionsOffsetY;
    for (int i = 1; i <= 8; ++i) {
        for (int j = 0; j <= 7; ++j) {
            const int X = X0 + 32 * i, Y = Y0 + 32 * j;
            line1(SichtbarBMP, QPoint(X - 1, Y), QPoint(X + 4, Y), FarbeRaster);
            line1(SichtbarBMP, QPoint(X + 1, Y - 2), QPoint(X + 1, Y + 3), FarbeRaster);
        }
    }
    if (a < 0 || a >= kMotorFaderCount || !MotorProfilTabelle) {
        for (int k = 0; k < kMotorFaderCount; ++k) ZeichneInaktiveKurve(k);
        return;
    }
    for (int k = 0; k < kMotorFaderCount; ++k)
        if (k != a) ZeichneInaktiveKurve(k);
    PenColor = GetProfilColor(a);
    const int top = MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(a)].Geschwindigkeit[9];
    textOut(SichtbarBMP, font(), QPoint(X0 + 220, Y0 + 259 - top), GewaehlterFader, PenColor,
            FarbeHintergrund);
}

void TFormMotorProfil::ZeichneInaktiveKurve(int k) {
    if (!bZeigeAuchInaktiveKurven || !MotorProfilTabelle) return;
    PenColor = GetProfilColor(k);
    const auto& entry = MotorProfilTabelle->MotorProfile[static_cast<std::size_t>(k)];
    auto at = [&](int i) {
        const ScreenPoint p = pointPosition(entry, i, PositionsOffsetX, PositionsOffsetY);
        return QPoint(p.x, p.y);
    };
    for (int i = 0; i < 9; ++i) line2(SichtbarBMP, at(i), at(i + 1), PenColor, true);
    line2(SichtbarBMP, at(9), QPoint(PositionsOffsetX + 256, at(9).y()), PenColor, true);
}

void TFormMotorProfil::ZeichneAktiveKurve() {
    const int X0 = PositionsOffsetX, Y0 = PositionsOffsetY;
    const QColor ink = FarbeVordergrund;
    textOut(SichtbarBMP, font(), QPoint(X0 + 5, Y0 + 5), QStringLiteral("v"), ink, FarbeHintergrund);
    textOut(SichtbarBMP, font(), QPoint(X0 + 230, Y0 + 240), QStringLiteral("delta"), ink, FarbeHintergrund);
    line1(SichtbarBMP, QPoint(X0 + 1, Y0 + 256), QPoint(X0 + 1, Y0 + 1), ink);
    line1(SichtbarBMP, QPoint(X0 + 1, Y0), QPoint(X0 - 1, Y0 + 5), ink);
    line1(SichtbarBMP, QPoint(X0 + 1, Y0), QPoint(X0 + 3, Y0 + 5), ink);
    line1(SichtbarBMP, QPoint(X0 + 1, Y0 + 256), QPoint(X0 + 260, Y0 + 256), ink);
    line1(SichtbarBMP, QPoint(X0 + 260, Y0 + 256), QPoint(X0 + 255, Y0 + 254), ink);
    line1(SichtbarBMP, QPoint(X0 + 260, Y0 + 256), QPoint(X0 + 255, Y0 + 258), ink);

    if (Profilnummer >= 0 && Profilnummer < kMotorFaderCount) {
        QPainter painter(&SichtbarBMP);
        for (int i = 0; i < kMotorPointCount; ++i) {
            const TVerschiebbarerPunkt& punkt = *ProfilPunkte[static_cast<std::size_t>(i)];
            const QPoint P = punkt.Position;
            if (i < kMotorPointCount - 1) {
                const QPoint next = ProfilPunkte[static_cast<std::size_t>(i + 1)]->Position;
                line2(SichtbarBMP, P, QPoint(next.x(), P.y()), PenColor, false);
                line2(SichtbarBMP, QPoint(next.x(), P.y()), next, PenColor, false);
                line2(SichtbarBMP, P, next, PenColor, false);
            } else {
                line2(SichtbarBMP, P, QPoint(punkt.Border2.x(), P.y()), PenColor, false);
            }
            painter.drawImage(QPoint(P.x() - 2, P.y() - 3), punkt.Picture);
        }
    }
    if (client) client->update();
}

void TFormMotorProfil::Neuzeichnen() {
    InitialisiereZeichenflaeche();
    ZeichneInaktiveKurven(Profilnummer);
    ZeichneAktiveKurve();
}
