// The surface map of the main window: each element picture's colour and hint
// follow the element's assignment in the current configuration.

#include <QComboBox>
#include <QString>

#include "element_catalogue.h"
#include "form_main.h"
#include "surface_map.h"
#include "texts.h"

using namespace korvane;

namespace {

// Hint lines are separated by a line feed followed by a carriage return, the
// way the hints have always been stored.
const QString kHintSeparator = QStringLiteral("\n\r");

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString TFormMain::HinweisErzeugen(TImage* ImageToDraw) {
    if (!ImageToDraw) return {};
    const int nummer = elementNumberFromTag(ImageToDraw->Tag());
    if (nummer < 0) return {};
    const std::string lang = language.toStdString();
    const std::string_view name = Wie_lautet_EingabeElementName(nummer);

    QString hint = QString::fromStdString(Translate(name, lang));
    TEingabeElementFarbe farbe = EEIMG_BLUE;

    ElementResolution r;
    if (XMLkonfig && XMLkonfig->isLoaded() && CB_Set) {
        r = XMLkonfig->resolveElement(CB_Set->currentText().toStdString(), name);
    }
    switch (r.state) {
        case ElementResolution::State::NoAssignment:
            hint += kHintSeparator + qs(text("panel.hint.not_in_use", lang));
            farbe = EEIMG_BLUE;
            break;
        case ElementResolution::State::Resolved:
            hint += kHintSeparator + QString::fromStdString(r.groupName) + kHintSeparator +
                    QString::fromStdString(r.messageName);
            farbe = EEIMG_BLACK;
            break;
        case ElementResolution::State::DanglingGroup:
        case ElementResolution::State::DanglingMessage:
            hint += kHintSeparator + QString::fromStdString(r.messageName) + kHintSeparator +
                    qs(text("document.hint_message_not_found", lang));
            farbe = EEIMG_RED;
            break;
    }
    if (ImageToDraw->Hint() != hint) ImageToDraw->setHint(hint);
    EingabeElementFaerben(ImageToDraw, farbe);
    return hint;
}

void TFormMain::HinweiseErzeugen() {
    for (int nummer = 0; nummer < kElementCount; ++nummer)
        HinweisErzeugen(Get_EingabeElement_By_Number(nummer));
}

void TFormMain::EingabeElementFaerben(TImage* ImageToChange, TEingabeElementFarbe Farbe) {
    korvane::EingabeElementFaerben(ImageToChange, Farbe);
}

void TFormMain::SetFader(int Fadernummer, int Value) { korvane::SetFader(this, Fadernummer, Value); }

TImage* TFormMain::Get_EingabeElement_By_Number(int Nummer) {
    return korvane::Get_EingabeElement_By_Number(this, Nummer);
}

TImage* TFormMain::Get_EingabeElement_By_Name(const QString& Name) {
    const int nummer = Wie_lautet_EingabeElementNummer(Name.toStdString());
    if (nummer < 0) return nullptr;
    return Get_EingabeElement_By_Number(nummer);
}
