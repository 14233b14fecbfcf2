// The help menu, the logo, the about box and the keys of the main window.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "dialogs.h"
#include "form_about.h"
#include "form_main.h"
#include "form_main_access.h"
#include "midi_in.h"
#include "midi_out.h"
#include "window_world.h"

namespace {

const char* const kLibrary = R"(<?xml version="1.0" encoding="UTF-8"?>
<korvane><sets><set name="A"/></sets><messagegroups/></korvane>
)";

// A main window in its own temporary world, with the manuals (or without)
// in the folder of the shipped documents; what it hands to the desktop is
// recorded instead of opened.
struct HelpWorld : korvane::testing::WindowWorld {
    QList<QUrl> opened;
    korvane::ScriptedDialogs boxes;
    korvane::ScopedDialogs scope{&boxes};
    std::unique_ptr<TFormMain> window;

    HelpWorld(const QString& language, bool withManuals) : WindowWorld(kLibrary) {
        if (withManuals) {
            writeProgramFile(QStringLiteral("Anleitung_deu.html"), "<html></html>");
            writeProgramFile(QStringLiteral("Manual_en.html"), "<html></html>");
        }
        setLanguage(language);
        window = std::make_unique<TFormMain>();
        window->setProgramFolder(program());
        window->setUrlOpener([this](const QUrl& url) { opened << url; });
        korvane::testing::withoutMidi(*window);
        window->show();
    }
};

}  // namespace

class WindowHelpTest : public QObject {
    Q_OBJECT

private slots:
    // Every help entry opens the page or manual of the language in use, the
    // logo the same home page as its menu entry; an unknown language in the
    // settings behaves as German throughout.
    void entriesFollowTheLanguage_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("manual");
        QTest::addColumn<QString>("pagePrefix");
        QTest::newRow("de") << "de"
                            << "Anleitung_deu.html"
                            << "/de/";
        QTest::newRow("en") << "en"
                            << "Manual_en.html"
                            << "/en/";
        QTest::newRow("unknown") << "fr"
                                 << "Anleitung_deu.html"
                                 << "/de/";
    }
    void entriesFollowTheLanguage() {
        QFETCH(QString, stored);
        QFETCH(QString, manual);
        QFETCH(QString, pagePrefix);
        HelpWorld world(stored, true);
        TFormMain& w = *world.window;

        for (const char* name :
             {"Menu_Hilfe_Anleitung_", "Menu_Quillon_Homepage_", "Menu_Internet_Look_For_Updates_",
              "Menu_Internet_Look_For_Configurations_"}) {
            QAction* entry = w.menuEntry(QString::fromLatin1(name));
            QVERIFY2(entry->isEnabled(), qPrintable(entry->objectName()));
            entry->trigger();
        }
        QTest::mouseClick(parts(w).Image_Quillon, Qt::LeftButton);

        QCOMPARE(world.opened.size(), 5);
        QCOMPARE(world.opened[0], QUrl::fromLocalFile(world.program() + QLatin1Char('/') + manual));
        const QSet<QString> pages{world.opened[1].toString(), world.opened[2].toString(),
                                  world.opened[3].toString()};
        QCOMPARE(pages.size(), 3);
        for (int i = 1; i < 5; ++i) {
            QVERIFY2(world.opened[i].scheme() == QStringLiteral("https"),
                     qPrintable(world.opened[i].toString()));
            QVERIFY2(world.opened[i].path().startsWith(pagePrefix), qPrintable(world.opened[i].toString()));
        }
        QCOMPARE(world.opened[4], world.opened[1]);
        QCOMPARE(world.boxes.count(), std::size_t(0));

        // Switching the language switches the manual at once.
        world.opened.clear();
        (stored == QStringLiteral("en") ? parts(w).Menu_Sprache_Deutsch_ : parts(w).Menu_Sprache_English_)
            ->trigger();
        w.menuEntry(u"Menu_Hilfe_Anleitung_")->trigger();
        QCOMPARE(world.opened.size(), 1);
        QVERIFY(world.opened[0].toLocalFile() != world.program() + QLatin1Char('/') + manual);
    }

    // A missing manual is named in an error box in the language in use, and
    // nothing is handed to the desktop.
    void missingManualIsNamed_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("words");
        QTest::newRow("de") << "de"
                            << "Anleitung_deu.html"
                            << "nicht gefunden";
        QTest::newRow("en") << "en"
                            << "Manual_en.html"
                            << "not found";
    }
    void missingManualIsNamed() {
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QString, words);
        HelpWorld world(stored, false);
        world.window->menuEntry(u"Menu_Hilfe_Anleitung_")->trigger();
        QVERIFY(world.opened.isEmpty());
        const QStringList errors = world.boxes.texts(korvane::ScriptedDialogs::Kind::Error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QDir::toNativeSeparators(world.program() + QLatin1Char('/') + file)),
                 qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(words), qPrintable(errors[0]));
    }

    // The about box comes up modal over the main window and its button is
    // the way back: it has no title bar to close it with.
    void aboutBoxOpensModallyAndClosesByItsButton() {
        HelpWorld world(QStringLiteral("en"), true);
        TForm4 about(world.window.get());
        world.window->setAboutBox(&about);

        bool wasShownModal = false;
        QTimer::singleShot(0, &about, [&] {
            wasShownModal = about.isVisible() && about.isModal() && !about.Image1->pixmap().isNull();
            QTest::mouseClick(about.Button1, Qt::LeftButton);
        });
        world.window->menuEntry(u"Menu_Info_Ueber_Editor_")->trigger();
        QVERIFY(wasShownModal);
        QVERIFY(!about.isVisible());
        QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(about.size(), QSize(274, 375));
        QCOMPARE(about.Button1->geometry(), QRect(89, 334, 81, 25));
        // Not translated: the same texts in English as in German.
        QCOMPARE(about.Button1->text(), QStringLiteral("Schliessen"));
        QCOMPARE(about.Label2->text(), QStringLiteral("Pellux3 Korvane-Editor 3.044"));
        world.window->setAboutBox(nullptr);
    }

    // The keys users expect: F1 opens the manual, Ctrl+Q quits, Ctrl+O is
    // the open entry's key, and the fixed window offers no maximise button.
    void keysAndWindowButtons() {
        HelpWorld world(QStringLiteral("de"), true);
        TFormMain& w = *world.window;
        QCOMPARE(w.menuEntry(u"Menu_Hilfe_Anleitung_")->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(parts(w).Menu_Beenden_->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(w.menuEntry(u"Menu_Oeffnen_")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));

        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F1);
        QCOMPARE(world.opened.size(), 1);
        QCOMPARE(world.opened[0].fileName(), QStringLiteral("Anleitung_deu.html"));
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(WindowHelpTest)
#include "window_help_test.moc"
