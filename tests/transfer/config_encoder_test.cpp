#include "config_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "byte_strings.h"
#include "config_document.h"
#include "element_catalogue.h"

namespace korvane {
namespace {

using testing::B;

struct RecordingReport : EncoderReport {
    std::vector<std::pair<int, bool>> progress;
    std::vector<int> zeroFactor;
    std::vector<EncodeProblem> refusedWith;
    int refusals = 0;
    void elementProgress(int n, bool assigned) override { progress.emplace_back(n, assigned); }
    void sendFactorZero(int n) override { zeroFactor.push_back(n); }
    void refused(const std::vector<EncodeProblem>& p) override {
        ++refusals;
        refusedWith = p;
    }
};

// A document with one configuration "C" whose elements are given as
// (element number, group, message) and one group "G" of messages given as XML.
class EncoderTest : public ::testing::Test {
protected:
    void write(const std::vector<std::tuple<int, std::string, std::string>>& elements,
               const std::string& messages) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<korvane>\n<sets>\n<set name=\"C\">\n";
        for (const auto& [n, group, message] : elements) {
            xml += "<element name=\"" + std::string(Wie_lautet_EingabeElementName(n)) + "\"><group>" + group +
                   "</group><name>" + message + "</name></element>\n";
        }
        xml += "</set>\n<set name=\"Empty\"/>\n</sets>\n<messagegroups>\n<messagegroup name=\"G\">\n" +
               messages + "</messagegroup>\n</messagegroups>\n</korvane>\n";
        std::ofstream(file_) << xml;
        ASSERT_TRUE(doc_.load(file_).ok());
    }
    void TearDown() override { std::filesystem::remove(file_); }

    std::filesystem::path file_ =
        std::filesystem::temp_directory_path() /
        ("encoder_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".xml");
    ConfigDocument doc_;
    RecordingReport report_;
};

TEST(ElementWordsTest, ByKindAndRange) {
    struct Case {
        int element;
        std::int32_t min, max, step, start;
        ElementWords expected;
    };
    const Case cases[] = {
        {0, 0, 16383, 127, 0, {0, 0xFFFF, 256, 0, false}},                            // full range fader
        {8, 1000, 9000, 1, 0, {1000, 32001, 524, 0, false}},                          // limited fader
        {3, 500, 500, 1, 0, {500, 256, 0xFFFF, 0, true}},                             // F = 0
        {4, 9000, 1000, 1, 0, {9000, (-32001) & 0xFFFF, (-524) & 0xFFFF, 0, false}},  // reversed: G not
                                                                                      // limited
        {29, 0, 16383, 127, 0, {0, 16383, 127, 0}},                                   // encoder
        {47, 10, 20, 3, 15, {10, 20, 3, 15}},                                         // jog shuttle
        {9, 10, 20, 3, 15, {0, 0, 0, 0}},                                             // button
        {48, 10, 20, 3, 15, {0, 0, 0, 0}},                                            // jog wheel position
    };
    for (const auto& c : cases) {
        const ElementWords w = elementWords(c.element, c.min, c.max, c.step, c.start);
        SCOPED_TRACE(c.element);
        EXPECT_EQ(GetHigh(w.a) << 8 | GetLow(w.a), c.expected.a & 0xFFFF);
        EXPECT_EQ(GetHigh(w.b) << 8 | GetLow(w.b), c.expected.b & 0xFFFF);
        EXPECT_EQ(GetHigh(w.c) << 8 | GetLow(w.c), c.expected.c & 0xFFFF);
        EXPECT_EQ(GetHigh(w.d) << 8 | GetLow(w.d), c.expected.d & 0xFFFF);
        EXPECT_EQ(w.sendFactorWasZero, c.expected.sendFactorWasZero);
    }
}

TEST_F(EncoderTest, FaderFullRangePacketIsByteExact) {
    write({{0, "G", "vol"}}, "<message name=\"vol\"><left>B0,07</left><mode>14</mode></message>\n");
    const EncodeResult r = KonfigurationSenden(doc_, "C", report_);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.stream, B({0xF0, 0x7D, 0x01, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x0F,
                           0x0F, 0x0F, 0x0F, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B,
                           0x00, 0x00, 0x07, 0x0F, 0x0E, 0x0F, 0x0E, 0x04, 0x00, 0xF7}));
    ASSERT_EQ(report_.progress.size(), 64u);
    for (int n = 0; n < 64; ++n) EXPECT_EQ(report_.progress[n], std::make_pair(n, n == 0));
}

TEST_F(EncoderTest, ValuesAreThoseThePanelWouldShow) {
    const std::string messages =
        "<message name=\"abs\"><left>B0 10</left><right>b0,11</right><mode>7</mode><range>absolute</range>"
        "<min>129</min><max>8256</max><step>129</step><start>258</start></message>\n"
        "<message name=\"pct\"><left>B0,12</left><range>percent</range><min>1000</min><max>9000</max>"
        "<step>1</step><start>5</start></message>\n"
        "<message "
        "name=\"btn\"><left>90,10,7F</left><right>90,10,00</right><mode>1</mode><range>absolute</range>"
        "<min>5</min><max>5</max></message>\n"
        "<message "
        "name=\"flat\"><left>B0,01</left><range>absolute</range><min>700</min><max>700</max></message>\n";
    write({{29, "G", "abs"},
           {1, "G", "pct"},
           {2, "G", "btn"},
           {30, "G", "btn"},
           {5, "G", "flat"},
           {48, "G", "abs"}},
          messages);
    const EncodeResult r = KonfigurationSenden(doc_, "C", report_);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.packets.size(), 6u);

    struct Expected {
        ByteString payload;
    };
    const Expected expected[] = {
        // fader 2, percent: stored values go as they are; F from 1000..9000
        {B({1, 14, 0x03, 0xE8, 0x7D, 0x01, 0x02, 0x0C, 0, 0, 0xB0, 0x12, 0xFE, 0xFE})},
        // fader 3 in button mode: the range is forced to full
        {B({2, 1, 0, 0, 0xFF, 0xFF, 0x01, 0x00, 0, 0, 0x90, 0x10, 0x7F, 0xFE, 0x90, 0x10, 0x00, 0xFE})},
        // fader 6 with min = max: send factor 256, inverse limited to 65535
        {B({5, 14, 0x02, 0xBC, 0x01, 0x00, 0xFF, 0xFF, 0, 0, 0xB0, 0x01, 0xFE, 0xFE})},
        // encoder, 7 bit absolute: the stored 14-bit values, not the shown ones
        {B({29, 7, 0x00, 0x81, 0x20, 0x40, 0x00, 0x81, 0x01, 0x02, 0xB0, 0x10, 0xFE, 0xB0, 0x11, 0xFE})},
        // encoder in button mode: full range constants
        {B({30, 1, 0, 0, 0x3F, 0xFF, 0x00, 0x7F, 0, 0, 0x90, 0x10, 0x7F, 0xFE, 0x90, 0x10, 0x00, 0xFE})},
        // jog-wheel position: eight zero bytes whatever the range
        {B({48, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0xB0, 0x10, 0xFE, 0xB0, 0x11, 0xFE})},
    };
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(HexBytes(r.packets[i]), HexBytes(BuildDataPacket(0x01, expected[i].payload))) << i;
    EXPECT_EQ(report_.zeroFactor, std::vector<int>{5});
}

TEST_F(EncoderTest, BrokenElementsRefuseTheWholeConfiguration) {
    const std::string messages =
        "<message name=\"ok\"><left>B0,07</left></message>\n"
        "<message name=\"badleft\"><left>B0,7,FE</left></message>\n"
        "<message name=\"badright\"><left>B0</left><right>9</right><mode>1</mode></message>\n"
        "<message name=\"badmode\"><mode>3</mode></message>\n"
        "<message name=\"badrange\"><range>half</range></message>\n"
        "<message name=\"badrange-button\"><mode>1</mode><range>half</range></message>\n"
        "<message name=\"badnumber\"><range>absolute</range><max>12x</max></message>\n";
    write({{0, "G", "ok"},
           {1, "Nope", "ok"},
           {2, "G", "missing"},
           {3, "G", "badleft"},
           {4, "G", "badright"},
           {9, "G", "badmode"},
           {29, "G", "badrange"},
           {30, "G", "badrange-button"},
           {31, "G", "badnumber"}},
          messages);
    const EncodeResult r = KonfigurationSenden(doc_, "C", report_);
    EXPECT_EQ(r.status, EncodeResult::Status::Refused);
    EXPECT_TRUE(r.stream.empty());
    EXPECT_TRUE(report_.progress.empty()) << "a refused configuration selects nothing";
    EXPECT_EQ(report_.refusals, 1);

    using R = EncodeProblem::Reason;
    const std::vector<std::pair<int, R>> expected{
        {1, R::DanglingGroup}, {2, R::DanglingMessage}, {3, R::InvalidLeft},   {4, R::InvalidRight},
        {9, R::InvalidMode},   {29, R::InvalidRange},   {31, R::InvalidNumber}};
    std::vector<std::pair<int, R>> got;
    for (const auto& p : r.problems) got.emplace_back(p.elementNumber, p.reason);
    EXPECT_EQ(got, expected);

    const std::string message = refusalMessage(r.problems, "en");
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 7) << message;
    for (const char* part : {"'Nope'", "'missing'", "(B0,7,FE)", "'3'", "'half'", "max: 12x"})
        EXPECT_NE(message.find(part), std::string::npos) << part << " in " << message;
}

TEST_F(EncoderTest, EmptyAndUnknownConfigurations) {
    write({}, "");
    const EncodeResult empty = KonfigurationSenden(doc_, "Empty", report_);
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.stream.empty());
    EXPECT_EQ(report_.progress.size(), 64u);
    EXPECT_EQ(report_.progress.back(), std::make_pair(63, false));

    RecordingReport other;
    EXPECT_EQ(KonfigurationSenden(doc_, "c", other).status, EncodeResult::Status::UnknownConfiguration);
    EXPECT_TRUE(other.progress.empty());
}

}  // namespace
}  // namespace korvane
