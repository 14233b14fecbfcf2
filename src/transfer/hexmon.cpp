#include "hexmon.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, std::uint8_t b) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
}

void appendHexWidth(std::string& out, std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0x0F];
}

// Control characters would break the line on screen; everything from a blank
// up is shown as the character of that code.
char asciiColumn(std::uint8_t b) { return b < 0x20 ? '.' : static_cast<char>(b); }

std::string_view asView(const ByteString& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string lineOf(std::string_view data, std::size_t pos, int bytesPerLine, bool blankBeforeFirst) {
    if (pos >= data.size() || bytesPerLine <= 0) return {};
    std::string hex;
    std::string ascii;
    for (std::size_t i = pos; i < pos + static_cast<std::size_t>(bytesPerLine); ++i) {
        if (i < data.size()) {
            if (i != pos || blankBeforeFirst) hex += ' ';
            const auto b = static_cast<std::uint8_t>(data[i]);
            appendHex(hex, b);
            ascii += asciiColumn(b);
        } else {
            hex += "   ";
            ascii += ' ';
        }
    }
    return hex + "  " + ascii;
}

std::string addressPrefix(std::size_t offset) {
    std::string out;
    appendHexWidth(out, offset, 4);
    out += "   ";
    return out;
}

// Line k of the multi-line forms, or empty past the end.
template <typename Fn>
void forEachLine(std::string_view data, int lines, int bytesPerLine, bool suppressAddress, Fn&& fn) {
    if (bytesPerLine <= 0) return;
    for (std::size_t k = 0; lines < 0 || k < static_cast<std::size_t>(lines); ++k) {
        const std::size_t pos = k * static_cast<std::size_t>(bytesPerLine);
        std::string line = lineOf(data, pos, bytesPerLine, false);
        if (line.empty()) break;
        fn(suppressAddress ? line : addressPrefix(pos) + line);
    }
}

bool allowedInDisplay(std::uint8_t c) {
    if (c >= 0x20 && c <= 0x7E) return true;
    switch (c) {
        case 0xB0:
        case 0xC4:
        case 0xD6:
        case 0xDC:
        case 0xDF:
        case 0xE4:
        case 0xF6:
        case 0xFC:
            return true;
        default:
            return false;
    }
}

void toSink(std::string_view data, THexmonLineSink& sink, int bytesPerLine) {
    sink.beginUpdate();
    forEachLine(data, -1, bytesPerLine, false, [&](const std::string& line) { sink.appendLine(line); });
    sink.endUpdate();
}

}  // namespace

std::string THexmon::HexAsciiMonLine(std::string_view Zeichenkette, std::size_t Pos, int BytesPerLine) {
    return lineOf(Zeichenkette, Pos, BytesPerLine, false);
}

std::string THexmon::HexAsciiMonLine(const ByteString& Zeichenkette, std::size_t Pos, int BytesPerLine) {
    return lineOf(asView(Zeichenkette), Pos, BytesPerLine, false);
}

std::string THexmon::HexAsciiMonLineBuffer(const std::vector<std::uint8_t>& ByteBuffer, std::size_t Pos,
                                           int BytesPerLine) {
    return lineOf(asView(ByteBuffer), Pos, BytesPerLine, true);
}

std::string THexmon::HexAsciiMonLine(const void* p, std::size_t ByteCount, std::int64_t Offset,
                                     int BytesPerLine, bool PrintAbsoluteAddresses) {
    // The block holds ByteCount bytes; reading starts Offset bytes into it and
    // never runs past its end.
    if (p == nullptr || BytesPerLine <= 0) return {};
    const std::size_t start = Offset < 0 ? 0 : static_cast<std::size_t>(Offset);
    if (start >= ByteCount) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(p);
    const std::uint64_t base = PrintAbsoluteAddresses ? reinterpret_cast<std::uintptr_t>(p) : 0;
    const auto perLine = static_cast<std::size_t>(BytesPerLine);

    std::string out;
    for (std::size_t lineStart = start; lineStart < ByteCount; lineStart += perLine) {
        std::string hex;
        std::string ascii;
        for (std::size_t i = lineStart; i < lineStart + perLine; ++i) {
            if (i < ByteCount) {
                hex += ' ';
                appendHex(hex, bytes[i]);
                ascii += asciiColumn(bytes[i]);
            } else {
                hex += "   ";
            }
        }
        appendHexWidth(out, (base + lineStart) & 0xFFFFFFFFu, 8);
        out += "   " + hex + "  " + ascii;
        if (lineStart + perLine < ByteCount) out += "\r\n";
    }
    return out;
}

std::string THexmon::HexAsciiMonLines(std::string_view Zeichenkette, int BytesPerLine, bool SuppressAddress) {
    std::string out;
    forEachLine(Zeichenkette, -1, BytesPerLine, SuppressAddress, [&](const std::string& line) {
        out += line;
        out += "\r\n";
    });
    return out;
}

std::vector<std::string> THexmon::CreateHexAsciiMonLinesStringList(std::string_view Zeichenkette,
                                                                   int BytesPerLine, bool SuppressAddress) {
    return CreateHexAsciiMonLinesStringList(Zeichenkette, -1, BytesPerLine, SuppressAddress);
}

std::vector<std::string> THexmon::CreateHexAsciiMonLinesStringList(std::string_view Zeichenkette, int Lines,
                                                                   int BytesPerLine, bool SuppressAddress) {
    std::vector<std::string> out;
    forEachLine(Zeichenkette, Lines, BytesPerLine, SuppressAddress,
                [&](const std::string& line) { out.push_back(line); });
    return out;
}

void THexmon::HexAsciiMonLines(const TPrintMethod& PrintMethod, std::string_view Zeichenkette,
                               std::string_view Prefix, int BytesPerLine, bool SuppressAddress) {
    HexAsciiMonLines(PrintMethod, Zeichenkette, -1, Prefix, BytesPerLine, SuppressAddress);
}

void THexmon::HexAsciiMonLines(const TPrintMethod& PrintMethod, std::string_view Zeichenkette, int Lines,
                               std::string_view Prefix, int BytesPerLine, bool SuppressAddress) {
    if (!PrintMethod) return;
    forEachLine(Zeichenkette, Lines, BytesPerLine, SuppressAddress,
                [&](const std::string& line) { PrintMethod(std::string(Prefix) + line); });
}

void THexmon::HexAsciiMonMemo(std::string_view Zeichenkette, THexmonLineSink& EinMemo, int BytesPerLine) {
    toSink(Zeichenkette, EinMemo, BytesPerLine);
}

void THexmon::HexAsciiMonRichedit(std::string_view Zeichenkette, THexmonLineSink& RichEdit,
                                  int BytesPerLine) {
    toSink(Zeichenkette, RichEdit, BytesPerLine);
}

std::string THexmon::ShortenAndMaskAnsiString(std::string_view Data, int Shorten, bool ShortenInTheMiddle,
                                              bool ShowHexInsteadOfDot) {
    const std::size_t limit = Shorten < 0 ? 0 : static_cast<std::size_t>(Shorten);
    std::string text;
    if (limit >= Data.size()) {
        text = Data;
    } else if (ShortenInTheMiddle) {
        const std::size_t head = limit / 2;
        const std::size_t tail = head > 3 ? head - 3 : 0;
        text = std::string(Data.substr(0, head)) + "..." + std::string(Data.substr(Data.size() - tail));
    } else {
        text = Data.substr(0, limit);
        if (text.size() >= 3) text.replace(text.size() - 3, 3, "...");
    }

    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<std::uint8_t>(ch);
        if (allowedInDisplay(c)) {
            out += ch;
        } else if (ShowHexInsteadOfDot) {
            out += '[';
            appendHex(out, c);
            out += ']';
        } else {
            out += static_cast<char>(0xB4);
        }
    }
    return out;
}

}  // namespace korvane
