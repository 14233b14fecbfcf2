#pragma once
// The simulated device: what the surface does with every message it receives,
// with time given from outside (milliseconds of any monotonic clock), so that
// tests drive it with a fake clock and the simulator program with the real one.
//
// Behaviour:
//   - Version query F0 7D 07 F7: answered with the version reply, after the
//     reply delay, unless the device is busy (storing or restarting): a busy
//     device does not listen, so queries and packets arriving then are lost
//     and the host has to ask again. --ignore-queries N drops the first N
//     queries after every packet or command to it (other than the query), FF included.
//   - 0x01 and 0x04 data packets: frame, nibbles and checksum are checked; a
//     bad packet is logged, counted as rejected and not kept. Good ones are
//     kept as received (unsaved) data, one per element / fader; a later packet
//     for the same element replaces the earlier one.
//   - 0x03: the received configuration replaces the stored one; busy for the
//     store time. 0x05: received motor profiles are stored; busy likewise.
//   - FF: restart; received but unsaved data is forgotten; busy for the reset time.
//   - 0x02 / 0x06: a dump of what is stored: every stored packet sent back
//     with the command byte replaced by 0x02 / 0x06 (body and checksum as
//     received), then the end marker F0 7D 02 F7 / F0 7D 06 F7.
//   - Control Change 7 on channels 1..9 moves fader 1..9 to the value.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sysex.h"

namespace korvane {

struct DeviceOptions {
    std::string version = "03.04";
    bool noReply = false;
    int ignoreQueries = 0;
    int replyDelayMs = 0;
    int storeMs = 100;
    int resetMs = 500;
    // Off: a dump ends without its end marker (for testing read-back time-outs).
    bool dumpEndMarker = true;
};

class KorvaneDevice {
public:
    using LogSink = std::function<void(const std::string& line)>;

    explicit KorvaneDevice(DeviceOptions options, LogSink log = {});

    // One complete MIDI message received at nowMs.
    void receive(const ByteString& message, std::int64_t nowMs);
    // Messages whose time has come (at or before nowMs), in order.
    std::vector<ByteString> takeDue(std::int64_t nowMs);
    // When the next message falls due, if one is pending.
    std::optional<std::int64_t> nextDueMs() const;

    // True once after each store or restart: the host writes the state file.
    bool takeStateChanged();
    // The state as one JSON object (see the simulator's --help).
    std::string stateJson() const;

    bool busy(std::int64_t nowMs) const { return nowMs < busyUntilMs_; }
    const std::map<int, ByteString>& storedConfiguration() const { return configuration_; }
    const std::map<int, ByteString>& storedProfiles() const { return profiles_; }
    const std::map<int, ByteString>& receivedConfiguration() const { return receivedConfig_; }
    int stores() const { return stores_; }
    int profileStores() const { return profileStores_; }
    int resets() const { return resets_; }
    int rejected() const { return rejected_; }
    int faderValue(int fader) const { return faders_.at(static_cast<std::size_t>(fader)); }

private:
    void handleSysEx(const ByteString& message, std::int64_t nowMs);
    void handleDataPacket(const ByteString& message);
    void queue(ByteString message, std::int64_t dueMs);
    void dump(const std::map<int, ByteString>& stored, std::uint8_t command, std::int64_t nowMs);
    void log(const std::string& line) const;

    DeviceOptions options_;
    LogSink log_;
    std::int64_t busyUntilMs_ = 0;
    int queriesToIgnore_ = 0;
    std::map<int, ByteString> receivedConfig_;
    std::map<int, ByteString> configuration_;
    std::map<int, ByteString> receivedProfiles_;
    std::map<int, ByteString> profiles_;
    std::vector<std::pair<std::int64_t, ByteString>> outgoing_;  // sorted by due time
    std::array<int, 9> faders_{};
    int stores_ = 0;
    int profileStores_ = 0;
    int resets_ = 0;
    int rejected_ = 0;
    bool stateChanged_ = false;
};

}  // namespace korvane
