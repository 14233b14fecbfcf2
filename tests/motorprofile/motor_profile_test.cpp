// The profile table's codecs, packets and drag rules, without any window.

#include "motor_profile.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

const char* const kExampleText = "255, 128, 96, 64, 48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0";

TMotorProfilTabellenEintrag exampleCurve() {
    TMotorProfilTabellenEintrag e;
    e.Differenz = {0, 4, 8, 16, 32, 48, 64, 96, 128, 255};
    e.Geschwindigkeit = {0, 32, 64, 96, 128, 160, 192, 224, 256, 256};
    return e;
}

ByteString bytes(std::string_view hex) { return *ParseHexText(hex); }

TEST(FaderText, ExampleReadsIntoTheTableAndWritesBackUnchanged) {
    TMotorProfilTabellenEintrag e;
    FaderStringInArray(kExampleText, e);
    EXPECT_EQ(e, exampleCurve());
    EXPECT_EQ(ArrayToString(e), kExampleText);
}

TEST(FaderText, ReadingTable) {
    // What a text leaves in a curve that held 1 everywhere (speed 32).
    struct Case {
        const char* name;
        std::string text;
        std::array<std::int32_t, 10> differenz;
        std::array<std::int32_t, 10> geschwindigkeit;
    };
    const std::array<std::int32_t, 10> ones{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const std::array<std::int32_t, 10> thirtyTwos{32, 32, 32, 32, 32, 32, 32, 32, 32, 32};
    const Case cases[] = {
        {"noise between the numbers reads as the plain text",
         "255,\t128 ,x96, 64,\t48, 32, 16, 8, 4, 0, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0", exampleCurve().Differenz,
         exampleCurve().Geschwindigkeit},
        {"a minus sign is ignored", "-5", ones, {160, 32, 32, 32, 32, 32, 32, 32, 32, 32}},
        {"a short text reaches only its own values",
         "7, 3",
         {1, 1, 1, 1, 1, 1, 1, 1, 1, 7},
         {96, 32, 32, 32, 32, 32, 32, 32, 32, 32}},
        {"an empty text zeroes only point 0's speed", "", ones, {0, 32, 32, 32, 32, 32, 32, 32, 32, 32}},
        {"values beyond the twentieth are not stored",
         "1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 8, 77, 66",
         {10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
         {8 * 32, 9 * 32, 8 * 32, 7 * 32, 6 * 32, 5 * 32, 4 * 32, 3 * 32, 2 * 32, 32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMotorProfilTabellenEintrag e;
        e.Differenz = ones;
        e.Geschwindigkeit = thirtyTwos;
        FaderStringInArray(c.text, e);
        EXPECT_EQ(e.Differenz, c.differenz);
        EXPECT_EQ(e.Geschwindigkeit, c.geschwindigkeit);
    }
}

TEST(FaderText, EndlessDigitRunStaysTooLargeInsteadOfWrapping) {
    TMotorProfilTabellenEintrag e;
    FaderStringInArray("99999999999999999999, 99999999999999999999", e);
    EXPECT_GT(e.Differenz[9], 255);
    EXPECT_GT(e.Geschwindigkeit[0], 255 * 32);
    EXPECT_TRUE(firstValueOutsideByte(TMotorProfilTabelle{{e}}).has_value());
}

TEST(FaderText, SpeedStepsTruncateTowardsZero) {
    TMotorProfilTabellenEintrag e;
    e.Geschwindigkeit = {31, 33, -33, 0, 0, 0, 0, 0, 0, 255};
    EXPECT_EQ(ArrayToString(e), "0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, -1, 1, 0");
}

TEST(HexText, ExampleAndValuesOutsideOneByte) {
    EXPECT_EQ(ArrayToHex(exampleCurve()),
              "FF, 08, 80, 08, 60, 07, 40, 06, 30, 05, 20, 04, 10, 03, 08, 02, 04, 01, 00, 00");
    TMotorProfilTabellenEintrag e;
    e.Differenz[9] = 256;
    e.Differenz[8] = -1;
    EXPECT_EQ(ArrayToHex(e).substr(0, 22), "100, 00, FFFFFFFF, 00,");
}

TEST(PositioningTime, ByteOfTheEditText) {
    const std::pair<const char*, std::uint8_t> cases[] = {
        {"100", 100}, {"300", 0x2C}, {"", 10},    {"abc", 10},
        {" 7 ", 7},   {"-1", 0xFF},  {"12x", 10}, {"99999999999", 10},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(positioningTimeByte(text), expected) << '"' << text << '"';
}

TEST(ProfilePacket, ExampleIsByteExact) {
    const ByteString payload = MotorProfilePayload(exampleCurve(), 0, 100, 100);
    EXPECT_EQ(payload, bytes("00 64 64 FF 08 80 08 60 07 40 06 30 05 20 04 10 03 08 02 04 01 00 00"));
    EXPECT_EQ(Checksum(payload), ByteString{0x81});
    const ByteString packet = MotorProfilePacket(exampleCurve(), 0, 100, 100);
    EXPECT_EQ(packet,
              bytes("F0 7D 04 00 00 06 04 06 04 0F 0F 00 08 08 00 00 08 06 00 00 07 04 00 00 06 03 00 "
                    "00 05 02 00 00 04 01 00 00 03 00 08 00 02 00 04 00 01 00 00 00 00 08 01 F7"));
    EXPECT_EQ(packet.size(), 52u);
}

TEST(ProfilePacket, FaderIndexByteAndCommit) {
    for (int fader = 0; fader < kMotorFaderCount; ++fader) {
        const ByteString payload = MotorProfilePayload(exampleCurve(), fader, 1, 2);
        EXPECT_EQ(payload[0], fader);
        EXPECT_EQ(DecodeDataPacket(MotorProfilePacket(exampleCurve(), fader, 1, 2)).payload, payload);
    }
    EXPECT_EQ(MotorProfilePayload(exampleCurve(), kMasterFader, 1, 2)[0], 8);
    EXPECT_EQ(MotorProfileCommitPacket(), bytes("F0 7D 05 F7"));
    EXPECT_EQ(ParseHexText(kFaderTestHexText),
              bytes("B0 07 40 B1 07 40 B2 07 40 B3 07 40 B4 07 40 B5 07 40 B6 07 40 B7 07 40 B8 07 40"));
}

TEST(ProfilePacket, FirstValueOutsideOneByte) {
    struct Case {
        const char* name;
        int fader, point;
        bool speed;
        std::int32_t set;  // raw table value
        std::optional<std::int32_t> reported;
    };
    const Case cases[] = {
        {"difference 255 fits", 3, 9, false, 255, std::nullopt},
        {"difference 256 from a drag to the edge", 3, 9, false, 256, 256},
        {"negative difference", 8, 0, false, -1, -1},
        {"speed step 8 fits", 0, 5, true, 256, std::nullopt},
        {"speed step 300", 2, 4, true, 300 * 32, 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMotorProfilTabelle table;
        auto& e = table.MotorProfile[static_cast<std::size_t>(c.fader)];
        (c.speed ? e.Geschwindigkeit : e.Differenz)[static_cast<std::size_t>(c.point)] = c.set;
        const auto found = firstValueOutsideByte(table);
        ASSERT_EQ(found.has_value(), c.reported.has_value());
        if (!found) continue;
        EXPECT_EQ(found->fader, c.fader);
        EXPECT_EQ(found->point, c.point);
        EXPECT_EQ(found->speed, c.speed);
        EXPECT_EQ(found->value, *c.reported);
    }
}

TEST(CopyProfile, OneFaderOrAllOthers) {
    TMotorProfilTabelle table;
    for (int f = 0; f < kMotorFaderCount; ++f)
        table.MotorProfile[static_cast<std::size_t>(f)].Differenz[1] = f;
    TMotorProfilTabelle one = table;
    CopyProfile(one, 2, 7);
    EXPECT_EQ(one.MotorProfile[7].Differenz[1], 2);
    EXPECT_EQ(one.MotorProfile[6].Differenz[1], 6);
    TMotorProfilTabelle all = table;
    CopyProfile(all, 8, -1);
    for (const auto& e : all.MotorProfile) EXPECT_EQ(e.Differenz[1], 8);
    TMotorProfilTabelle none = table;
    CopyProfile(none, -1, 3);  // copy mode with no fader chosen
    for (int f = 0; f < kMotorFaderCount; ++f)
        EXPECT_EQ(none.MotorProfile[static_cast<std::size_t>(f)].Differenz[1], f);
}

TEST(DragRules, Table) {
    // The area of the window: difference 0 at x 298, speed 256 at y 114.
    constexpr int X = 298, Y = 114;
    auto at = [](int difference, int speed) { return ScreenPoint{X + difference, Y + 256 - speed}; };
    struct Case {
        const char* name;
        ScreenPoint current;
        ScreenPoint wanted;
        bool horizontal, monotonic;
        std::optional<ScreenPoint> before, after;
        ScreenPoint expected;
    };
    const Case cases[] = {
        {"right of the area stops at difference 255", at(100, 96), at(400, 96), true, true, at(50, 64),
         std::nullopt, at(255, 96)},
        {"left of the area stops at 0", at(10, 96), at(-40, 96), true, false, std::nullopt, std::nullopt,
         at(0, 96)},
        {"above the area gives step 8, free rule", at(100, 96), ScreenPoint{X + 100, Y - 50}, true, false,
         std::nullopt, std::nullopt, at(100, 256)},
        {"below the area gives step 0, free rule", at(100, 96), ScreenPoint{X + 100, Y + 400}, true, false,
         std::nullopt, std::nullopt, at(100, 0)},
        {"speed lands on a whole step", at(100, 96), ScreenPoint{X + 100, Y + 256 - 150}, true, false,
         std::nullopt, std::nullopt, ScreenPoint{X + 100, Y + 96}},
        {"point 0 does not move sideways", at(0, 0), at(80, 64), false, true, std::nullopt, at(10, 96),
         at(0, 64)},
        {"cannot pass the left neighbour", at(100, 96), at(20, 96), true, false, at(50, 64), at(150, 128),
         at(50, 96)},
        {"cannot pass the right neighbour", at(100, 96), at(200, 96), true, false, at(50, 64), at(150, 128),
         at(150, 96)},
        {"monotonic: not below the left neighbour's level", at(100, 96), at(100, 0), true, true, at(50, 64),
         at(150, 128), at(100, 64)},
        {"monotonic: not above the right neighbour's level", at(100, 96), at(100, 256), true, true,
         at(50, 64), at(150, 128), at(100, 128)},
        {"free: goes on below the left neighbour", at(100, 96), at(100, 0), true, false, at(50, 64),
         at(150, 128), at(100, 0)},
        {"equal values are allowed", at(100, 96), at(50, 64), true, true, at(50, 64), at(150, 128),
         at(50, 64)},
        {"a typed neighbour beyond the area cannot pull it out", at(100, 96), at(255, 96), true, true,
         at(50, 64), std::nullopt, at(255, 96)},
        {"a typed left neighbour at 300 keeps the drag at 255", at(100, 96), at(100, 96), true, false,
         at(300, 64), std::nullopt, at(255, 96)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DragRules rules;
        rules.offX = X;
        rules.offY = Y;
        rules.horizontal = c.horizontal;
        rules.monotonic = c.monotonic;
        rules.before = c.before;
        rules.after = c.after;
        const ScreenPoint got = dragPoint(c.current, c.wanted, rules);
        EXPECT_EQ(got.x, c.expected.x);
        EXPECT_EQ(got.y, c.expected.y);
    }
}

TEST(FaderLabel, Names) {
    EXPECT_EQ(faderLabel(0), "Fader 1");
    EXPECT_EQ(faderLabel(7), "Fader 8");
    EXPECT_EQ(faderLabel(8), "Fader M");
}

}  // namespace
}  // namespace korvane
