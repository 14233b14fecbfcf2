#include "message_record.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "config_document.h"
#include "texts.h"

namespace korvane {

std::optional<TMode> modeFromText(std::string_view text) {
    if (text == "14") return MODE_14Bit;
    if (text == "7") return MODE_7Bit;
    if (text == "1") return MODE_Taster;
    if (text == "2") return MODE_Jogwheel;
    return std::nullopt;
}

std::string_view modeToText(TMode mode) {
    switch (mode) {
        case MODE_14Bit:
            return "14";
        case MODE_7Bit:
            return "7";
        case MODE_Taster:
            return "1";
        case MODE_Jogwheel:
            return "2";
        case MODE_INVAL:
            break;
    }
    return {};
}

std::optional<TRange> rangeFromText(std::string_view text) {
    if (text == "full") return RANGE_FULL;
    if (text == "absolute") return RANGE_ABS;
    if (text == "percent") return RANGE_PERCENT;
    return std::nullopt;
}

std::string_view rangeToText(TRange range) {
    switch (range) {
        case RANGE_FULL:
            return "full";
        case RANGE_ABS:
            return "absolute";
        case RANGE_PERCENT:
            return "percent";
        case RANGE_INVAL:
            break;
    }
    return {};
}

std::string MessageReadError::message(std::string_view language) const {
    return textWith("document.not_an_integer", language, text);
}

std::optional<std::int32_t> parseWholeNumber(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    // from_chars takes a minus but not a plus sign.
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') return std::nullopt;
    }
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

namespace {

// A child holding only line breaks or blanks (hand-formatted files) counts
// as empty, like a missing one.
bool isBlankText(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The child's text, or fallback when it is missing, empty or blank.
std::string childOrDefault(pugi::xml_node message, const char* child, std::string_view fallback) {
    std::string text = ConfigDocument::XML_GetChildNodeValue(message, child, fallback);
    return isBlankText(text) ? std::string(fallback) : text;
}

}  // namespace

std::optional<MessageReadError> readMessageRecord(pugi::xml_node message, TMessageRecord& record) {
    // Everything is read into a copy first so that a bad number leaves the
    // caller's record exactly as it was, never half updated.
    TMessageRecord next = record;
    next.MessageLeft = ConfigDocument::XML_GetChildNodeValue(message, "left", "");
    next.MessageRight = ConfigDocument::XML_GetChildNodeValue(message, "right", "");
    if (auto mode = modeFromText(childOrDefault(message, "mode", kDefaultModeText))) {
        next.Mode = *mode;
    }

    struct NumberField {
        const char* child;
        std::int32_t fallback;
        std::int32_t TMessageRecord::*field;
    };
    static constexpr NumberField kNumbers[] = {
        {"min", kDefaultMinimum, &TMessageRecord::Minimum},
        {"max", kDefaultMaximum, &TMessageRecord::Maximum},
        {"step", kDefaultStep, &TMessageRecord::Step},
        {"start", kDefaultStart, &TMessageRecord::Start},
    };
    for (const auto& f : kNumbers) {
        const std::string raw = ConfigDocument::XML_GetChildNodeValue(message, f.child, "");
        if (isBlankText(raw)) {
            next.*(f.field) = f.fallback;
            continue;
        }
        auto value = parseWholeNumber(raw);
        if (!value) return MessageReadError{f.child, raw};
        next.*(f.field) = *value;
    }

    if (auto range = rangeFromText(childOrDefault(message, "range", kDefaultRangeText))) {
        next.Range = *range;
    }
    record = std::move(next);
    return std::nullopt;
}

std::int32_t storedToSevenBit(std::int32_t stored) {
    return static_cast<std::int32_t>(std::trunc(static_cast<double>(stored) / 129.0 + 0.5));
}

std::int32_t storedToPercent(std::int32_t stored) {
    return static_cast<std::int32_t>(std::trunc(static_cast<double>(stored) / 163.83 + 0.5));
}

std::optional<std::int32_t> sevenBitToStored(std::int32_t value) {
    const std::int64_t stored = static_cast<std::int64_t>(value) * 129;
    if (stored > std::numeric_limits<std::int32_t>::max() ||
        stored < std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(stored);
}

std::optional<std::int32_t> percentToStored(double percent) {
    if (!std::isfinite(percent)) return std::nullopt;
    const double stored = std::trunc(percent * 163.83);
    if (stored > static_cast<double>(std::numeric_limits<std::int32_t>::max()) ||
        stored < static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(stored);
}

RangeDisplay rangeDisplay(const TMessageRecord& loaded, TMode currentMode, TRange range) {
    RangeDisplay out;
    const bool haveValues = loaded.Maximum != 0;
    auto show = [&](auto convert, std::array<const char*, 4> fallback) {
        out.action = RangeDisplay::Action::Show;
        if (!haveValues) {
            for (std::size_t i = 0; i < 4; ++i) out.maxMinStepStart[i] = fallback[i];
            return;
        }
        const std::int32_t values[4] = {loaded.Maximum, loaded.Minimum, loaded.Step, loaded.Start};
        for (std::size_t i = 0; i < 4; ++i) out.maxMinStepStart[i] = std::to_string(convert(values[i]));
    };
    switch (range) {
        case RANGE_ABS:
            if (currentMode == MODE_14Bit) {
                show([](std::int32_t v) { return v; }, {"16383", "0", "64", "0"});
            } else if (currentMode == MODE_7Bit) {
                show(storedToSevenBit, {"127", "0", "1", "0"});
            } else {
                out.action = RangeDisplay::Action::Unchanged;
            }
            break;
        case RANGE_PERCENT:
            // The percent display goes by the loaded message's mode, not by
            // the mode currently chosen in the panel.
            if (loaded.Mode == MODE_14Bit || loaded.Mode == MODE_7Bit) {
                show(storedToPercent, {"100", "0", "1", "0"});
            } else {
                out.action = RangeDisplay::Action::Unchanged;
            }
            break;
        case RANGE_FULL:
        case RANGE_INVAL:
            out.action = RangeDisplay::Action::Clear;
            break;
    }
    return out;
}

}  // namespace korvane
