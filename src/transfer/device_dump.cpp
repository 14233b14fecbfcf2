#include "device_dump.h"

#include <algorithm>
#include <set>

namespace korvane {

std::uint8_t dumpCommand(DumpKind kind) {
    return kind == DumpKind::Configuration ? sysex::kCmdRequestConfig : sysex::kCmdRequestProfiles;
}

int dumpMaxIndex(DumpKind kind) { return kind == DumpKind::Configuration ? 63 : 8; }

namespace {

std::uint8_t sendCommand(DumpKind kind) {
    return kind == DumpKind::Configuration ? sysex::kCmdConfigPacket : sysex::kCmdMotorProfile;
}

// The echo format: stored packets with the request's command byte, then the
// bare request frame.
class EchoDumpReader : public DumpReader {
public:
    explicit EchoDumpReader(DumpKind kind) { dump_.kind = kind; }

    Step feed(const ByteString& message) override {
        if (done_) return *done_;
        // The version reply is the device's acknowledgement and may still be
        // on its way from an earlier query; it is no part of any dump.
        if (IsVersionReply(message)) return Step::NeedMore;
        if (++messages_ > kMaxDumpMessages) return refuse("more messages than any dump can hold");
        const std::uint8_t command = dumpCommand(dump_.kind);
        if (message.size() < 4 || message[0] != sysex::kStart || message[1] != sysex::kManufacturer ||
            message.back() != sysex::kEnd)
            return refuse("a message that is not one of the device's: " + HexBytes(message));
        if (message[2] != command) return refuse("a message with another command: " + HexBytes(message));
        if (message.size() == 4) return finish(Step::Complete);

        const DecodedPacket decoded = DecodeDataPacket(message);
        DumpPacket packet;
        packet.packet = message;
        if (decoded.fault == PacketFault::Checksum) {
            // The bytes are nibbles but their sum is off: a packet damaged on
            // the way (or in the device's memory). It is kept to be reported
            // by element; its element number is read as it stands.
            packet.fault = PacketFault::Checksum;
            packet.index = (message[3] << 4) | message[4];
            if (packet.index > dumpMaxIndex(dump_.kind)) packet.index = -1;
            dump_.packets.push_back(std::move(packet));
            return Step::NeedMore;
        }
        if (decoded.fault != PacketFault::None)
            return refuse(std::string("a packet that is not a data packet (") +
                          std::string(describeFault(decoded.fault)) + "): " + HexBytes(message));
        if (decoded.payload.empty()) return refuse("a packet without payload: " + HexBytes(message));
        packet.index = decoded.payload[0];
        if (packet.index > dumpMaxIndex(dump_.kind))
            return refuse("a packet for index " + std::to_string(packet.index) + ": " + HexBytes(message));
        if (!seen_.insert(packet.index).second)
            return refuse("two packets for index " + std::to_string(packet.index));
        packet.payload = decoded.payload;
        dump_.packets.push_back(std::move(packet));
        return Step::NeedMore;
    }

    const DeviceDump& dump() const override { return dump_; }
    const std::string& problem() const override { return problem_; }

private:
    Step refuse(std::string why) {
        problem_ = std::move(why);
        return finish(Step::NotRecognised);
    }
    Step finish(Step step) {
        done_ = step;
        return step;
    }

    DeviceDump dump_;
    std::set<int> seen_;
    int messages_ = 0;
    std::string problem_;
    std::optional<Step> done_;
};

}  // namespace

std::vector<ByteString> DeviceDump::sendablePackets() const {
    std::vector<ByteString> out;
    for (const auto& p : packets) {
        if (!p.ok()) continue;
        ByteString copy = p.packet;
        copy[2] = sendCommand(kind);
        out.push_back(std::move(copy));
    }
    return out;
}

int DeviceDump::faultyCount() const {
    return static_cast<int>(
        std::count_if(packets.begin(), packets.end(), [](const auto& p) { return !p.ok(); }));
}

std::unique_ptr<DumpReader> makeDumpReader(DumpKind kind) { return std::make_unique<EchoDumpReader>(kind); }

DumpReader::Step readDump(DumpKind kind, const std::vector<ByteString>& messages, DeviceDump& out,
                          std::string* problem) {
    auto reader = makeDumpReader(kind);
    DumpReader::Step step = DumpReader::Step::NeedMore;
    for (const auto& m : messages) {
        step = reader->feed(m);
        if (step != DumpReader::Step::NeedMore) break;
    }
    out = reader->dump();
    if (problem) *problem = reader->problem();
    return step;
}

int ConfigComparison::differing() const {
    int n = unplacedFaults;
    for (ElementState s : states)
        if (s != ElementState::Unassigned && s != ElementState::Same) ++n;
    return n;
}

ConfigComparison compareWithDevice(const std::vector<ByteString>& libraryPackets, const DeviceDump& dump) {
    ConfigComparison result;
    result.states.fill(ElementState::Unassigned);
    std::array<const ByteString*, 64> library{};
    std::array<const ByteString*, 64> device{};
    for (const auto& packet : libraryPackets) {
        const DecodedPacket d = DecodeDataPacket(packet);
        if (d.fault != PacketFault::None || d.payload.empty() || d.payload[0] > 63) continue;
        library[d.payload[0]] = &packet;
    }
    std::array<bool, 64> faulty{};
    for (const auto& p : dump.packets) {
        if (!p.ok()) {
            if (p.index >= 0 && p.index < 64)
                faulty[static_cast<std::size_t>(p.index)] = true;
            else
                ++result.unplacedFaults;
            continue;
        }
        device[static_cast<std::size_t>(p.index)] = &p.packet;
    }
    for (std::size_t n = 0; n < 64; ++n) {
        const ByteString* lib = library[n];
        const ByteString* dev = device[n];
        ElementState& s = result.states[n];
        if (faulty[n]) {
            s = ElementState::Faulty;
        } else if (lib && dev) {
            // Equal apart from the command byte, which the dump replaces.
            const bool same =
                lib->size() == dev->size() && std::equal(lib->begin() + 3, lib->end(), dev->begin() + 3);
            s = same ? ElementState::Same : ElementState::Different;
        } else if (lib) {
            s = ElementState::OnlyInLibrary;
        } else if (dev) {
            s = ElementState::OnlyOnDevice;
        }
    }
    return result;
}

}  // namespace korvane
