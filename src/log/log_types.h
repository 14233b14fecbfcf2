#pragma once
// Levels, time formats, destinations and the small platform helpers shared
// by the log facade and its writer threads.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

// A line is written when its level is at least the threshold of its file.
enum TVerboseLevel : std::uint16_t {
    vlDebug = 0,
    vlVerbose = 1,
    vlSuccess = 2,
    vlInfo = 3,
    vlImportant = 4,
    vlWarning = 5,
    vlError = 6,
    vlCritical = 7,
    // Only a threshold: keeps every line out of the file.
    vlNeverWriteToLogfile = 8,
};

enum TTimeFormat : std::uint16_t {
    tfDateTime = 0,
    tfTime = 1,
    tfSeconds = 2,
    tfTimeAndSeconds = 3,
    tfDateTimeAndSeconds = 4,
};

enum TLogfileDestination : int {
    ldAppFolder = 0,   // the per-machine data folder
    ldUserFolder = 1,  // the user's own application data folder
};

// The nine-character tag written for a level; empty for the threshold-only
// value and anything out of range.
std::string_view levelTag(TVerboseLevel level);

// The platform's id of the calling thread (the kernel's thread id on Linux),
// as written into the thread labels.
using TThreadID = std::uint32_t;
TThreadID currentThreadId();

// Names the calling thread for debuggers and system tools. Linux keeps only
// the first 15 bytes of the name.
void setCurrentThreadName(const char* name);

// Readings of the high-resolution counter and its frequency.
std::int64_t perfCounter();
std::int64_t perfFrequency();

// The folder that a destination stands for, without company or program
// parts: on Linux $XDG_DATA_HOME, or ~/.local/share when that is unset or
// empty.
std::filesystem::path destinationFolder(TLogfileDestination destination);

// A UTF-8 text as a path, on every platform.
std::filesystem::path utf8Path(std::string_view text);
// A path as UTF-8 text.
std::string pathUtf8(const std::filesystem::path& path);

// Number of characters (code points) in a UTF-8 text.
std::size_t utf8Length(std::string_view text);

// 8-bit Windows-1252 text (what the device side of the program hands over as
// "ANSI" text) converted to UTF-8.
std::string ansiToUtf8(std::string_view text);

}  // namespace korvane
