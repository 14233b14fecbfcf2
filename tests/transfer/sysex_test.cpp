#include "sysex.h"

#include <gtest/gtest.h>

#include <string>

#include "byte_strings.h"
#include "hexmon.h"

namespace korvane {
namespace {

using testing::B;

struct RecordingReport : HexTextReport {
    std::vector<std::string> texts;
    void invalidHexText(std::string_view wholeText) override { texts.emplace_back(wholeText); }
};

TEST(SysExCodec, NibblesChecksumAndWordSplit) {
    EXPECT_EQ(SequenceInNibbles(B({0x5A, 0xF0})), B({0x05, 0x0A, 0x0F, 0x00}));
    EXPECT_EQ(SequenceInNibbles({}), ByteString{});

    struct Case {
        ByteString payload;
        int checksum;
    };
    for (const auto& c :
         {Case{B({1, 2, 3}), 0xFA}, Case{B({0x80, 0x80}), 0x00}, Case{{}, 0x00}, Case{B({0x12}), 0xEE}}) {
        EXPECT_EQ(Checksum(c.payload), B({c.checksum})) << HexBytes(c.payload);
    }

    struct Word {
        std::int32_t value;
        int high, low;
    };
    for (const auto& w : {Word{0x3FFF, 0x3F, 0xFF}, Word{-1, 0xFF, 0xFF}, Word{0x12345, 0x23, 0x45},
                          Word{-2, 0xFF, 0xFE}, Word{256, 0x01, 0x00}}) {
        EXPECT_EQ(GetHigh(w.value), w.high) << w.value;
        EXPECT_EQ(GetLow(w.value), w.low) << w.value;
    }
}

TEST(SysExCodec, ModeCodes) {
    const int expected[] = {0, 14, 7, 1, 2, 0, 0};
    for (int mode = 0; mode < 7; ++mode) EXPECT_EQ(ModeToInt(mode), expected[mode]) << mode;
    EXPECT_EQ(ModeToInt(-1), 0);
}

TEST(SysExCodec, HexTextParser) {
    struct Case {
        std::string text;
        ByteString bytes;
        bool reported;
    };
    const Case cases[] = {
        {"B0,07,7F", B({0xB0, 0x07, 0x7F}), false},
        {"b0, 07 ,7f", B({0xB0, 0x07, 0x7F}), false},
        {"B0077F", B({0xB0, 0x07, 0x7F}), false},
        {",,B0;;  07", B({0xB0, 0x07}), false},
        {"B0,7", B({0xB0}), false},  // lone trailing digit dropped silently
        {"B0,7,FE", {}, true},       // split digit pair
        {"G1", {}, false},           // letter skipped, digit never completes
        {"", {}, false},
        {",FE", B({0xFE}), false},  // empty template with end marker
        {"B0,07,FE", B({0xB0, 0x07, 0xFE}), false},
    };
    for (const auto& c : cases) {
        RecordingReport report;
        EXPECT_EQ(StrInSequence(c.text, &report), c.bytes) << c.text;
        ASSERT_EQ(report.texts.size(), c.reported ? 1u : 0u) << c.text;
        if (c.reported) {
            EXPECT_EQ(report.texts[0], c.text);
        }
        EXPECT_EQ(ParseHexText(c.text).has_value(), !c.reported) << c.text;
    }
    EXPECT_EQ(invalidHexTextMessage("B0,7,FE", "en"),
              "Error: This is not a valid hexadecimal string (B0,7,FE)");
    EXPECT_EQ(invalidHexTextMessage("x", "de"), "Fehler: Dies ist keine gültige Hexadezimalwert-Kette (x)");
}

TEST(SysExCodec, PacketsAndTheirDecoding) {
    EXPECT_EQ(BuildDataPacket(0x01, B({0x12})), B({0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0E, 0x0E, 0xF7}));
    EXPECT_EQ(BuildDataPacket(0x04, {}), B({0xF0, 0x7D, 0x04, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(CommandPacket(0x07), B({0xF0, 0x7D, 0x07, 0xF7}));

    const ByteString payload = B({0x00, 0x0E, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0xB0, 0xFE});
    const DecodedPacket ok = DecodeDataPacket(BuildDataPacket(0x01, payload));
    EXPECT_EQ(ok.fault, PacketFault::None);
    EXPECT_EQ(ok.command, 0x01);
    EXPECT_EQ(ok.payload, payload);

    struct Bad {
        ByteString packet;
        PacketFault fault;
    };
    const Bad bad[] = {
        {B({0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0E, 0x0F, 0xF7}), PacketFault::Checksum},
        {B({0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0E, 0xF7}), PacketFault::OddBody},
        {B({0xF0, 0x7D, 0x01, 0x01, 0x12, 0x0E, 0x0E, 0xF7}), PacketFault::NibbleRange},
        {B({0xF0, 0x7E, 0x01, 0x01, 0x02, 0x0E, 0x0E, 0xF7}), PacketFault::Frame},
        {B({0xF0, 0x7D, 0x01, 0x01, 0x02, 0x0E, 0x0E}), PacketFault::Frame},
        {B({0xF0, 0x7D, 0xF7}), PacketFault::Frame},
    };
    for (const auto& b : bad) EXPECT_EQ(DecodeDataPacket(b.packet).fault, b.fault) << HexBytes(b.packet);
}

TEST(SysExCodec, VersionReply) {
    EXPECT_TRUE(IsVersionReply(B({0xF0, 0x7D, 0x08, 0, 3, 0, 2, 0xF7})));
    EXPECT_EQ(VersionText(B({0xF0, 0x7D, 0x08, 0, 3, 0, 2, 0xF7})), "03.02");
    EXPECT_EQ(VersionText(B({0xF0, 0x7D, 0x08, 1, 0x0A, 0, 4, 0xF7})), "1:.04");  // no range check
    for (const auto& notReply :
         {B({0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0, 0xF7}), B({0xF0, 0x7D, 0x08, 0, 3, 0, 0xF7}),
          B({0xF0, 0x7D, 0x07, 0, 3, 0, 4, 0xF7}), B({0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF0})}) {
        EXPECT_FALSE(IsVersionReply(notReply)) << HexBytes(notReply);
        EXPECT_EQ(VersionText(notReply), "");
    }
    EXPECT_EQ(MakeVersionReply("03.04"), B({0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7}));
    EXPECT_EQ(VersionText(MakeVersionReply("12.34")), "12.34");
    EXPECT_EQ(HexBytes(B({0xF0, 0x0A, 0x7D})), "F0 0A 7D");
}

TEST(Hexmon, ReferenceLineAndVariants) {
    const std::string query("\xF0\x7D\x07\xF7", 4);
    EXPECT_EQ(THexmon::HexAsciiMonLine(query, 0, 6), "F0 7D 07 F7" + std::string(6, ' ') + "  \xF0}.\xF7  ");
    EXPECT_EQ(THexmon::HexAsciiMonLine(query, 2, 2), "07 F7  .\xF7");
    EXPECT_EQ(THexmon::HexAsciiMonLine(query, 4, 6), "");
    EXPECT_EQ(THexmon::HexAsciiMonLine(std::string_view{}, 0, 6), "");
    EXPECT_EQ(THexmon::HexAsciiMonLine(B({0x41, 0x1F, 0x7F}), 0, 3), "41 1F 7F  A.\x7F");
    EXPECT_EQ(THexmon::HexAsciiMonLineBuffer(B({0x41, 0x42}), 0, 3), " 41 42     AB ");
}

TEST(Hexmon, MultiLineForms) {
    std::string data;
    for (int i = 0; i < 17; ++i) data += static_cast<char>('a' + i);
    const std::string first = "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70  abcdefghijklmnop";
    const std::string second = "71" + std::string(45, ' ') + "  q" + std::string(15, ' ');

    EXPECT_EQ(THexmon::HexAsciiMonLines(data, 16, false),
              "0000   " + first + "\r\n0010   " + second + "\r\n");
    EXPECT_EQ(THexmon::HexAsciiMonLines(data, 16, true), first + "\r\n" + second + "\r\n");
    EXPECT_EQ(THexmon::HexAsciiMonLines("", 16, false), "");
    EXPECT_EQ(THexmon::CreateHexAsciiMonLinesStringList(data, 16, true), (std::vector{first, second}));
    EXPECT_EQ(THexmon::CreateHexAsciiMonLinesStringList(data, 1, 16, false),
              (std::vector{"0000   " + first}));

    std::vector<std::string> printed;
    THexmon::HexAsciiMonLines([&](const std::string& l) { printed.push_back(l); }, data, ">", 16, false);
    EXPECT_EQ(printed, (std::vector{">0000   " + first, ">0010   " + second}));
    THexmon::HexAsciiMonLines(TPrintMethod{}, data, ">", 16, false);  // no callback: nothing happens

    struct Sink : THexmonLineSink {
        std::vector<std::string> events;
        void beginUpdate() override { events.push_back("begin"); }
        void appendLine(const std::string& l) override { events.push_back(l); }
        void endUpdate() override { events.push_back("end"); }
    } memo, rich;
    THexmon::HexAsciiMonMemo(data, memo, 16);
    THexmon::HexAsciiMonRichedit(data, rich, 16);
    const std::vector<std::string> expected{"begin", "0000   " + first, "0010   " + second, "end"};
    EXPECT_EQ(memo.events, expected);
    EXPECT_EQ(rich.events, expected);
}

TEST(Hexmon, MemoryBlockForm) {
    const unsigned char block[] = {0x00, 0x41, 0x42, 0x43, 0x44};
    EXPECT_EQ(THexmon::HexAsciiMonLine(block, 5, 1, 2, false),
              "00000001    41 42  AB\r\n00000003    43 44  CD");
    EXPECT_EQ(THexmon::HexAsciiMonLine(block, 5, -3, 4, false),
              "00000000    00 41 42 43  .ABC\r\n00000004    44           D");
    EXPECT_EQ(THexmon::HexAsciiMonLine(block, 5, 7, 4, false), "");
    const std::string absolute = THexmon::HexAsciiMonLine(block, 1, 0, 4, true);
    char address[16];
    std::snprintf(address, sizeof address, "%08X",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(block) & 0xFFFFFFFFu));
    EXPECT_EQ(absolute, std::string(address) + "    00           .");
}

TEST(Hexmon, ShortenAndMask) {
    struct Case {
        std::string data;
        int shorten;
        bool middle, hex;
        std::string expected;
    };
    const Case cases[] = {
        {"abcdefghij", 6, false, false, "abc..."},
        {"abcdefghij", 6, true, false, "abc..."},
        {"abcdefghijklmnop", 12, true, false, "abcdef...nop"},
        {"abcdefghij", 10, false, false, "abcdefghij"},
        {"abcdefghij", 2, false, false, "ab"},
        {"a\tb", 10, false, true, "a[09]b"},
        {"a\tb", 10, false, false,
         "a\xB4"
         "b"},
        {"\xC4\xD6\xDC\xDF\xB0\x80", 10, false, true, "\xC4\xD6\xDC\xDF\xB0[80]"},
        {"abcdefghij", -1, false, false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(THexmon::ShortenAndMaskAnsiString(c.data, c.shorten, c.middle, c.hex), c.expected)
            << c.data;
}

}  // namespace
}  // namespace korvane
