#include "sysex.h"

#include "texts.h"

namespace korvane {
namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

ByteString SequenceInNibbles(const ByteString& Sequenz) {
    ByteString out;
    out.reserve(Sequenz.size() * 2);
    for (std::uint8_t b : Sequenz) {
        out.push_back(static_cast<std::uint8_t>(b >> 4));
        out.push_back(static_cast<std::uint8_t>(b & 0x0F));
    }
    return out;
}

ByteString Checksum(const ByteString& Sequenz) {
    unsigned sum = 0;
    for (std::uint8_t b : Sequenz) sum += b;
    return ByteString{static_cast<std::uint8_t>((256 - (sum % 256)) & 0xFF)};
}

std::uint8_t GetHigh(std::int32_t Wort) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(Wort) & 0xFFFFu) >> 8);
}

std::uint8_t GetLow(std::int32_t Wort) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(Wort) & 0xFFu);
}

std::uint8_t ModeToInt(int mode) {
    switch (mode) {
        case 1:
            return 14;  // 14-bit analog
        case 2:
            return 7;  // 7-bit analog
        case 3:
            return 1;  // button or digital up/down
        case 4:
            return 2;  // jog-wheel position
        default:
            return 0;
    }
}

std::string invalidHexTextMessage(std::string_view wholeText, std::string_view language) {
    return textWith("transfer.invalidHexText", language, wholeText);
}

std::optional<ByteString> ParseHexText(std::string_view text) {
    ByteString out;
    bool expectLow = false;
    bool error = false;
    int high = 0;
    for (char c : text) {
        const int v = hexDigitValue(c);
        if (!expectLow) {
            if (v >= 0) {
                high = v * 16;
                expectLow = true;
            }
        } else if (v >= 0) {
            out.push_back(static_cast<std::uint8_t>((high + v) % 256));
            expectLow = false;
        } else {
            // The digit pair was split: the text is not what the user meant,
            // so the whole result is void.
            error = true;
        }
    }
    if (error) return std::nullopt;
    return out;
}

ByteString StrInSequence(std::string_view text, HexTextReport* report) {
    auto parsed = ParseHexText(text);
    if (!parsed) {
        if (report) report->invalidHexText(text);
        return {};
    }
    return std::move(*parsed);
}

ByteString CommandPacket(std::uint8_t command) {
    return ByteString{sysex::kStart, sysex::kManufacturer, command, sysex::kEnd};
}

ByteString BuildDataPacket(std::uint8_t command, const ByteString& payload) {
    ByteString packet{sysex::kStart, sysex::kManufacturer, command};
    packet.reserve(payload.size() * 2 + 6);
    const ByteString body = SequenceInNibbles(payload);
    packet.insert(packet.end(), body.begin(), body.end());
    const ByteString sum = SequenceInNibbles(Checksum(payload));
    packet.insert(packet.end(), sum.begin(), sum.end());
    packet.push_back(sysex::kEnd);
    return packet;
}

DecodedPacket DecodeDataPacket(const ByteString& packet) {
    DecodedPacket result;
    // Smallest data packet: frame of four bytes plus the checksum's two nibbles.
    if (packet.size() < 6 || packet.front() != sysex::kStart || packet[1] != sysex::kManufacturer ||
        packet.back() != sysex::kEnd) {
        result.fault = PacketFault::Frame;
        return result;
    }
    result.command = packet[2];
    const std::size_t bodyLength = packet.size() - 4;
    if (bodyLength % 2 != 0) {
        result.fault = PacketFault::OddBody;
        return result;
    }
    ByteString bytes;
    bytes.reserve(bodyLength / 2);
    for (std::size_t i = 3; i < 3 + bodyLength; i += 2) {
        const std::uint8_t hi = packet[i];
        const std::uint8_t lo = packet[i + 1];
        if (hi > 0x0F || lo > 0x0F) {
            result.fault = PacketFault::NibbleRange;
            return result;
        }
        bytes.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
    }
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    if (sum % 256 != 0) {
        result.fault = PacketFault::Checksum;
        return result;
    }
    bytes.pop_back();  // the checksum byte itself
    result.payload = std::move(bytes);
    return result;
}

std::string_view describeFault(PacketFault fault) {
    switch (fault) {
        case PacketFault::None:
            return "ok";
        case PacketFault::Frame:
            return "bad frame";
        case PacketFault::OddBody:
            return "odd number of body bytes";
        case PacketFault::NibbleRange:
            return "body byte above 0x0F";
        case PacketFault::Checksum:
            return "checksum mismatch";
    }
    return "unknown";
}

bool IsVersionReply(const ByteString& message) {
    return message.size() == sysex::kVersionReplyLength && message[0] == sysex::kStart &&
           message[1] == sysex::kManufacturer && message[2] == sysex::kCmdVersionReply &&
           message[7] == sysex::kEnd;
}

std::string VersionText(const ByteString& message) {
    if (!IsVersionReply(message)) return {};
    auto digit = [](std::uint8_t d) { return static_cast<char>(static_cast<std::uint8_t>(d + 0x30)); };
    std::string text;
    text += digit(message[3]);
    text += digit(message[4]);
    text += '.';
    text += digit(message[5]);
    text += digit(message[6]);
    return text;
}

ByteString MakeVersionReply(std::string_view versionText) {
    auto at = [&](std::size_t i) -> std::uint8_t {
        const char c = i < versionText.size() ? versionText[i] : '0';
        // Keep the digit inside the data byte range so the reply stays a valid SysEx.
        return static_cast<std::uint8_t>((static_cast<std::uint8_t>(c) - 0x30) & 0x7F);
    };
    return ByteString{sysex::kStart, sysex::kManufacturer, sysex::kCmdVersionReply, at(0), at(1), at(3),
                      at(4),         sysex::kEnd};
}

std::string HexBytes(const ByteString& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace korvane
