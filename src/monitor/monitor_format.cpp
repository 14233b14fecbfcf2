#include "monitor_format.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace korvane::monitor {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendHex(std::string& out, std::uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
}

int positiveOr(std::string_view text, int fallback, int most) {
    // Blanks around the digits are what a user types by accident.
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1) return fallback;
    return value > most ? most : value;
}

}  // namespace

int bytesPerLineFrom(std::string_view editText) {
    return positiveOr(editText, kDefaultBytesPerLine, kMaxBytesPerLine);
}

int dividerIntervalFrom(std::string_view editText) {
    // A day is far beyond any pause worth a divider and fits a timer.
    return positiveOr(editText, kDefaultDividerMs, 24 * 60 * 60 * 1000);
}

std::string divider(int bytesPerLine) {
    std::string line;
    if (bytesPerLine > 0) line.assign(std::size_t(bytesPerLine) * 3, '-');
    return line;
}

std::string timestamp(std::uint32_t timeMs, char decimalPoint) {
    // Whole milliseconds have an exact three-decimal form; printing them
    // digit by digit keeps the process locale out of it.
    std::string text = std::to_string(timeMs / 1000);
    text += decimalPoint;
    const std::uint32_t fraction = timeMs % 1000;
    text += char('0' + fraction / 100);
    text += char('0' + fraction / 10 % 10);
    text += char('0' + fraction % 10);
    if (text.size() < 10) text.insert(0, 10 - text.size(), ' ');
    return text;
}

std::string shortLine(std::span<const std::uint8_t> bytes, std::optional<std::uint32_t> timeMs,
                      char decimalPoint) {
    std::string line;
    if (timeMs) {
        line = timestamp(*timeMs, decimalPoint);
        line += " - ";
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (i > 0) line += ' ';
        appendHex(line, i < bytes.size() ? bytes[i] : 0);
    }
    return line;
}

std::vector<std::string> sysexLines(std::span<const std::uint8_t> bytes, int bytesPerLine, bool nibbles) {
    if (bytesPerLine < 1) bytesPerLine = kDefaultBytesPerLine;
    std::vector<std::string> lines;
    std::string line;
    int inLine = 0;
    auto put = [&](std::uint8_t b) {
        line += ' ';
        appendHex(line, b);
        if (++inLine == bytesPerLine) {
            lines.push_back(std::move(line));
            line.clear();
            inLine = 0;
        }
    };
    if (nibbles) {
        for (std::size_t i = 3; i + 1 < bytes.size(); i += 2) put(std::uint8_t(bytes[i] * 16 + bytes[i + 1]));
    } else {
        for (std::uint8_t b : bytes) put(b);
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

const std::array<VolumeButton, 4> kVolumeButtons{{
    {"btSendVol7F", "VOL 7F (ALL)",
     "b0,07,7F,b1,07,7F,b2,07,7f,b3,07,7f,b4,07,7f,b5,07,7f,b6,07,7f,b7,07,7f,b8,07,7f"},
    {"btSendVol60", "VOL 60 (ALL)",
     "b0,07,60,b1,07,60,b2,07,60,b3,07,60,b4,07,60,b5,07,60,b6,07,60,b7,07,60,b8,07,60"},
    {"btSendVol40", "VOL 40 (ALL)",
     "b0,07,40,b1,07,40,b2,07,40,b3,07,40,b4,07,40,b5,07,40,b6,07,40,b7,07,40,b8,07,40"},
    {"btSendVol00", "VOL 00 (ALL)",
     "b0,07,00,b1,07,00,b2,07,00,b3,07,00,b4,07,00,b5,07,00,b6,07,00,b7,07,00,b8,07,00"},
}};

std::array<std::uint8_t, 9> sineValues(double angle) {
    std::array<std::uint8_t, 9> values{};
    for (int i = 1; i <= 9; ++i) {
        const double v = std::trunc(std::sin(angle + double(i - 1) / 8.0 * std::numbers::pi) * 63.0 + 64.0);
        values[std::size_t(i - 1)] = std::uint8_t(v);
    }
    return values;
}

}  // namespace korvane::monitor
