// Both languages, complete: every text that any window of the program shows
// (window titles, menus and their entries, buttons, labels, group boxes,
// tool tips of buttons) and every box the menu commands bring up must come
// from the text table in the language in use. A text the table does not
// hold, or a text still in the other language after a switch, fails.
//
// The walk is generic: it visits every window the program has made, so the
// windows of later features are covered as soon as they exist. A widget that
// shows data, a name or a symbol rather than interface text (a name from the
// library, a version read from the device, the formula's subscript) says so
// with the dynamic property "korvaneData";
// edits, lists and the surface pictures show data by their nature.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_access.h"
#include "midi_in.h"
#include "midi_out.h"
#include "program.h"
#include "texts.h"
#include "window_world.h"

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// What the table says about one shown text in one language.
enum class Verdict { InTable, OtherLanguage, Missing };

// The table's forms, with a form holding a placeholder ("%s", "%n") matched
// as a pattern, so composed texts ("Korvane Editor V3.044 - Mixer") count.
class TableForms {
public:
    TableForms() {
        for (const auto& e : korvane::allTexts()) {
            add(q(e.de), de_);
            add(q(e.en), en_);
        }
    }
    Verdict judge(const QString& shown, const QString& language) const {
        const Forms& ours = language == QStringLiteral("en") ? en_ : de_;
        const Forms& theirs = language == QStringLiteral("en") ? de_ : en_;
        if (holds(ours, shown)) return Verdict::InTable;
        if (holds(theirs, shown)) return Verdict::OtherLanguage;
        return Verdict::Missing;
    }

private:
    struct Forms {
        QSet<QString> exact;
        std::vector<QRegularExpression> patterns;
    };
    static QString plain(QString s) { return s.remove(QLatin1Char('&')); }
    static void add(const QString& form, Forms& forms) {
        forms.exact.insert(form);
        forms.exact.insert(plain(form));
        if (!form.contains(QStringLiteral("%s")) && !form.contains(QStringLiteral("%n"))) return;
        QStringList pieces;
        QString literal;
        for (const QString& piece : plain(form).split(QRegularExpression(QStringLiteral("%[sn]")))) {
            pieces << QRegularExpression::escape(piece);
            literal += piece.simplified();
        }
        // A form that is little more than its placeholders ("%s") would
        // vouch for any text at all.
        if (literal.size() < 4) return;
        const QString pattern = pieces.join(QStringLiteral(".*"));
        forms.patterns.emplace_back(QStringLiteral("^") + pattern + QStringLiteral("$"),
                                    QRegularExpression::DotMatchesEverythingOption);
    }
    static bool holds(const Forms& forms, const QString& shown) {
        if (forms.exact.contains(shown) || forms.exact.contains(plain(shown))) return true;
        const QString bare = plain(shown);
        for (const auto& re : forms.patterns)
            if (re.match(bare).hasMatch()) return true;
        return false;
    }
    Forms de_;
    Forms en_;
};

bool showsData(const QWidget* w) {
    for (const QObject* o = w; o; o = o->parent())
        if (o->property("korvaneData").toBool()) return true;
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QProgressBar*>(w) || w->inherits("korvane::TImage");
}

// Every interface text a window shows, with where it was found.
void collect(QWidget* w, const QString& where, QList<QPair<QString, QString>>& out) {
    // A text without a single letter ("-", "%") is a symbol, the same in
    // every language.
    auto add = [&](const QString& text, const QString& what) {
        if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); }))
            out.append({text, where + QLatin1Char('/') + what});
    };
    const QString name =
        w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    if (showsData(w)) return;
    // A hidden dialog gets its title from the command that shows it (the
    // name prompt says what is being named); its contents are checked all
    // the same, and its title once a command has it open.
    const bool titleSetWhenShown = qobject_cast<QDialog*>(w) && !w->isVisible();
    if (w->isWindow() && !titleSetWhenShown) add(w->windowTitle(), name + QStringLiteral(".windowTitle"));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        add(b->text(), name);
        add(b->toolTip(), name + QStringLiteral(".toolTip"));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->pixmap().isNull()) add(l->text(), name);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        add(g->title(), name);
    } else if (auto* m = qobject_cast<QMenu*>(w)) {
        add(m->title(), name);
    }
    for (QAction* a : w->actions()) {
        if (a->isSeparator()) continue;
        add(a->text(), (a->objectName().isEmpty() ? name : a->objectName()));
    }
    for (QObject* child : w->children())
        if (auto* cw = qobject_cast<QWidget*>(child)) collect(cw, where + QLatin1Char('/') + name, out);
}

QStringList problems(const QList<QPair<QString, QString>>& shown, const QString& language,
                     const TableForms& table) {
    QStringList result;
    for (const auto& [text, where] : shown) {
        switch (table.judge(text, language)) {
            case Verdict::InTable:
                break;
            case Verdict::OtherLanguage:
                result << QStringLiteral("%1: \"%2\" is still in the other language").arg(where, text);
                break;
            case Verdict::Missing:
                result << QStringLiteral("%1: \"%2\" is not in the text table").arg(where, text);
                break;
        }
    }
    return result;
}

}  // namespace

class LanguageWalkTest : public QObject {
    Q_OBJECT

private slots:
    // German at the start, English after the switch, German again after the
    // switch back: each time every window, and the boxes of the commands.
    void everyWindowSpeaksTheLanguageInUse() {
        const korvane::testing::WindowWorld world;
        korvane::ScriptedDialogs boxes;
        korvane::ScopedDialogs scope(&boxes);
        const TableForms table;

        korvane::EditorWindows windows;
        TFormMain& main = windows.main();
        main.setUrlOpener([](const QUrl&) {});
        korvane::testing::withoutMidi(main);
        main.show();

        // Commands that do not open a window of their own or end the run are
        // triggered; what they show goes through the boxes and is checked
        // as well. A modal window a command opens anyway is walked and
        // closed, so the walk never waits for a user.
        const QSet<QString> notTriggered{QStringLiteral("Menu_Beenden_"),
                                         QStringLiteral("Menu_Sprache_Deutsch_"),
                                         QStringLiteral("Menu_Sprache_English_")};
        QList<QPair<QString, QString>> modalTexts;
        QTimer modalCloser;
        modalCloser.setInterval(20);
        connect(&modalCloser, &QTimer::timeout, this, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                collect(modal, QStringLiteral("modal"), modalTexts);
                modal->close();
            }
        });
        modalCloser.start();

        for (const char* language : {"de", "en", "de"}) {
            const QString code = QString::fromLatin1(language);
            (code == QStringLiteral("en") ? main.menuEntry(u"Menu_Sprache_English_")
                                          : main.menuEntry(u"Menu_Sprache_Deutsch_"))
                ->trigger();
            QCOMPARE(TFormMainTestAccess::language(main), code);

            QList<QPair<QString, QString>> shown;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                // Qt's own helper windows (a menu's pop-up) are walked
                // through their owners.
                if (qobject_cast<QMenu*>(top) && top->parentWidget()) continue;
                collect(top, QString(), shown);
            }
            for (QAction* a : main.findChildren<QAction*>()) {
                if (a->isSeparator() || !a->isEnabled() || notTriggered.contains(a->objectName())) continue;
                if (a->menu() || a->objectName().isEmpty()) continue;
                boxes.clear();
                modalTexts.clear();
                a->trigger();
                QCoreApplication::processEvents();
                for (const auto& box : boxes.shown()) {
                    shown.append({box.text, a->objectName() + QStringLiteral(" box")});
                    if (!box.caption.isEmpty())
                        shown.append({box.caption, a->objectName() + QStringLiteral(" box title")});
                }
                shown.append(modalTexts);
                // Whatever the command opened is closed again.
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (top != &main && top->isVisible()) top->close();
            }
            QVERIFY(shown.size() > 40);
            const QStringList found = problems(shown, code, table);
            QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("[%1]\n").arg(code) + found.join('\n')));
        }
        modalCloser.stop();
    }

    // Boxes of commands the walk cannot reach (a failed save, a device that
    // does not answer) take their texts from the table by key; a key the
    // table lacks would show the bare key. Every key the sources look up by
    // name must be there.
    void everyKeyTheSourcesLookUpIsInTheTable() {
        const QRegularExpression lookup(QStringLiteral(
            R"re(\b(?:trText|trTextWith|text|textWith|textWithAll|tx|tr)\(\s*"([a-z]+\.[A-Za-z0-9_.]+)")re"));
        QStringList missing;
        int seen = 0;
        QDirIterator it(QStringLiteral(KORVANE_SOURCE_DIR "/src"),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString source = QString::fromUtf8(f.readAll());
            for (auto m = lookup.globalMatch(source); m.hasNext();) {
                const QString key = m.next().captured(1);
                ++seen;
                if (!korvane::hasText(key.toStdString()))
                    missing << QFileInfo(path).fileName() + QStringLiteral(": ") + key;
            }
        }
        QVERIFY(seen > 50);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join('\n')));
    }

    // The checker itself: a text in the wrong language or outside the table
    // is caught; a composed text is recognised by its pattern.
    void judgesTextsAgainstTheTable() {
        const TableForms table;
        struct Row {
            const char* shown;
            const char* language;
            Verdict verdict;
        };
        const Row rows[] = {
            {"Korvane map", "en", Verdict::InTable},
            {"Korvane Oberfläche", "en", Verdict::OtherLanguage},
            {"Korvane map", "de", Verdict::OtherLanguage},
            {"&Datei", "de", Verdict::InTable},
            {"Datei", "de", Verdict::InTable},
            {"Korvane Editor V3.044 - Mixer", "de", Verdict::InTable},
            {"Schliessen", "en", Verdict::InTable},
            {"Nowhere in the table", "en", Verdict::Missing},
        };
        for (const Row& r : rows)
            QVERIFY2(table.judge(QString::fromUtf8(r.shown), QString::fromLatin1(r.language)) == r.verdict,
                     r.shown);
    }
};

QTEST_MAIN(LanguageWalkTest)
#include "language_walk_test.moc"
