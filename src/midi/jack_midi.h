#pragma once
// MIDI over JACK, spoken to the JACK library directly.
//
// The service's other systems go through RtMidi. For JACK the program keeps
// the order of calls in its own hands, because the JACK library walks a
// client's port list on its notification thread without a lock: registering
// or unregistering a port while the client is active races with a latency
// notification (another program starting, stopping or connecting) and can
// crash. So a port here is registered before its client is activated and is
// never unregistered: closing deactivates the client and closes it whole.
// Looking at the ports takes a client that is never activated, so a look
// does not stir the other programs' clients either.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi_service.h"

namespace korvane::jackmidi {

// Receives what the JACK library tells later (the server shut down). Called
// on the library's thread.
using Report = std::function<void(const std::string& message)>;

// Full names ("client:port") of the MIDI ports of the running server that a
// port of ours could connect to: sources (ports that send, for an input of
// ours) or destinations. Empty when no server runs.
std::vector<std::string> listPorts(const std::string& clientName, bool sources);

// Opens a client named clientName with one port named portName and connects
// it to the port named peer; an empty peer leaves the port for others to
// connect to (a virtual port), and the connection's name() is then the full
// name others see, which JACK may have made unique ("client-01:port").
std::unique_ptr<MidiInputConnection> openInput(const std::string& clientName, const std::string& portName,
                                               const std::string& peer, MidiInputCallback callback,
                                               Report report, std::string& error);
std::unique_ptr<MidiOutputConnection> openOutput(const std::string& clientName, const std::string& portName,
                                                 const std::string& peer, Report report, std::string& error);

// Whether a JACK server answers right now.
bool serverAlive();

}  // namespace korvane::jackmidi
