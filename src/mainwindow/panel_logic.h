#pragma once
// The rules of the message editor panel that need no window: which captions
// the two template edits get, what a typed template or range value may look
// like, and what applying the edits writes into a message node.
//
// The panel gathers the texts of its edits, asks planApply() what to write,
// and either shows the one problem found or writes the planned children.
// Nothing is written unless every value passed, so a message node is never
// left half changed.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "message_record.h"

namespace korvane::panel {

// Text-table keys of the captions over the left and right template edits;
// an empty key stands for an empty caption.
struct TemplateCaptions {
    std::string_view left;
    std::string_view right;
};

// Captions for the RG_Mode item (0..3, -1 for none) and the selected element
// (0..63, -1 for none).
TemplateCaptions templateCaptions(int modeItem, int elementNumber);

// Hex byte text as the editor accepts it from the user: bytes of exactly two
// hex digits (0-9, A-F, a-f), separated by commas and/or blanks; digits may
// also run together in pairs ("B0077F"). Every run of digits must have an even
// length, so no digit is ever dropped silently. An empty or blank text is an
// empty template and is valid.
bool isValidTemplateText(std::string_view text);

// Reads a typed percentage: optional blanks, digits with at most one decimal
// separator (the locale's, passed in; at least one digit), optional blanks.
// nullopt for anything else.
std::optional<double> parseLocaleDecimal(std::string_view text, std::string_view decimalPoint);

// Order of the four range edits wherever they travel together.
enum RangeField { kMax = 0, kMin = 1, kStep = 2, kStart = 3 };
using RangeTexts = std::array<std::string, 4>;  // Max, Min, Step, Start

// What the range edits should read for the loaded message in the current
// mode and range choice: the texts the panel shows right after loading it.
// Used by the change detection, so that a converted 7-bit or percent display
// is not mistaken for an edit.
RangeTexts expectedRangeTexts(const TMessageRecord& loaded, TMode currentMode, TRange currentRange);

struct ApplyInput {
    std::string left;
    std::string right;
    // The right template is checked only while its edit can be typed into
    // (button mode); otherwise it holds the stored text untouched.
    bool rightEditable = false;
    TMode mode = MODE_14Bit;    // GetMode
    TRange range = RANGE_FULL;  // GetRange
    RangeTexts edits;           // Max, Min, Step, Start as typed
    std::string decimalPoint = ".";
};

enum class ApplyProblem {
    None,
    LeftTemplate,
    RightTemplate,
    Value14Bit,  // not a whole number 0..16383
    Value7Bit,   // not a whole number 0..127
    Percent,     // not a decimal number 0..100
};

struct ApplyPlan {
    ApplyProblem problem = ApplyProblem::None;
    RangeField field = kMin;  // the offending range edit for the value problems
    // Children of the message node to set, in the order they are set (a
    // missing child is created in this order).
    std::vector<std::pair<std::string, std::string>> children;
};

// Checks everything first (left, right, then Min, Max, Step, Start) and, when
// all is well, lists the children to write: range, min, max, step, start
// (where they apply), mode, right, left.
ApplyPlan planApply(const ApplyInput& input);

}  // namespace korvane::panel
