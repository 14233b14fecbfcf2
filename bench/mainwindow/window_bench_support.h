#pragma once
// What the window benchmarks share: a temporary home for the data folder
// and the settings, the offscreen platform unless another is asked for, no
// box that waits for a user, and the large library in the data folder.

#include <functional>

namespace korvane::bench {

// Writes 1000 configurations of 64 assignments and 10 000 messages (in 100
// groups) as the working document of the editor's data folder.
void writeLargeLibrary();

// Runs the benchmarks given on the command line inside a QApplication.
// beforeExit runs while the application object still exists (windows kept
// between benchmarks go there). Returns the program's exit code.
int runWindowBenchmarks(int argc, char** argv, const std::function<void()>& beforeExit = {});

}  // namespace korvane::bench
