#include "form_verschiebe_message.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "prompt_layout.h"

using korvane::prompt::tableText;

TFormVerschiebeMessage::TFormVerschiebeMessage(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormVerschiebeMessage"));
    setWindowTitle(tableText("main.TFormVerschiebeMessage"));
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    cb_Group = new QComboBox(this);
    cb_Group->setObjectName(QStringLiteral("cb_Group"));
    // A name can be typed as well as chosen; typing never adds an entry.
    cb_Group->setEditable(true);
    cb_Group->setInsertPolicy(QComboBox::NoInsert);
    bt_OK = new QPushButton(tableText("dialogs.prompt.ok"), this);
    bt_OK->setObjectName(QStringLiteral("bt_OK"));
    bt_OK->setDefault(true);
    bt_Cancel = new QPushButton(tableText("dialogs.prompt.cancel"), this);
    bt_Cancel->setObjectName(QStringLiteral("bt_Cancel"));
    bt_Cancel->setAutoDefault(false);

    korvane::prompt::layOut(this, Label1, cb_Group, bt_OK, bt_Cancel);

    connect(bt_OK, &QPushButton::clicked, this, [this] { bt_OKClick(); });
    connect(bt_Cancel, &QPushButton::clicked, this, [this] { bt_CancelClick(); });
    // The close box and Escape cancel.
    connect(this, &QDialog::rejected, this, [this] { OK = false; });
}

std::optional<QString> TFormVerschiebeMessage::Ask(const QString& caption, const QString& question,
                                                   const QStringList& groups, int current) {
    setWindowTitle(caption);
    Label1->setText(question);
    cb_Group->clear();
    cb_Group->addItems(groups);
    cb_Group->setCurrentIndex(current >= 0 && current < groups.size() ? current : -1);
    OK = false;
    korvane::prompt::fitAndExec(this);
    if (!OK) return std::nullopt;
    return cb_Group->currentText();
}

void TFormVerschiebeMessage::bt_OKClick() {
    OK = true;
    accept();
}

void TFormVerschiebeMessage::bt_CancelClick() {
    OK = false;
    reject();
}

void TFormVerschiebeMessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    korvane::prompt::centre(this);
    cb_Group->setFocus(Qt::OtherFocusReason);
}
