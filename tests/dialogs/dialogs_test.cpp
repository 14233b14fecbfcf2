// The dialog interface: the silent default, the scripted fake's answer queue
// and record, and the real boxes' mapping of buttons to answers.
#include "dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "form_neu_objekt.h"
#include "form_verschiebe_message.h"

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

    // The name dialog, shown again and again like the one made at start:
    // the buttons read the same in both languages, every way out but OK and
    // Enter counts as cancel (also right after an earlier confirmation), and
    // an empty name confirmed is still a confirmation (the caller decides).
    void realNameDialogAnswers_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("cancel button") << "cancel"
                                       << "typed" << false;
        QTest::newRow("OK with an empty name") << "ok"
                                               << "" << true;
        QTest::newRow("close box right after a confirmation") << "close"
                                                              << "typed" << false;
        QTest::newRow("Enter in the name") << "enter"
                                           << "Drums" << true;
        QTest::newRow("Escape") << "escape"
                                << "typed" << false;
    }
    void realNameDialogAnswers() {
        QFETCH(QString, how);
        QFETCH(QString, typed);
        QFETCH(bool, confirmed);
        if (!nameDialog) nameDialog = std::make_unique<TFormNeuObjekt>();
        TFormNeuObjekt& dialog = *nameDialog;
        korvane::QtDialogs real;
        real.setNameDialog(&dialog);
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<TFormNeuObjekt*>(QApplication::activeModalWidget());
            QVERIFY(dlg == &dialog);
            seen = QStringList{dlg->windowTitle(), dlg->Label1->text(), dlg->EditName->text(),
                               dlg->btOK->text(), dlg->btCancel->text()};
            QCOMPARE(dlg->focusWidget(), dlg->EditName);
            dlg->EditName->setText(typed);
            if (how == QLatin1String("ok")) QTest::mouseClick(dlg->btOK, Qt::LeftButton);
            if (how == QLatin1String("cancel")) QTest::mouseClick(dlg->btCancel, Qt::LeftButton);
            if (how == QLatin1String("close")) dlg->close();
            if (how == QLatin1String("enter")) QTest::keyClick(dlg->EditName, Qt::Key_Return);
            if (how == QLatin1String("escape")) QTest::keyClick(dlg->EditName, Qt::Key_Escape);
        });
        const auto answer = real.prompt(QStringLiteral("New"), QStringLiteral("Name"), QStringLiteral("x"));
        QCOMPARE(seen, (QStringList{"New", "Name", "x", "OK", "Abbrechen"}));
        QCOMPARE(answer.has_value(), confirmed);
        QCOMPARE(dialog.OK, confirmed);
        if (confirmed) QCOMPARE(*answer, typed);
    }

    void realTargetGroupDialogGivesTheListText() {
        korvane::QtDialogs real;
        const QStringList groups{"keine Zuordnung", "G", "H"};
        for (const QString& how :
             {QStringLiteral("choose"), QStringLiteral("type"), QStringLiteral("cancel")}) {
            QStringList seen;
            QTimer::singleShot(0, [&] {
                auto* dlg = qobject_cast<TFormVerschiebeMessage*>(QApplication::activeModalWidget());
                QVERIFY(dlg);
                seen = QStringList{dlg->windowTitle(), dlg->Label1->text(), dlg->cb_Group->currentText(),
                                   dlg->bt_OK->text(), dlg->bt_Cancel->text()};
                if (how == QLatin1String("choose")) dlg->cb_Group->setCurrentIndex(2);
                if (how == QLatin1String("type")) dlg->cb_Group->setEditText(QStringLiteral("typed"));
                QTest::mouseClick(how == QLatin1String("cancel") ? dlg->bt_Cancel : dlg->bt_OK,
                                  Qt::LeftButton);
            });
            const auto answer = real.chooseGroup(QStringLiteral("Move"), QStringLiteral("Where?"), groups, 1);
            QCOMPARE(seen, (QStringList{"Move", "Where?", "G", "OK", "Abbrechen"}));
            if (how == QLatin1String("choose")) QCOMPARE(answer.value_or("none"), QStringLiteral("H"));
            if (how == QLatin1String("type")) QCOMPARE(answer.value_or("none"), QStringLiteral("typed"));
            if (how == QLatin1String("cancel")) QVERIFY(!answer);
        }
    }

private:
    // Made once and shown for every row, as the program does.
    std::unique_ptr<TFormNeuObjekt> nameDialog;
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
