#include "tformneuobjekt.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "texts.h"

namespace {

QString tableText(std::string_view key) {
    // The two buttons read the same in both languages.
    const std::string_view t = korvane::text(key, "de");
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

}  // namespace

TFormNeuObjekt::TFormNeuObjekt(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormNeuObjekt"));
    setWindowTitle(tableText("main.TFormNeuObjekt"));
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditName = new QLineEdit(this);
    EditName->setObjectName(QStringLiteral("EditName"));
    Label1->setBuddy(EditName);
    btOK = new QPushButton(tableText("dialogs.prompt.ok"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel = new QPushButton(tableText("dialogs.prompt.cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    // Enter is handled by the name field alone, so one key press confirms
    // once and never reaches a default button as well.
    btOK->setAutoDefault(false);
    btCancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(EditName);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    EditName->setMinimumWidth(300);

    connect(btOK, &QPushButton::clicked, this, [this] { btOKClick(); });
    connect(btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });
    EditName->installEventFilter(this);
    // Closing with the close box or Escape is a cancel: OK stays false.
    connect(this, &QDialog::rejected, this, [this] { OK = false; });
}

std::optional<QString> TFormNeuObjekt::Ask(const QString& caption, const QString& prompt,
                                           const QString& name) {
    setWindowTitle(caption);
    Label1->setText(prompt);
    EditName->setText(name);
    OK = false;
    // A fixed dialog border: the size follows the texts of this showing.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    adjustSize();
    setFixedSize(sizeHint());
    exec();
    if (!OK) return std::nullopt;
    return EditName->text();
}

void TFormNeuObjekt::FormShow() {
    EditName->setFocus(Qt::OtherFocusReason);
    EditName->selectAll();
}

void TFormNeuObjekt::EditNameKeyPress(int key) {
    if (key == 13) btOKClick();
}

void TFormNeuObjekt::btOKClick() {
    OK = true;
    accept();
}

void TFormNeuObjekt::btCancelClick() {
    OK = false;
    reject();
}

void TFormNeuObjekt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

bool TFormNeuObjekt::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditName && event->type() == QEvent::KeyPress) {
        const auto key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            EditNameKeyPress(13);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
