#include "form_about.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "form_main_texts.h"
#include "surface_art.h"

namespace korvane {

QPixmap drawProductPicture() {
    QPixmap picture(257, 233);
    picture.fill(QColor(80, 80, 80));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    // The device's case: a dark plate with a lighter rim.
    QLinearGradient body(0, 0, 0, 233);
    body.setColorAt(0, QColor(58, 58, 64));
    body.setColorAt(1, QColor(30, 30, 34));
    p.setPen(QPen(QColor(120, 120, 128), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2.5, 2.5, 252, 228), 10, 10);

    // Four channel strips and the master strip, shrunk to the case.
    constexpr double scale = 0.53;
    const double stripWidth = 81 * scale;
    for (int i = 0; i < 4; ++i) {
        const QRectF target(10 + i * (stripWidth - 3), 10, stripWidth, 401 * scale);
        p.drawPixmap(target, art::drawStrip(i), QRectF(0, 0, 81, 401));
        const QRectF cap(target.left() + art::kFaderImageX * scale, target.top() + (110 + 30 * i) * scale,
                         28 * scale, 68 * scale);
        p.drawPixmap(cap, art::drawFader(EEIMG_BLUE), QRectF(0, 0, 28, 68));
    }
    // The jog wheel on the right, with the transport keys below it.
    p.drawPixmap(QRectF(170, 40, 80, 87), art::drawJog(EEIMG_BLUE), QRectF(0, 0, 177, 193));
    p.drawPixmap(QRectF(168, 150, 84, 24), art::drawTransportPlate(), QRectF(0, 0, 257, 74));
    return picture;
}

}  // namespace korvane

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    // No border and no title bar buttons; the title is still the window's
    // name for the desktop's task list.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(trText("main.TForm4", QStringLiteral("de")));
    setFixedSize(274, 375);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(80, 80, 80));
    setPalette(background);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 257, 233);
    // The picture is drawn when the box is first shown: most runs never
    // open it, and drawing it would hold up the start.

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setText(trText("about.Label2", QStringLiteral("de")));
    QFont font = Label2->font();
    font.setPixelSize(16);
    Label2->setFont(font);
    QPalette silver = Label2->palette();
    silver.setColor(QPalette::WindowText, QColor(192, 192, 192));
    Label2->setPalette(silver);
    Label2->move(8, 256);
    Label2->adjustSize();

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setText(trText("about.Button1", QStringLiteral("de")));
    Button1->setGeometry(89, 334, 81, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm4::Button1Click() { accept(); }

void TForm4::showEvent(QShowEvent* event) {
    if (Image1->pixmap().isNull()) Image1->setPixmap(korvane::drawProductPicture());
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
