#include "device_dump.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// A stored configuration packet of element n as the device echoes it.
ByteString echoed(std::uint8_t command, ByteString payload) { return BuildDataPacket(command, payload); }
ByteString element(int n, std::uint8_t command = 0x02) {
    return echoed(command,
                  {static_cast<std::uint8_t>(n), 14, 0, 0, 0xFF, 0xFF, 1, 0, 0, 0, 0xB0, 0xFE, 0xFE});
}
ByteString withBadChecksum(ByteString packet) {
    packet[packet.size() - 2] ^= 0x01;
    return packet;
}
const ByteString kEnd02{0xF0, 0x7D, 0x02, 0xF7};
const ByteString kEnd06{0xF0, 0x7D, 0x06, 0xF7};
const ByteString kVersion{0xF0, 0x7D, 0x08, 0, 3, 0, 4, 0xF7};

TEST(DumpReader, ReadsTheEchoFormatAndRefusesEverythingElse) {
    using Step = DumpReader::Step;
    ByteString profile8(23, 0), profile9(23, 0);
    profile8[0] = 8;
    profile9[0] = 9;
    std::vector<ByteString> flood(kMaxDumpMessages + 1, withBadChecksum(element(1)));

    struct Case {
        const char* what;
        DumpKind kind;
        std::vector<ByteString> messages;
        Step step;
        int packets;
        int faulty;
        std::string problem;  // part of the refusal's reason
    };
    const Case cases[] = {
        {"two packets and the end marker",
         DumpKind::Configuration,
         {element(0), element(63), kEnd02},
         Step::Complete,
         2,
         0,
         ""},
        {"an empty device", DumpKind::Configuration, {kEnd02}, Step::Complete, 0, 0, ""},
        {"a late version reply is no part of it",
         DumpKind::Configuration,
         {kVersion, element(5), kVersion, kEnd02},
         Step::Complete,
         1,
         0,
         ""},
        {"a damaged packet is kept, marked",
         DumpKind::Configuration,
         {element(4), withBadChecksum(element(7)), kEnd02},
         Step::Complete,
         2,
         1,
         ""},
        {"no end marker yet", DumpKind::Configuration, {element(0), element(1)}, Step::NeedMore, 2, 0, ""},
        {"the other dump's end marker",
         DumpKind::Configuration,
         {element(0), kEnd06},
         Step::NotRecognised,
         1,
         0,
         "another command"},
        {"a packet as sent, not as echoed",
         DumpKind::Configuration,
         {element(0, 0x01), kEnd02},
         Step::NotRecognised,
         0,
         0,
         "another command"},
        {"another maker's SysEx",
         DumpKind::Configuration,
         {{0xF0, 0x41, 0x10, 0xF7}, kEnd02},
         Step::NotRecognised,
         0,
         0,
         "not one of the device's"},
        {"a body that is not nibbles",
         DumpKind::Configuration,
         {{0xF0, 0x7D, 0x02, 0x10, 0x00, 0x0F, 0x00, 0xF7}},
         Step::NotRecognised,
         0,
         0,
         "not a data packet"},
        {"an odd body",
         DumpKind::Configuration,
         {{0xF0, 0x7D, 0x02, 0x01, 0x00, 0x0F, 0xF7}},
         Step::NotRecognised,
         0,
         0,
         "not a data packet"},
        {"the same element twice",
         DumpKind::Configuration,
         {element(3), element(3), kEnd02},
         Step::NotRecognised,
         1,
         0,
         "two packets for index 3"},
        {"an element beyond the surface",
         DumpKind::Configuration,
         {element(64), kEnd02},
         Step::NotRecognised,
         0,
         0,
         "index 64"},
        {"a flood without end", DumpKind::Configuration, flood, Step::NotRecognised, kMaxDumpMessages,
         kMaxDumpMessages, "more messages"},
        {"motor profiles up to the master fader",
         DumpKind::MotorProfiles,
         {echoed(0x06, profile8), kEnd06},
         Step::Complete,
         1,
         0,
         ""},
        {"a tenth fader",
         DumpKind::MotorProfiles,
         {echoed(0x06, profile9), kEnd06},
         Step::NotRecognised,
         0,
         0,
         "index 9"},
        {"a configuration end marker in a profile dump",
         DumpKind::MotorProfiles,
         {kEnd02},
         Step::NotRecognised,
         0,
         0,
         "another command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeviceDump dump;
        std::string problem;
        EXPECT_EQ(readDump(c.kind, c.messages, dump, &problem), c.step);
        EXPECT_EQ(static_cast<int>(dump.packets.size()), c.packets);
        EXPECT_EQ(dump.faultyCount(), c.faulty);
        if (c.problem.empty())
            EXPECT_TRUE(problem.empty()) << problem;
        else
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
}

TEST(DumpReader, KeepsWhatItHasAndTakesNothingAfterTheEnd) {
    auto reader = makeDumpReader(DumpKind::Configuration);
    const ByteString damaged = withBadChecksum(element(7));
    EXPECT_EQ(reader->feed(element(9)), DumpReader::Step::NeedMore);
    EXPECT_EQ(reader->feed(damaged), DumpReader::Step::NeedMore);
    EXPECT_EQ(reader->feed(kEnd02), DumpReader::Step::Complete);
    // What comes after the end marker (a second dump) changes nothing.
    EXPECT_EQ(reader->feed(element(10)), DumpReader::Step::Complete);

    const DeviceDump& dump = reader->dump();
    ASSERT_EQ(dump.packets.size(), 2u);
    EXPECT_EQ(dump.packets[0].index, 9);
    EXPECT_EQ(dump.packets[0].packet, element(9));
    EXPECT_EQ(dump.packets[1].index, 7);  // the damaged packet still names its element
    EXPECT_FALSE(dump.packets[1].ok());
    // Only the sound packet comes back, with the command byte the editor sends.
    EXPECT_EQ(dump.sendablePackets(), std::vector<ByteString>{element(9, 0x01)});
}

TEST(CompareWithDevice, EveryElementGetsItsState) {
    const ByteString other = echoed(0x02, {2, 14, 0, 0, 0xFF, 0xFF, 1, 0, 0, 0, 0xB1, 0xFE, 0xFE});
    ByteString damagedUnknown = withBadChecksum(element(1));
    damagedUnknown[3] = 0x07;  // element number 0x70 as the damaged packet reads
    struct Case {
        const char* what;
        std::vector<ByteString> library;
        std::vector<ByteString> device;
        std::vector<std::pair<int, ElementState>> states;  // all others Unassigned
        int unplaced;
        int differing;
    };
    const Case cases[] = {
        {"equal",
         {element(0, 1), element(2, 1)},
         {element(0), element(2)},
         {{0, ElementState::Same}, {2, ElementState::Same}},
         0,
         0},
        {"nothing anywhere", {}, {}, {}, 0, 0},
        {"one message changed",
         {element(0, 1), element(2, 1)},
         {element(0), other},
         {{0, ElementState::Same}, {2, ElementState::Different}},
         0,
         1},
        {"one side only",
         {element(0, 1)},
         {element(5)},
         {{0, ElementState::OnlyInLibrary}, {5, ElementState::OnlyOnDevice}},
         0,
         2},
        {"damaged on the device",
         {element(1, 1)},
         {withBadChecksum(element(1))},
         {{1, ElementState::Faulty}},
         0,
         1},
        {"damaged beyond recognition", {}, {damagedUnknown}, {}, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ByteString> messages = c.device;
        messages.push_back(kEnd02);
        DeviceDump dump;
        ASSERT_EQ(readDump(DumpKind::Configuration, messages, dump), DumpReader::Step::Complete);
        const ConfigComparison result = compareWithDevice(c.library, dump);
        std::array<ElementState, 64> expected{};
        expected.fill(ElementState::Unassigned);
        for (const auto& [n, s] : c.states) expected[static_cast<std::size_t>(n)] = s;
        for (int n = 0; n < 64; ++n) EXPECT_EQ(result.states[n], expected[n]) << "element " << n;
        EXPECT_EQ(result.unplacedFaults, c.unplaced);
        EXPECT_EQ(result.differing(), c.differing);
        EXPECT_EQ(result.equal(), c.differing == 0);
    }
}

}  // namespace
}  // namespace korvane
