#pragma once
// How the RtMidi backend judges what RtMidi reports through its error
// callback while the program waits for one of its calls.

#include <rtmidi/RtMidi.h>

namespace korvane {

// Whether a report of this type, made during an open (sending false) or a
// send (sending true), means that the call failed. RtMidi reports a message
// the MIDI system refused to take (ALSA) only as a warning, so while sending
// a warning is a failure too; debug warnings never are.
bool rtMidiReportFailsCall(RtMidiError::Type type, bool sending);

}  // namespace korvane
