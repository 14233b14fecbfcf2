// The monitor's lines, its record and the send panel's fixed values, without
// any window.
#include "monitor_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "monitor_history.h"
#include "sysex.h"

using namespace korvane;
using namespace korvane::monitor;

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MonitorFormat, ShortMessages) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<std::uint32_t> timeMs;
        char decimalPoint;
        std::string line;
    };
    const Case cases[] = {
        {"note on", {0x90, 0x3C, 0x64}, std::nullopt, '.', "90 3C 64"},
        {"program change has no third byte", {0xC0, 0x05}, std::nullopt, '.', "C0 05 00"},
        {"a lone status byte", {0xFF}, std::nullopt, '.', "FF 00 00"},
        {"time, English", {0x90, 0x3C, 0x64}, 1500u, '.', "     1.500 - 90 3C 64"},
        {"time, German", {0x90, 0x3C, 0x64}, 1500u, ',', "     1,500 - 90 3C 64"},
        {"time zero", {0xB0, 0x07, 0x7F}, 0u, ',', "     0,000 - B0 07 7F"},
        {"small fractions keep their zeros", {0xB0, 0x07, 0x7F}, 12007u, '.', "    12.007 - B0 07 7F"},
        {"wider than ten characters", {0x80, 0x00, 0x00}, 4294967295u, '.', "4294967.295 - 80 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shortLine(c.bytes, c.timeMs, c.decimalPoint), c.line);
    }
}

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(i);
    return b;
}

TEST(MonitorFormat, SysExLines) {
    struct Case {
        const char* name;
        Bytes bytes;
        int bytesPerLine;
        bool nibbles;
        std::vector<std::string> lines;
    };
    const Bytes version{0xF0, 0x7D, 0x08, 0x00, 0x03, 0x00, 0x04, 0xF7};
    const Case cases[] = {
        {"version reply on one line", version, 16, false, {" F0 7D 08 00 03 00 04 F7"}},
        {"ten bytes, four a line", counting(10), 4, false, {" 00 01 02 03", " 04 05 06 07", " 08 09"}},
        {"exactly full lines leave no empty one", counting(8), 4, false, {" 00 01 02 03", " 04 05 06 07"}},
        {"one byte a line", Bytes{0xF0, 0xF7}, 1, false, {" F0", " F7"}},
        {"nibbles joined, frame head and F7 left out",
         Bytes{0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0A, 0x0B, 0xF7},
         16,
         true,
         {" 12 AB"}},
        {"nibble pairs broken into lines",
         Bytes{0xF0, 0x7D, 0x01, 1, 2, 3, 4, 5, 6, 0xF7},
         2,
         true,
         {" 12 34", " 56"}},
        {"a joined byte is taken modulo 256", Bytes{0xF0, 0x7D, 0x01, 0x7F, 0x7F, 0xF7}, 16, true, {" 6F"}},
        {"nibble view of a frame head only", Bytes{0xF0, 0x7D, 0x07, 0xF7}, 16, true, {}},
        {"empty", Bytes{}, 16, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sysexLines(c.bytes, c.bytesPerLine, c.nibbles), c.lines);
    }
}

TEST(MonitorFormat, LongSysExBreaksIntoFullLinesAndARest) {
    const auto lines = sysexLines(counting(300), 16, false);
    ASSERT_EQ(lines.size(), 19u);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 48u) << i;
    EXPECT_EQ(lines.back().size(), 36u);  // 12 bytes
    EXPECT_EQ(lines.back().substr(0, 3), " 20");
}

TEST(MonitorFormat, EditNumbersAndDivider) {
    struct Case {
        const char* text;
        int bytesPerLine;
        int intervalMs;
    };
    const Case cases[] = {
        {"16", 16, 16}, {"4", 4, 4},     {" 8 ", 8, 8},    {"", 16, 200},          {"abc", 16, 200},
        {"0", 16, 200}, {"-3", 16, 200}, {"12x", 16, 200}, {"99999", 4096, 99999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(bytesPerLineFrom(c.text), c.bytesPerLine);
        EXPECT_EQ(dividerIntervalFrom(c.text), c.intervalMs);
    }
    EXPECT_EQ(divider(16), std::string(48, '-'));
    EXPECT_EQ(divider(1), "---");
}

TEST(MonitorFormat, VolumeButtonsSendControllerSevenOnNineChannels) {
    const std::uint8_t levels[] = {0x7F, 0x60, 0x40, 0x00};
    for (std::size_t i = 0; i < kVolumeButtons.size(); ++i) {
        SCOPED_TRACE(std::string(kVolumeButtons[i].name));
        const auto bytes = ParseHexText(kVolumeButtons[i].bytes);
        ASSERT_TRUE(bytes);
        Bytes expected;
        for (std::uint8_t ch = 0; ch < 9; ++ch)
            expected.insert(expected.end(), {std::uint8_t(0xB0 + ch), 0x07, levels[i]});
        EXPECT_EQ(*bytes, expected);
    }
}

TEST(MonitorFormat, SineValuesFollowThePhaseOfEachChannel) {
    // Channel 1 at the angle itself, channel 5 a quarter period later,
    // channel 9 half a period later.
    struct Case {
        double angle;
        std::uint8_t ch1, ch5, ch9;
    };
    const double pi = std::numbers::pi;
    const Case cases[] = {
        {0.0, 64, 127, 64},
        {pi / 2, 127, 64, 1},
        {pi / 6, 95, 118, 32},  // 0.5, cos(pi / 6) and -0.5 on the way
        {7 * pi / 6, 32, 9, 95},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        const auto v = sineValues(c.angle);
        EXPECT_EQ(v[0], c.ch1);
        EXPECT_EQ(v[4], c.ch5);
        EXPECT_EQ(v[8], c.ch9);
    }
    // Every value over a whole period stays a valid 7-bit value above 0.
    double angle = 0;
    for (int tick = 0; tick < 50; ++tick) {
        angle += kSineStep;
        for (auto v : sineValues(angle)) {
            EXPECT_GE(v, 1);
            EXPECT_LE(v, 127);
        }
    }
    EXPECT_NEAR(kSineStep * 50, 2 * pi, 1e-12);
}

Line line(std::string text, Direction d, LineKind k) { return Line{std::move(text), d, k}; }

TEST(MonitorHistory, KeepsTheNewestLinesAndCountsTheDropped) {
    History h(3);
    for (int i = 0; i < 5; ++i) h.add(line(std::to_string(i), Direction::In, LineKind::Short));
    EXPECT_EQ(h.size(), 3u);
    EXPECT_EQ(h.dropped(), 2u);
    EXPECT_EQ(h.firstSeq(), 2u);
    EXPECT_EQ(h.endSeq(), 5u);
    EXPECT_EQ(h.at(2).text, "2");
    EXPECT_EQ(h.at(4).text, "4");

    h.setMaxLines(1);
    EXPECT_EQ(h.size(), 1u);
    EXPECT_EQ(h.dropped(), 4u);
    EXPECT_EQ(h.at(4).text, "4");
    h.setMaxLines(0);  // at least one line is kept
    EXPECT_EQ(h.maxLines(), 1u);

    // Clearing forgets lines and the count, but numbering goes on, so a view
    // holding line 4 sees it is gone.
    h.clear();
    EXPECT_EQ(h.size(), 0u);
    EXPECT_EQ(h.dropped(), 0u);
    EXPECT_EQ(h.firstSeq(), 5u);
    h.add(line("new", Direction::Out, LineKind::SysEx));
    EXPECT_EQ(h.at(5).text, "new");
}

TEST(MonitorHistory, ViewChoiceFiltersKindAndDirection) {
    const Line inShort = line("a", Direction::In, LineKind::Short);
    const Line outShort = line("b", Direction::Out, LineKind::Short);
    const Line inSysEx = line("c", Direction::In, LineKind::SysEx);
    const Line outSysEx = line("d", Direction::Out, LineKind::SysEx);
    const Line note = line("e", Direction::None, LineKind::Note);
    struct Case {
        const char* name;
        ViewChoice choice;
        std::string shown;
    };
    const Case cases[] = {
        {"all", {Filter::All, true, true}, "abcde"},
        {"SysEx only", {Filter::SysExOnly, true, true}, "cde"},
        {"short only", {Filter::ShortOnly, true, true}, "abe"},
        {"received only", {Filter::All, true, false}, "ace"},
        {"sent only", {Filter::All, false, true}, "bde"},
        {"sent SysEx", {Filter::SysExOnly, false, true}, "de"},
        {"neither direction still shows notes", {Filter::All, false, false}, "e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string shown;
        for (const Line* l : {&inShort, &outShort, &inSysEx, &outSysEx, &note})
            if (c.choice.shows(*l)) shown += l->text;
        EXPECT_EQ(shown, c.shown);
    }
}

}  // namespace
