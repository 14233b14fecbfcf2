// The commands that manage the library: opening another library file, the
// configuration, group and message menus, and undo / redo.
//
// Each handler only gathers names (through the dialog interface), confirms
// what cannot be taken back without a word, runs the document operation and
// shows its outcome; the rules live in the document library. Every change
// that reaches the file is recorded in the undo history.

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QSignalBlocker>

#include "dialogs.h"
#include "element_catalogue.h"
#include "file_io.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "library_operations.h"

using namespace korvane;

namespace {

std::string std8(const QString& s) { return s.toStdString(); }

// Selects the last list entry equal to text, without running the list's
// change handler; false when there is none.
bool selectLastEqual(QComboBox* list, const QString& text) {
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->itemText(i) != text) continue;
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(i);
        return true;
    }
    return false;
}

// A menu caption shows "&" as a mnemonic marker; a name may hold one.
QString menuSafe(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

// Export files are documents of the library's own format: a name typed
// without an extension gets ".xml".
QString withXmlExtension(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".xml") : path;
}

}  // namespace

// ---------------------------------------------------------------- shared steps

QString TFormMain::LibraryText(std::string_view key) const { return trText(key, language); }

QString TFormMain::LibraryText(std::string_view key, std::initializer_list<QString> values) const {
    TableText t{std::string(key), {}};
    for (const QString& v : values) t.values.push_back(std8(v));
    return fromStd(t.text(std8(language)));
}

bool TFormMain::LibraryReady() const { return XMLkonfig && XMLkonfig->isLoaded(); }

bool TFormMain::TakeOutcome(const LibraryOutcome& outcome, const std::string& mergeKey) {
    switch (outcome.result) {
        case LibraryOutcome::Result::Changed:
        case LibraryOutcome::Result::Switched:
            History.record(XMLkonfig->fileName(), outcome, mergeKey);
            UpdateUndoMenu(language);
            return true;
        case LibraryOutcome::Result::Exported:
            return true;
        case LibraryOutcome::Result::Unchanged:
            return false;
        case LibraryOutcome::Result::Refused:
            dialogs().error(fromStd(outcome.problem(std8(language))));
            return false;
        case LibraryOutcome::Result::Failed:
            dialogs().error(fromStd(outcome.problem(std8(language))));
            // The document holds what its file holds now (another program
            // may have written it): the lists show that, on the same
            // configuration.
            RefreshLists();
            return false;
    }
    return false;
}

void TFormMain::RecordChange(const ConfigDocument::Commit& commit, const TableText& change,
                             const std::string& mergeKey) {
    // A save that wrote what the file already held is no step.
    if (commit.before == commit.after || (commit.before && commit.after && *commit.before == *commit.after))
        return;
    History.recordChange(XMLkonfig->fileName(),
                         change.empty() ? TableText{"library.label.change", {}} : change, commit.before,
                         commit.after, mergeKey);
    UpdateUndoMenu(language);
}

std::optional<std::string> TFormMain::WorkingFileBytes() const {
    if (!LibraryReady()) return std::nullopt;
    std::string error;
    return detail::readWholeFile(XMLkonfig->fileName(), error);
}

void TFormMain::RefreshLists() {
    const QString set = CB_Set->currentText();
    const QString group = CB_Group->currentText();
    const QString message = CB_MessageName->currentText();
    XML_HoleKonfigurationen();
    if (!set.isEmpty() && set != CB_Set->currentText() && selectLastEqual(CB_Set, set)) CB_SetChange();
    // The group list is filled without a choice; the user's group comes
    // back only by filling its message list (choosing the no-assignment
    // entry would remove the selected element's assignment).
    if (!IsNoAssignment(group) && selectLastEqual(CB_Group, group)) {
        FillMessageList(group);
        selectLastEqual(CB_MessageName, message);
    }
    if (LastElement && GeradeSelektierteEingabeElementNummer >= 0)
        Selektiere(LastElement);
    else
        ShowListedMessage();
}

void TFormMain::ShowListedMessage() {
    pugi::xml_node message;
    if (LibraryReady() && !CB_MessageName->currentText().isEmpty()) {
        const pugi::xml_node group = XMLkonfig->Finde_XML_MessageGroupByName(std8(CB_Group->currentText()));
        message = ConfigDocument::Finde_XML_MessageByName(std8(CB_MessageName->currentText()), group);
    }
    if (MessageDatenAnzeigen(message)) RG_ModeClick();
}

void TFormMain::ShowConfiguration(const QString& name) {
    XML_HoleKonfigurationen();
    if (selectLastEqual(CB_Set, name)) CB_SetChange();
}

void TFormMain::ShowGroup(const QString& name) {
    XML_HoleGruppen();
    if (selectLastEqual(CB_Group, name)) CB_GroupChange();
    HinweiseErzeugen();
}

void TFormMain::ShowMessageOfGroup(const QString& name) {
    CB_GroupChange();
    if (!name.isEmpty() && selectLastEqual(CB_MessageName, name)) ShowListedMessage();
    HinweiseErzeugen();
}

QString TFormMain::CurrentGroup() const {
    const QString group = CB_Group->currentText();
    return IsNoAssignment(group) ? QString() : group;
}

// ---------------------------------------------------------------- undo / redo

void TFormMain::UpdateUndoMenu(const QString& code) {
    QAction* undo = menuEntry(u"Menu_Rueckgaengig_");
    QAction* redo = menuEntry(u"Menu_Wiederherstellen_");
    if (!undo || !redo) return;
    const std::string lang = std8(code);
    auto caption = [&](const TableText* next, std::string_view withChange, std::string_view plain) {
        if (!next) return trText(plain, code);
        return fromStd(
            TableText{std::string(withChange), {std8(menuSafe(fromStd(next->text(lang))))}}.text(lang));
    };
    undo->setEnabled(History.canUndo());
    undo->setText(caption(History.nextUndo(), "library.menu.undo", "main.Menu_Rueckgaengig_"));
    redo->setEnabled(History.canRedo());
    redo->setText(caption(History.nextRedo(), "library.menu.redo", "main.Menu_Wiederherstellen_"));
}

void TFormMain::TravelHistory(bool back) {
    if (!XMLkonfig) return;
    const LibraryHistory::Step step = back ? History.undo(*XMLkonfig) : History.redo(*XMLkonfig);
    if (!step.status.ok()) ShowDocumentError(step.status);
    if (step.done || step.status.code == DocumentStatus::Code::ChangedOnDisk) RefreshLists();
    UpdateUndoMenu(language);
}

void TFormMain::Menu_Rueckgaengig_Click() { TravelHistory(true); }
void TFormMain::Menu_Wiederherstellen_Click() { TravelHistory(false); }

// ---------------------------------------------------------------- file

void TFormMain::Menu_Oeffnen_Click() {
    if (!XMLkonfig) return;
    const auto path = dialogs().openFile(LibraryText("library.open.caption"), DataFolder,
                                         LibraryText("library.open.filter"));
    if (!path) return;
    const LibraryOutcome o = openLibrary(*XMLkonfig, std8(*path));
    if (o.result == LibraryOutcome::Result::Switched) {
        TakeOutcome(o);
        XML_HoleKonfigurationen();
        return;
    }
    // One box: what is wrong with the chosen file, and which file the
    // editor goes on with.
    QString text = fromStd(o.problem(std8(language)));
    if (LibraryReady())
        text += QStringLiteral("\n\n") +
                LibraryText("library.open.kept", {QString::fromStdString(XMLkonfig->fileName().string())});
    dialogs().error(text);
}

// ---------------------------------------------------------------- configurations

void TFormMain::Menu_Neue_Konfiguration_Click() {
    if (!LibraryReady()) return;
    const auto name = dialogs().prompt(LibraryText("library.config.new.caption"),
                                       LibraryText("library.config.new.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(newConfiguration(*XMLkonfig, std8(*name)))) ShowConfiguration(*name);
}

void TFormMain::Menu_Dupliziere_Konfiguration_Click() {
    if (!LibraryReady()) return;
    const QString current = CB_Set->currentText();
    const auto name = dialogs().prompt(LibraryText("library.config.copy.caption"),
                                       LibraryText("library.config.copy.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(duplicateConfiguration(*XMLkonfig, std8(current), std8(*name)))) ShowConfiguration(*name);
}

void TFormMain::Menu_Umbenenne_Konfiguration_Click() {
    if (!LibraryReady()) return;
    const QString current = CB_Set->currentText();
    const auto name = dialogs().prompt(LibraryText("library.config.rename.caption"),
                                       LibraryText("library.config.rename.prompt"), current);
    if (!name) return;
    if (TakeOutcome(renameConfiguration(*XMLkonfig, std8(current), std8(*name)))) ShowConfiguration(*name);
}

void TFormMain::Menu_Loesche_Konfiguration_Click() {
    if (!LibraryReady()) return;
    const QString current = CB_Set->currentText();
    if (current == fromStd(std::string(kProtectedDefaultName))) {
        dialogs().error(LibraryText("library.config.delete_default"));
        return;
    }
    if (!dialogs().question(LibraryText("library.config.delete_question"))) return;
    if (TakeOutcome(deleteConfiguration(*XMLkonfig, std8(current)))) XML_HoleKonfigurationen();
}

void TFormMain::Menu_Exportiere_Konfiguration_Click() {
    if (!LibraryReady()) return;
    if (CB_Set->currentText().isEmpty()) {
        dialogs().error(LibraryText("library.config.none_chosen"));
        return;
    }
    const auto path = dialogs().saveFile(LibraryText("library.config.export.caption"),
                                         QFileInfo(fromStd(XMLkonfig->fileName().string())).absolutePath(),
                                         LibraryText("library.config.export.filter"));
    if (!path) return;
    const LibraryOutcome o =
        exportConfiguration(*XMLkonfig, std8(glb_KonfigName), std8(withXmlExtension(*path)));
    if (!TakeOutcome(o)) return;
    QString text = LibraryText("library.config.exported");
    if (!o.leftOut.empty()) {
        QStringList names;
        for (const std::string& element : o.leftOut) names << fromStd(Translate(element, std8(language)));
        text += QStringLiteral("\n\n") +
                LibraryText("library.export.left_out", {names.join(QStringLiteral(", "))});
    }
    dialogs().info(text);
}

// ---------------------------------------------------------------- groups

void TFormMain::Menu_Neue_Gruppe_Click() {
    if (!LibraryReady()) return;
    const auto name = dialogs().prompt(LibraryText("library.group.new.caption"),
                                       LibraryText("library.group.new.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(newGroup(*XMLkonfig, std8(*name)))) ShowGroup(*name);
}

void TFormMain::Menu_Dupliziere_Gruppe_Click() {
    if (!LibraryReady()) return;
    const QString current = CurrentGroup();
    // Asking for a name that would then be thrown away helps nobody.
    if (current.isEmpty()) {
        dialogs().error(LibraryText("library.group.none_chosen"));
        return;
    }
    const auto name = dialogs().prompt(LibraryText("library.group.copy.caption", {current}),
                                       LibraryText("library.copy.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(duplicateGroup(*XMLkonfig, std8(current), std8(*name)))) ShowGroup(*name);
}

void TFormMain::Menu_Umbenenne_Gruppe_Click() {
    // An empty group list asks nothing and says nothing.
    if (!LibraryReady() || CB_Group->currentText().isEmpty()) return;
    const QString current = CurrentGroup();
    if (current.isEmpty()) {
        dialogs().error(LibraryText("library.group.none_chosen"));
        return;
    }
    const auto name = dialogs().prompt(LibraryText("library.group.rename.caption", {current}),
                                       LibraryText("library.group.rename.prompt"), current);
    if (!name) return;
    if (TakeOutcome(renameGroup(*XMLkonfig, std8(current), std8(*name)))) ShowGroup(*name);
}

void TFormMain::Menu_Loesche_Gruppe_Click() {
    if (!LibraryReady()) return;
    const QString current = CB_Group->currentText();
    if (current == fromStd(std::string(kProtectedDefaultName))) {
        dialogs().error(LibraryText("library.group.delete_default"));
        return;
    }
    if (CurrentGroup().isEmpty()) return;
    QString question = LibraryText("library.group.delete_question", {current});
    const Usage usage = groupUsage(*XMLkonfig, std8(current));
    if (usage.elements > 0)
        question += QStringLiteral("\n\n") +
                    LibraryText("library.in_use",
                                {QString::number(usage.elements), QString::number(usage.configurations)});
    if (!dialogs().question(question)) return;
    if (TakeOutcome(deleteGroup(*XMLkonfig, std8(current)))) {
        XML_HoleGruppen();
        HinweiseErzeugen();
    }
}

void TFormMain::Menu_Exportiere_Gruppe_Click() {
    if (!LibraryReady()) return;
    const QString current = CurrentGroup();
    if (current.isEmpty()) {
        dialogs().error(LibraryText("library.group.none_chosen"));
        return;
    }
    const auto path = dialogs().saveFile(LibraryText("library.group.export.caption"),
                                         QFileInfo(fromStd(XMLkonfig->fileName().string())).absolutePath(),
                                         LibraryText("library.group.export.filter"));
    if (!path) return;
    if (TakeOutcome(exportGroup(*XMLkonfig, std8(current), std8(withXmlExtension(*path)))))
        dialogs().info(LibraryText("library.group.exported"));
}

// ---------------------------------------------------------------- messages

bool TFormMain::MessageChosen() {
    if (!CB_MessageName->currentText().isEmpty()) return true;
    dialogs().error(LibraryText("library.message.none_chosen"));
    return false;
}

void TFormMain::Menu_Neue_Message_Click() {
    if (!LibraryReady()) return;
    const QString group = CurrentGroup();
    if (group.isEmpty() || !XMLkonfig->Finde_XML_MessageGroupByName(std8(group))) {
        dialogs().error(LibraryText("library.message.no_group"));
        return;
    }
    const auto name = dialogs().prompt(LibraryText("library.message.new.caption"),
                                       LibraryText("library.message.new.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(newMessage(*XMLkonfig, std8(group), std8(*name)))) ShowMessageOfGroup(*name);
}

void TFormMain::Menu_Dupliziere_Message_Click() {
    if (!LibraryReady() || !MessageChosen()) return;
    const QString group = CurrentGroup();
    const QString message = CB_MessageName->currentText();
    const auto name = dialogs().prompt(LibraryText("library.message.copy.caption", {message}),
                                       LibraryText("library.copy.prompt"), QString());
    if (!name) return;
    if (TakeOutcome(duplicateMessage(*XMLkonfig, std8(group), std8(message), std8(*name))))
        ShowMessageOfGroup(*name);
}

void TFormMain::Menu_Umbenenne_Message_Click() {
    if (!LibraryReady() || !MessageChosen()) return;
    const QString group = CurrentGroup();
    const QString message = CB_MessageName->currentText();
    const auto name = dialogs().prompt(LibraryText("library.message.rename.caption"),
                                       LibraryText("library.message.rename.prompt"), message);
    if (!name) return;
    if (TakeOutcome(renameMessage(*XMLkonfig, std8(group), std8(message), std8(*name))))
        ShowMessageOfGroup(*name);
}

void TFormMain::Menu_Loesche_Message_Click() {
    if (!LibraryReady() || !MessageChosen()) return;
    const QString group = CB_Group->currentText();
    const QString message = CB_MessageName->currentText();
    if (group == fromStd(std::string(kProtectedDefaultName))) {
        dialogs().error(LibraryText("library.message.delete_default"));
        return;
    }
    QString question = LibraryText("library.message.delete_question", {message, group});
    const Usage usage = messageUsage(*XMLkonfig, std8(group), std8(message));
    if (usage.elements > 0)
        question += QStringLiteral("\n\n") +
                    LibraryText("library.in_use",
                                {QString::number(usage.elements), QString::number(usage.configurations)});
    if (!dialogs().question(question)) return;
    if (TakeOutcome(deleteMessage(*XMLkonfig, std8(group), std8(message)))) ShowMessageOfGroup(QString());
}

void TFormMain::MoveOrCopyMessage(bool move) {
    if (!LibraryReady() || !MessageChosen()) return;
    const QString group = CurrentGroup();
    const QString message = CB_MessageName->currentText();
    QStringList groups;
    for (int i = 0; i < CB_Group->count(); ++i) groups << CB_Group->itemText(i);
    const auto target = move ? dialogs().chooseGroup(LibraryText("library.message.move.caption"),
                                                     LibraryText("library.message.move.question"), groups,
                                                     CB_Group->currentIndex())
                             : dialogs().chooseGroup(LibraryText("library.message.copyto.caption"),
                                                     LibraryText("library.message.copyto.question"), groups,
                                                     CB_Group->currentIndex());
    // The no-assignment entry, or a typed name of no group: nothing to do.
    if (!target || IsNoAssignment(*target)) return;
    const LibraryOutcome o = move ? moveMessage(*XMLkonfig, std8(group), std8(message), std8(*target))
                                  : copyMessage(*XMLkonfig, std8(group), std8(message), std8(*target));
    if (TakeOutcome(o)) ShowMessageOfGroup(QString());
}

void TFormMain::Menu_Schiebe_Message_In_Andere_Gruppe_Click() { MoveOrCopyMessage(true); }
void TFormMain::Menu_Kopiere_Message_In_Andere_Gruppe_Click() { MoveOrCopyMessage(false); }
