#include "motor_profile_document.h"

#include "xml_layout.h"

namespace korvane {

namespace {

std::string faderElementName(int fader) { return "fader" + std::to_string(fader + 1); }

}  // namespace

DocumentStatus MotorProfileDocument::open(const std::filesystem::path& fileName) {
    return file_.load(fileName);
}

pugi::xml_node MotorProfileDocument::container() {
    pugi::xml_node root = file_.root();
    if (!root) return {};
    pugi::xml_node found = root.child("motorprofile");
    // A document without the container gets an empty one; it reaches the
    // file with the next command that writes.
    if (!found) found = appendElementIndented(root, "motorprofile");
    return found;
}

std::vector<std::string> MotorProfileDocument::profileNames() {
    std::vector<std::string> names;
    for (pugi::xml_node p = container().first_child(); p; p = p.next_sibling()) {
        if (p.type() == pugi::node_element) names.emplace_back(p.attribute("name").value());
    }
    return names;
}

pugi::xml_node MotorProfileDocument::Finde_XML_ProfilByName(std::string_view Profilname) {
    for (pugi::xml_node p = container().first_child(); p; p = p.next_sibling()) {
        if (p.type() == pugi::node_element && std::string_view(p.attribute("name").value()) == Profilname)
            return p;
    }
    return {};
}

PositioningTime MotorProfileDocument::XMLProfilLaden(pugi::xml_node profile, TMotorProfilTabelle& table) {
    PositioningTime time;
    if (!profile) return time;
    for (int f = 0; f < kMotorFaderCount; ++f) {
        const pugi::xml_node fader = profile.child(faderElementName(f).c_str());
        FaderStringInArray(fader.child_value(), table.MotorProfile[static_cast<std::size_t>(f)]);
    }
    time.TotzeitFaktor = parseInteger(profile.child("tFactor").child_value()).value_or(100);
    time.TotzeitKonstante = parseInteger(profile.child("tConst").child_value()).value_or(100);
    return time;
}

void MotorProfileDocument::writeProfile(pugi::xml_node profile, const TMotorProfilTabelle& table,
                                        std::string_view factorText, std::string_view constantText) {
    for (int f = 0; f < kMotorFaderCount; ++f) {
        setChildText(profile, faderElementName(f),
                     ArrayToString(table.MotorProfile[static_cast<std::size_t>(f)]));
    }
    setChildText(profile, "tFactor", factorText);
    setChildText(profile, "tConst", constantText);
}

DocumentStatus MotorProfileDocument::commit() {
    DocumentStatus st = file_.saveAndReload();
    // The tree may hold a change the file did not take: read the file back
    // so that what the editor shows next is what is stored.
    if (!st.ok() && file_.isLoaded()) file_.reload();
    return st;
}

DocumentStatus MotorProfileDocument::saveProfile(std::string_view name, const TMotorProfilTabelle& table,
                                                 std::string_view factorText, std::string_view constantText) {
    pugi::xml_node profile = Finde_XML_ProfilByName(name);
    if (!profile || name.empty()) {
        DocumentStatus st = file_.reload();
        return st;
    }
    writeProfile(profile, table, factorText, constantText);
    return commit();
}

DocumentStatus MotorProfileDocument::saveProfileAs(std::string_view name, const TMotorProfilTabelle& table,
                                                   std::string_view factorText, std::string_view constantText,
                                                   bool replaceExisting) {
    if (replaceExisting) {
        if (pugi::xml_node old = Finde_XML_ProfilByName(name)) removeElementIndented(old);
    }
    pugi::xml_node profile = appendElementIndented(container(), "profil");
    profile.append_attribute("name").set_value(std::string(name).c_str());
    writeProfile(profile, table, factorText, constantText);
    return commit();
}

DocumentStatus MotorProfileDocument::copyProfile(std::string_view source, std::string_view name,
                                                 bool replaceExisting) {
    pugi::xml_node original = Finde_XML_ProfilByName(source);
    if (!original) return file_.reload();
    if (replaceExisting) {
        if (pugi::xml_node old = Finde_XML_ProfilByName(name); old && old != original)
            removeElementIndented(old);
    }
    pugi::xml_node copy = appendCopyIndented(container(), original);
    pugi::xml_attribute attribute = copy.attribute("name");
    if (!attribute) attribute = copy.append_attribute("name");
    attribute.set_value(std::string(name).c_str());
    return commit();
}

DocumentStatus MotorProfileDocument::XML_LoescheMotorProfil(std::string_view Profilname) {
    if (pugi::xml_node old = Finde_XML_ProfilByName(Profilname)) removeElementIndented(old);
    return commit();
}

}  // namespace korvane
