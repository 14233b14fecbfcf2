#include "panel_logic.h"

#include <charconv>

#include "element_catalogue.h"

namespace korvane::panel {
namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A typed whole number: blanks around decimal digits, nothing else (no sign:
// none of the range values can be negative).
std::optional<int> parseTypedWhole(std::string_view text, int highest) {
    text = trimBlanks(text);
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc{} || ptr != text.data() + text.size()) return std::nullopt;
    if (value < 0 || value > highest) return std::nullopt;
    return value;
}

}  // namespace

TemplateCaptions templateCaptions(int modeItem, int elementNumber) {
    if (modeItem == 3) return {"panel.caption.jogwheel", ""};
    if (elementNumber < 0 || elementNumber >= kElementCount) return {"", ""};
    const ElementKind kind = elementKind(elementNumber);
    switch (modeItem) {
        case 0:
            if (kind == ElementKind::Fader) return {"panel.caption.fader14", ""};
            if (kind == ElementKind::Encoder) return {"panel.caption.encoder14", ""};
            break;
        case 1:
            if (kind == ElementKind::Fader) return {"panel.caption.fader7", ""};
            if (kind == ElementKind::Encoder) return {"panel.caption.encoder7", ""};
            break;
        case 2:
            if (kind == ElementKind::Button) return {"panel.caption.pressed", "panel.caption.released"};
            if (kind == ElementKind::Encoder) return {"panel.caption.turn_left", "panel.caption.turn_right"};
            break;
        default:
            break;
    }
    return {"", ""};
}

bool isValidTemplateText(std::string_view text) {
    std::size_t run = 0;
    for (char c : text) {
        if (isHexDigit(c)) {
            ++run;
            continue;
        }
        if (c != ',' && !isBlank(c)) return false;
        if (run % 2 != 0) return false;
        run = 0;
    }
    return run % 2 == 0;
}

std::optional<double> parseLocaleDecimal(std::string_view text, std::string_view decimalPoint) {
    text = trimBlanks(text);
    std::string plain;
    bool separatorSeen = false;
    bool digitSeen = false;
    while (!text.empty()) {
        if (text.front() >= '0' && text.front() <= '9') {
            plain.push_back(text.front());
            digitSeen = true;
            text.remove_prefix(1);
        } else if (!separatorSeen && !decimalPoint.empty() && text.starts_with(decimalPoint)) {
            plain.push_back('.');
            separatorSeen = true;
            text.remove_prefix(decimalPoint.size());
        } else {
            return std::nullopt;
        }
    }
    if (!digitSeen) return std::nullopt;
    // from_chars ignores the C locale, so "12.5" here means twelve and a half
    // whatever the process locale says.
    double value = 0;
    auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc{} || ptr != plain.data() + plain.size()) return std::nullopt;
    return value;
}

RangeTexts expectedRangeTexts(const TMessageRecord& loaded, TMode currentMode, TRange currentRange) {
    const RangeDisplay shown = rangeDisplay(loaded, currentMode, currentRange);
    switch (shown.action) {
        case RangeDisplay::Action::Clear:
            return {};
        case RangeDisplay::Action::Show:
            return shown.maxMinStepStart;
        case RangeDisplay::Action::Unchanged:
            break;
    }
    // Edits that were left as they stood hold whatever the last display put
    // there; the stored values are the best guess of what that was.
    return {std::to_string(loaded.Maximum), std::to_string(loaded.Minimum), std::to_string(loaded.Step),
            std::to_string(loaded.Start)};
}

ApplyPlan planApply(const ApplyInput& input) {
    ApplyPlan plan;
    if (!isValidTemplateText(input.left)) {
        plan.problem = ApplyProblem::LeftTemplate;
        return plan;
    }
    if (input.rightEditable && !isValidTemplateText(input.right)) {
        plan.problem = ApplyProblem::RightTemplate;
        return plan;
    }

    // The children are written in the order min, max, step, start, and the
    // values are checked in that order too, so the first error named is the
    // first field the user reads in a write-up of the message.
    static constexpr std::array<std::pair<RangeField, const char*>, 4> kOrder = {{
        {kMin, "min"},
        {kMax, "max"},
        {kStep, "step"},
        {kStart, "start"},
    }};

    std::vector<std::pair<std::string, std::string>> values;
    switch (input.range) {
        case RANGE_PERCENT:
            plan.children.emplace_back("range", "percent");
            for (const auto& [field, child] : kOrder) {
                const std::string& typed = input.edits[field];
                if (trimBlanks(typed).empty()) continue;
                auto percent = parseLocaleDecimal(typed, input.decimalPoint);
                std::optional<std::int32_t> stored;
                if (percent && *percent >= 0.0 && *percent <= 100.0) stored = percentToStored(*percent);
                if (!stored) {
                    plan.problem = ApplyProblem::Percent;
                    plan.field = field;
                    plan.children.clear();
                    return plan;
                }
                values.emplace_back(child, std::to_string(*stored));
            }
            break;
        case RANGE_ABS:
            plan.children.emplace_back("range", "absolute");
            if (input.mode != MODE_14Bit && input.mode != MODE_7Bit) break;
            for (const auto& [field, child] : kOrder) {
                const std::string& typed = input.edits[field];
                if (trimBlanks(typed).empty()) continue;
                const bool sevenBit = input.mode == MODE_7Bit;
                auto value = parseTypedWhole(typed, sevenBit ? 127 : 16383);
                if (!value) {
                    plan.problem = sevenBit ? ApplyProblem::Value7Bit : ApplyProblem::Value14Bit;
                    plan.field = field;
                    plan.children.clear();
                    return plan;
                }
                values.emplace_back(child, std::to_string(sevenBit ? *value * 129 : *value));
            }
            break;
        case RANGE_FULL:
        case RANGE_INVAL:
            // Full range keeps no values: empty children read back as the
            // defaults 0, 16383, 1, 0.
            plan.children.emplace_back("range", "full");
            for (const auto& entry : kOrder) values.emplace_back(entry.second, "");
            break;
    }
    for (auto& v : values) plan.children.push_back(std::move(v));

    const std::string_view modeText = modeToText(input.mode);
    plan.children.emplace_back("mode", modeText.empty() ? std::string("14") : std::string(modeText));
    plan.children.emplace_back("right", input.right);
    plan.children.emplace_back("left", input.left);
    return plan;
}

}  // namespace korvane::panel
