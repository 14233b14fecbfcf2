// The help menu, the logo and the windows opened from the menu.

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "tformmain.h"
#include "tformmotorprofil.h"

namespace {

void openWithDesktop(const QString& target) {
    if (target.isEmpty()) return;
    const QUrl url = target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
    // The desktop reports nothing useful when it cannot open the target;
    // there is nothing for the user to do about it here either.
    QDesktopServices::openUrl(url);
}

}  // namespace

void TFormMain::Menu_Hilfe_Anleitung_Click() {
    // The manuals lie beside the shipped default documents.
    const QString file = language == QStringLiteral("de") ? QStringLiteral("Anleitung_V3.044_deu.pdf")
                                                          : QStringLiteral("Manual_V3.044_en.pdf");
    openWithDesktop(QDir(ProgramFolder).filePath(file));
}

void TFormMain::Menu_Quillon_Homepage_Click() { openWithDesktop(URLhomepage); }
void TFormMain::Image_QuillonClick() { Menu_Quillon_Homepage_Click(); }
void TFormMain::Menu_Internet_Look_For_Updates_Click() { openWithDesktop(URLupdates); }
void TFormMain::Menu_Internet_Look_For_Configurations_Click() { openWithDesktop(URLusersets); }

void TFormMain::Menu_Info_Ueber_Editor_Click() {
    if (Form4) Form4->show();
}

void TFormMain::Menu_Motorprofileditor_Click() {
    if (FormMotorProfil) {
        MotorProfilTabelle = std::make_unique<korvane::TMotorProfilTabelle>();
        FormMotorProfil->setProfileTable(MotorProfilTabelle.get());
        FormMotorProfil->DocumentFile = DataFolder + QStringLiteral("/motorprofile.mp");
        FormMotorProfil->FormMIDIMon = FormMIDIMon;
        FormMotorProfil->show();
        FormMotorProfil->raise();
        FormMotorProfil->activateWindow();
    }
}
