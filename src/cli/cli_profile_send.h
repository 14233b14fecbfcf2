#pragma once
// korvane profile-send MOTORDOC PROFILE --out NAME --in NAME [--commit] [--verbose]
//
// Sends the nine fader curves of one stored motor profile to the device, a
// pause after each, as the motor profile editor does; with --commit the
// device then stores them permanently.

namespace korvane::cli {

// argv[1] is "profile-send". Returns the tool's exit code.
int runProfileSend(int argc, char** argv);

}  // namespace korvane::cli
