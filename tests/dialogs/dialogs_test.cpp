// The dialog interface: the silent default, the scripted fake's answer queue
// and record, and the real boxes' mapping of buttons to answers.
#include "dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using korvane::ScriptedDialogs;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void silentDefaultNeverAgrees() {
        // Nothing installed: a question must not block and must not say Yes,
        // a prompt must not invent a name.
        korvane::ScopedDialogs none(nullptr);
        QVERIFY(!korvane::dialogs().question(QStringLiteral("Delete?")));
        QVERIFY(!korvane::dialogs().prompt(QStringLiteral("c"), QStringLiteral("l"), QStringLiteral("x")));
        QVERIFY(!korvane::dialogs().openFile(QStringLiteral("c"), {}, {}));
    }

    void scriptedAnswersInOrderAndRecords() {
        ScriptedDialogs fake;
        korvane::ScopedDialogs scope(&fake);
        fake.setNextAnswer(true);
        fake.setNextAnswer(false);
        fake.setNextText(QStringLiteral("Neu 1"));
        fake.setNextText(std::nullopt);
        fake.setNextFile(QStringLiteral("/tmp/a.xml"));

        auto& d = korvane::dialogs();
        QVERIFY(d.question(QStringLiteral("q1")));
        QVERIFY(!d.question(QStringLiteral("q2")));
        QVERIFY(!d.question(QStringLiteral("q3")));  // queue empty: No
        QCOMPARE(d.prompt(QStringLiteral("Cap"), QStringLiteral("Name"), QStringLiteral("init")).value(),
                 QStringLiteral("Neu 1"));
        QVERIFY(!d.prompt(QStringLiteral("Cap"), QStringLiteral("Name"), {}));
        QCOMPARE(d.saveFile(QStringLiteral("Save"), QStringLiteral("/tmp"), QStringLiteral("*.xml")).value(),
                 QStringLiteral("/tmp/a.xml"));
        d.error(QStringLiteral("e"));
        d.info(QStringLiteral("i"));

        QCOMPARE(fake.texts(ScriptedDialogs::Kind::Question),
                 (QStringList{QStringLiteral("q1"), QStringLiteral("q2"), QStringLiteral("q3")}));
        QCOMPARE(fake.texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("e")});
        QCOMPARE(fake.texts(ScriptedDialogs::Kind::Info), QStringList{QStringLiteral("i")});
        QCOMPARE(fake.count(), std::size_t(8));
        const auto& prompt = fake.shown()[3];
        QCOMPARE(prompt.caption, QStringLiteral("Cap"));
        QCOMPARE(prompt.text, QStringLiteral("Name"));
        QCOMPARE(prompt.initial, QStringLiteral("init"));
    }

    void scopeRestoresPrevious() {
        ScriptedDialogs outer, inner;
        korvane::ScopedDialogs a(&outer);
        {
            korvane::ScopedDialogs b(&inner);
            korvane::dialogs().error(QStringLiteral("inner"));
        }
        korvane::dialogs().error(QStringLiteral("outer"));
        QCOMPARE(inner.texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("inner")});
        QCOMPARE(outer.texts(ScriptedDialogs::Kind::Error), QStringList{QStringLiteral("outer")});
    }

    // The real question box: pressing Yes gives true, No and Escape give
    // false; the box caption and its two buttons follow the interface language.
    void realQuestionMapsButtons_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("press");  // 0 Yes, 1 No, 2 Escape
        QTest::addColumn<bool>("expected");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("buttons");  // Yes, No
        QTest::newRow("yes de") << "de" << 0 << true << "Bestätigen" << QStringList{"&Ja", "&Nein"};
        QTest::newRow("no de") << "de" << 1 << false << "Bestätigen" << QStringList{"&Ja", "&Nein"};
        QTest::newRow("no en") << "en" << 1 << false << "Confirm" << QStringList{"&Yes", "&No"};
        QTest::newRow("escape") << "en" << 2 << false << "Confirm" << QStringList{"&Yes", "&No"};
    }
    void realQuestionMapsButtons() {
        QFETCH(QString, language);
        QFETCH(int, press);
        QFETCH(bool, expected);
        QFETCH(QString, caption);
        QFETCH(QStringList, buttons);
        korvane::setUiLanguage(language);
        korvane::QtDialogs real;
        QString seenCaption;
        QStringList seenButtons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenCaption = box->windowTitle();
            seenButtons =
                QStringList{box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
            if (press == 0)
                box->button(QMessageBox::Yes)->click();
            else if (press == 1)
                box->button(QMessageBox::No)->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(real.question(QStringLiteral("Really?")), expected);
        QCOMPARE(seenCaption, caption);
        QCOMPARE(seenButtons, buttons);
        korvane::setUiLanguage(QStringLiteral("de"));
    }

    void realPromptCancelGivesNothing() {
        korvane::QtDialogs real;
        QStringList seen;
        QTimer::singleShot(0, [&seen] {
            auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            seen = QStringList{dlg->windowTitle(), dlg->labelText(), dlg->textValue(), dlg->okButtonText(),
                               dlg->cancelButtonText()};
            dlg->setTextValue(QStringLiteral("typed"));
            dlg->reject();
        });
        QVERIFY(!real.prompt(QStringLiteral("New"), QStringLiteral("Name"), QStringLiteral("x")));
        // The name prompt's buttons read the same in both languages.
        QCOMPARE(seen, (QStringList{"New", "Name", "x", "OK", "Abbrechen"}));
        QTimer::singleShot(0, [] {
            auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->setTextValue(QString());
            dlg->accept();
        });
        // An empty name confirmed is still a confirmation: the caller decides.
        const auto answer = real.prompt(QStringLiteral("New"), QStringLiteral("Name"), QStringLiteral("x"));
        QVERIFY(answer.has_value());
        QVERIFY(answer->isEmpty());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
