#pragma once
// The about box: the product picture, the program's name and version, and
// one button that closes it. It has no title bar, so the button (or Escape)
// is the way back to the main window. It reads the same in both languages.

#include <QDialog>

class QLabel;
class QPushButton;

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr);

    void Button1Click();

    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

namespace korvane {
// The product picture of the about box, 257 x 233 pixels: the surface's
// channel strips beside its jog wheel, drawn from the map's own artwork.
QPixmap drawProductPicture();
}  // namespace korvane
