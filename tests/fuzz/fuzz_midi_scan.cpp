// The scanner that cuts what the MIDI driver hands over into messages; it
// runs on the driver's thread on whatever the device or a stray program
// sends.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "midi_service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::size_t dataBytesOut = 0;
    bool inSysex = false;
    korvane::scanMidiMessages(bytes, [&](const korvane::MidiPiece& p) {
        if (p.isShort) {
            FUZZ_CHECK(p.shortLength >= 1 && p.shortLength <= 3, "a short message has one to three bytes");
            FUZZ_CHECK(p.shortBytes[0] >= 0x80, "a short message starts with a status byte");
            FUZZ_CHECK(p.shortLength <= korvane::shortMessageLength(p.shortBytes[0]),
                       "no more data bytes than the status takes");
            for (std::size_t i = 1; i < p.shortLength; ++i) {
                FUZZ_CHECK(p.shortBytes[i] < 0x80, "data bytes are below 80");
                ++dataBytesOut;
            }
            return;
        }
        FUZZ_CHECK(
            p.sysex.empty() || (p.sysex.data() >= data && p.sysex.data() + p.sysex.size() <= data + size),
            "a SysEx run lies inside the bytes");
        FUZZ_CHECK(p.sysexBegins != inSysex, "SysEx runs begin and end in pairs");
        inSysex = !p.sysexEnds;
        for (std::size_t i = 0; i < p.sysex.size(); ++i) {
            const std::uint8_t b = p.sysex[i];
            const bool opening = p.sysexBegins && i == 0;
            const bool closing = p.sysexEnds && i + 1 == p.sysex.size();
            FUZZ_CHECK(b < 0x80 || (opening && b == 0xF0) || (closing && b == 0xF7),
                       "a SysEx run holds data bytes between its F0 and F7");
            if (b < 0x80) ++dataBytesOut;
        }
        FUZZ_CHECK(!p.sysexBegins || (!p.sysex.empty() && p.sysex[0] == 0xF0), "a SysEx begins with F0");
    });
    FUZZ_CHECK(!inSysex, "every SysEx is ended");
    std::size_t dataBytesIn = 0;
    for (std::uint8_t b : bytes) dataBytesIn += b < 0x80 ? 1 : 0;
    FUZZ_CHECK(dataBytesOut <= dataBytesIn, "no data byte is handed out twice");

    const auto messages = korvane::splitMidiMessages(bytes);
    for (const auto& m : messages) FUZZ_CHECK(!m.empty(), "no empty message is split off");
    return 0;
}
