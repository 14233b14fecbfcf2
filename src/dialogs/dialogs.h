#pragma once
// The one road by which the editor talks to the user in boxes.
//
// Every error box, information box, yes/no question, name prompt and file
// dialog of every window goes through korvane::dialogs(). The program
// installs the Qt implementation (QtDialogs) at start; tests install
// ScriptedDialogs, which answers from a script and records what was shown, so
// no test ever blocks in a modal loop.
//
// Texts passed in are final (already looked up in the text table in the
// current language); the box captions ("Fehler"/"Error", ...) are looked up
// here in korvane::uiLanguage().

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

class QWidget;
class TFormNeuObjekt;
class TFormVerschiebeMessage;

namespace korvane {

// The interface language the windows show ("de" or "en"; any other code keeps
// the designed captions). The main window sets it whenever it applies a
// language; every window reads it when it shows a text.
QString uiLanguage();
void setUiLanguage(const QString& language);

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Error box: error icon, single button OK.
    virtual void error(const QString& text) = 0;
    // Information box: information icon, single button OK.
    virtual void info(const QString& text) = 0;
    // Plain box without icon, single button OK (used where the old program
    // showed a bare message, e.g. dangling references on the map).
    virtual void message(const QString& text) = 0;
    // Question box: confirmation icon, buttons Yes and No. True for Yes;
    // closing the box any other way counts as No.
    virtual bool question(const QString& text) = 0;
    // Text prompt: window caption, prompt label, initial text. The entered
    // text (may be empty) on OK, nothing on cancel or close.
    virtual std::optional<QString> prompt(const QString& caption, const QString& label,
                                          const QString& initial) = 0;
    // Target-group dialog: window caption, question, the groups to offer
    // and the one chosen at first (-1: none). The text of the list on OK
    // (it can be typed, so it may name no group), nothing on cancel or close.
    virtual std::optional<QString> chooseGroup(const QString& caption, const QString& question,
                                               const QStringList& groups, int current) = 0;
    // Open and save file dialogs. filter uses Qt's form, e.g.
    // "Korvane configurations (*.xml)". The chosen path, or nothing.
    virtual std::optional<QString> openFile(const QString& caption, const QString& folder,
                                            const QString& filter) = 0;
    virtual std::optional<QString> saveFile(const QString& caption, const QString& folder,
                                            const QString& filter) = 0;
};

// The dialogs every window uses. Before anything is installed this is a
// ScriptedDialogs that answers No / cancel, so a box shown by code that runs
// without a user (tools, tests that forgot to install one) never blocks.
Dialogs& dialogs();
// Installs d (not owned; nullptr restores the silent default). Returns the
// previously installed one.
Dialogs* setDialogs(Dialogs* d);

// Real boxes: QMessageBox, QInputDialog, QFileDialog, modal to parent (or to
// the active window when parent is null).
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // The name dialog and the target-group dialog made once at start and
    // shown again for every question (not owned). Without them a dialog is
    // made for the one showing.
    void setNameDialog(TFormNeuObjekt* dialog) { nameDialog_ = dialog; }
    void setTargetGroupDialog(TFormVerschiebeMessage* dialog) { targetGroupDialog_ = dialog; }

    void error(const QString& text) override;
    void info(const QString& text) override;
    void message(const QString& text) override;
    bool question(const QString& text) override;
    std::optional<QString> prompt(const QString& caption, const QString& label,
                                  const QString& initial) override;
    std::optional<QString> chooseGroup(const QString& caption, const QString& question,
                                       const QStringList& groups, int current) override;
    std::optional<QString> openFile(const QString& caption, const QString& folder,
                                    const QString& filter) override;
    std::optional<QString> saveFile(const QString& caption, const QString& folder,
                                    const QString& filter) override;

private:
    QWidget* owner() const;
    QWidget* parent_;
    TFormNeuObjekt* nameDialog_ = nullptr;
    TFormVerschiebeMessage* targetGroupDialog_ = nullptr;
};

// For tests: answers come from a queue filled with setNextAnswer /
// setNextText / setNextFile, in the order the boxes appear; an empty queue
// answers No / cancel. Every box shown is recorded in shown().
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Error, Info, Message, Question, Prompt, ChooseGroup, OpenFile, SaveFile };

    struct Shown {
        Kind kind;
        QString text;         // box text, or the prompt label / dialog caption
        QString caption;      // prompt caption, file dialog caption; empty for boxes
        QString initial;      // prompt's initial text, file dialog's folder, group chosen at first
        QStringList choices;  // the groups a target-group dialog offered
    };

    // Next question answered Yes (true) or No (false).
    void setNextAnswer(bool yes);
    // Next prompt answered with text (OK) or cancelled (nullopt).
    void setNextText(std::optional<QString> text);
    // Next open/save dialog answered with a path or cancelled.
    void setNextFile(std::optional<QString> path);
    // Next target-group dialog answered with that text (OK) or cancelled.
    void setNextGroup(std::optional<QString> group);

    const std::vector<Shown>& shown() const { return shown_; }
    // Texts of the boxes of one kind, in order.
    QStringList texts(Kind kind) const;
    // Number of boxes of any kind shown so far.
    std::size_t count() const { return shown_.size(); }
    void clear();

    void error(const QString& text) override;
    void info(const QString& text) override;
    void message(const QString& text) override;
    bool question(const QString& text) override;
    std::optional<QString> prompt(const QString& caption, const QString& label,
                                  const QString& initial) override;
    std::optional<QString> chooseGroup(const QString& caption, const QString& question,
                                       const QStringList& groups, int current) override;
    std::optional<QString> openFile(const QString& caption, const QString& folder,
                                    const QString& filter) override;
    std::optional<QString> saveFile(const QString& caption, const QString& folder,
                                    const QString& filter) override;

private:
    std::vector<Shown> shown_;
    std::deque<std::optional<QString>> groups_;
    std::deque<bool> answers_;
    std::deque<std::optional<QString>> texts_;
    std::deque<std::optional<QString>> files_;
};

// Installs a dialogs object for the lifetime of a scope and puts the previous
// one back afterwards (tests).
class ScopedDialogs {
public:
    explicit ScopedDialogs(Dialogs* d) : previous_(setDialogs(d)) {}
    ~ScopedDialogs() { setDialogs(previous_); }
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

private:
    Dialogs* previous_;
};

}  // namespace korvane
