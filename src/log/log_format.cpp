#include "log_format.h"

#include <cstdio>

namespace korvane {
namespace {

const char* kindName(LogArg::Kind k) {
    switch (k) {
        case LogArg::Kind::Signed:
            return "a signed integer";
        case LogArg::Kind::Unsigned:
            return "an unsigned integer";
        case LogArg::Kind::Floating:
            return "a floating-point number";
        case LogArg::Kind::Text:
            return "a text";
        case LogArg::Kind::Character:
            return "a character";
        case LogArg::Kind::Pointer:
            return "a pointer";
    }
    return "an unknown value";
}

bool isInteger(LogArg::Kind k) {
    return k == LogArg::Kind::Signed || k == LogArg::Kind::Unsigned || k == LogArg::Kind::Character;
}

// Runs snprintf with a conversion whose argument type has been checked, and
// grows the buffer when the first attempt was too small.
template <class T>
void appendPrintf(std::string& out, const std::string& pattern, T value) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, pattern.c_str(), value);
    if (n < 0) throw FormatError("the C library could not format \"" + pattern + "\"");
    if (static_cast<std::size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), pattern.c_str(), value);
    big.resize(static_cast<std::size_t>(n));
    out += big;
}

}  // namespace

std::string formatChecked(std::string_view format, std::span<const LogArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;  // next argument to consume
    int conversion = 0;    // counts conversions for the error messages

    auto take = [&](std::string_view what) -> const LogArg& {
        if (next >= args.size()) {
            throw FormatError("conversion " + std::to_string(conversion) + " needs " + std::string(what) +
                              " but only " + std::to_string(args.size()) + " argument(s) were given");
        }
        return args[next++];
    };
    auto takeStar = [&](std::string_view what) -> int {
        const LogArg& a = take(what);
        if (!isInteger(a.kind())) {
            throw FormatError("the " + std::string(what) + " of conversion " + std::to_string(conversion) +
                              " must be an integer, argument " + std::to_string(next) + " is " +
                              kindName(a.kind()));
        }
        std::int64_t v = a.asSigned();
        if (v > 100000 || v < -100000) throw FormatError("the " + std::string(what) + " is out of range");
        return static_cast<int>(v);
    };

    std::size_t i = 0;
    while (i < format.size()) {
        char ch = format[i];
        if (ch != '%') {
            out += ch;
            ++i;
            continue;
        }
        std::size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        ++conversion;
        std::string flags;
        while (i < format.size() && std::string_view("-+ 0#").find(format[i]) != std::string_view::npos) {
            flags += format[i++];
        }
        auto readNumber = [&](std::string_view what) {
            std::string n;
            if (i < format.size() && format[i] == '*') {
                ++i;
                return std::to_string(takeStar(what));
            }
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                n += format[i++];
                if (n.size() > 5) throw FormatError("the " + std::string(what) + " is out of range");
            }
            return n;
        };
        std::string width = readNumber("width");
        // A negative width taken from "*" means left-aligned, as in C.
        if (!width.empty() && width[0] == '-') {
            flags += '-';
            width.erase(0, 1);
        }
        bool hasPrecision = false;
        std::string precision;
        if (i < format.size() && format[i] == '.') {
            ++i;
            hasPrecision = true;
            precision = readNumber("precision");
            // A negative precision from "*" counts as none, as in C.
            if (!precision.empty() && precision[0] == '-') hasPrecision = false;
        }
        while (i < format.size() && std::string_view("hljztL").find(format[i]) != std::string_view::npos) ++i;
        if (i >= format.size()) {
            throw FormatError("the conversion \"" + std::string(format.substr(start)) + "\" is incomplete");
        }
        char conv = format[i++];
        // The conversion text handed to snprintf keeps only what is defined
        // for its conversion, so that no combination of flags is undefined.
        auto patternFor = [&](std::string_view allowedFlags, bool allowPrecision) {
            std::string pattern = "%";
            for (char f : flags) {
                if (allowedFlags.find(f) != std::string_view::npos) pattern += f;
            }
            pattern += width;
            if (allowPrecision && hasPrecision) pattern += "." + precision;
            return pattern;
        };
        switch (conv) {
            case 'd':
            case 'i': {
                const LogArg& a = take("an integer");
                if (!isInteger(a.kind())) break;
                appendPrintf(out, patternFor("-+ 0", true) + "lld", static_cast<long long>(a.asSigned()));
                continue;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                const LogArg& a = take("an integer");
                if (!isInteger(a.kind())) break;
                appendPrintf(out, patternFor(conv == 'u' ? "-0" : "-0#", true) + "ll" + conv,
                             static_cast<unsigned long long>(a.asUnsigned()));
                continue;
            }
            case 'c': {
                const LogArg& a = take("a character");
                if (!isInteger(a.kind())) break;
                appendPrintf(out, patternFor("-", false) + 'c',
                             static_cast<int>(static_cast<unsigned char>(a.asSigned())));
                continue;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A': {
                const LogArg& a = take("a floating-point number");
                if (a.kind() != LogArg::Kind::Floating) break;
                appendPrintf(out, patternFor("-+ 0#", true) + conv, a.asDouble());
                continue;
            }
            case 's': {
                const LogArg& a = take("a text");
                if (a.kind() != LogArg::Kind::Text) break;
                // Copied so that the text is terminated and may contain
                // anything; an embedded zero ends it, as in C.
                std::string text(a.asText());
                appendPrintf(out, patternFor("-", true) + 's', text.c_str());
                continue;
            }
            case 'p': {
                const LogArg& a = take("a pointer");
                if (a.kind() != LogArg::Kind::Pointer) break;
                appendPrintf(out, patternFor("-", false) + 'p', a.asPointer());
                continue;
            }
            default:
                throw FormatError("unknown conversion \"%" + std::string(1, conv) + "\" (conversion " +
                                  std::to_string(conversion) + ")");
        }
        // Only a kind mismatch gets here.
        throw FormatError("conversion " + std::to_string(conversion) + " \"%" + std::string(1, conv) +
                          "\" does not fit argument " + std::to_string(next) + ", which is " +
                          kindName(args[next - 1].kind()));
    }
    if (next < args.size()) {
        throw FormatError(std::to_string(args.size() - next) + " argument(s) left over after " +
                          std::to_string(conversion) + " conversion(s)");
    }
    return out;
}

}  // namespace korvane
