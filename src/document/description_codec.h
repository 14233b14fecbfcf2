#pragma once
// The description of a configuration is kept in one attribute: the lines are
// joined with "#", and a line that holds a double quote, a "#" or a character
// with a code from 1 to 32 is enclosed in double quotes (inner quotes doubled).

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Lines -> attribute text. Exactly one empty line becomes "\"\"", no lines at
// all become an empty text.
std::string encodeDescription(const std::vector<std::string>& lines);

// Attribute text -> lines. Reads what encodeDescription writes back to the same
// lines, and tolerates hand-written text: an unquoted field ends at a "#" or at
// any character with a code from 1 to 32, so "a b" reads as two lines.
std::vector<std::string> decodeDescription(std::string_view text);

}  // namespace korvane
