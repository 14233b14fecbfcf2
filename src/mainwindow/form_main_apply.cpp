// Writing the panel's edits into the message node, and the description of
// the current configuration. Each is saved at once.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "description_codec.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "panel_logic.h"
#include "sysex.h"

using namespace korvane;

namespace {

// Text-table key of the label that names a range edit in error messages.
std::string_view rangeFieldLabelKey(panel::RangeField field) {
    switch (field) {
        case panel::kMax:
            return "main.LabelMax";
        case panel::kMin:
            return "main.LabelMin";
        case panel::kStep:
            return "main.LabelStep";
        case panel::kStart:
            return "main.Label1";
    }
    return "main.LabelMin";
}

}  // namespace

void TFormMain::bt_AenderungenUebernehmenClick() { Aenderungen_uebernehmen(); }

void TFormMain::Aenderungen_uebernehmen() {
    if (IsNoAssignment(CB_Group->currentText())) return;
    // An empty panel has nothing to apply; writing it would wipe the message
    // that the lists still name.
    if (!PanelShowsMessage) return;

    panel::ApplyInput input;
    input.left = Edit_MsgLeft->text().toStdString();
    input.right = Edit_MsgRight->text().toStdString();
    input.rightEditable = RG_ModeItemIndex() == 2;
    input.mode = GetMode();
    input.range = GetRange();
    input.edits = {Ed_Max->text().toStdString(), Ed_Min->text().toStdString(), Ed_Step->text().toStdString(),
                   Ed_Start->text().toStdString()};
    input.decimalPoint = QLocale().decimalPoint().toStdString();

    // Everything is checked before the node is touched: on a refusal the
    // document stays as it was and the edits keep the user's text.
    const panel::ApplyPlan plan = panel::planApply(input);
    if (plan.problem != panel::ApplyProblem::None) {
        const std::string lang = language.toStdString();
        std::string message;
        const std::string fieldLabel(text(rangeFieldLabelKey(plan.field), lang));
        const std::string typed = plan.problem == panel::ApplyProblem::LeftTemplate ? input.left
                                  : plan.problem == panel::ApplyProblem::RightTemplate
                                      ? input.right
                                      : input.edits[plan.field];
        switch (plan.problem) {
            case panel::ApplyProblem::LeftTemplate:
            case panel::ApplyProblem::RightTemplate:
                // The same box the hex text parser shows everywhere else; the
                // whole typed text in it tells the user which field it was.
                message = invalidHexTextMessage(typed, lang);
                break;
            case panel::ApplyProblem::Value14Bit:
                message = textWithAll("panel.err.value14", lang, {typed, fieldLabel});
                break;
            case panel::ApplyProblem::Value7Bit:
                message = textWithAll("panel.err.value7", lang, {typed, fieldLabel});
                break;
            case panel::ApplyProblem::Percent:
                message = textWithAll("panel.err.percent", lang, {typed, fieldLabel, input.decimalPoint});
                break;
            case panel::ApplyProblem::None:
                break;
        }
        dialogs().error(QString::fromStdString(message));
        return;
    }

    if (!XMLkonfig || !XMLkonfig->isLoaded()) return;
    // No message chosen (another group was picked after the element was
    // shown): a lookup by the empty name would find a message of that group
    // that lacks a name and overwrite it with the panel's edits.
    if (CB_MessageName->currentText().isEmpty()) return;
    const pugi::xml_node group =
        XMLkonfig->Finde_XML_MessageGroupByName(CB_Group->currentText().toStdString());
    pugi::xml_node message =
        ConfigDocument::Finde_XML_MessageByName(CB_MessageName->currentText().toStdString(), group);
    if (!message) return;

    for (const auto& [child, value] : plan.children) setChildText(message, child, value);
    SaveAndReload({"library.label.message_edit", {CB_MessageName->currentText().toStdString()}}, {},
                  {message});
    // Showing the element again loads what was saved into LetzteMessage, and
    // the apply button then compares against it.
    Selektiere(LastElement);
}

void TFormMain::MemoDescriptionKeyUp() {
    if (!XMLkonfig || !XMLkonfig->isLoaded()) return;
    std::vector<std::string> lines;
    // An empty memo has no lines at all; otherwise every text block is one
    // line, so a trailing line break survives as an empty last line.
    if (!MemoDescription->document()->isEmpty()) {
        for (QTextBlock block = MemoDescription->document()->begin(); block.isValid(); block = block.next())
            // XML has no way to hold the character 0 (a paste may carry
            // one), and the attribute would end there: it is left out.
            lines.push_back(block.text().remove(QChar(0)).toStdString());
    }
    const std::string encoded = encodeDescription(lines);

    const std::string setName = CB_Set->currentText().toStdString();
    std::vector<pugi::xml_node> changed;
    for (pugi::xml_node set : XMLkonfig->sets().children("set")) {
        if (setName != set.attribute("name").value()) continue;
        pugi::xml_attribute description = set.attribute("description");
        // Keys that change nothing (arrows, shift) leave the file alone.
        if (description ? encoded == description.value() : encoded.empty()) continue;
        if (!description) description = set.append_attribute("description");
        description.set_value(encoded.c_str());
        changed.push_back(set);
    }
    // The keys typed into one description are one step of the undo history.
    if (!changed.empty())
        SaveAndReload({"library.label.description", {setName}}, "description " + setName, changed);
}
