// Selecting an element on the map and assigning it a message through the
// group and message lists. Every change of an assignment is saved at once.

#include <QComboBox>
#include <QCoreApplication>
#include <QPalette>
#include <QSignalBlocker>
#include <vector>

#include "dialogs.h"
#include "element_catalogue.h"
#include "form_main.h"
#include "form_main_texts.h"

using namespace korvane;

namespace {

void setListBackground(QComboBox* list, const QWidget* window, bool white) {
    QPalette palette = list->palette();
    const QColor colour = white ? QColor(Qt::white) : window->palette().color(QPalette::Window);
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    list->setPalette(palette);
}

// A non-editable list has no free text: "clearing its text" means no entry
// is chosen.
void clearListText(QComboBox* list) {
    const QSignalBlocker block(list);
    list->setCurrentIndex(-1);
}

}  // namespace

void TFormMain::ElementClicked(TImage* Sender) { Selektiere(Sender); }

void TFormMain::Deselect() { Selektiere(nullptr); }

void TFormMain::Selektiere(TImage* ClickedImage) {
    // The picture selected before gets its assignment colour back.
    if (LastElement) HinweisErzeugen(LastElement);

    if (!ClickedImage) {
        MessageDatenAnzeigen(pugi::xml_node());
        GeradeSelektierteEingabeElementNummer = -1;
        return;
    }

    const int nummer = elementNumberFromTag(ClickedImage->Tag());
    if (nummer < 0) return;
    GeradeSelektierteEingabeElementNummer = nummer;
    const std::string_view name = Wie_lautet_EingabeElementName(nummer);

    EingabeElementFaerben(ClickedImage, EEIMG_GREEN);
    LastElement = ClickedImage;

    ElementResolution r;
    if (XMLkonfig && XMLkonfig->isLoaded())
        r = XMLkonfig->resolveElement(CB_Set->currentText().toStdString(), name);

    switch (r.state) {
        case ElementResolution::State::NoAssignment: {
            clearListText(CB_MessageName);
            const bool groupShown = !CB_Group->currentText().isEmpty();
            CB_MessageName->setEnabled(groupShown);
            setListBackground(CB_MessageName, this, groupShown);
            CB_MessageNameChange();
            return;
        }
        case ElementResolution::State::DanglingGroup:
        case ElementResolution::State::DanglingMessage:
            // The element stays selected and green; the panel keeps what it
            // showed. The file is not touched: the user decides how to mend.
            dialogs().message(fromStd(r.danglingText(language.toStdString())));
            return;
        case ElementResolution::State::Resolved:
            break;
    }

    const QString groupName = QString::fromUtf8(r.group.attribute("name").value());
    const QString messageName = QString::fromUtf8(r.message.attribute("name").value());
    for (int i = 0; i < CB_Group->count(); ++i) {
        if (CB_Group->itemText(i) != groupName) continue;
        {
            const QSignalBlocker block(CB_Group);
            CB_Group->setCurrentIndex(i);
        }
        // A group that happens to bear a no-assignment name must only fill
        // the message list here: running the group choice would delete the
        // very assignment that is being shown.
        if (IsNoAssignment(groupName))
            FillMessageList(groupName);
        else
            CB_GroupChange();
    }
    for (int i = 0; i < CB_MessageName->count(); ++i) {
        if (CB_MessageName->itemText(i) != messageName) continue;
        const QSignalBlocker block(CB_MessageName);
        CB_MessageName->setCurrentIndex(i);
    }
    // The resolved nodes are still those of the current parse: nothing above
    // saved or reloaded the document.
    if (MessageDatenAnzeigen(r.message)) RG_ModeClick();
}

void TFormMain::FillMessageList(const QString& groupName) {
    const QSignalBlocker block(CB_MessageName);
    CB_MessageName->clear();
    CB_MessageName->setEnabled(true);
    setListBackground(CB_MessageName, this, true);
    if (XMLkonfig && XMLkonfig->isLoaded()) {
        const pugi::xml_node group = XMLkonfig->Finde_XML_MessageGroupByName(groupName.toStdString());
        for (const std::string& message : ConfigDocument::messageNames(group))
            CB_MessageName->addItem(fromStd(message));
    }
    CB_MessageName->setCurrentIndex(-1);
}

void TFormMain::CB_GroupChange() {
    const QString groupText = CB_Group->currentText();
    if (!IsNoAssignment(groupText)) {
        FillMessageList(groupText);
        return;
    }

    // The no-assignment entry removes the selected element's assignment.
    setListBackground(CB_MessageName, this, false);
    CB_MessageName->setEnabled(false);
    {
        const QSignalBlocker block(CB_MessageName);
        CB_MessageName->clear();
    }
    MessageDatenAnzeigen(pugi::xml_node());

    if (GeradeSelektierteEingabeElementNummer < 0 || !XMLkonfig || !XMLkonfig->isLoaded()) return;
    const std::string_view name = Wie_lautet_EingabeElementName(GeradeSelektierteEingabeElementNummer);
    const pugi::xml_node set = XMLkonfig->Finde_XML_SetByName(CB_Set->currentText().toStdString());
    // Every node of the element goes: with a duplicate left behind (a
    // hand-edited file), the last one would still count and the element
    // would stay assigned although the user removed its assignment.
    std::vector<pugi::xml_node> elements;
    for (pugi::xml_node child : set.children("element"))
        if (name == child.attribute("name").value()) elements.push_back(child);
    if (elements.empty()) return;
    for (pugi::xml_node element : elements) removeElementIndented(element);
    SaveAndReload({"library.label.unassign", {Translate(name, language.toStdString())}}, {}, {set});
    HinweisErzeugen(Get_EingabeElement_By_Number(GeradeSelektierteEingabeElementNummer));
    QCoreApplication::processEvents();
}

void TFormMain::CB_MessageNameChange() {
    const QString groupText = CB_Group->currentText();
    const QString messageText = CB_MessageName->currentText();
    pugi::xml_node message;
    // An empty list text means that no message is chosen, also where the
    // group holds a message without a name: the panel is emptied then, or an
    // element without assignment would show (and apply into) that message.
    if (!messageText.isEmpty() && XMLkonfig && XMLkonfig->isLoaded()) {
        const pugi::xml_node group = XMLkonfig->Finde_XML_MessageGroupByName(groupText.toStdString());
        message = ConfigDocument::Finde_XML_MessageByName(messageText.toStdString(), group);
    }
    // The layout follows the shown message's mode at once, so a button
    // message never offers a value range.
    if (MessageDatenAnzeigen(message)) RG_ModeClick();

    if (messageText.isEmpty() || GeradeSelektierteEingabeElementNummer < 0) return;
    // The lists only offer what the document holds, so a choice that names
    // no message of the group is a stale list: after a change of
    // configuration the group list shows no group while the message list
    // still holds the old group's messages. Writing that choice would store
    // a reference to nothing and show the element red.
    if (!message) return;
    if (!XMLkonfig || !XMLkonfig->isLoaded()) return;
    pugi::xml_node set = XMLkonfig->Finde_XML_SetByName(CB_Set->currentText().toStdString());
    if (!set) return;

    const std::string name(Wie_lautet_EingabeElementName(GeradeSelektierteEingabeElementNummer));
    pugi::xml_node element = ConfigDocument::Finde_XML_Element(name, set);
    if (!element) {
        element = appendElementIndented(set, "element");
        element.append_attribute("name").set_value(name.c_str());
        appendElementIndented(element, "group");
        appendElementIndented(element, "name");
    }
    setChildText(element, "group", groupText.toStdString());
    setChildText(element, "name", messageText.toStdString());

    HinweisErzeugen(Get_EingabeElement_By_Number(GeradeSelektierteEingabeElementNummer));
    SaveAndReload({"library.label.assign", {Translate(name, language.toStdString())}}, {}, {set});
}
