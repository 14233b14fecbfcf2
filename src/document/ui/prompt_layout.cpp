#include "prompt_layout.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "texts.h"

namespace korvane::prompt {

QString tableText(std::string_view key) {
    const std::string_view t = korvane::text(key, "de");
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

void layOut(QDialog* dialog, QLabel* prompt, QWidget* field, QPushButton* ok, QPushButton* cancel) {
    prompt->setBuddy(field);
    field->setMinimumWidth(300);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(prompt);
    layout->addWidget(field);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void fitAndExec(QDialog* dialog) {
    // A fixed border: forget the last showing's size before fitting this one.
    dialog->setMinimumSize(0, 0);
    dialog->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    dialog->adjustSize();
    dialog->setFixedSize(dialog->sizeHint());
    dialog->exec();
}

void centre(QDialog* dialog) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog->move(screen->availableGeometry().center() - dialog->rect().center());
}

}  // namespace korvane::prompt
