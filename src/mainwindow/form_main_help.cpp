// The help menu, the logo and the windows opened from the menu.

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "form_motor_profil.h"

QString TFormMain::ManualFileName(const QString& code) {
    // German for German; English for every other language, the wider
    // understood of the two.
    return code == QStringLiteral("de") ? QStringLiteral("Anleitung_deu.html")
                                        : QStringLiteral("Manual_en.html");
}

void TFormMain::setUrlOpener(UrlOpener opener) { OpenUrl = std::move(opener); }

void TFormMain::OpenWithDesktop(const QUrl& url) {
    // An empty address opens nothing: there is no page to show.
    if (url.isEmpty()) return;
    if (OpenUrl) {
        OpenUrl(url);
        return;
    }
    // The desktop reports nothing useful when no handler takes the address;
    // there is nothing for the user to do about it here either.
    QDesktopServices::openUrl(url);
}

void TFormMain::Menu_Hilfe_Anleitung_Click() {
    // The manuals are shipped with the default documents, so they lie in the
    // same folder: beside the executable in a build, in the share folder of
    // an installation.
    const QString path = QDir(ProgramFolder).filePath(ManualFileName(language));
    if (!QFileInfo(path).isFile()) {
        // Asking the desktop to open a file that is not there would show
        // nothing at all; the user learns which file is missing instead.
        korvane::dialogs().error(trTextWith("help.manual_missing", language, QDir::toNativeSeparators(path)));
        return;
    }
    OpenWithDesktop(QUrl::fromLocalFile(path));
}

void TFormMain::Menu_Quillon_Homepage_Click() { OpenWithDesktop(QUrl(URLhomepage)); }
void TFormMain::Image_QuillonClick() { Menu_Quillon_Homepage_Click(); }
void TFormMain::Menu_Internet_Look_For_Updates_Click() { OpenWithDesktop(QUrl(URLupdates)); }
void TFormMain::Menu_Internet_Look_For_Configurations_Click() { OpenWithDesktop(QUrl(URLusersets)); }

void TFormMain::Menu_Info_Ueber_Editor_Click() {
    if (auto* box = qobject_cast<QDialog*>(Form4)) {
        box->exec();
    } else if (Form4) {
        Form4->show();
    }
}

void TFormMain::Menu_Motorprofileditor_Click() {
    if (FormMotorProfil) {
        MotorProfilTabelle = std::make_unique<korvane::TMotorProfilTabelle>();
        FormMotorProfil->setProfileTable(MotorProfilTabelle.get());
        FormMotorProfil->DocumentFile = DataFolder + QStringLiteral("/motorprofile.mp");
        FormMotorProfil->FormMIDIMon = FormMIDIMon;
        FormMotorProfil->FetchProfiles = [this](std::function<void(const korvane::FetchResult&)> done) {
            return FetchMotorProfiles(std::move(done));
        };
        FormMotorProfil->show();
        FormMotorProfil->raise();
        FormMotorProfil->activateWindow();
    }
}
