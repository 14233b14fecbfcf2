#include "message_record.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

pugi::xml_node parseMessage(pugi::xml_document& doc, const char* xml) {
    EXPECT_TRUE(doc.load_string(xml, pugi::parse_full | pugi::parse_ws_pcdata));
    return doc.document_element();
}

TEST(MessageRecord, MissingAndEmptyChildrenReadAsDefaults) {
    const char* docs[] = {
        "<message name=\"m\"/>",
        "<message name=\"m\"><left></left><right/><mode></mode><range></range>"
        "<min></min><max/><step></step><start></start></message>",
        "<message name=\"m\"><min>\n   </min><max> </max></message>",
        // Hand-formatted: blanks and line breaks alone are no value.
        "<message name=\"m\"><mode>\n      </mode><range> \t\r\n</range></message>",
    };
    for (const char* xml : docs) {
        pugi::xml_document doc;
        // What the message shown before had; none of it may survive.
        TMessageRecord r{"F0", "F7", MODE_Jogwheel, 1, 2, 3, 4, RANGE_PERCENT};
        ASSERT_FALSE(readMessageRecord(parseMessage(doc, xml), r)) << xml;
        EXPECT_EQ(r, (TMessageRecord{"", "", MODE_14Bit, 0, 16383, 1, 0, RANGE_FULL})) << xml;
    }
}

TEST(MessageRecord, ReadsStoredValues) {
    pugi::xml_document doc;
    TMessageRecord r;
    ASSERT_FALSE(readMessageRecord(
        parseMessage(doc,
                     "<message name=\"m\"><start>8256</start><left>B0, 07 ,F1</left><mode>7</mode>"
                     "<range>absolute</range><min>-5</min><max>+16383</max><step>129</step>"
                     "<right>80,3C,00</right><unknown>x</unknown></message>"),
        r));
    EXPECT_EQ(r, (TMessageRecord{"B0, 07 ,F1", "80,3C,00", MODE_7Bit, -5, 16383, 129, 8256, RANGE_ABS}));
}

TEST(MessageRecord, UnknownModeOrRangeKeepsThePreviousValue) {
    struct Case {
        const char* mode;
        const char* range;
        TMode previousMode;
        TRange previousRange;
        TMode mode_;
        TRange range_;
    };
    const Case cases[] = {
        {"2", "percent", MODE_INVAL, RANGE_INVAL, MODE_Jogwheel, RANGE_PERCENT},
        {"1", "full", MODE_7Bit, RANGE_ABS, MODE_Taster, RANGE_FULL},
        {"15", "Full", MODE_7Bit, RANGE_ABS, MODE_7Bit, RANGE_ABS},
        {" 14", "absolute ", MODE_Taster, RANGE_PERCENT, MODE_Taster, RANGE_PERCENT},
        {"x", "y", MODE_INVAL, RANGE_INVAL, MODE_INVAL, RANGE_INVAL},
    };
    for (const auto& c : cases) {
        pugi::xml_document doc;
        const std::string xml =
            std::string("<message><mode>") + c.mode + "</mode><range>" + c.range + "</range></message>";
        TMessageRecord r;
        r.Mode = c.previousMode;
        r.Range = c.previousRange;
        ASSERT_FALSE(readMessageRecord(parseMessage(doc, xml.c_str()), r));
        EXPECT_EQ(r.Mode, c.mode_) << c.mode;
        EXPECT_EQ(r.Range, c.range_) << c.range;
    }
}

TEST(MessageRecord, NonNumericValueIsReportedAndLeavesTheRecordAlone) {
    struct Case {
        const char* xml;
        const char* child;
        const char* text;
    };
    const Case cases[] = {
        {"<message><left>B0</left><min>1.5</min></message>", "min", "1.5"},
        {"<message><max>abc</max></message>", "max", "abc"},
        {"<message><step>0x10</step></message>", "step", "0x10"},
        {"<message><start>99999999999</start></message>", "start", "99999999999"},
        {"<message><min>--1</min></message>", "min", "--1"},
        {"<message><min>+-1</min></message>", "min", "+-1"},
        {"<message><max>1 2</max></message>", "max", "1 2"},
    };
    const TMessageRecord before{"old left", "old right", MODE_Taster, 1, 2, 3, 4, RANGE_PERCENT};
    for (const auto& c : cases) {
        pugi::xml_document doc;
        TMessageRecord r = before;
        const auto err = readMessageRecord(parseMessage(doc, c.xml), r);
        ASSERT_TRUE(err) << c.xml;
        EXPECT_EQ(err->child, c.child);
        EXPECT_EQ(err->text, c.text);
        EXPECT_EQ(err->message("de"), std::string("'") + c.text + "' ist kein gültiger Integerwert");
        EXPECT_EQ(r, before) << c.xml;
    }
}

TEST(MessageRecord, ModeAndRangeTextsRoundTrip) {
    for (TMode m : {MODE_14Bit, MODE_7Bit, MODE_Taster, MODE_Jogwheel}) {
        EXPECT_EQ(modeFromText(modeToText(m)), m);
    }
    for (TRange r : {RANGE_FULL, RANGE_ABS, RANGE_PERCENT}) EXPECT_EQ(rangeFromText(rangeToText(r)), r);
    EXPECT_EQ(modeToText(MODE_INVAL), "");
    EXPECT_EQ(rangeToText(RANGE_INVAL), "");
    EXPECT_FALSE(modeFromText(""));
    EXPECT_FALSE(rangeFromText(""));
}

TEST(MessageRecord, DisplayConversionsRoundHalfUp) {
    struct Case {
        std::int32_t stored;
        std::int32_t sevenBit;
        std::int32_t percent;
    };
    const Case cases[] = {
        {16383, 127, 100}, {8256, 64, 50}, {8191, 63, 50}, {2047, 16, 12},
        {0, 0, 0},         {64, 0, 0},     {65, 1, 0},     {82, 1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(storedToSevenBit(c.stored), c.sevenBit) << c.stored;
        EXPECT_EQ(storedToPercent(c.stored), c.percent) << c.stored;
    }
}

TEST(MessageRecord, StoreConversionsTruncate) {
    EXPECT_EQ(sevenBitToStored(127), 16383);
    EXPECT_EQ(sevenBitToStored(64), 8256);
    EXPECT_EQ(sevenBitToStored(-1), -129);
    EXPECT_FALSE(sevenBitToStored(20000000));
    struct Case {
        double percent;
        std::int32_t stored;
    };
    for (const auto& c : {Case{100, 16383}, Case{50, 8191}, Case{1, 163}, Case{12.5, 2047}, Case{0, 0}}) {
        EXPECT_EQ(percentToStored(c.percent), c.stored) << c.percent;
    }
    EXPECT_FALSE(percentToStored(1e12));
    EXPECT_FALSE(percentToStored(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(percentToStored(std::numeric_limits<double>::infinity()));
    // What is stored from a typed value shows as that value again.
    for (int p = 0; p <= 100; ++p) EXPECT_EQ(storedToPercent(*percentToStored(p)), p) << p;
    for (int v = 0; v <= 127; ++v) EXPECT_EQ(storedToSevenBit(*sevenBitToStored(v)), v) << v;
}

TEST(MessageRecord, RangeDisplayFollowsModeAndRange) {
    using A = RangeDisplay::Action;
    const TMessageRecord stored7{"", "", MODE_7Bit, 0, 16383, 129, 8256, RANGE_ABS};
    const TMessageRecord stored14{"", "", MODE_14Bit, 100, 9000, 64, 4000, RANGE_ABS};
    const TMessageRecord zeroMax{"", "", MODE_14Bit, 0, 0, 0, 0, RANGE_ABS};
    const TMessageRecord button{"", "", MODE_Taster, 0, 16383, 1, 0, RANGE_FULL};
    struct Case {
        const TMessageRecord* loaded;
        TMode current;
        TRange range;
        A action;
        std::array<std::string, 4> texts;
    };
    const Case cases[] = {
        {&stored7, MODE_7Bit, RANGE_ABS, A::Show, {"127", "0", "1", "64"}},
        {&stored7, MODE_14Bit, RANGE_ABS, A::Show, {"16383", "0", "129", "8256"}},
        {&stored7, MODE_7Bit, RANGE_PERCENT, A::Show, {"100", "0", "1", "50"}},
        {&stored14, MODE_14Bit, RANGE_ABS, A::Show, {"9000", "100", "64", "4000"}},
        {&zeroMax, MODE_14Bit, RANGE_ABS, A::Show, {"16383", "0", "64", "0"}},
        {&zeroMax, MODE_7Bit, RANGE_ABS, A::Show, {"127", "0", "1", "0"}},
        {&zeroMax, MODE_14Bit, RANGE_PERCENT, A::Show, {"100", "0", "1", "0"}},
        {&stored7, MODE_Taster, RANGE_ABS, A::Unchanged, {}},
        {&stored7, MODE_Jogwheel, RANGE_ABS, A::Unchanged, {}},
        // Percent goes by the loaded message's mode, not the chosen one.
        {&button, MODE_14Bit, RANGE_PERCENT, A::Unchanged, {}},
        {&stored7, MODE_Taster, RANGE_PERCENT, A::Show, {"100", "0", "1", "50"}},
        {&stored7, MODE_7Bit, RANGE_FULL, A::Clear, {}},
    };
    for (const auto& c : cases) {
        const RangeDisplay d = rangeDisplay(*c.loaded, c.current, c.range);
        EXPECT_EQ(d.action, c.action);
        if (c.action == A::Show) EXPECT_EQ(d.maxMinStepStart, c.texts);
    }
}

}  // namespace
}  // namespace korvane
