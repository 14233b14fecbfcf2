// The main window's menu bar: every menu, entry and separator described once
// in one table, and the walks over it that build, connect, enable and caption
// the menus.

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <span>

#include "form_main.h"
#include "form_main_texts.h"

struct TFormMain::MenuRow {
    enum class Kind { Menu, Entry, Separator };
    Kind kind;
    // The Qt objectName of the menu or entry. Its caption is the text
    // "main.<objectName>" of the text table, in both languages.
    const char* objectName;
    // The objectName of the menu it sits in, which must come earlier in the
    // table; nullptr puts a menu on the menu bar.
    const char* parent;
    // What the entry runs. An entry whose feature is not built yet has none
    // and stays visible but disabled, so the menu never offers something
    // that does nothing.
    void (TFormMain::*handler)();
    // A key sequence in Qt's portable text form ("Ctrl+Z"), or nullptr.
    const char* shortcut;
};

namespace {

using Row = TFormMain::MenuRow;
constexpr Row::Kind Menu = Row::Kind::Menu;
constexpr Row::Kind Entry = Row::Kind::Entry;
constexpr Row::Kind Separator = Row::Kind::Separator;

}  // namespace

// The menu bar, top to bottom and left to right.
//
// Adding a command is one row here plus its handler method (and its caption
// "main.<objectName>" in the text table); a new menu is one Menu row placed
// where it should appear, followed by its entries. Building, connecting,
// enabling and captioning all walk this table, so nothing else needs to know.
std::span<const TFormMain::MenuRow> TFormMain::menuRows() {
    static constexpr MenuRow rows[] = {
        {Menu, "MenuDatei", nullptr, nullptr, nullptr},
        {Entry, "Menu_Oeffnen_", "MenuDatei", &TFormMain::Menu_Oeffnen_Click, "Ctrl+O"},
        {Menu, "Menu_Einstellungen_", "MenuDatei", nullptr, nullptr},
        {Entry, "Menu_Einstellungen_MIDI_", "Menu_Einstellungen_", &TFormMain::Menu_Einstellungen_MIDI_Click,
         nullptr},
        {Menu, "Menu_Sprache", "Menu_Einstellungen_", nullptr, nullptr},
        {Entry, "Menu_Sprache_Deutsch_", "Menu_Sprache", &TFormMain::Menu_Sprache_Deutsch_Click, nullptr},
        {Entry, "Menu_Sprache_English_", "Menu_Sprache", &TFormMain::Menu_Sprache_English_Click, nullptr},
        {Separator, nullptr, "MenuDatei", nullptr, nullptr},
        {Entry, "Menu_Beenden_", "MenuDatei", &TFormMain::Menu_Beenden_Click, "Ctrl+Q"},

        {Menu, "MenuBearbeiten", nullptr, nullptr, nullptr},
        {Entry, "Menu_Rueckgaengig_", "MenuBearbeiten", &TFormMain::Menu_Rueckgaengig_Click, "Ctrl+Z"},
        {Entry, "Menu_Wiederherstellen_", "MenuBearbeiten", &TFormMain::Menu_Wiederherstellen_Click,
         "Ctrl+Shift+Z"},

        {Menu, "MenuKonfiguration", nullptr, nullptr, nullptr},
        {Entry, "Menu_Neue_Konfiguration_", "MenuKonfiguration", &TFormMain::Menu_Neue_Konfiguration_Click,
         nullptr},
        {Entry, "Menu_Dupliziere_Konfiguration_", "MenuKonfiguration",
         &TFormMain::Menu_Dupliziere_Konfiguration_Click, nullptr},
        {Entry, "Menu_Umbenenne_Konfiguration_", "MenuKonfiguration",
         &TFormMain::Menu_Umbenenne_Konfiguration_Click, nullptr},
        {Entry, "Menu_Loesche_Konfiguration_", "MenuKonfiguration",
         &TFormMain::Menu_Loesche_Konfiguration_Click, nullptr},
        {Separator, nullptr, "MenuKonfiguration", nullptr, nullptr},
        {Entry, "Menu_Sende_Konfiguration_", "MenuKonfiguration", &TFormMain::Menu_Sende_Konfiguration_Click,
         nullptr},
        {Entry, "Menu_Compare_With_Device_", "MenuKonfiguration", &TFormMain::Menu_Compare_With_Device_Click,
         nullptr},
        {Entry, "Menu_Import_From_Device_", "MenuKonfiguration", &TFormMain::Menu_Import_From_Device_Click,
         nullptr},
        {Entry, "Menu_Exportiere_Konfiguration_", "MenuKonfiguration",
         &TFormMain::Menu_Exportiere_Konfiguration_Click, nullptr},

        {Menu, "Menu_Gruppe", nullptr, nullptr, nullptr},
        {Entry, "Menu_Neue_Gruppe_", "Menu_Gruppe", &TFormMain::Menu_Neue_Gruppe_Click, nullptr},
        {Entry, "Menu_Dupliziere_Gruppe_", "Menu_Gruppe", &TFormMain::Menu_Dupliziere_Gruppe_Click, nullptr},
        {Entry, "Menu_Umbenenne_Gruppe_", "Menu_Gruppe", &TFormMain::Menu_Umbenenne_Gruppe_Click, nullptr},
        {Entry, "Menu_Loesche_Gruppe_", "Menu_Gruppe", &TFormMain::Menu_Loesche_Gruppe_Click, nullptr},
        {Separator, nullptr, "Menu_Gruppe", nullptr, nullptr},
        {Entry, "Menu_Exportiere_Gruppe_", "Menu_Gruppe", &TFormMain::Menu_Exportiere_Gruppe_Click, nullptr},

        {Menu, "MenuNachricht", nullptr, nullptr, nullptr},
        {Entry, "Menu_Neue_Message_", "MenuNachricht", &TFormMain::Menu_Neue_Message_Click, nullptr},
        {Entry, "Menu_Dupliziere_Message_", "MenuNachricht", &TFormMain::Menu_Dupliziere_Message_Click,
         nullptr},
        {Entry, "Menu_Umbenenne_Message_", "MenuNachricht", &TFormMain::Menu_Umbenenne_Message_Click,
         nullptr},
        {Entry, "Menu_Loesche_Message_", "MenuNachricht", &TFormMain::Menu_Loesche_Message_Click, nullptr},
        {Separator, nullptr, "MenuNachricht", nullptr, nullptr},
        {Entry, "Menu_Schiebe_Message_In_Andere_Gruppe_", "MenuNachricht",
         &TFormMain::Menu_Schiebe_Message_In_Andere_Gruppe_Click, nullptr},
        {Entry, "Menu_Kopiere_Message_In_Andere_Gruppe_", "MenuNachricht",
         &TFormMain::Menu_Kopiere_Message_In_Andere_Gruppe_Click, nullptr},

        {Menu, "Menu_Motorprofil_", nullptr, nullptr, nullptr},
        {Entry, "Menu_Motorprofileditor_", "Menu_Motorprofil_", &TFormMain::Menu_Motorprofileditor_Click,
         nullptr},

        {Menu, "Debug1", nullptr, nullptr, nullptr},
        {Entry, "Menu_MIDI_Monitor_", "Debug1", &TFormMain::Menu_MIDI_Monitor_Click, nullptr},

        {Menu, "Hilfe1", nullptr, nullptr, nullptr},
        {Entry, "Menu_Hilfe_Anleitung_", "Hilfe1", &TFormMain::Menu_Hilfe_Anleitung_Click, "F1"},
        {Separator, nullptr, "Hilfe1", nullptr, nullptr},
        {Entry, "Menu_Quillon_Homepage_", "Hilfe1", &TFormMain::Menu_Quillon_Homepage_Click, nullptr},
        {Entry, "Menu_Internet_Look_For_Updates_", "Hilfe1", &TFormMain::Menu_Internet_Look_For_Updates_Click,
         nullptr},
        {Entry, "Menu_Internet_Look_For_Configurations_", "Hilfe1",
         &TFormMain::Menu_Internet_Look_For_Configurations_Click, nullptr},
        {Separator, nullptr, "Hilfe1", nullptr, nullptr},
        {Entry, "Menu_Info_Ueber_Editor_", "Hilfe1", &TFormMain::Menu_Info_Ueber_Editor_Click, nullptr},
    };
    return rows;
}

void TFormMain::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    const auto rows = menuRows();
    MenuActions.assign(rows.size(), nullptr);
    auto parentMenu = [&](std::size_t upTo, const char* parent) -> QMenu* {
        for (std::size_t i = 0; i < upTo; ++i)
            if (rows[i].kind == Row::Kind::Menu && qstrcmp(rows[i].objectName, parent) == 0)
                return MenuActions[i]->menu();
        // A misspelt or misplaced parent is a mistake in the table; fail at
        // once rather than build a menu bar that silently lacks the entry.
        qFatal("menu table: parent menu %s is not defined before its entries", parent);
    };

    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        QMenu* parent = row.parent ? parentMenu(i, row.parent) : nullptr;
        switch (row.kind) {
            case Row::Kind::Menu: {
                QMenu* menu = parent ? parent->addMenu(QString()) : bar->addMenu(QString());
                menu->setObjectName(QString::fromLatin1(row.objectName));
                menu->menuAction()->setObjectName(QString::fromLatin1(row.objectName) +
                                                  QStringLiteral("_action"));
                MenuActions[i] = menu->menuAction();
                break;
            }
            case Row::Kind::Entry: {
                QAction* action = parent ? parent->addAction(QString()) : bar->addAction(QString());
                action->setObjectName(QString::fromLatin1(row.objectName));
                if (row.shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
                action->setEnabled(row.handler != nullptr);
                if (row.handler)
                    connect(action, &QAction::triggered, this,
                            [this, handler = row.handler] { (this->*handler)(); });
                MenuActions[i] = action;
                break;
            }
            case Row::Kind::Separator:
                MenuActions[i] = parent ? parent->addSeparator() : bar->addSeparator();
                break;
        }
    }

    // Entries the window's code and its tests name directly.
    MenuDatei = menuEntry(u"MenuDatei")->menu();
    Menu_Sprache_Deutsch_ = menuEntry(u"Menu_Sprache_Deutsch_");
    Menu_Sprache_English_ = menuEntry(u"Menu_Sprache_English_");
    Menu_Beenden_ = menuEntry(u"Menu_Beenden_");
    Menu_Sende_Konfiguration_ = menuEntry(u"Menu_Sende_Konfiguration_");
    Menu_Motorprofileditor_ = menuEntry(u"Menu_Motorprofileditor_");
}

void TFormMain::CaptionMenus(const QString& code) {
    const auto rows = menuRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].kind == Row::Kind::Separator) continue;
        // A menu's title is the text of its menu action.
        MenuActions[i]->setText(trText(std::string("main.") + rows[i].objectName, code));
    }
}

QAction* TFormMain::menuEntry(QStringView objectName) const {
    const auto rows = menuRows();
    for (std::size_t i = 0; i < rows.size() && i < MenuActions.size(); ++i)
        if (rows[i].objectName && QLatin1StringView(rows[i].objectName) == objectName) return MenuActions[i];
    return nullptr;
}
