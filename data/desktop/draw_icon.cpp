// Paints the program's icon into PNG files of the sizes the desktop's icon
// theme wants, at build time, so the pictures need no drawing program and
// stay in step with the SVG beside this file (the same shapes, in the same
// 256 x 256 units).
//
//   korvane_draw_icon OUTPUT.png SIZE

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <cstdio>
#include <cstdlib>

namespace {

void paintIcon(QPainter& p, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient body(0, 16, 0, 240);
    body.setColorAt(0, QColor(0x4a, 0x4a, 0x52));
    body.setColorAt(1, QColor(0x26, 0x26, 0x2b));
    p.setPen(QPen(QColor(0x6e, 0x6e, 0x78), 4));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(16, 16, 224, 224), 40, 40);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x11, 0x11, 0x14));
    for (const double x : {68.0, 124.0, 180.0}) p.drawRoundedRect(QRectF(x, 56, 8, 152), 4, 4);

    struct Cap {
        double x, y;
        QColor fill, rim;
    };
    const QColor blue(0x2c, 0x6c, 0xd8), blueRim(0x14, 0x34, 0x6e);
    const QColor green(0x2e, 0xb6, 0x4c), greenRim(0x12, 0x62, 0x26);
    const Cap caps[] = {{50, 156, blue, blueRim}, {106, 80, green, greenRim}, {162, 124, blue, blueRim}};
    for (const Cap& cap : caps) {
        p.setPen(QPen(cap.rim, 3));
        p.setBrush(cap.fill);
        p.drawRoundedRect(QRectF(cap.x, cap.y, 44, 28), 6, 6);
        p.setPen(QPen(QColor(0xf5, 0xf5, 0xf5), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(cap.x + 8, cap.y + 14), QPointF(cap.x + 36, cap.y + 14));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvane_draw_icon OUTPUT.png SIZE\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size < 8 || size > 1024) {
        std::fprintf(stderr, "korvane_draw_icon: size %s out of 8..1024\n", argv[2]);
        return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        paintIcon(p, size);
    }
    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "korvane_draw_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
