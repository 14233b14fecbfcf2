#include "form_neu_objekt.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "prompt_layout.h"

using korvane::prompt::tableText;

TFormNeuObjekt::TFormNeuObjekt(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormNeuObjekt"));
    setWindowTitle(tableText("main.TFormNeuObjekt"));
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditName = new QLineEdit(this);
    EditName->setObjectName(QStringLiteral("EditName"));
    btOK = new QPushButton(tableText("dialogs.prompt.ok"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel = new QPushButton(tableText("dialogs.prompt.cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    // Enter is handled by the name field alone, so one key press confirms
    // once and never reaches a default button as well.
    btOK->setAutoDefault(false);
    btCancel->setAutoDefault(false);

    korvane::prompt::layOut(this, Label1, EditName, btOK, btCancel);

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
    korvane::prompt::fitAndExec(this);
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
    korvane::prompt::centre(this);
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
