#pragma once
// A printf-style formatter that checks its format against typed arguments.
//
// The log's formatted procedures take a format text written by a programmer
// and values of any kind. Handing such a pair to the C library's printf is
// undefined behaviour as soon as they disagree, and a log line must never be
// able to crash the program. Here every argument keeps its type, every
// conversion is checked against the argument it consumes, and a mismatch is
// reported as a FormatError whose message says what went wrong.

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {

class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One argument of a checked format, with the kind of value it carries.
class LogArg {
public:
    enum class Kind { Signed, Unsigned, Floating, Text, Character, Pointer };

    template <std::signed_integral T>
    requires(!std::same_as<T, char>) LogArg(T v) : kind_(Kind::Signed), i_(static_cast<std::int64_t>(v)) {}
    template <std::unsigned_integral T>
    requires(!std::same_as<T, bool>) LogArg(T v) : kind_(Kind::Unsigned), u_(static_cast<std::uint64_t>(v)) {}
    LogArg(bool v) : kind_(Kind::Signed), i_(v ? 1 : 0) {}
    LogArg(char v) : kind_(Kind::Character), i_(static_cast<unsigned char>(v)) {}
    template <std::floating_point T>
    LogArg(T v) : kind_(Kind::Floating), d_(static_cast<double>(v)) {}
    LogArg(std::string_view v) : kind_(Kind::Text), s_(v) {}
    LogArg(const std::string& v) : kind_(Kind::Text), s_(v) {}
    LogArg(const char* v) : kind_(Kind::Text), s_(v ? std::string_view(v) : std::string_view("(null)")) {}
    LogArg(char* v) : LogArg(static_cast<const char*>(v)) {}
    LogArg(const void* v) : kind_(Kind::Pointer), p_(v) {}
    LogArg(std::nullptr_t) : kind_(Kind::Pointer), p_(nullptr) {}

    Kind kind() const { return kind_; }
    std::int64_t asSigned() const { return kind_ == Kind::Unsigned ? static_cast<std::int64_t>(u_) : i_; }
    std::uint64_t asUnsigned() const { return kind_ == Kind::Unsigned ? u_ : static_cast<std::uint64_t>(i_); }
    double asDouble() const { return d_; }
    std::string_view asText() const { return s_; }
    const void* asPointer() const { return p_; }

private:
    Kind kind_;
    union {
        std::int64_t i_;
        std::uint64_t u_;
        double d_;
        const void* p_;
    };
    std::string_view s_;
};

// Formats `format` with `args`. Understood: %d %i %u %x %X %o %c %s %f %F %e
// %E %g %G %a %A %p and %%, with the flags "-+ 0#", a width and a precision
// (each a number or "*", which takes an integer argument), and the C length
// modifiers (hh h l ll j z t L), which are accepted and ignored because every
// argument already carries its own size. Throws FormatError when a conversion
// is unknown or incomplete, an argument is missing or of the wrong kind, or
// arguments are left over.
std::string formatChecked(std::string_view format, std::span<const LogArg> args);

inline std::string formatChecked(std::string_view format, std::initializer_list<LogArg> args) {
    return formatChecked(format, std::span<const LogArg>(args.begin(), args.size()));
}

}  // namespace korvane
