#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include "form_neu_objekt.h"
#include "form_verschiebe_message.h"
#include "texts.h"

namespace korvane {
namespace {

QString& languageStore() {
    static QString language = QStringLiteral("de");
    return language;
}

QString tr(std::string_view key) {
    const std::string lang = uiLanguage().toStdString();
    const std::string_view t = text(key, lang);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// Until the program installs real boxes, nothing may block: the silent
// default answers No and cancels every prompt.
ScriptedDialogs& silentDefault() {
    static ScriptedDialogs silent;
    return silent;
}

Dialogs*& installed() {
    static Dialogs* current = nullptr;
    return current;
}

// Qt file dialogs take "Name (*.ext)" filters; the old "Name|*.ext" form of
// the text table is turned into it here so callers can pass either.
QString qtFilter(const QString& filter) {
    const auto bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0) return filter;
    const QString name = filter.left(bar);
    const QString pattern = filter.mid(bar + 1);
    if (name.contains(pattern)) return name;
    return name + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

}  // namespace

QString uiLanguage() { return languageStore(); }
void setUiLanguage(const QString& language) { languageStore() = language; }

Dialogs& dialogs() {
    Dialogs* d = installed();
    return d ? *d : silentDefault();
}

Dialogs* setDialogs(Dialogs* d) {
    Dialogs* previous = installed();
    installed() = d;
    return previous;
}

// ---------------------------------------------------------------- QtDialogs

namespace {

// Some texts end their lines in "\n\r"; a box would show each as a blank line.
QString shown(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const std::string normal =
        korvane::normalizeLineEnds(std::string_view(utf8.constData(), size_t(utf8.size())));
    return QString::fromUtf8(normal.data(), qsizetype(normal.size()));
}

}  // namespace

QWidget* QtDialogs::owner() const { return parent_ ? parent_ : QApplication::activeWindow(); }

void QtDialogs::error(const QString& text) {
    QMessageBox::critical(owner(), tr("dialogs.caption.error"), shown(text), QMessageBox::Ok);
}

void QtDialogs::info(const QString& text) {
    QMessageBox::information(owner(), tr("dialogs.caption.info"), shown(text), QMessageBox::Ok);
}

void QtDialogs::message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, tr("dialogs.caption.message"), shown(text), QMessageBox::Ok,
                    owner());
    box.exec();
}

bool QtDialogs::question(const QString& text) {
    QMessageBox box(QMessageBox::Question, tr("dialogs.caption.question"), shown(text),
                    QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(QMessageBox::No);
    // Qt's own button texts are English whatever the interface speaks.
    box.button(QMessageBox::Yes)->setText(tr("dialogs.button.yes"));
    box.button(QMessageBox::No)->setText(tr("dialogs.button.no"));
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::prompt(const QString& caption, const QString& label,
                                         const QString& initial) {
    if (nameDialog_) return nameDialog_->Ask(caption, label, initial);
    TFormNeuObjekt once(owner());
    return once.Ask(caption, label, initial);
}

std::optional<QString> QtDialogs::chooseGroup(const QString& caption, const QString& question,
                                              const QStringList& groups, int current) {
    if (targetGroupDialog_) return targetGroupDialog_->Ask(caption, question, groups, current);
    TFormVerschiebeMessage once(owner());
    return once.Ask(caption, question, groups, current);
}

std::optional<QString> QtDialogs::openFile(const QString& caption, const QString& folder,
                                           const QString& filter) {
    const QString path = QFileDialog::getOpenFileName(owner(), caption, folder, qtFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::saveFile(const QString& caption, const QString& folder,
                                           const QString& filter) {
    QFileDialog dialog(owner(), caption, folder, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without extension gets the one of the filter ("*.xml").
    const QString pattern = filter.mid(filter.lastIndexOf(QLatin1Char('*')) + 1);
    if (pattern.startsWith(QLatin1Char('.')))
        dialog.setDefaultSuffix(pattern.mid(1).remove(QLatin1Char(')')));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// ---------------------------------------------------------------- ScriptedDialogs

void ScriptedDialogs::setNextAnswer(bool yes) { answers_.push_back(yes); }
void ScriptedDialogs::setNextText(std::optional<QString> text) { texts_.push_back(std::move(text)); }
void ScriptedDialogs::setNextFile(std::optional<QString> path) { files_.push_back(std::move(path)); }
void ScriptedDialogs::setNextGroup(std::optional<QString> group) { groups_.push_back(std::move(group)); }

QStringList ScriptedDialogs::texts(Kind kind) const {
    QStringList result;
    for (const auto& s : shown_)
        if (s.kind == kind) result << s.text;
    return result;
}

void ScriptedDialogs::clear() {
    shown_.clear();
    answers_.clear();
    texts_.clear();
    files_.clear();
    groups_.clear();
}

void ScriptedDialogs::error(const QString& text) { shown_.push_back({Kind::Error, text, {}, {}, {}}); }
void ScriptedDialogs::info(const QString& text) { shown_.push_back({Kind::Info, text, {}, {}, {}}); }
void ScriptedDialogs::message(const QString& text) { shown_.push_back({Kind::Message, text, {}, {}, {}}); }

bool ScriptedDialogs::question(const QString& text) {
    shown_.push_back({Kind::Question, text, {}, {}, {}});
    if (answers_.empty()) return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

namespace {

// The next scripted answer, or none (a cancelled dialog) when the script ran
// out. An answer may itself be "none", scripted as a cancel.
std::optional<QString> takeNext(std::deque<std::optional<QString>>& answers) {
    if (answers.empty() || !answers.front()) {
        if (!answers.empty()) answers.pop_front();
        return std::nullopt;
    }
    // The text is moved out on its own: moving the whole optional draws a
    // false "may be used uninitialized" from the optimiser.
    QString text = std::move(*answers.front());
    answers.pop_front();
    return text;
}

}  // namespace

std::optional<QString> ScriptedDialogs::prompt(const QString& caption, const QString& label,
                                               const QString& initial) {
    shown_.push_back({Kind::Prompt, label, caption, initial, {}});
    return takeNext(texts_);
}

std::optional<QString> ScriptedDialogs::chooseGroup(const QString& caption, const QString& question,
                                                    const QStringList& groups, int current) {
    shown_.push_back({Kind::ChooseGroup, question, caption,
                      current >= 0 && current < groups.size() ? groups[current] : QString(), groups});
    return takeNext(groups_);
}

std::optional<QString> ScriptedDialogs::openFile(const QString& caption, const QString& folder,
                                                 const QString&) {
    shown_.push_back({Kind::OpenFile, caption, caption, folder, {}});
    return takeNext(files_);
}

std::optional<QString> ScriptedDialogs::saveFile(const QString& caption, const QString& folder,
                                                 const QString&) {
    shown_.push_back({Kind::SaveFile, caption, caption, folder, {}});
    return takeNext(files_);
}

}  // namespace korvane
