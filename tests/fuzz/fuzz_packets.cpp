// What comes back from the device: data packets (a dump being read back) and
// the version reply that doubles as acknowledgement.

#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "sysex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const korvane::ByteString bytes(data, data + size);

    const korvane::DecodedPacket decoded = korvane::DecodeDataPacket(bytes);
    (void)korvane::describeFault(decoded.fault);
    if (decoded.fault == korvane::PacketFault::None) {
        FUZZ_CHECK(korvane::BuildDataPacket(decoded.command, decoded.payload) == bytes,
                   "an accepted packet is exactly what its payload builds");
    }
    // Any payload built goes through the decoder unchanged.
    const std::uint8_t command = size > 0 ? data[0] : 0;
    const korvane::DecodedPacket back = korvane::DecodeDataPacket(korvane::BuildDataPacket(command, bytes));
    FUZZ_CHECK(back.fault == korvane::PacketFault::None && back.command == command && back.payload == bytes,
               "a built packet decodes to its payload");

    const bool reply = korvane::IsVersionReply(bytes);
    const std::string version = korvane::VersionText(bytes);
    FUZZ_CHECK(reply == !version.empty(), "only a version reply has a version text");
    // Inside a SysEx only data bytes (below 80) can arrive; for those the
    // text says all there is to say about the reply.
    if (reply && bytes[3] < 0x80 && bytes[4] < 0x80 && bytes[5] < 0x80 && bytes[6] < 0x80) {
        FUZZ_CHECK(korvane::MakeVersionReply(version) == bytes,
                   "a version reply is made again from its text");
    }
    (void)korvane::HexBytes(bytes);
    return 0;
}
