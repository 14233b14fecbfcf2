// The message editor panel: showing a message, the layout that follows the
// mode and the element kind, the range display and the change detection that
// enables the apply button.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "panel_logic.h"

using namespace korvane;

namespace {

// Edits that take input are white; edits that do not show the window's own
// background, so an empty panel reads as switched off.
void setEditBackground(QWidget* edit, const QWidget* window, bool white) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, white ? QColor(Qt::white) : window->palette().color(QPalette::Window));
    edit->setPalette(palette);
}

QString captionText(std::string_view key, const QString& language) {
    return key.empty() ? QString() : trText(key, language);
}

}  // namespace

bool TFormMain::MessageDatenAnzeigen(pugi::xml_node xml_Node_Message) {
    const std::array<QLineEdit*, 4> rangeEdits = {Ed_Max, Ed_Min, Ed_Step, Ed_Start};
    const std::array<QLabel*, 4> percentLabels = {Lb_percent1, Lb_percent2, Lb_percent3, Lb_percent4};

    if (!xml_Node_Message) {
        // Emptied panel. LetzteMessage keeps the message shown last: the range
        // defaults of a later display depend on it.
        PanelShowsMessage = false;
        for (QLineEdit* edit : rangeEdits) edit->clear();
        for (QLabel* label : percentLabels) label->clear();
        LabelLinksDruecken->clear();
        LabelRechtsLoslassen->clear();
        Edit_MsgLeft->clear();
        Edit_MsgRight->clear();
        for (QLineEdit* edit : rangeEdits) edit->setEnabled(false);
        Edit_MsgLeft->setEnabled(false);
        Edit_MsgRight->setEnabled(false);
        RG_Mode->setEnabled(false);
        SetRG_ModeItemIndex(-1);
        for (QLineEdit* edit : rangeEdits) setEditBackground(edit, this, false);
        setEditBackground(Edit_MsgLeft, this, false);
        setEditBackground(Edit_MsgRight, this, false);
        for (QRadioButton* rb : {rb_Range_Full, rb_Range_Part, rb_Range_Percent}) {
            rb->setEnabled(false);
            rb->setChecked(false);
        }
        VergleicheMessageDaten();
        return false;
    }

    // The record is read whole before anything is shown, so a stored range
    // value that is not a whole number (a hand-edited file) stops here with
    // the panel empty and LetzteMessage untouched.
    TMessageRecord record = LetzteMessage;
    if (auto problem = readMessageRecord(xml_Node_Message, record)) {
        const std::string lang = language.toStdString();
        dialogs().error(QString::fromStdString(
            textWithAll("panel.err.stored_value", lang,
                        {xml_Node_Message.attribute("name").value(), problem->child, problem->text})));
        MessageDatenAnzeigen(pugi::xml_node());
        return false;
    }
    LetzteMessage = record;

    const int item = LetzteMessage.Mode == MODE_INVAL ? -1 : static_cast<int>(LetzteMessage.Mode) - 1;
    if (item != RG_ModeItemIndex()) {
        SetRG_ModeItemIndex(item);
        RG_ModeClick();
    }

    switch (LetzteMessage.Range) {
        case RANGE_FULL:
            SetRangeButton(RANGE_FULL);
            rb_Range_FullClick();
            break;
        case RANGE_ABS:
            SetRangeButton(RANGE_ABS);
            rb_Range_PartClick();
            break;
        case RANGE_PERCENT:
            SetRangeButton(RANGE_PERCENT);
            rb_Range_PercentClick();
            break;
        case RANGE_INVAL:
            break;
    }

    Edit_MsgLeft->setText(fromStd(LetzteMessage.MessageLeft));
    Edit_MsgRight->setText(fromStd(LetzteMessage.MessageRight));
    Edit_MsgLeft->setEnabled(true);
    Edit_MsgRight->setEnabled(true);
    RG_Mode->setEnabled(true);
    setEditBackground(Edit_MsgLeft, this, true);
    setEditBackground(Edit_MsgRight, this, true);
    for (QRadioButton* rb : {rb_Range_Full, rb_Range_Part, rb_Range_Percent}) rb->setEnabled(true);

    PanelShowsMessage = true;
    VergleicheMessageDaten();
    return true;
}

void TFormMain::RG_ModeClick() {
    const int item = RG_ModeItemIndex();
    if (item < 0) {
        VergleicheMessageDaten();
        return;
    }
    SetTemplateCaptions();

    const auto setRangeButtonsEnabled = [this](bool enabled) {
        for (QRadioButton* rb : {rb_Range_Full, rb_Range_Part, rb_Range_Percent}) rb->setEnabled(enabled);
    };
    switch (item) {
        case 0:
        case 1:
            Edit_MsgRight->setVisible(false);
            Edit_MsgRight->setEnabled(false);
            LabelRechtsLoslassen->clear();
            // The absolute display depends on the mode, so it is redrawn.
            if (rb_Range_Part->isChecked()) rb_Range_PartClick();
            if (rb_Range_Percent->isChecked()) rb_Range_PercentClick();
            setRangeButtonsEnabled(true);
            break;
        case 2:
            Edit_MsgRight->setVisible(true);
            Edit_MsgRight->setEnabled(true);
            // Buttons and digital +/- send fixed messages: no value range.
            SetRangeButton(RANGE_FULL);
            rb_Range_FullClick();
            setRangeButtonsEnabled(false);
            break;
        case 3:
            Edit_MsgRight->setVisible(false);
            Edit_MsgRight->setEnabled(false);
            LabelRechtsLoslassen->clear();
            SetRangeButton(RANGE_FULL);
            rb_Range_FullClick();
            setRangeButtonsEnabled(false);
            break;
        default:
            break;
    }
    VergleicheMessageDaten();
}

void TFormMain::SetTemplateCaptions() {
    const int item = RG_ModeItemIndex();
    if (item < 0) return;
    const panel::TemplateCaptions captions =
        panel::templateCaptions(item, GeradeSelektierteEingabeElementNummer);
    LabelLinksDruecken->setText(captionText(captions.left, language));
    LabelRechtsLoslassen->setText(captionText(captions.right, language));
}

void TFormMain::SetRangeButton(TRange Range) {
    rb_Range_Full->setChecked(Range == RANGE_FULL);
    rb_Range_Part->setChecked(Range == RANGE_ABS);
    rb_Range_Percent->setChecked(Range == RANGE_PERCENT);
}

void TFormMain::rb_Range_FullClick() {
    for (QLineEdit* edit : {Ed_Max, Ed_Min, Ed_Step, Ed_Start}) {
        edit->clear();
        setEditBackground(edit, this, false);
        edit->setEnabled(false);
    }
    for (QLabel* label : {Lb_percent1, Lb_percent2, Lb_percent3, Lb_percent4}) label->clear();
    VergleicheMessageDaten();
}

void TFormMain::rb_Range_PartClick() {
    for (QLineEdit* edit : {Ed_Max, Ed_Min, Ed_Step, Ed_Start}) {
        setEditBackground(edit, this, true);
        edit->setEnabled(true);
    }
    for (QLabel* label : {Lb_percent1, Lb_percent2, Lb_percent3, Lb_percent4}) label->clear();
    AusgabeStellbereich(LetzteMessage.Maximum != 0, LetzteMessage.Mode, RANGE_ABS);
    VergleicheMessageDaten();
}

void TFormMain::rb_Range_PercentClick() {
    for (QLineEdit* edit : {Ed_Max, Ed_Min, Ed_Step, Ed_Start}) {
        setEditBackground(edit, this, true);
        edit->setEnabled(true);
    }
    const QString percent = trText("panel.percent", language);
    for (QLabel* label : {Lb_percent1, Lb_percent2, Lb_percent3, Lb_percent4}) label->setText(percent);
    AusgabeStellbereich(LetzteMessage.Maximum != 0, LetzteMessage.Mode, RANGE_PERCENT);
    VergleicheMessageDaten();
}

void TFormMain::AusgabeStellbereich(bool /*AusLetzterMessage*/, TMode Mode, TRange Range) {
    // The values always come from the stored message, never from what the
    // user typed; the flag is implied by LetzteMessage.Maximum.
    TMessageRecord loaded = LetzteMessage;
    loaded.Mode = Mode;
    const RangeDisplay shown = rangeDisplay(loaded, GetMode(), Range);
    switch (shown.action) {
        case RangeDisplay::Action::Clear:
            for (QLineEdit* edit : {Ed_Max, Ed_Min, Ed_Step, Ed_Start}) {
                edit->clear();
                setEditBackground(edit, this, false);
                edit->setEnabled(false);
            }
            for (QLabel* label : {Lb_percent1, Lb_percent2, Lb_percent3, Lb_percent4}) label->clear();
            break;
        case RangeDisplay::Action::Show: {
            const std::array<QLineEdit*, 4> edits = {Ed_Max, Ed_Min, Ed_Step, Ed_Start};
            for (std::size_t i = 0; i < edits.size(); ++i)
                edits[i]->setText(fromStd(shown.maxMinStepStart[i]));
            break;
        }
        case RangeDisplay::Action::Unchanged:
            break;
    }
}

TMode TFormMain::GetMode() const {
    switch (RG_ModeItemIndex()) {
        case 1:
            return MODE_7Bit;
        case 2:
            return MODE_Taster;
        case 3:
            return MODE_Jogwheel;
        default:
            return MODE_14Bit;
    }
}

TRange TFormMain::GetRange() const {
    if (rb_Range_Percent->isChecked()) return RANGE_PERCENT;
    if (rb_Range_Part->isChecked()) return RANGE_ABS;
    return RANGE_FULL;
}

void TFormMain::MessageChange() { VergleicheMessageDaten(); }

void TFormMain::VergleicheMessageDaten() {
    if (!bt_AenderungenUebernehmen) return;
    if (!PanelShowsMessage) {
        bt_AenderungenUebernehmen->setEnabled(false);
        return;
    }
    // The range edits are compared with what the panel shows for the loaded
    // message in the current display (7-bit and percent converted), so only
    // a real edit enables the button.
    const panel::RangeTexts expected = panel::expectedRangeTexts(LetzteMessage, GetMode(), GetRange());
    const std::array<const QLineEdit*, 4> edits = {Ed_Max, Ed_Min, Ed_Step, Ed_Start};
    bool differs = Edit_MsgLeft->text() != fromStd(LetzteMessage.MessageLeft) ||
                   Edit_MsgRight->text() != fromStd(LetzteMessage.MessageRight) ||
                   GetMode() != LetzteMessage.Mode || GetRange() != LetzteMessage.Range;
    for (std::size_t i = 0; i < edits.size() && !differs; ++i)
        differs = edits[i]->text() != fromStd(expected[i]);
    bt_AenderungenUebernehmen->setEnabled(differs);
}
