#pragma once
// Classic hex-and-ASCII dump lines of byte strings, and shortening/masking of
// texts for display. Stateless: every operation is a static function.
//
// Output text is 8-bit (code page 1252): a byte from 0x20 up shows as the
// character with that code in the ASCII column, so a Qt caller converts the
// lines with QString::fromLatin1 (or a 1252 codec) before showing them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sysex.h"

namespace korvane {

// Receives whole lines; used by the memo and rich-text forms. beginUpdate and
// endUpdate bracket all lines of one call so that a text control repaints once.
class THexmonLineSink {
public:
    virtual ~THexmonLineSink() = default;
    virtual void beginUpdate() = 0;
    virtual void appendLine(const std::string& line) = 0;
    virtual void endUpdate() = 0;
};

// Takes one text line (the callback forms).
using TPrintMethod = std::function<void(const std::string&)>;

class THexmon {
public:
    // Reference line: hex part (bytes separated by one blank), two blanks,
    // ASCII part; padded to BytesPerLine columns. Empty when Pos >= length.
    static std::string HexAsciiMonLine(std::string_view Zeichenkette, std::size_t Pos, int BytesPerLine);
    static std::string HexAsciiMonLine(const ByteString& Zeichenkette, std::size_t Pos, int BytesPerLine);

    // Dynamic byte array form: as the reference line, but every hex byte,
    // the first included, is preceded by one blank.
    static std::string HexAsciiMonLineBuffer(const std::vector<std::uint8_t>& ByteBuffer, std::size_t Pos,
                                             int BytesPerLine);

    // Memory block form: lines "AAAAAAAA   hh hh ..  ascii" ended by CR LF,
    // the last (padded) line without CR LF. Offset < 0 counts as 0. With
    // PrintAbsoluteAddresses the address base is p itself, else 0.
    static std::string HexAsciiMonLine(const void* p, std::size_t ByteCount, std::int64_t Offset,
                                       int BytesPerLine, bool PrintAbsoluteAddresses);

    // All lines, each ended by CR LF; unless SuppressAddress each line is
    // prefixed with its offset as four hex digits and three blanks.
    static std::string HexAsciiMonLines(std::string_view Zeichenkette, int BytesPerLine,
                                        bool SuppressAddress);

    // The same lines as a list, at most Lines lines (-1: no limit).
    static std::vector<std::string> CreateHexAsciiMonLinesStringList(std::string_view Zeichenkette,
                                                                     int BytesPerLine, bool SuppressAddress);
    static std::vector<std::string> CreateHexAsciiMonLinesStringList(std::string_view Zeichenkette, int Lines,
                                                                     int BytesPerLine, bool SuppressAddress);

    // Calls PrintMethod(Prefix + line) for each line; nothing if PrintMethod is empty.
    static void HexAsciiMonLines(const TPrintMethod& PrintMethod, std::string_view Zeichenkette,
                                 std::string_view Prefix, int BytesPerLine, bool SuppressAddress);
    static void HexAsciiMonLines(const TPrintMethod& PrintMethod, std::string_view Zeichenkette, int Lines,
                                 std::string_view Prefix, int BytesPerLine, bool SuppressAddress);

    // Appends the addressed lines to a text control in one batched update.
    static void HexAsciiMonMemo(std::string_view Zeichenkette, THexmonLineSink& EinMemo, int BytesPerLine);
    static void HexAsciiMonRichedit(std::string_view Zeichenkette, THexmonLineSink& RichEdit,
                                    int BytesPerLine);

    // Shortens Data to Shorten characters ("..." at the end or in the middle)
    // and masks characters outside printable ASCII and a few German letters:
    // as "[hh]" with ShowHexInsteadOfDot, else as 0xB4.
    static std::string ShortenAndMaskAnsiString(std::string_view Data, int Shorten, bool ShortenInTheMiddle,
                                                bool ShowHexInsteadOfDot);
};

}  // namespace korvane
