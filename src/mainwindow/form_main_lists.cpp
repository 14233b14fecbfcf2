// The configuration and group lists, the change of the current
// configuration, and the one save-and-reload routine every change uses.

#include <QCollator>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>

#include "description_codec.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"

namespace {

// One refill of the lists reads the file several times, and the user hears
// about a broken file once per refill: the outermost refill starts afresh,
// also when it is only the group list of a configuration the user chose.
class RefillScope {
public:
    RefillScope(int& depth, bool& errorShown) : depth_(depth) {
        if (depth_++ == 0) errorShown = false;
    }
    ~RefillScope() { --depth_; }
    RefillScope(const RefillScope&) = delete;
    RefillScope& operator=(const RefillScope&) = delete;

private:
    int& depth_;
};

}  // namespace

QString TFormMain::NoAssignmentText() const {
    // Only German shows the German entry; every other code (also one that
    // is neither language) shows the English one.
    return trText("main.keine_zuordnung",
                  language == QStringLiteral("de") ? QStringLiteral("de") : QStringLiteral("en"));
}

bool TFormMain::IsNoAssignment(const QString& groupText) {
    // Both languages count whatever the current one is, so a list filled
    // before a language switch is still understood.
    return groupText == trText("main.keine_zuordnung", QStringLiteral("de")) ||
           groupText == trText("main.keine_zuordnung", QStringLiteral("en"));
}

void TFormMain::ShowDocumentError(const korvane::DocumentStatus& status) {
    korvane::dialogs().error(fromStd(status.message(language.toStdString())));
}

bool TFormMain::ReloadDocument() {
    if (!XMLkonfig || !XMLkonfig->isLoaded()) return false;
    const korvane::DocumentStatus status = XMLkonfig->refresh();
    if (!status.ok()) {
        // The document keeps what it last read successfully, so the lists
        // still show something sensible.
        if (!ReloadErrorShown) ShowDocumentError(status);
        ReloadErrorShown = true;
        return false;
    }
    return true;
}

bool TFormMain::SaveAndReload(const korvane::TableText& change, const std::string& mergeKey,
                              const std::vector<pugi::xml_node>& changed) {
    if (!XMLkonfig || !XMLkonfig->isLoaded()) return false;
    const korvane::ConfigDocument::Commit commit = XMLkonfig->commit(changed, !BackgroundSaving);
    if (commit.status.code == korvane::DocumentStatus::Code::ChangedOnDisk) {
        // Another program wrote the file. Its contents win: the editor shows
        // the file as it is now, on the same configuration, so the user's
        // next change goes on top of it instead of being refused (and boxed)
        // again at every key.
        ShowDocumentError(commit.status);
        const QString current = CB_Set->currentText();
        XML_HoleKonfigurationen();
        const int at = CB_Set->findText(current);
        if (at >= 0 && at != CB_Set->currentIndex()) {
            CB_Set->setCurrentIndex(at);
            CB_SetChange();
        }
        return false;
    }
    if (!commit.status.ok()) {
        // The file on disk is untouched; the change stays in memory only and
        // the user has been told which file and why.
        ShowDocumentError(commit.status);
        return false;
    }
    RecordChange(commit, change, mergeKey);
    // A change nobody named may have left memory other than what reading
    // the file gives; reading it back makes them agree.
    if (changed.empty()) {
        if (const korvane::DocumentStatus read = XMLkonfig->reload(); !read.ok()) {
            ShowDocumentError(read);
            return false;
        }
    }
    return true;
}

void TFormMain::ReportWriteFailures() {
    if (!XMLkonfig) return;
    bool conflict = false;
    for (const korvane::DocumentStatus& failed : XMLkonfig->takeWriteFailures()) {
        ShowDocumentError(failed);
        conflict = conflict || failed.code == korvane::DocumentStatus::Code::ChangedOnDisk;
    }
    // As when a save waits for the disk: the file another program wrote
    // wins, and the lists show it on the same configuration.
    if (conflict) RefreshLists();
}

void TFormMain::PrepareSaving() {
    // A few entries a turn keep the window answering at once meanwhile.
    constexpr std::size_t kEntriesPerTurn = 32;
    if (!PiecePreparation) {
        PiecePreparation = new QTimer(this);
        PiecePreparation->setObjectName(QStringLiteral("TimerPrepareSaving"));
        connect(PiecePreparation, &QTimer::timeout, this, [this] {
            if (!XMLkonfig || XMLkonfig->preparePieces(kEntriesPerTurn)) PiecePreparation->stop();
        });
    }
    PiecePreparation->start(0);
}

void TFormMain::XML_HoleKonfigurationen() {
    CB_Set->clear();
    if (!XMLkonfig || !XMLkonfig->isLoaded()) return;
    const RefillScope refill(RefillDepth, ReloadErrorShown);
    ReloadDocument();
    PrepareSaving();

    QStringList names;
    for (const std::string& name : XMLkonfig->setNames()) names << fromStd(name);
    // The list is shown in alphabetical order, case ignored, as the user
    // reads it; equal names keep their document order.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    CB_Set->addItems(names);
    CB_Set->setCurrentIndex(names.isEmpty() ? -1 : 0);
    CB_SetChange();
}

void TFormMain::XML_HoleGruppen() {
    CB_Group->clear();
    CB_Group->addItem(NoAssignmentText());
    if (XMLkonfig && XMLkonfig->isLoaded()) {
        const RefillScope refill(RefillDepth, ReloadErrorShown);
        ReloadDocument();
        for (const std::string& name : XMLkonfig->groupNames()) CB_Group->addItem(fromStd(name));
    }
    CB_Group->setCurrentIndex(-1);
}

void TFormMain::CB_SetChange() {
    glb_KonfigName = CB_Set->currentText();
    setWindowTitle(trTextWith("main.caption.config", language, glb_KonfigName));
    XML_HoleGruppen();

    // Showing the stored description is not an edit: writing it back would
    // rewrite a hand-made attribute in the program's own spelling.
    const QSignalBlocker quiet(MemoDescription);
    MemoDescription->clear();
    if (XMLkonfig && XMLkonfig->isLoaded()) {
        const pugi::xml_node set = XMLkonfig->Finde_XML_SetByName(glb_KonfigName.toStdString());
        const pugi::xml_attribute description = set.attribute("description");
        if (description) {
            QStringList lines;
            for (const std::string& line : korvane::decodeDescription(description.value()))
                lines << fromStd(line);
            MemoDescription->setPlainText(lines.join(QLatin1Char('\n')));
        }
    }
    HinweiseErzeugen();
}
