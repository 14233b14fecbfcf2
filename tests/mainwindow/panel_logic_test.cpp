// The message panel's rules without a window: template captions, what a typed
// template or percentage may look like, what the range edits should read, and
// what an apply writes. The window test keeps only the roads a user walks.

#include "panel_logic.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::panel {
namespace {

using Children = std::vector<std::pair<std::string, std::string>>;

TEST(PanelTemplateText, AcceptsPairsOfHexDigitsOnly) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"", true},       {"   ", true},       {"B0,07,7F", true}, {"b0 07  7f", true}, {"B0077F", true},
        {"B0,,07", true}, {"B0,\t07", true},   {"B0,7,FE", false},  // a lone digit would be dropped
        {"B0,7", false},  {"B0077", false},    {"B", false},       {"B0,GG", false},    {"90;3C", false},
        {"0x90", false},  {"B0,07,-1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isValidTemplateText(c.text), c.valid) << '"' << c.text << '"';
}

TEST(PanelLocaleDecimal, ReadsDigitsWithTheLocalesSeparatorOnly) {
    const struct {
        const char* text;
        const char* point;
        std::optional<double> value;
    } cases[] = {
        {"50", ".", 50.0},
        {" 50 ", ".", 50.0},
        {"12,5", ",", 12.5},
        {"12.5", ".", 12.5},
        {"100,5", ",", 100.5},
        {".5", ".", 0.5},
        {"5.", ".", 5.0},
        {"12.5", ",", std::nullopt},  // the other locale's separator
        {"1.2.3", ".", std::nullopt},
        {"1,2,3", ",", std::nullopt},
        {".", ".", std::nullopt},
        {"", ".", std::nullopt},
        {"  ", ".", std::nullopt},
        {"-1", ".", std::nullopt},
        {"+1", ".", std::nullopt},
        {"1e3", ".", std::nullopt},
        {"1 000", ".", std::nullopt},
        {"12%", ".", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseLocaleDecimal(c.text, c.point), c.value) << '"' << c.text << "\" with " << c.point;
}

TEST(PanelTemplateCaptions, FollowModeAndElementKind) {
    const struct {
        int item;
        int element;
        std::string_view left;
        std::string_view right;
    } cases[] = {
        {0, 0, "panel.caption.fader14", ""},
        {0, 8, "panel.caption.fader14", ""},  // the master fader
        {1, 3, "panel.caption.fader7", ""},
        {2, 3, "", ""},   // a fader has no button mode captions
        {0, 12, "", ""},  // nor a button a 14-bit one
        {2, 9, "panel.caption.pressed", "panel.caption.released"},
        {2, 28, "panel.caption.pressed", "panel.caption.released"},
        {0, 29, "panel.caption.encoder14", ""},
        {1, 46, "panel.caption.encoder7", ""},
        {2, 40, "panel.caption.turn_left", "panel.caption.turn_right"},
        {2, 47, "", ""},  // the jog shuttle
        {0, 63, "", ""},  // a jog wheel position
        {3, 0, "panel.caption.jogwheel", ""},
        {3, 15, "panel.caption.jogwheel", ""},
        {3, 48, "panel.caption.jogwheel", ""},
        {3, -1, "panel.caption.jogwheel", ""},
        {0, -1, "", ""},
        {2, 64, "", ""},
        {-1, 0, "", ""},
    };
    for (const auto& c : cases) {
        const TemplateCaptions captions = templateCaptions(c.item, c.element);
        EXPECT_EQ(captions.left, c.left) << "item " << c.item << ", element " << c.element;
        EXPECT_EQ(captions.right, c.right) << "item " << c.item << ", element " << c.element;
    }
}

TMessageRecord record(TMode mode, TRange range, int min, int max, int step, int start) {
    TMessageRecord r;
    r.Mode = mode;
    r.Range = range;
    r.Minimum = min;
    r.Maximum = max;
    r.Step = step;
    r.Start = start;
    return r;
}

TEST(PanelExpectedRangeTexts, AreWhatTheEditsShowAfterLoading) {
    const TMessageRecord fader14 = record(MODE_14Bit, RANGE_ABS, 0, 16383, 1, 0);
    const TMessageRecord seven = record(MODE_7Bit, RANGE_ABS, 0, 16383, 129, 8256);
    const TMessageRecord percent = record(MODE_7Bit, RANGE_PERCENT, 2047, 16383, 163, 8191);
    const TMessageRecord button = record(MODE_Taster, RANGE_FULL, 3, 400, 5, 6);
    const TMessageRecord maxZero = record(MODE_14Bit, RANGE_ABS, 0, 0, 0, 0);
    const struct {
        const char* what;
        const TMessageRecord& loaded;
        TMode mode;
        TRange range;
        RangeTexts texts;  // Max, Min, Step, Start
    } cases[] = {
        {"14 bit as stored", fader14, MODE_14Bit, RANGE_ABS, {"16383", "0", "1", "0"}},
        {"7 bit divides by 129", seven, MODE_7Bit, RANGE_ABS, {"127", "0", "1", "64"}},
        {"7 bit as percent", seven, MODE_7Bit, RANGE_PERCENT, {"100", "0", "1", "50"}},
        {"percent rounds half up", percent, MODE_7Bit, RANGE_PERCENT, {"100", "12", "1", "50"}},
        {"percent as 7 bit", percent, MODE_7Bit, RANGE_ABS, {"127", "16", "1", "63"}},
        {"full range is empty", seven, MODE_7Bit, RANGE_FULL, {"", "", "", ""}},
        {"maximum 0 shows the defaults", maxZero, MODE_14Bit, RANGE_ABS, {"16383", "0", "64", "0"}},
        // A mode without range values leaves the edits as the last display
        // left them: the stored values.
        {"button mode", button, MODE_Taster, RANGE_ABS, {"400", "3", "5", "6"}},
        {"button mode as percent", button, MODE_Taster, RANGE_PERCENT, {"400", "3", "5", "6"}},
    };
    for (const auto& c : cases) EXPECT_EQ(expectedRangeTexts(c.loaded, c.mode, c.range), c.texts) << c.what;
}

ApplyInput input(TMode mode, TRange range, RangeTexts edits, std::string point = ".") {
    ApplyInput in;
    in.left = "B0,07,F1";
    in.right = "";
    in.mode = mode;
    in.range = range;
    in.edits = std::move(edits);
    in.decimalPoint = std::move(point);
    return in;
}

TEST(PanelPlanApply, WritesConvertedValuesInTheirOrder) {
    const struct {
        const char* what;
        ApplyInput in;
        Children children;
    } cases[] = {
        {"7 bit 64 -> 8256",
         input(MODE_7Bit, RANGE_ABS, {"64", "0", "1", "64"}),
         {{"range", "absolute"},
          {"min", "0"},
          {"max", "8256"},
          {"step", "129"},
          {"start", "8256"},
          {"mode", "7"},
          {"right", ""},
          {"left", "B0,07,F1"}}},
        {"7 bit 127 -> 16383",
         input(MODE_7Bit, RANGE_ABS, {"127", "1", "", ""}),
         {{"range", "absolute"},
          {"min", "129"},
          {"max", "16383"},
          {"mode", "7"},
          {"right", ""},
          {"left", "B0,07,F1"}}},
        {"14 bit stored as typed, blanks dropped",
         input(MODE_14Bit, RANGE_ABS, {"300", " 20", "", ""}),
         {{"range", "absolute"},
          {"min", "20"},
          {"max", "300"},
          {"mode", "14"},
          {"right", ""},
          {"left", "B0,07,F1"}}},
        {"percent 50 -> 8191",
         input(MODE_7Bit, RANGE_PERCENT, {"50", "", "", ""}),
         {{"range", "percent"}, {"max", "8191"}, {"mode", "7"}, {"right", ""}, {"left", "B0,07,F1"}}},
        {"percent 12,5 with a German separator",
         input(MODE_7Bit, RANGE_PERCENT, {"100", "12,5", "", ""}, ","),
         {{"range", "percent"},
          {"min", "2047"},
          {"max", "16383"},
          {"mode", "7"},
          {"right", ""},
          {"left", "B0,07,F1"}}},
        {"percent 0.5 -> 81",
         input(MODE_14Bit, RANGE_PERCENT, {"", "0.5", "", ""}),
         {{"range", "percent"}, {"min", "81"}, {"mode", "14"}, {"right", ""}, {"left", "B0,07,F1"}}},
        {"full range empties all four",
         input(MODE_7Bit, RANGE_FULL, {"1", "2", "3", "4"}),
         {{"range", "full"},
          {"min", ""},
          {"max", ""},
          {"step", ""},
          {"start", ""},
          {"mode", "7"},
          {"right", ""},
          {"left", "B0,07,F1"}}},
        {"button mode keeps no absolute values",
         input(MODE_Taster, RANGE_ABS, {"x", "y", "", ""}),
         {{"range", "absolute"}, {"mode", "1"}, {"right", ""}, {"left", "B0,07,F1"}}},
    };
    for (const auto& c : cases) {
        const ApplyPlan plan = planApply(c.in);
        EXPECT_EQ(plan.problem, ApplyProblem::None) << c.what;
        EXPECT_EQ(plan.children, c.children) << c.what;
    }
}

TEST(PanelPlanApply, RefusesTheFirstBadValueAndPlansNothing) {
    auto withLeft = [](std::string left) {
        ApplyInput in = input(MODE_7Bit, RANGE_ABS, {"", "", "", ""});
        in.left = std::move(left);
        return in;
    };
    auto withRight = [](std::string right, bool editable) {
        ApplyInput in = input(MODE_Taster, RANGE_FULL, {"", "", "", ""});
        in.right = std::move(right);
        in.rightEditable = editable;
        return in;
    };
    const struct {
        const char* what;
        ApplyInput in;
        ApplyProblem problem;
        RangeField field;
    } cases[] = {
        {"lone digit on the left", withLeft("B0,7,FE"), ApplyProblem::LeftTemplate, kMin},
        {"not hex on the left", withLeft("B0,GG"), ApplyProblem::LeftTemplate, kMin},
        {"right in button mode", withRight("90;3C", true), ApplyProblem::RightTemplate, kMin},
        {"14 bit too big", input(MODE_14Bit, RANGE_ABS, {"16384", "", "", ""}), ApplyProblem::Value14Bit,
         kMax},
        {"14 bit negative", input(MODE_14Bit, RANGE_ABS, {"", "-1", "", ""}), ApplyProblem::Value14Bit, kMin},
        {"14 bit not a number", input(MODE_14Bit, RANGE_ABS, {"", "", "1e3", ""}), ApplyProblem::Value14Bit,
         kStep},
        {"7 bit too big", input(MODE_7Bit, RANGE_ABS, {"", "", "", "128"}), ApplyProblem::Value7Bit, kStart},
        {"7 bit decimal", input(MODE_7Bit, RANGE_ABS, {"12.5", "", "", ""}), ApplyProblem::Value7Bit, kMax},
        {"min is checked before max", input(MODE_7Bit, RANGE_ABS, {"200", "300", "", ""}),
         ApplyProblem::Value7Bit, kMin},
        {"percent too big", input(MODE_7Bit, RANGE_PERCENT, {"100,5", "", "", ""}, ","),
         ApplyProblem::Percent, kMax},
        {"percent with the wrong separator", input(MODE_7Bit, RANGE_PERCENT, {"", "12.5", "", ""}, ","),
         ApplyProblem::Percent, kMin},
        {"percent with two separators", input(MODE_7Bit, RANGE_PERCENT, {"", "1.2.3", "", ""}),
         ApplyProblem::Percent, kMin},
    };
    for (const auto& c : cases) {
        const ApplyPlan plan = planApply(c.in);
        EXPECT_EQ(plan.problem, c.problem) << c.what;
        if (c.problem != ApplyProblem::LeftTemplate && c.problem != ApplyProblem::RightTemplate) {
            EXPECT_EQ(plan.field, c.field) << c.what;
        }
        EXPECT_TRUE(plan.children.empty()) << c.what;
    }
}

// The right template is only read while its edit can be typed into; outside
// button mode it holds the stored text, which is written back untouched.
TEST(PanelPlanApply, RightTemplateOutsideButtonModeIsWrittenBackAsItWas) {
    ApplyInput in = input(MODE_14Bit, RANGE_FULL, {"", "", "", ""});
    in.right = "not hex at all";
    const ApplyPlan plan = planApply(in);
    ASSERT_EQ(plan.problem, ApplyProblem::None);
    ASSERT_GE(plan.children.size(), 2u);
    EXPECT_EQ(plan.children[plan.children.size() - 2],
              (std::pair<std::string, std::string>{"right", "not hex at all"}));
}

}  // namespace
}  // namespace korvane::panel
