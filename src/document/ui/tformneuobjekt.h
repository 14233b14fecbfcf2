#pragma once
// The name dialog: one line for the name of a new, copied or renamed
// configuration, group or message. The caller sets caption, prompt and the
// name before every showing and reads OK and the name afterwards; the dialog
// itself checks nothing, the operations do.

#include <QDialog>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

class TFormNeuObjekt : public QDialog {
    Q_OBJECT

public:
    explicit TFormNeuObjekt(QWidget* parent = nullptr);

    // Sets caption, prompt and name, shows the dialog modally and gives the
    // name on OK, nothing when cancelled or closed.
    std::optional<QString> Ask(const QString& caption, const QString& prompt, const QString& name);

    void FormShow();
    void EditNameKeyPress(int key);
    void btOKClick();
    void btCancelClick();

    QLabel* Label1 = nullptr;
    QLineEdit* EditName = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
    // True after a confirmation; any other way of closing leaves it false.
    bool OK = false;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
