#include "log_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {
namespace {

struct FormatCase {
    const char* name;
    std::string format;
    std::vector<LogArg> args;
    std::string expected;
};

TEST(FormatChecked, FormatsArgumentsThatFit) {
    std::string owned = "owned text";
    const std::vector<FormatCase> cases = {
        {"plain text", "no conversions", {}, "no conversions"},
        {"percent", "100%% sure", {}, "100% sure"},
        {"signed", "%d/%i", {-42, std::int64_t{-9000000000}}, "-42/-9000000000"},
        {"width and alignment", "[%5d][%-5d][%05d]", {7, 7, -7}, "[    7][7    ][-0007]"},
        {"star width", "[%*d][%*d]", {4, 7, -4, 7}, "[   7][7   ]"},
        {"unsigned and hex", "%u %x %X %o %#x", {4000000000u, 255, 255, 8, 255}, "4000000000 ff FF 10 0xff"},
        {"unsigned from negative", "%x", {-1}, "ffffffffffffffff"},
        {"length modifiers ignored", "%ld %lld %hhd %zu", {1L, 2LL, 3, std::size_t{4}}, "1 2 3 4"},
        {"floating", "%.2f %e %g", {3.14159, 1500.0, 0.5f}, "3.14 1.500000e+03 0.5"},
        {"text kinds", "%s|%s|%s", {"literal", owned, std::string_view("view")}, "literal|owned text|view"},
        {"text precision and width", "[%.3s][%6s][%-6s]", {"abcdef", "ab", "ab"}, "[abc][    ab][ab    ]"},
        {"null text", "%s", {static_cast<const char*>(nullptr)}, "(null)"},
        {"character", "%c%c", {'O', 75}, "OK"},
        {"bool as integer", "%d", {true}, "1"},
        {"undefined flags dropped", "[%05s][%+u]", {"ab", 3u}, "[   ab][3]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatChecked(c.format, std::span<const LogArg>(c.args)), c.expected);
    }
}

struct ErrorCase {
    const char* name;
    std::string format;
    std::vector<LogArg> args;
    std::string messagePart;
};

TEST(FormatChecked, RejectsFormatsThatDoNotFit) {
    int x = 0;
    const std::vector<ErrorCase> cases = {
        {"text for integer", "%d", {"seven"}, "does not fit argument 1, which is a text"},
        {"integer for text", "value %s", {7}, "which is a signed integer"},
        {"integer for floating", "%f", {1}, "does not fit"},
        {"floating for integer", "%d", {1.5}, "floating-point"},
        {"pointer for text", "%s", {static_cast<const void*>(&x)}, "a pointer"},
        {"missing argument", "%d and %d", {1}, "conversion 2 needs an integer but only 1 argument(s)"},
        {"no arguments at all", "%s", {}, "conversion 1 needs a text"},
        {"left over", "%d", {1, 2}, "1 argument(s) left over"},
        {"unknown conversion", "%q", {1}, "unknown conversion \"%q\""},
        {"incomplete at end", "50%", {}, "incomplete"},
        {"star takes text", "%*d", {"wide", 1}, "width of conversion 1 must be an integer"},
        {"absurd width", "%999999d", {1}, "out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            std::string out = formatChecked(c.format, std::span<const LogArg>(c.args));
            ADD_FAILURE() << "formatted to \"" << out << "\"";
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace korvane
