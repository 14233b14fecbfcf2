// The motor profile editor as a user walks it: activation, fader choice,
// dragging handles, the value table, copy mode, the profile commands with
// their boxes, sending with its pauses, and chosen pixels of the drawing.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <filesystem>

#include "dialogs.h"
#include "file_size_limit.h"
#include "form_motor_profil.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const char* const kFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<korvane>\n"
    "  <motorprofile>\n"
    "    <profil name=\"default\">\n"
    "      <fader1>255, 128, 96, 64, 48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0</fader1>\n"
    "      <fader2>200, 128, 96, 64, 48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0</fader2>\n"
    "      <fader3>150, 128, 96, 64, 48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0</fader3>\n"
    "      <fader4>255, 160, 96, 64, 48, 32, 16, 8, 4, 0, 7, 7, 6, 5, 4, 3, 2, 1, 1, 0</fader4>\n"
    "      <fader5>255, 192, 128, 64, 48, 32, 16, 8, 4, 0, 6, 6, 5, 4, 3, 3, 2, 1, 1, 0</fader5>\n"
    "      <fader6>240, 128, 96, 64, 48, 32, 16, 8, 4, 0, 5, 5, 5, 4, 3, 2, 2, 1, 1, 0</fader6>\n"
    "      <fader7>230, 128, 96, 64, 48, 32, 16, 8, 4, 0, 4, 4, 4, 4, 3, 2, 2, 1, 1, 0</fader7>\n"
    "      <fader8>220, 128, 96, 64, 48, 32, 16, 8, 4, 0, 3, 3, 3, 3, 3, 2, 2, 1, 1, 0</fader8>\n"
    "      <fader9>210, 128, 96, 64, 48, 32, 16, 8, 4, 0, 2, 2, 2, 2, 2, 2, 2, 1, 1, 0</fader9>\n"
    "      <tFactor>100</tFactor>\n"
    "      <tConst>100</tConst>\n"
    "    </profil>\n"
    "    <profil name=\"sanft\">\n"
    "      <fader1>255, 192, 128, 80, 48, 32, 16, 8, 4, 0, 7, 6, 5, 4, 3, 2, 2, 1, 1, 0</fader1>\n"
    "      <tFactor>50</tFactor>\n"
    "    </profil>\n"
    "  </motorprofile>\n"
    "</korvane>\n";

QSettings settings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                     QStringLiteral("Korvane"));
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguage(QStringLiteral("de"));
        writeFile(file(), kFile);
        settings().remove(QStringLiteral("Motorprofil"));
        w.setProfileTable(&table);
        w.DocumentFile = QString::fromStdString(file().string());
        w.SendBytes = [this](const ByteString& bytes) {
            sent.push_back(bytes);
            return true;
        };
        w.FormActivate();
    }
    std::filesystem::path file() const { return folder / "motorprofile.mp"; }

    void clickPanel(int index) {
        QFrame* panel = w.findChild<QFrame*>(QStringLiteral("Panel%1").arg(index));
        ASSERT_NE(panel, nullptr);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), panel->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &press);
    }

    // Grabs handle i at (3, 3) inside it and lets go with the cursor at
    // target (client coordinates) after one move.
    void drag(int i, QPoint target) {
        QLabel* handle = w.findChild<QLabel*>(QStringLiteral("ProfilPunkt%1").arg(i));
        ASSERT_NE(handle, nullptr);
        const QPointF grab(3, 3);
        QMouseEvent press(QEvent::MouseButtonPress, grab, handle->mapToGlobal(grab), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &press);
        const QPointF local = QPointF(target - handle->mapTo(w.client, QPoint(0, 0)));
        QMouseEvent move(QEvent::MouseMove, local, handle->mapToGlobal(local), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, local, handle->mapToGlobal(local), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &release);
    }

    // The client position where a drag of handle i grabbed at (3, 3) must
    // let go to ask for this difference and speed step.
    QPoint cursorFor(int difference, int step) const {
        return QPoint(w.PositionsOffsetX + difference - 1 + 3,
                      w.PositionsOffsetY + 256 - 32 * step - 2 + 3 - 8);
    }

    QString cell(int n) const { return w.findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(n))->text(); }

    TempFolder folder;
    ScriptedDialogs boxes;
    ScopedDialogs scope{&boxes};
    TMotorProfilTabelle table;
    std::vector<ByteString> sent;
    TFormMotorProfil w;
};

TEST_F(Editor, ActivationLoadsTheRememberedProfile) {
    EXPECT_EQ(w.cb_MotorProfile->count(), 2);
    EXPECT_EQ(w.cb_MotorProfile->currentText(), QStringLiteral("default"));  // nothing remembered yet
    EXPECT_EQ(table.MotorProfile[1].Differenz[9], 200);

    settings().setValue(QStringLiteral("Motorprofil/Motorprofil"), QStringLiteral("sanft"));
    w.FormActivate();
    EXPECT_EQ(w.cb_MotorProfile->currentText(), QStringLiteral("sanft"));
    EXPECT_EQ(w.edFaktor->text(), QStringLiteral("50"));
    EXPECT_EQ(w.edKonstante->text(), QStringLiteral("100"));  // absent: 100
    EXPECT_EQ(w.Profilnummer, -1);

    settings().setValue(QStringLiteral("Motorprofil/Motorprofil"), QStringLiteral("weg"));
    w.FormActivate();
    EXPECT_EQ(w.cb_MotorProfile->currentIndex(), -1);
    EXPECT_EQ(settings().value(QStringLiteral("Motorprofil/Motorprofil")).toString(), QString());
    EXPECT_EQ(w.edFaktor->text(), QStringLiteral("50"));  // nothing loaded, the edit keeps its text
}

TEST_F(Editor, ChoosingAFaderFillsTheTable) {
    EXPECT_FALSE(w.findChild<QLineEdit*>(QStringLiteral("Edit1"))->isEnabled());
    clickPanel(1);
    EXPECT_EQ(w.Profilnummer, 0);
    EXPECT_EQ(w.GewaehlterFader, QStringLiteral("Fader 1"));
    EXPECT_EQ(cell(1), QStringLiteral("255"));  // top row: point 9
    EXPECT_EQ(cell(2), QStringLiteral("8"));
    EXPECT_EQ(cell(19), QStringLiteral("0"));
    clickPanel(9);
    EXPECT_EQ(w.GewaehlterFader, QStringLiteral("Fader M"));

    // Typing into a cell goes into the table at once; an emptied cell is 256 / 8.
    w.findChild<QLineEdit*>(QStringLiteral("Edit3"))->setText(QStringLiteral("100"));
    EXPECT_EQ(table.MotorProfile[8].Differenz[8], 100);
    w.findChild<QLineEdit*>(QStringLiteral("Edit4"))->setText(QString());
    EXPECT_EQ(table.MotorProfile[8].Geschwindigkeit[8], 256);
    EXPECT_EQ(cell(4), QStringLiteral("8"));

    clickPanel(10);  // outside copy mode: nothing selected
    EXPECT_EQ(w.Profilnummer, -1);
    EXPECT_TRUE(w.rb_ZeigeAlle->isChecked());
    EXPECT_TRUE(cell(1).isEmpty());
}

TEST_F(Editor, DraggingThroughTheMouseHandlers) {
    struct Case {
        const char* name;
        bool monotonic;
        int point;
        int difference, step;  // where the mouse asks for
        int expectDifference, expectStep;
    };
    // Fader 1 of "default": differences 0 4 8 16 32 48 64 96 128 255,
    // steps 0 1 2 3 4 5 6 7 8 8 for points 0..9.
    const Case cases[] = {
        {"point 9 to the far right stops at 255", true, 9, 300, 8, 255, 8},
        {"point 0 does not move sideways", true, 0, 50, 0, 0, 0},
        {"monotonic: point 4 stops at point 3's level", true, 4, 32, 0, 32, 3},
        {"free: point 4 goes on down", false, 4, 32, 0, 32, 0},
        {"point 4 cannot pass point 3 sideways", false, 4, 2, 4, 16, 4},
        {"point 4 cannot pass point 5 sideways", false, 4, 100, 4, 48, 4},
        {"free: above the area gives step 8", false, 5, 48, 12, 48, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.FormActivate();
        clickPanel(1);
        if (c.monotonic) {
            w.rb_monoton->click();
        } else {
            w.rb_beliebig->click();
        }
        EXPECT_EQ(w.rb_monoton->isChecked(), c.monotonic);
        drag(c.point, cursorFor(c.difference, c.step));
        EXPECT_FALSE(w.bMouseMoveInProgress);
        EXPECT_EQ(table.MotorProfile[0].Differenz[static_cast<std::size_t>(c.point)], c.expectDifference);
        EXPECT_EQ(table.MotorProfile[0].Geschwindigkeit[static_cast<std::size_t>(c.point)],
                  32 * c.expectStep);
        EXPECT_EQ(cell(2 * (9 - c.point) + 1), QString::number(c.expectDifference));
        EXPECT_EQ(cell(2 * (9 - c.point) + 2), QString::number(c.expectStep));
    }

    // With no fader selected a drag changes no data.
    w.FormActivate();
    const TMotorProfilTabelle before = table;
    drag(5, cursorFor(200, 0));
    EXPECT_EQ(table.MotorProfile, before.MotorProfile);
    EXPECT_TRUE(cell(9).isEmpty());
}

TEST_F(Editor, CopyMode) {
    // Without a fader: the box, and copy mode stays off.
    w.bt_CopyProfile->click();
    EXPECT_EQ(boxes.texts(ScriptedDialogs::Kind::Error),
              QStringList{QStringLiteral("Kopieren nicht möglich. Kein Profil selektiert.")});
    EXPECT_FALSE(w.bProfilKopieren);

    clickPanel(3);
    w.bt_CopyProfile->click();
    EXPECT_EQ(w.bt_CopyProfile->text(), QStringLiteral("Kopieren abbrechen"));
    EXPECT_EQ(w.Panel10Caption->text(), QStringLiteral("Kopiere auf alle"));
    clickPanel(3);  // the selected fader again: nothing happens
    EXPECT_TRUE(w.bProfilKopieren);
    clickPanel(7);
    EXPECT_EQ(table.MotorProfile[6], table.MotorProfile[2]);
    EXPECT_EQ(w.Profilnummer, 6);
    EXPECT_EQ(w.bt_CopyProfile->text(), QStringLiteral("Profil kopieren"));
    EXPECT_EQ(w.Panel10Caption->text(), QStringLiteral("-"));
    EXPECT_NE(table.MotorProfile[0], table.MotorProfile[2]);

    clickPanel(9);
    w.bt_CopyProfile->click();
    clickPanel(10);
    for (const auto& e : table.MotorProfile) EXPECT_EQ(e, table.MotorProfile[8]);
    EXPECT_EQ(w.Profilnummer, 8);
    EXPECT_FALSE(w.bProfilKopieren);

    // A new activation drops the selection and with it copy mode.
    w.bt_CopyProfile->click();
    w.FormActivate();
    EXPECT_FALSE(w.bProfilKopieren);
    EXPECT_EQ(w.Panel10Caption->text(), QStringLiteral("-"));
}

TEST_F(Editor, RefusalsLeaveTheFileByteIdentical) {
    struct Case {
        const char* name;
        QString profile;
        std::function<void()> answer;
        std::function<void()> command;
        ScriptedDialogs::Kind box;
        QString text;
    };
    auto save = [this] { w.Menu_Save_->trigger(); };
    auto remove = [this] { w.Menu_Delete_->trigger(); };
    auto copy = [this] { w.Menu_Copy_->trigger(); };
    auto saveAs = [this] { w.Menu_SaveAs_->trigger(); };
    const Case cases[] = {
        {"save over default", "default", [] {}, save, ScriptedDialogs::Kind::Message,
         "Am Default-Motorprofil können keine Änderungen gespeichert werden."},
        {"delete default", "default", [] {}, remove, ScriptedDialogs::Kind::Message,
         "Das Default-Motorprofil kann nicht gelöscht werden."},
        {"delete answered No", "sanft", [this] { boxes.setNextAnswer(false); }, remove,
         ScriptedDialogs::Kind::Question, "Möchten Sie das Motorprofil sanft wirklich löschen?"},
        {"copy onto itself", "sanft", [this] { boxes.setNextText(QStringLiteral("sanft")); }, copy,
         ScriptedDialogs::Kind::Error, "Ein Motorprofil kann nicht auf sich selbst kopiert werden."},
        {"copy over another answered No", "sanft",
         [this] {
             boxes.setNextText(QStringLiteral("default"));
             boxes.setNextAnswer(false);
         },
         copy, ScriptedDialogs::Kind::Question,
         "Ein Motorprofil dieses Namens existiert bereits. Möchten Sie das vorhandene Profil überschreiben?"},
        {"save as over another answered No", "sanft",
         [this] {
             boxes.setNextText(QStringLiteral("default"));
             boxes.setNextAnswer(false);
         },
         saveAs, ScriptedDialogs::Kind::Question,
         "Ein Motorprofil dieses Namens existiert bereits. Möchten Sie das vorhandene Profil überschreiben?"},
        {"save as cancelled", "sanft", [this] { boxes.setNextText(std::nullopt); }, saveAs,
         ScriptedDialogs::Kind::Prompt, "Name des Profils"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        w.cb_MotorProfile->setCurrentText(c.profile);
        w.cb_MotorProfileChange();
        c.answer();
        c.command();
        EXPECT_EQ(readFile(file()), kFile);
        EXPECT_TRUE(boxes.texts(c.box).contains(c.text))
            << boxes.texts(c.box).join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(w.cb_MotorProfile->count(), 2);
    }
}

TEST_F(Editor, SaveAsCopyAndDeleteReachTheFile) {
    clickPanel(1);
    w.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("250"));
    boxes.setNextText(QStringLiteral("mein"));
    w.Menu_SaveAs_->trigger();
    EXPECT_EQ(boxes.shown().back().caption, QStringLiteral("MotorProfil unter neuem Namen speichern"));
    EXPECT_EQ(w.cb_MotorProfile->currentText(), QStringLiteral("mein"));
    EXPECT_EQ(settings().value(QStringLiteral("Motorprofil/Motorprofil")).toString(), QStringLiteral("mein"));
    EXPECT_NE(readFile(file()).find("<fader1>250, 128,"), std::string::npos);

    // Copy takes what is stored, not what is being edited.
    clickPanel(1);
    w.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("17"));
    boxes.setNextText(QStringLiteral("kopie"));
    w.Menu_Copy_->trigger();
    EXPECT_EQ(w.cb_MotorProfile->currentText(), QStringLiteral("kopie"));
    EXPECT_EQ(table.MotorProfile[0].Differenz[9], 250);

    boxes.setNextAnswer(true);
    w.Menu_Delete_->trigger();
    EXPECT_EQ(w.cb_MotorProfile->currentText(), QStringLiteral("default"));
    EXPECT_EQ(readFile(file()).find("kopie"), std::string::npos);
}

TEST_F(Editor, FailedSaveSaysSoAndKeepsTheFile) {
    w.cb_MotorProfile->setCurrentText(QStringLiteral("sanft"));
    w.cb_MotorProfileChange();
    w.edFaktor->setText(QStringLiteral("77"));
    {
        test::FileSizeLimit full(64);
        w.Menu_Save_->trigger();
    }
    EXPECT_EQ(readFile(file()), kFile);
    ASSERT_EQ(boxes.texts(ScriptedDialogs::Kind::Error).size(), 1);
    EXPECT_TRUE(boxes.texts(ScriptedDialogs::Kind::Error)[0].contains(QStringLiteral("unverändert")));
    EXPECT_EQ(w.edFaktor->text(), QStringLiteral("77"));  // the user's edit is still there to retry
}

TEST_F(Editor, SendingPacesTheNinePacketsWithATimer) {
    EXPECT_FALSE(w.bt_Burn->isEnabled());
    w.edFaktor->setText(QStringLiteral("300"));
    w.bt_Send->click();
    // The first packet goes at once; the others wait for the timer, so the
    // window goes on handling events in between.
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(w.SendTimer->isActive());
    EXPECT_EQ(w.SendTimer->interval(), 100);
    EXPECT_FALSE(w.bt_Send->isEnabled());
    for (int i = 0; i < 8; ++i) w.SendTimerTimer();
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_FALSE(w.bt_Burn->isEnabled());  // the pause after the ninth is not over yet
    w.SendTimerTimer();
    EXPECT_TRUE(w.bt_Burn->isEnabled());
    EXPECT_TRUE(w.bt_Send->isEnabled());
    for (int f = 0; f < 9; ++f)
        EXPECT_EQ(sent[static_cast<std::size_t>(f)],
                  MotorProfilePacket(table.MotorProfile[static_cast<std::size_t>(f)], f, 0x2C, 100));

    w.bt_Burn->click();
    EXPECT_EQ(sent.back(), MotorProfileCommitPacket());
    EXPECT_FALSE(w.bt_Burn->isEnabled());

    sent.clear();
    w.bt_Test->click();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 27u);
}

TEST_F(Editor, ClosingDuringASendStopsIt) {
    w.bt_Send->click();
    w.close();
    w.SendTimerTimer();  // a tick that was already queued
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_FALSE(w.SendTimer->isActive());
    EXPECT_FALSE(w.bt_Burn->isEnabled());
    EXPECT_TRUE(w.bt_Send->isEnabled());
}

TEST_F(Editor, ValueOutsideOneByteRefusesTheWholeSend) {
    clickPanel(4);
    w.findChild<QLineEdit*>(QStringLiteral("Edit3"))->setText(QStringLiteral("256"));  // point 8 of fader 4
    w.bt_Send->click();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(boxes.texts(ScriptedDialogs::Kind::Error),
              QStringList{QStringLiteral("Das Motorprofil kann nicht übertragen werden: Fader 4, Punkt 9: "
                                         "Differenz 256 passt nicht in ein Byte (0 bis 255). Es wurde nichts "
                                         "gesendet.")});
    EXPECT_FALSE(w.bt_Burn->isEnabled());
}

TEST_F(Editor, DrawingChosenPixels) {
    const int X = w.PositionsOffsetX, Y = w.PositionsOffsetY;
    const QRgb white = qRgb(255, 255, 255), grey = qRgb(204, 204, 204), red = qRgb(255, 0, 0);
    auto pixel = [this](int x, int y) { return w.SichtbarBMP.pixel(x, y) & 0xFFFFFFu; };
    auto rgb = [](QRgb c) { return c & 0xFFFFFFu; };

    // Grid crosses at every 32 of difference and speed.
    EXPECT_EQ(pixel(X + 32 - 1, Y), rgb(grey));
    EXPECT_EQ(pixel(X + 32 + 1, Y + 2), rgb(grey));
    EXPECT_EQ(pixel(X + 32 + 4, Y), rgb(white));  // the end pixel is left out

    // No fader, show-selected: grid and axes only.
    w.rb_ZeigeSelektierten->click();
    EXPECT_EQ(pixel(X + 200, Y + 1), rgb(white));          // where fader 1's last segment runs otherwise
    EXPECT_EQ(pixel(X + 1, Y + 100), rgb(qRgb(0, 0, 0)));  // speed axis
    // Show-all: every curve dashed in its colour; "Fader M" runs at step 2
    // from difference 128 to the right edge, in dashes.
    w.rb_ZeigeAlle->click();
    int master = 0, gaps = 0;
    for (int x = X + 215; x < X + 250; ++x) {
        if (pixel(x, Y + 192) == rgb(qRgb(128, 128, 64))) ++master;
        if (pixel(x, Y + 192) == rgb(white)) ++gaps;
    }
    EXPECT_GT(master, 15);
    EXPECT_GT(gaps, 5);

    // Fader 1 all at step 8: its curve runs along the top edge, its label 3
    // pixels below that level at X + 220.
    for (auto& g : table.MotorProfile[0].Geschwindigkeit) g = 256;
    clickPanel(1);
    EXPECT_EQ(pixel(X + 100, Y), rgb(red));
    EXPECT_EQ(pixel(X + 250, Y), rgb(red));  // on to the right edge after point 9
    int labelTop = -1;
    for (int y = Y + 2; y < Y + 30 && labelTop < 0; ++y)
        for (int x = X + 220; x < X + 250; ++x)
            if (pixel(x, y) == rgb(red)) {
                labelTop = y;
                break;
            }
    EXPECT_GE(labelTop, Y + 3);
    EXPECT_LE(labelTop, Y + 10);
    for (int x = X + 220; x < X + 250; ++x) EXPECT_NE(pixel(x, Y + 2), rgb(red)) << x;

    // The handle picture of point 9 in its three shades.
    const QPoint p = w.ProfilPunkte[9]->Position;
    EXPECT_EQ(pixel(p.x() - 2, p.y() - 3), rgb(qRgb(255, 0, 0)));             // light corner
    EXPECT_EQ(pixel(p.x() - 2 + 5, p.y() - 3 + 5), rgb(qRgb(102, 0, 0)));     // dark corner
    EXPECT_EQ(pixel(p.x() - 2 + 2, p.y() - 3 + 2), rgb(qRgb(178, 0, 0)));     // medium
    EXPECT_EQ(w.ProfilPunkte[9]->Picture.pixel(0, 5) & 0xFFFFFFu, rgb(red));  // light wins the corner
    EXPECT_EQ(w.ProfilPunkte[9]->EmbeddedImage->pos(), QPoint(p.x() - 1, p.y() - 2));

    if (const QByteArray dir = qgetenv("KORVANE_MOTOR_SHOTS"); !dir.isEmpty()) {
        clickPanel(2);
        w.grab().save(QString::fromUtf8(dir) + QStringLiteral("/motor_de.png"));
        setUiLanguage(QStringLiteral("en"));
        w.Lokalisierung();
        w.grab().save(QString::fromUtf8(dir) + QStringLiteral("/motor_en.png"));
        setUiLanguage(QStringLiteral("de"));
    }
}

// A real box takes the activation away and hands it back when it closes;
// that is no new activation, so the curves being edited stay.
TEST_F(Editor, ClosingABoxIsNoNewActivation) {
    struct BoxTakingFocus : ScriptedDialogs {
        TFormMotorProfil* window = nullptr;
        bool question(const QString& text) override {
            QEvent away(QEvent::WindowDeactivate);
            QApplication::sendEvent(window, &away);
            return ScriptedDialogs::question(text);
        }
    } realBoxes;
    realBoxes.window = &w;
    ScopedDialogs installed(&realBoxes);

    w.cb_MotorProfile->setCurrentText(QStringLiteral("sanft"));
    w.cb_MotorProfileChange();
    clickPanel(1);
    w.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("99"));
    w.Menu_Delete_->trigger();  // answered No
    QEvent back(QEvent::WindowActivate);
    QApplication::sendEvent(&w, &back);
    EXPECT_EQ(table.MotorProfile[0].Differenz[9], 99);
    EXPECT_EQ(w.Profilnummer, 0);

    // Coming back from another window is a new activation: edits are dropped.
    QEvent away(QEvent::WindowDeactivate);
    QApplication::sendEvent(&w, &away);
    QApplication::sendEvent(&w, &back);
    EXPECT_EQ(table.MotorProfile[0].Differenz[9], 255);
    EXPECT_EQ(w.Profilnummer, -1);
}

TEST_F(Editor, CaptionsInBothLanguages) {
    setUiLanguage(QStringLiteral("en"));
    w.Lokalisierung();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Edit motorprofiles"));
    EXPECT_EQ(w.bt_Burn->text(), QStringLiteral("Burn"));
    EXPECT_EQ(w.Menu_Motorprofil->title(), QStringLiteral("File"));
    EXPECT_EQ(w.bt_CopyProfile->text(), QStringLiteral("Copy profile"));
    // The profile commands speak German in both languages, except the
    // overwrite question of a copy.
    w.cb_MotorProfile->setCurrentText(QStringLiteral("sanft"));
    boxes.setNextText(QStringLiteral("default"));
    boxes.setNextAnswer(false);
    w.Menu_Copy_->trigger();
    EXPECT_EQ(boxes.shown().at(0).caption, QStringLiteral("MotorProfil kopieren"));
    EXPECT_EQ(boxes.shown().at(1).text,
              QStringLiteral("A motor profile with this name already exists. Do you want to overwrite it?"));
    setUiLanguage(QStringLiteral("de"));
    w.Lokalisierung();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Motorprofile bearbeiten"));
    EXPECT_EQ(w.bt_Burn->text(), QStringLiteral("Festlegen"));
}

}  // namespace
}  // namespace korvane
