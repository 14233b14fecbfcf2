#include "motor_profile_reading.h"

#include <array>

#include "texts.h"

namespace korvane {

namespace {

// Fader index, factor, constant, then a (difference, speed step) pair per point.
constexpr std::size_t kPayloadLength = 3 + 2 * kMotorPointCount;

}  // namespace

std::optional<MotorProfilePayloadReading> MotorProfileFromPayload(const ByteString& payload) {
    if (payload.size() != kPayloadLength || payload[0] >= kMotorFaderCount) return std::nullopt;
    MotorProfilePayloadReading out;
    out.fader = payload[0];
    out.factor = payload[1];
    out.constant = payload[2];
    // The packet lists the points from 9 down to 0.
    std::size_t at = 3;
    for (int i = kMotorPointCount - 1; i >= 0; --i) {
        const auto point = static_cast<std::size_t>(i);
        out.entry.Differenz[point] = payload[at++];
        out.entry.Geschwindigkeit[point] = payload[at++] * kSpeedUnitsPerStep;
    }
    return out;
}

MotorProfileReading readMotorProfiles(const DeviceDump& dump) {
    MotorProfileReading reading;
    if (dump.packets.empty()) {
        reading.problems.push_back({ProfileReadProblem::Kind::NoProfiles, -1});
        return reading;
    }
    // The reader has refused dumps with two packets for one fader or an
    // index beyond the master fader; what is left is judged per fader.
    std::array<std::optional<ProfileReadProblem::Kind>, kMotorFaderCount> fault{};
    std::array<bool, kMotorFaderCount> present{};
    std::optional<std::pair<std::uint8_t, std::uint8_t>> time;
    int unplaced = 0;
    for (const DumpPacket& packet : dump.packets) {
        if (!packet.ok()) {
            if (packet.index >= 0 && packet.index < kMotorFaderCount) {
                present[static_cast<std::size_t>(packet.index)] = true;
                fault[static_cast<std::size_t>(packet.index)] = ProfileReadProblem::Kind::Checksum;
            } else {
                ++unplaced;
            }
            continue;
        }
        const auto index = static_cast<std::size_t>(packet.index);
        present[index] = true;
        const auto read = MotorProfileFromPayload(packet.payload);
        if (!read) {
            fault[index] = ProfileReadProblem::Kind::WrongLength;
            continue;
        }
        reading.table.MotorProfile[index] = read->entry;
        // The editor sends one positioning time with every fader; a dump
        // whose faders disagree is none the editor sent.
        if (!time) {
            time = std::make_pair(read->factor, read->constant);
        } else if (*time != std::make_pair(read->factor, read->constant)) {
            fault[index] = ProfileReadProblem::Kind::TimeDiffers;
        }
    }
    for (int f = 0; f < kMotorFaderCount; ++f) {
        const auto i = static_cast<std::size_t>(f);
        if (!present[i])
            reading.problems.push_back({ProfileReadProblem::Kind::Missing, f});
        else if (fault[i])
            reading.problems.push_back({*fault[i], f});
    }
    for (int n = 0; n < unplaced; ++n)
        reading.problems.push_back({ProfileReadProblem::Kind::UnplacedFault, -1});
    if (time) {
        reading.factor = time->first;
        reading.constant = time->second;
    }
    if (!reading.ok()) reading.table = {};
    return reading;
}

std::string profileReadProblemsText(const std::vector<ProfileReadProblem>& problems,
                                    std::string_view language) {
    std::string out;
    for (const ProfileReadProblem& p : problems) {
        std::string_view key;
        switch (p.kind) {
            case ProfileReadProblem::Kind::NoProfiles:
                key = "motor.read.noProfiles";
                break;
            case ProfileReadProblem::Kind::Missing:
                key = "motor.read.missing";
                break;
            case ProfileReadProblem::Kind::Checksum:
                key = "motor.read.checksum";
                break;
            case ProfileReadProblem::Kind::WrongLength:
                key = "motor.read.wrongLength";
                break;
            case ProfileReadProblem::Kind::TimeDiffers:
                key = "motor.read.timeDiffers";
                break;
            case ProfileReadProblem::Kind::UnplacedFault:
                key = "motor.read.unplaced";
                break;
        }
        if (!out.empty()) out += "\n";
        out += p.fader >= 0 ? textWith(key, language, faderLabel(p.fader)) : std::string(text(key, language));
    }
    return out;
}

}  // namespace korvane
