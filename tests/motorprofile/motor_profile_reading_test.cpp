// Reading motor profiles back from a device dump: the reading is the exact
// inverse of the packets the editor sends, and a dump that does not fit is
// named fader by fader instead of being filled in.

#include "motor_profile_reading.h"

#include <gtest/gtest.h>

#include "motor_profile_document.h"

namespace korvane {
namespace {

// The nine packets the editor sends for a table, as the device echoes them
// (command byte 06), followed by the end marker.
std::vector<ByteString> dumpOf(const TMotorProfilTabelle& table, std::uint8_t factor, std::uint8_t constant) {
    std::vector<ByteString> messages;
    for (int f = 0; f < kMotorFaderCount; ++f) {
        ByteString packet =
            MotorProfilePacket(table.MotorProfile[static_cast<std::size_t>(f)], f, factor, constant);
        packet[2] = sysex::kCmdRequestProfiles;
        messages.push_back(packet);
    }
    messages.push_back(CommandPacket(sysex::kCmdRequestProfiles));
    return messages;
}

DeviceDump read(const std::vector<ByteString>& messages) {
    DeviceDump dump;
    std::string problem;
    EXPECT_EQ(readDump(DumpKind::MotorProfiles, messages, dump, &problem), DumpReader::Step::Complete)
        << problem;
    return dump;
}

// A table whose every value is v (speeds as whole steps).
TMotorProfilTabelle filled(std::int32_t difference, std::int32_t step) {
    TMotorProfilTabelle table;
    for (auto& entry : table.MotorProfile) {
        entry.Differenz.fill(difference);
        entry.Geschwindigkeit.fill(step * kSpeedUnitsPerStep);
    }
    return table;
}

// Every point of every fader different, so a swapped point or fader shows.
TMotorProfilTabelle distinct() {
    TMotorProfilTabelle table;
    for (int f = 0; f < kMotorFaderCount; ++f)
        for (int p = 0; p < kMotorPointCount; ++p) {
            auto& entry = table.MotorProfile[static_cast<std::size_t>(f)];
            entry.Differenz[static_cast<std::size_t>(p)] = 25 * f + p;
            entry.Geschwindigkeit[static_cast<std::size_t>(p)] = (255 - 20 * p - f) * kSpeedUnitsPerStep;
        }
    return table;
}

struct Profile {
    std::string name;
    TMotorProfilTabelle table;
    std::uint8_t factor;
    std::uint8_t constant;
};

std::vector<Profile> shippedProfiles() {
    MotorProfileDocument doc;
    EXPECT_TRUE(doc.open(KORVANE_SOURCE_DIR "/data/motorprofile.def").ok());
    std::vector<Profile> out;
    for (const std::string& name : doc.profileNames()) {
        Profile p{name, {}, 0, 0};
        const PositioningTime time =
            MotorProfileDocument::XMLProfilLaden(doc.Finde_XML_ProfilByName(name), p.table);
        p.factor = positioningTimeByte(std::to_string(time.TotzeitFaktor));
        p.constant = positioningTimeByte(std::to_string(time.TotzeitKonstante));
        out.push_back(p);
    }
    return out;
}

// Read ∘ send is the identity on the profile, and sending what was read
// gives the device's packets again, byte for byte.
TEST(MotorProfileReading, IsTheInverseOfThePacketsSent) {
    std::vector<Profile> profiles = shippedProfiles();
    ASSERT_GE(profiles.size(), 2u);
    profiles.push_back({"all zero", filled(0, 0), 0, 0});
    profiles.push_back({"all 255", filled(255, 255), 255, 255});
    profiles.push_back({"every value apart", distinct(), 1, 254});
    for (const Profile& p : profiles) {
        SCOPED_TRACE(p.name);
        ASSERT_FALSE(firstValueOutsideByte(p.table));
        const std::vector<ByteString> messages = dumpOf(p.table, p.factor, p.constant);
        const DeviceDump dump = read(messages);
        const MotorProfileReading reading = readMotorProfiles(dump);
        ASSERT_TRUE(reading.ok()) << profileReadProblemsText(reading.problems, "en");
        for (int f = 0; f < kMotorFaderCount; ++f)
            EXPECT_EQ(reading.table.MotorProfile[static_cast<std::size_t>(f)],
                      p.table.MotorProfile[static_cast<std::size_t>(f)])
                << faderLabel(f);
        EXPECT_EQ(reading.factor, p.factor);
        EXPECT_EQ(reading.constant, p.constant);

        std::vector<ByteString> again;
        for (int f = 0; f < kMotorFaderCount; ++f)
            again.push_back(MotorProfilePacket(reading.table.MotorProfile[static_cast<std::size_t>(f)], f,
                                               reading.factor, reading.constant));
        EXPECT_EQ(again, dump.sendablePackets());
    }
}

TEST(MotorProfileReading, PayloadOfAnotherShapeIsNoProfile) {
    ByteString payload = MotorProfilePayload(distinct().MotorProfile[3], 3, 7, 9);
    ASSERT_TRUE(MotorProfileFromPayload(payload));
    EXPECT_EQ(MotorProfileFromPayload(payload)->fader, 3);
    ByteString shorter(payload.begin(), payload.end() - 1);
    ByteString longer = payload;
    longer.push_back(0);
    ByteString fader9 = payload;
    fader9[0] = 9;
    EXPECT_FALSE(MotorProfileFromPayload(shorter));
    EXPECT_FALSE(MotorProfileFromPayload(longer));
    EXPECT_FALSE(MotorProfileFromPayload(fader9));
    EXPECT_FALSE(MotorProfileFromPayload({}));
}

// A dump that is not the nine packets the editor sends is refused, and the
// box names each fader that is wrong; nothing of it is taken.
TEST(MotorProfileReading, RefusesADumpThatDoesNotFitByFader) {
    using Kind = ProfileReadProblem::Kind;
    const std::vector<ByteString> good = dumpOf(distinct(), 100, 100);
    const ByteString end = good.back();
    auto without = [&](std::size_t fader) {
        std::vector<ByteString> m = good;
        m.erase(m.begin() + static_cast<std::ptrdiff_t>(fader));
        return m;
    };
    auto replaced = [&](std::size_t fader, ByteString packet) {
        std::vector<ByteString> m = good;
        m[fader] = std::move(packet);
        return m;
    };
    auto badChecksum = [&](std::size_t fader) {
        ByteString p = good[fader];
        p[p.size() - 2] ^= 0x01;
        return p;
    };
    auto payloadOf = [&](std::size_t fader) {
        return MotorProfilePayload(distinct().MotorProfile[fader], static_cast<int>(fader), 100, 100);
    };
    auto echoedWith = [](ByteString payload) { return BuildDataPacket(sysex::kCmdRequestProfiles, payload); };
    ByteString shortPayload = payloadOf(4);
    shortPayload.pop_back();
    ByteString otherTime = payloadOf(6);
    otherTime[1] = 99;
    ByteString unplaced = badChecksum(2);
    unplaced[3] = 0x0F;  // the index nibbles say 0xF2: no fader

    struct Case {
        const char* what;
        std::vector<ByteString> messages;
        std::vector<ProfileReadProblem> problems;
        std::string line;  // the first line of the English text
    };
    const std::vector<Case> cases = {
        {"no packet at all", {end}, {{Kind::NoProfiles, -1}}, "The device holds no motor profiles."},
        {"fader 3 missing", without(2), {{Kind::Missing, 2}}, "Fader 3: no packet"},
        {"master fader missing", without(8), {{Kind::Missing, 8}}, "Fader M: no packet"},
        {"bad checksum on fader 1",
         replaced(0, badChecksum(0)),
         {{Kind::Checksum, 0}},
         "Fader 1: packet with a wrong checksum"},
        {"short packet on fader 5",
         replaced(4, echoedWith(shortPayload)),
         {{Kind::WrongLength, 4}},
         "Fader 5: packet of the wrong length"},
        {"fader 7 with another positioning time",
         replaced(6, echoedWith(otherTime)),
         {{Kind::TimeDiffers, 6}},
         "Fader 7: another positioning time than the other faders"},
        {"damaged packet of no fader",
         replaced(2, unplaced),
         {{Kind::Missing, 2}, {Kind::UnplacedFault, -1}},
         "Fader 3: no packet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MotorProfileReading reading = readMotorProfiles(read(c.messages));
        EXPECT_FALSE(reading.ok());
        EXPECT_EQ(reading.problems, c.problems);
        EXPECT_EQ(reading.table.MotorProfile, TMotorProfilTabelle{}.MotorProfile);
        const std::string text = profileReadProblemsText(reading.problems, "en");
        EXPECT_EQ(text.substr(0, text.find('\n')), c.line);
    }
}

}  // namespace
}  // namespace korvane
