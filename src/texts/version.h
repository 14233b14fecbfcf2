#pragma once
// The program's version as the build knows it (the project version of the
// CMake files), shared by every executable's --version.

#include <string_view>

namespace korvane {

#ifndef KORVANE_VERSION
#error "KORVANE_VERSION comes from the build (korvane_texts)"
#endif
inline constexpr std::string_view kVersion = KORVANE_VERSION;

}  // namespace korvane
