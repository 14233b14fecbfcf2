#pragma once
// korvane fetch / korvane compare: reading the device back from the command line.
//
//   korvane fetch --out NAME --in NAME
//       prints the device's stored configuration packets, one per line, in
//       the form "korvane encode" prints them (command byte 01), so the two
//       outputs can be compared line by line.
//   korvane fetch --motor --out NAME --in NAME
//       the same for the device's motor profiles (command byte 04, as
//       "korvane profile-send" sends them); exit 7 when they are not the nine
//       packets of one profile.
//   korvane compare DOCUMENT CONFIGURATION --out NAME --in NAME
//       prints each element that differs, then one summary line; exit 0 when
//       the device holds the configuration, 6 when it does not.

#include <string>

namespace korvane::cli {

// Exit codes beyond those of encode and send.
inline constexpr int kDifferent = 6;
inline constexpr int kDumpNotRecognised = 7;

int cmdFetch(int argc, char** argv, const std::string& outName, const std::string& inName, bool verbose,
             bool motorProfiles);
int cmdCompare(int argc, char** argv, const std::string& documentPath, const std::string& configuration,
               const std::string& outName, const std::string& inName, bool verbose);

}  // namespace korvane::cli
