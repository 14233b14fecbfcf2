#include "motor_profile.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace korvane {

std::string faderLabel(int faderIndex) {
    if (faderIndex == kMasterFader) return "Fader M";
    return "Fader " + std::to_string(faderIndex + 1);
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::int32_t> parseInteger(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void FaderStringInArray(std::string_view FaderString, TMotorProfilTabellenEintrag& entry) {
    // A run of digits as long as a telephone number would overflow the
    // running value; past this size a value is nonsense anyway and only has
    // to stay nonsense (the send refuses it), not wrap around into a
    // plausible one.
    constexpr std::int32_t kCap = 1'000'000;  // v stays below 10 million, v × 32 fits
    std::int32_t v = 0;
    int n = 0;
    auto store = [&entry](int index, std::int32_t value) {
        if (index < 10) {
            entry.Differenz[static_cast<std::size_t>(9 - index)] = value;
        } else if (index < 20) {
            entry.Geschwindigkeit[static_cast<std::size_t>(19 - index)] = value * kSpeedUnitsPerStep;
        }
        // The table has room for twenty values; more are dropped.
    };
    for (char c : FaderString) {
        if (c >= '0' && c <= '9') {
            if (v < kCap) v = v * 10 + (c - '0');
        } else if (c == ',') {
            store(n, v);
            v = 0;
            ++n;
        }
    }
    // The value still running is the last speed step (point 0), whatever
    // its position in the text: a short text fills it too. After twenty
    // values it is one too many and is dropped like the others.
    if (n < 20) entry.Geschwindigkeit[0] = v * kSpeedUnitsPerStep;
}

std::string ArrayToString(const TMotorProfilTabellenEintrag& entry) {
    std::string out;
    for (int i = 9; i >= 0; --i) {
        out += std::to_string(entry.Differenz[static_cast<std::size_t>(i)]);
        out += ", ";
    }
    for (int i = 9; i >= 0; --i) {
        out += std::to_string(speedStep(entry.Geschwindigkeit[static_cast<std::size_t>(i)]));
        if (i > 0) out += ", ";
    }
    return out;
}

std::string ArrayToHex(const TMotorProfilTabellenEintrag& entry) {
    std::string out;
    auto hex = [&out](std::int32_t value) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02X",
                      static_cast<unsigned>(static_cast<std::uint32_t>(value)));
        out += buffer;
    };
    for (int k = 0; k < kMotorPointCount; ++k) {
        const auto i = static_cast<std::size_t>(9 - k);
        if (k > 0) out += ", ";
        hex(entry.Differenz[i]);
        out += ", ";
        hex(speedStep(entry.Geschwindigkeit[i]));
    }
    return out;
}

std::uint8_t positioningTimeByte(std::string_view text) {
    const std::int32_t value = parseInteger(text).value_or(10);
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

std::optional<ValueOutsideByte> firstValueOutsideByte(const TMotorProfilTabelle& table) {
    auto outside = [](std::int32_t v) { return v < 0 || v > 255; };
    for (int f = 0; f < kMotorFaderCount; ++f) {
        const auto& entry = table.MotorProfile[static_cast<std::size_t>(f)];
        for (int i = 9; i >= 0; --i) {
            const std::int32_t difference = entry.Differenz[static_cast<std::size_t>(i)];
            if (outside(difference)) return ValueOutsideByte{f, i, false, difference};
            const std::int32_t step = speedStep(entry.Geschwindigkeit[static_cast<std::size_t>(i)]);
            if (outside(step)) return ValueOutsideByte{f, i, true, step};
        }
    }
    return std::nullopt;
}

ByteString MotorProfilePayload(const TMotorProfilTabellenEintrag& entry, int fader, std::uint8_t factor,
                               std::uint8_t constant) {
    ByteString payload;
    payload.reserve(3 + 2 * kMotorPointCount);
    payload.push_back(static_cast<std::uint8_t>(fader));
    payload.push_back(factor);
    payload.push_back(constant);
    for (int i = 9; i >= 0; --i) {
        const auto point = static_cast<std::size_t>(i);
        payload.push_back(static_cast<std::uint8_t>(entry.Differenz[point] & 0xFF));
        payload.push_back(static_cast<std::uint8_t>(speedStep(entry.Geschwindigkeit[point]) & 0xFF));
    }
    return payload;
}

ByteString MotorProfilePacket(const TMotorProfilTabellenEintrag& entry, int fader, std::uint8_t factor,
                              std::uint8_t constant) {
    return BuildDataPacket(sysex::kCmdMotorProfile, MotorProfilePayload(entry, fader, factor, constant));
}

ByteString MotorProfileCommitPacket() { return CommandPacket(sysex::kCmdStoreProfiles); }

void CopyProfile(TMotorProfilTabelle& table, int source, int destination) {
    auto valid = [](int f) { return f >= 0 && f < kMotorFaderCount; };
    if (!valid(source)) return;
    const TMotorProfilTabellenEintrag curve = table.MotorProfile[static_cast<std::size_t>(source)];
    if (destination == -1) {
        for (int f = 0; f < kMotorFaderCount; ++f)
            if (f != source) table.MotorProfile[static_cast<std::size_t>(f)] = curve;
    } else if (valid(destination)) {
        table.MotorProfile[static_cast<std::size_t>(destination)] = curve;
    }
}

ScreenPoint pointPosition(const TMotorProfilTabellenEintrag& entry, int point, int offX, int offY) {
    const auto i = static_cast<std::size_t>(point);
    return {entry.Differenz[i] + offX, offY - entry.Geschwindigkeit[i] + 256};
}

ScreenPoint dragPoint(ScreenPoint current, ScreenPoint wanted, const DragRules& rules) {
    int x = rules.horizontal ? wanted.x : current.x;
    int y = rules.vertical ? wanted.y : current.y;
    const int left = rules.offX;
    const int right = rules.offX + 255;
    const int top = rules.offY;
    const int bottom = rules.offY + 256;

    x = std::clamp(x, left, right);
    y = std::clamp(y, top, bottom);

    const int qx = std::max(1, rules.quantX);
    const int qy = std::max(1, rules.quantY);
    x = ((x - rules.offX) / qx) * qx + rules.offX;
    y = ((y - rules.offY) / qy) * qy + rules.offY;

    if (rules.before) {
        x = std::max(x, rules.before->x);
        if (rules.monotonic) y = std::min(y, rules.before->y);
    }
    if (rules.after) {
        x = std::min(x, rules.after->x);
        if (rules.monotonic) y = std::max(y, rules.after->y);
    }
    // Neighbours typed outside the area must not pull a dragged point out of
    // it: whatever a drag produces, the device can take.
    x = std::clamp(x, left, right);
    y = std::clamp(y, top, bottom);
    return {x, y};
}

}  // namespace korvane
