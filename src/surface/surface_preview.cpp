// Renders the surface map into PNG files so the artwork can be looked at
// without starting the editor:
//   surface_preview map.png [lists.png]
// The map shows the elements in all four colour states, one fader moved; the
// second file shows every image list enlarged four times, one row per state.
// PREVIEW_FOCUS=<element number> picks the picture drawn with the focus frame.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QWidget>

#include "surface_map.h"

using namespace korvane;

namespace {

QImage listSheet() {
    const ImageList* lists[5] = {&ImageListFader(), &ImageListTaster(), &ImageListInk(), &ImageListJog(),
                                 &ImageListJogAussen()};
    constexpr int zoom = 4;
    int width = 0;
    for (const ImageList* list : lists) width += list->size().width() * zoom + 16;
    const int height = 4 * (ImageListJog().size().height() * zoom + 16);
    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(60, 60, 60));
    QPainter p(&sheet);
    int x = 8;
    for (const ImageList* list : lists) {
        for (int state = 0; state < 4; ++state) {
            const QImage image = list->image(state).toImage();
            p.drawImage(QRect(x, 8 + state * (ImageListJog().size().height() * zoom + 16),
                              image.width() * zoom, image.height() * zoom),
                        image);
        }
        x += list->size().width() * zoom + 16;
    }
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: surface_preview map.png [lists.png]");
        return 2;
    }
    QWidget panel;
    SurfaceMap map(&panel);
    auto* memo = new QPlainTextEdit(&panel);
    memo->setGeometry(kMemoX, kMemoY, kMemoWidth, kMemoHeight);
    memo->setPlainText(QStringLiteral("Description of the configuration"));

    static const TEingabeElementFarbe states[4] = {EEIMG_BLUE, EEIMG_GREEN, EEIMG_BLACK, EEIMG_RED};
    for (int n = 0; n < 64; ++n) EingabeElementFaerben(map.element(n), states[(n * 7 + n / 9) % 4]);
    EingabeElementFaerben(map.element(47), EEIMG_BLACK);
    SetFader(&panel, 8, 12000);
    panel.show();
    panel.activateWindow();
    map.element(qEnvironmentVariableIntValue("PREVIEW_FOCUS"))->setFocus();
    QApplication::processEvents();

    const QImage shot = panel.grab().toImage();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) return 1;
    if (argc > 2 && !listSheet().save(QString::fromLocal8Bit(argv[2]))) return 1;
    return 0;
}
