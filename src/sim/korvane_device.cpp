#include "korvane_device.h"

#include <algorithm>
#include <utility>

namespace korvane {
namespace {

std::string jsonPackets(const std::map<int, ByteString>& packets) {
    std::string out = "[";
    bool first = true;
    for (const auto& [key, packet] : packets) {
        out += first ? "\n    \"" : ",\n    \"";
        out += HexBytes(packet) + "\"";
        first = false;
    }
    out += first ? "]" : "\n  ]";
    return out;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "\\u00";
            out += kDigits[u >> 4];
            out += kDigits[u & 0x0F];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

KorvaneDevice::KorvaneDevice(DeviceOptions options, LogSink log)
    : options_(std::move(options)), log_(std::move(log)) {}

void KorvaneDevice::log(const std::string& line) const {
    if (log_) log_(line);
}

void KorvaneDevice::queue(ByteString message, std::int64_t dueMs) {
    auto it = std::upper_bound(outgoing_.begin(), outgoing_.end(), dueMs,
                               [](std::int64_t t, const auto& entry) { return t < entry.first; });
    outgoing_.insert(it, {dueMs, std::move(message)});
}

void KorvaneDevice::receive(const ByteString& message, std::int64_t nowMs) {
    if (message.empty()) return;
    if (busy(nowMs)) {
        log("busy, ignored: " + HexBytes(message));
        return;
    }
    const std::uint8_t status = message[0];
    if (status == sysex::kReset && message.size() == 1) {
        // A restart forgets what was received but not stored.
        receivedConfig_.clear();
        receivedProfiles_.clear();
        outgoing_.clear();
        ++resets_;
        busyUntilMs_ = nowMs + options_.resetMs;
        queriesToIgnore_ = options_.ignoreQueries;
        stateChanged_ = true;
        log("restart");
        return;
    }
    if (status == sysex::kStart) {
        handleSysEx(message, nowMs);
        return;
    }
    if ((status & 0xF0) == 0xB0 && message.size() == 3 && message[1] == 7 && (status & 0x0F) < 9) {
        faders_[status & 0x0F] = message[2];
        log("fader " + std::to_string((status & 0x0F) + 1) + " -> " + std::to_string(message[2]));
        return;
    }
    // Anything else (notes, other controllers, clock) means nothing to the surface.
}

void KorvaneDevice::handleSysEx(const ByteString& message, std::int64_t nowMs) {
    if (message.size() < 4 || message[1] != sysex::kManufacturer || message.back() != sysex::kEnd) {
        log("foreign SysEx ignored: " + HexBytes(message));
        return;
    }
    const std::uint8_t command = message[2];
    if (command == sysex::kCmdVersionQuery && message.size() == 4) {
        if (options_.noReply) return;
        if (queriesToIgnore_ > 0) {
            --queriesToIgnore_;
            log("version query ignored");
            return;
        }
        queue(MakeVersionReply(options_.version), nowMs + options_.replyDelayMs);
        return;
    }

    queriesToIgnore_ = options_.ignoreQueries;
    switch (command) {
        case sysex::kCmdConfigPacket:
        case sysex::kCmdMotorProfile:
            handleDataPacket(message);
            break;
        case sysex::kCmdStoreConfig:
            configuration_ = receivedConfig_;
            ++stores_;
            busyUntilMs_ = nowMs + options_.storeMs;
            stateChanged_ = true;
            log("configuration stored (" + std::to_string(configuration_.size()) + " elements)");
            break;
        case sysex::kCmdStoreProfiles:
            for (const auto& [fader, packet] : receivedProfiles_) profiles_[fader] = packet;
            ++profileStores_;
            busyUntilMs_ = nowMs + options_.storeMs;
            stateChanged_ = true;
            log("motor profiles stored (" + std::to_string(profiles_.size()) + " faders)");
            break;
        case sysex::kCmdRequestConfig:
            dump(configuration_, sysex::kCmdRequestConfig, nowMs);
            break;
        case sysex::kCmdRequestProfiles:
            dump(profiles_, sysex::kCmdRequestProfiles, nowMs);
            break;
        default:
            log("unknown command ignored: " + HexBytes(message));
            break;
    }
}

void KorvaneDevice::handleDataPacket(const ByteString& message) {
    const DecodedPacket decoded = DecodeDataPacket(message);
    if (decoded.fault != PacketFault::None || decoded.payload.empty()) {
        ++rejected_;
        const std::string_view why = decoded.fault == PacketFault::None ? std::string_view("empty payload")
                                                                        : describeFault(decoded.fault);
        log("rejected packet (" + std::string(why) + "): " + HexBytes(message));
        return;
    }
    const int index = decoded.payload[0];
    if (decoded.command == sysex::kCmdConfigPacket) {
        if (index > 63) {
            ++rejected_;
            log("rejected packet (element number " + std::to_string(index) + "): " + HexBytes(message));
            return;
        }
        receivedConfig_[index] = message;
    } else {
        if (index > 8) {
            ++rejected_;
            log("rejected packet (fader index " + std::to_string(index) + "): " + HexBytes(message));
            return;
        }
        receivedProfiles_[index] = message;
    }
}

void KorvaneDevice::dump(const std::map<int, ByteString>& stored, std::uint8_t command, std::int64_t nowMs) {
    const std::int64_t due = nowMs + options_.replyDelayMs;
    for (const auto& [key, packet] : stored) {
        ByteString copy = packet;
        copy[2] = command;
        queue(std::move(copy), due);
    }
    if (options_.dumpEndMarker) queue(CommandPacket(command), due);
}

std::vector<ByteString> KorvaneDevice::takeDue(std::int64_t nowMs) {
    std::vector<ByteString> due;
    auto end =
        std::find_if(outgoing_.begin(), outgoing_.end(), [&](const auto& e) { return e.first > nowMs; });
    for (auto it = outgoing_.begin(); it != end; ++it) due.push_back(std::move(it->second));
    outgoing_.erase(outgoing_.begin(), end);
    return due;
}

std::optional<std::int64_t> KorvaneDevice::nextDueMs() const {
    if (outgoing_.empty()) return std::nullopt;
    return outgoing_.front().first;
}

bool KorvaneDevice::takeStateChanged() { return std::exchange(stateChanged_, false); }

std::string KorvaneDevice::stateJson() const {
    std::string out = "{\n";
    out += "  \"version\": " + jsonString(options_.version) + ",\n";
    out += "  \"configuration\": " + jsonPackets(configuration_) + ",\n";
    out += "  \"motorprofiles\": " + jsonPackets(profiles_) + ",\n";
    out += "  \"stores\": " + std::to_string(stores_) + ",\n";
    out += "  \"profile_stores\": " + std::to_string(profileStores_) + ",\n";
    out += "  \"resets\": " + std::to_string(resets_) + ",\n";
    out += "  \"rejected\": " + std::to_string(rejected_) + "\n";
    out += "}\n";
    return out;
}

}  // namespace korvane
