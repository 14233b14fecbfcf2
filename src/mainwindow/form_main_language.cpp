// The interface language: every caption of the main window from the text
// table, and the language menu.

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "form_motor_profil.h"

namespace {

// The addresses of the maker's pages in both languages. They are product
// configuration, kept in one place.
struct Pages {
    const char* homepage;
    const char* updates;
    const char* usersets;
};
constexpr Pages kPagesDe{"https://www.quillon.example/de/", "https://www.quillon.example/de/updates/",
                         "https://www.quillon.example/de/konfigurationen/"};
constexpr Pages kPagesEn{"https://www.quillon.example/en/", "https://www.quillon.example/en/updates/",
                         "https://www.quillon.example/en/configurations/"};

}  // namespace

void TFormMain::ApplyCaptions(const QString& code) {
    auto t = [&code](std::string_view key) { return trText(key, code); };

    CaptionMenus(code);
    UpdateUndoMenu(code);

    const std::pair<QGroupBox*, const char*> boxes[] = {
        {GroupBoxMap, "main.GroupBoxMap"},
        {GroupBoxKonfiguration, "main.GroupBoxKonfiguration"},
        {gb_MessageAuswahl, "main.gb_MessageAuswahl"},
        {gb_Message, "main.gb_Message"},
        {GroupBoxStellbereich, "main.GroupBoxStellbereich"},
    };
    for (const auto& [box, key] : boxes) box->setTitle(t(key));

    const std::pair<QLabel*, const char*> labels[] = {
        {labelKonfiguration, "main.labelKonfiguration"},
        {LabelGruppe, "main.LabelGruppe"},
        {Label3, "main.Label3"},
        {LabelStep, "main.LabelStep"},
        {LabelMax, "main.LabelMax"},
        {LabelMin, "main.LabelMin"},
        {Label1, "main.Label1"},
    };
    for (const auto& [label, key] : labels) label->setText(t(key));

    const char* modeKeys[] = {"main.RG_Mode.0", "main.RG_Mode.1", "main.RG_Mode.2", "main.RG_Mode.3"};
    for (std::size_t i = 0; i < RG_ModeItems.size(); ++i) RG_ModeItems[i]->setText(t(modeKeys[i]));

    rb_Range_Full->setText(t("main.rb_Range_Full"));
    rb_Range_Part->setText(t("main.rb_Range_Part"));
    rb_Range_Percent->setText(t("main.rb_Range_Percent"));
    // The range hints were only ever written in German.
    rb_Range_Full->setToolTip(t("main.rb_Range_Full.hint"));
    rb_Range_Part->setToolTip(t("main.rb_Range_Part.hint"));
    rb_Range_Percent->setToolTip(t("main.rb_Range_Percent.hint"));
    bt_AenderungenUebernehmen->setToolTip(t("main.bt_AenderungenUebernehmen.hint"));

    // While a transfer runs the button shows its stage; the language change
    // must not overwrite that.
    if (btSend->isEnabled()) btSend->setText(t("main.btSend"));

    const Pages& pages = code == QStringLiteral("en") ? kPagesEn : kPagesDe;
    URLhomepage = QString::fromLatin1(pages.homepage);
    URLupdates = QString::fromLatin1(pages.updates);
    URLusersets = QString::fromLatin1(pages.usersets);
}

void TFormMain::Lokalisierung(const QString& code) {
    // Only the two languages of the text table exist; any other code leaves
    // every caption as it is.
    if (code != QStringLiteral("de") && code != QStringLiteral("en")) return;
    korvane::setUiLanguage(code);
    ApplyCaptions(code);
    if (FormMIDIMon) FormMIDIMon->Lokalisierung();
    if (FormMidiInterface) FormMidiInterface->Lokalisierung();
    if (FormMotorProfil) FormMotorProfil->Lokalisierung();
    // Let the new captions paint at once.
    QCoreApplication::processEvents();
}

void TFormMain::SwitchLanguage(const QString& code) {
    Lokalisierung(code);
    language = code;
    HinweiseErzeugen();
    // The captions over the templates were set from the old language when
    // the message was shown; only their text changes, so whatever the user
    // has typed into the panel stays.
    SetTemplateCaptions();
    // The first entry of the group list is the no-assignment entry; it
    // speaks the new language now. The rest of the list and its choice stay.
    if (CB_Group->count() > 0 && IsNoAssignment(CB_Group->itemText(0)))
        CB_Group->setItemText(0, NoAssignmentText());
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                       QStringLiteral("Korvane"));
    settings.setValue(QStringLiteral("Prefs/language"), code);
}

void TFormMain::Menu_Sprache_Deutsch_Click() { SwitchLanguage(QStringLiteral("de")); }
void TFormMain::Menu_Sprache_English_Click() { SwitchLanguage(QStringLiteral("en")); }
