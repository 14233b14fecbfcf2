#pragma once
// The target-group dialog: which group a message is moved or copied to. The
// caller sets caption and question and fills the list; the list can also be
// typed into, and a typed name that is no group is the caller's to refuse.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

class TFormVerschiebeMessage : public QDialog {
    Q_OBJECT

public:
    explicit TFormVerschiebeMessage(QWidget* parent = nullptr);

    // Sets caption and question, fills the list with groups and chooses the
    // entry at current (-1: none), shows the dialog modally and gives the
    // list's text on OK, nothing when cancelled or closed.
    std::optional<QString> Ask(const QString& caption, const QString& question, const QStringList& groups,
                               int current);

    void bt_OKClick();
    void bt_CancelClick();

    QLabel* Label1 = nullptr;
    QComboBox* cb_Group = nullptr;
    QPushButton* bt_OK = nullptr;
    QPushButton* bt_Cancel = nullptr;
    // True after a confirmation; any other way of closing leaves it false.
    bool OK = false;

protected:
    void showEvent(QShowEvent* event) override;
};
