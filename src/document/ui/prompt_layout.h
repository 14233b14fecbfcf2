#pragma once
// What the two small library dialogs share: a prompt line over one input
// field, OK and Cancel on the right, a fixed border that follows the texts
// of each showing, and the place in the middle of the screen.

#include <QString>
#include <string_view>

class QDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace korvane::prompt {

// A text of the table in German: OK and Cancel read the same in both
// languages, and the title is replaced by each showing's own.
QString tableText(std::string_view key);

// Lays out prompt, field and the two buttons in dialog.
void layOut(QDialog* dialog, QLabel* prompt, QWidget* field, QPushButton* ok, QPushButton* cancel);

// Fits the dialog to the texts it shows now and runs it modally.
void fitAndExec(QDialog* dialog);

// Puts the dialog in the middle of the primary screen.
void centre(QDialog* dialog);

}  // namespace korvane::prompt
