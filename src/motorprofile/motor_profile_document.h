#pragma once
// The motor profile document: named profiles, each with nine fader texts and
// the two positioning-time values, in an XML file of its own.
//
//   <anything>
//     <motorprofile>
//       <profil name="default">
//         <fader1>255, 128, ...</fader1> ... <fader9>...</fader9>
//         <tFactor>100</tFactor><tConst>100</tConst>
//       </profil>
//
// Every element child of "motorprofile" counts as a profile, whatever its
// name. The file is the master copy: each command changes the tree, writes
// the whole file atomically once and reads it back. A command whose write
// fails reads the file back as well, so the tree never holds what the file
// does not, and the file stays byte-identical.

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "config_document.h"
#include "motor_profile.h"

namespace korvane {

// The profile that may be neither saved over nor deleted (exact spelling).
inline constexpr std::string_view kReservedProfileName = "default";

// Factor and constant of a loaded profile.
struct PositioningTime {
    std::int32_t TotzeitFaktor = 100;
    std::int32_t TotzeitKonstante = 100;
};

class MotorProfileDocument {
public:
    // Binds the document to fileName and reads it.
    DocumentStatus open(const std::filesystem::path& fileName);
    DocumentStatus reload() { return file_.reload(); }
    bool isLoaded() const { return file_.isLoaded(); }
    const std::filesystem::path& fileName() const { return file_.fileName(); }
    const pugi::xml_document& xml() const { return file_.xml(); }

    // The name attribute of every profile, in document order.
    std::vector<std::string> profileNames();
    // The first profile named exactly Profilname; empty when there is none.
    pugi::xml_node Finde_XML_ProfilByName(std::string_view Profilname);

    // Reads a profile into the table: each fader text that is present is
    // parsed over what the fader held; factor and constant are 100 when they
    // are missing or no number. A null node changes nothing and gives the
    // defaults.
    static PositioningTime XMLProfilLaden(pugi::xml_node profile, TMotorProfilTabelle& table);

    // The commands. Each writes the file once; on failure the file is as it
    // was and the tree is read back from it.

    // Writes the table and the two edit texts into the first profile named
    // name, creating missing children. No such profile: nothing is written.
    DocumentStatus saveProfile(std::string_view name, const TMotorProfilTabelle& table,
                               std::string_view factorText, std::string_view constantText);
    // Appends a new profile; with replaceExisting the first profile of that
    // name goes first, in the same write.
    DocumentStatus saveProfileAs(std::string_view name, const TMotorProfilTabelle& table,
                                 std::string_view factorText, std::string_view constantText,
                                 bool replaceExisting);
    // Appends a copy of the stored profile source under name; with
    // replaceExisting the first profile named name goes first, in the same
    // write. The caller refuses a copy onto the source's own name.
    DocumentStatus copyProfile(std::string_view source, std::string_view name, bool replaceExisting);
    // Removes the first profile named name, if any, and writes the file.
    DocumentStatus XML_LoescheMotorProfil(std::string_view Profilname);

private:
    pugi::xml_node container();
    void writeProfile(pugi::xml_node profile, const TMotorProfilTabelle& table, std::string_view factorText,
                      std::string_view constantText);
    DocumentStatus commit();

    ConfigDocument file_;
};

}  // namespace korvane
