#include "description_codec.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Lines = std::vector<std::string>;

TEST(DescriptionCodec, EncodesAndDecodesKnownForms) {
    struct Case {
        Lines lines;
        std::string stored;
    };
    const Case cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"Mixer"}, "Mixer"},
        {{"a b", "c"}, "\"a b\"#c"},
        {{"a", ""}, "a#"},
        {{"", "a"}, "#a"},
        {{"", ""}, "#"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"1#2"}, "\"1#2\""},
        {{"tab\there"}, "\"tab\there\""},
        {{" lead", "trail "}, "\" lead\"#\"trail \""},
        {{"Lautstärke", "Kanal 1-9"}, "Lautstärke#\"Kanal 1-9\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeDescription(c.lines), c.stored);
        EXPECT_EQ(decodeDescription(c.stored), c.lines) << c.stored;
    }
}

TEST(DescriptionCodec, ReadsHandWrittenText) {
    struct Case {
        std::string stored;
        Lines lines;
    };
    const Case cases[] = {
        // A blank outside quotes separates lines, as a line break would.
        {"a b#c", {"a", "b", "c"}},    {"  \t leading", {"leading"}}, {"a #  b", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},        {"a#  ", {"a", ""}},           {"\"unterminated", {"unterminated"}},
        {"\"x\"y#z", {"x", "y", "z"}}, {"\"\"\"\"", {"\""}},          {"   ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(decodeDescription(c.stored), c.lines) << c.stored;
}

TEST(DescriptionCodec, RoundTripsAwkwardLines) {
    const Lines awkward[] = {
        {"\"", "#", "\"\"", "##"},
        {"", "", ""},
        {"x\x01y", "\x7f", "ü ö"},
        {"ends with quote\"", "\"starts"},
    };
    for (const auto& lines : awkward) EXPECT_EQ(decodeDescription(encodeDescription(lines)), lines);
}

}  // namespace
}  // namespace korvane
