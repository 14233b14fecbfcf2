#pragma once
// Reading the device's motor profiles back: the nine packets of a motor
// profile dump turned into the curves and the positioning time the editor
// sent, exactly the other way round from MotorProfilePayload.
//
// A dump is taken only when it is complete and consistent: one readable
// packet for each of the nine faders, all with the same positioning time.
// Anything else is named fader by fader and nothing is taken; a profile made
// up of some faders and zeros for the others would be a guess.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device_dump.h"
#include "motor_profile.h"

namespace korvane {

// One fader's payload read back.
struct MotorProfilePayloadReading {
    int fader = 0;
    std::uint8_t factor = 0;
    std::uint8_t constant = 0;
    TMotorProfilTabellenEintrag entry;  // speeds in internal units (step × 32)
};

// The payload of MotorProfilePayload: exactly 23 bytes with a fader index of
// 0..8. Nothing for anything else.
std::optional<MotorProfilePayloadReading> MotorProfileFromPayload(const ByteString& payload);

// Why a dump cannot be taken, fader by fader.
struct ProfileReadProblem {
    enum class Kind {
        NoProfiles,    // the dump holds no packet at all
        Missing,       // no packet for this fader
        Checksum,      // this fader's packet failed its checksum
        WrongLength,   // this fader's packet is not as long as a profile packet
        TimeDiffers,   // this fader's positioning time is not the first fader's
        UnplacedFault  // a damaged packet whose fader cannot be told
    };
    Kind kind = Kind::Missing;
    int fader = -1;  // fader index; -1 for NoProfiles and UnplacedFault
    bool operator==(const ProfileReadProblem&) const = default;
};

struct MotorProfileReading {
    TMotorProfilTabelle table;
    std::uint8_t factor = 0;
    std::uint8_t constant = 0;
    std::vector<ProfileReadProblem> problems;  // empty: the dump was taken
    bool ok() const { return problems.empty(); }
};

// Reads a motor profile dump (DumpKind::MotorProfiles).
MotorProfileReading readMotorProfiles(const DeviceDump& dump);

// One line per problem, in the given language.
std::string profileReadProblemsText(const std::vector<ProfileReadProblem>& problems,
                                    std::string_view language);

}  // namespace korvane
