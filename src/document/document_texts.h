#pragma once
// Filling the document part's user texts, some of which carry several values.

#include <initializer_list>
#include <string>
#include <string_view>

namespace korvane::detail {

// The text for key with each "%s" replaced by the next value, in order.
std::string fillText(std::string_view key, std::string_view language,
                     std::initializer_list<std::string_view> values);

}  // namespace korvane::detail
