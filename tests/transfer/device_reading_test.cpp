#include "device_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config_document.h"
#include "config_encoder.h"
#include "element_catalogue.h"
#include "library_history.h"
#include "texts.h"

namespace korvane {
namespace {

const std::filesystem::path kData = KORVANE_DATA_DIR;

struct SilentReport : EncoderReport {
    void sendFactorZero(int) override {}
    void refused(const std::vector<EncodeProblem>& problems) override {
        ADD_FAILURE() << refusalMessage(problems, "en");
    }
};

std::vector<ByteString> encode(const ConfigDocument& doc, const std::string& name) {
    SilentReport report;
    EncodeResult r = KonfigurationSenden(doc, name, report);
    EXPECT_TRUE(r.ok()) << name;
    return r.packets;
}

// What the device sends back for packets it has stored: each echoed with
// command 02, then the end marker.
DeviceDump dumpOf(const std::vector<ByteString>& packets) {
    std::vector<ByteString> messages;
    for (ByteString p : packets) {
        p[2] = 0x02;
        messages.push_back(p);
    }
    messages.push_back(CommandPacket(0x02));
    DeviceDump dump;
    EXPECT_EQ(readDump(DumpKind::Configuration, messages, dump), DumpReader::Step::Complete);
    return dump;
}

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        path_ = std::filesystem::temp_directory_path() /
                ("readback_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ".xml");
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Reading back what the encoder made, importing it and encoding the import
// again gives every packet byte for byte.
void expectImportRoundTrip(ConfigDocument& doc, const std::string& configuration) {
    const std::vector<ByteString> packets = encode(doc, configuration);
    const ImportPlan plan = planImport(dumpOf(packets));
    EXPECT_TRUE(plan.faultyElements.empty());
    EXPECT_TRUE(plan.unreadable.empty());
    for (const auto& e : plan.elements) {
        for (ReadingNote n : e.notes) {
            EXPECT_NE(n, ReadingNote::ValuesLeftOut) << configuration << " element " << e.element;
            EXPECT_NE(n, ReadingNote::FaderMaximumNearest) << configuration << " element " << e.element;
        }
    }
    const std::string imported = "Imported " + configuration;
    ASSERT_TRUE(writeImport(doc, imported, unusedGroupName(doc, imported), plan));
    EXPECT_EQ(encode(doc, imported), packets) << configuration;
}

TEST(DeviceReading, ShippedLibraryComesBackByteForByte) {
    ConfigDocument doc;
    TempFile file(readFile(kData / "korvane.def"));
    ASSERT_TRUE(doc.load(file.path()).ok());
    const auto names = doc.setNames();
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        for (const ByteString& packet : encode(doc, name)) {
            const DecodedPacket d = DecodeDataPacket(packet);
            const ElementReading r = readConfigPayload(d.payload);
            ASSERT_TRUE(r.ok()) << r.problem;
            EXPECT_EQ(payloadOfReading(r), d.payload) << HexBytes(packet);
        }
        expectImportRoundTrip(doc, name);
    }
    // The import is written, saved and read back like any change.
    ASSERT_TRUE(doc.saveAndReload().ok());
    for (const auto& name : names) EXPECT_EQ(encode(doc, "Imported " + name), encode(doc, name));
}

// Messages of every mode and range on elements of every kind.
TEST(DeviceReading, GeneratedMessagesComeBackByteForByte) {
    struct Message {
        const char* left;
        const char* right;
        const char* mode;
        const char* range;
        const char* min;
        const char* max;
        const char* step;
        const char* start;
    };
    const Message messages[] = {
        {"B0,07,F1", "", "7", "full", "", "", "", ""},
        {"B0,63,00,B0,62,00,B0,06,F1,B0,26,F2", "", "14", "full", "", "", "", ""},
        {"90,3C,7F", "90,3C,00", "1", "full", "", "", "", ""},
        {"B0,3C,41", "", "2", "full", "", "", "", ""},
        {"", "", "14", "absolute", "1000", "9000", "64", "8192"},
        {"B1,0A,F1", "", "7", "absolute", "0", "16383", "129", "8256"},
        {"B1,0A,F1", "", "7", "percent", "1638", "14745", "163", "8191"},
        {"B0,07", "", "14", "absolute", "500", "500", "1", "500"},      // fader: factor 0 sent as 256
        {"B0,07", "", "14", "absolute", "9000", "1000", "5", "2000"},   // falling range
        {"B0,07", "", "14", "absolute", "-5", "16000", "-1", "70000"},  // negative, and beyond 16 bits
        {"F0,41,10,F7", "F0,41,11,F7", "1", "absolute", "10", "20", "1", "0"},  // range unused by buttons
        {"B0,07,7F", "", "14", "absolute", "0", "16383", "127", "0"},           // limited, yet the full range
        {"B0,07,00", "", "7", "absolute", "0", "1", "1", "0"},
    };
    const int count = static_cast<int>(std::size(messages));

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<korvane>\n  <sets>\n";
    for (int k = 0; k < count; ++k) {
        xml += "    <set name=\"Gen" + std::to_string(k) + "\">\n";
        for (int n = 0; n < kElementCount; ++n) {
            xml += "      <element name=\"" + std::string(Wie_lautet_EingabeElementName(n)) +
                   "\"><group>G</group><name>M" + std::to_string((n + k) % count) + "</name></element>\n";
        }
        xml += "    </set>\n";
    }
    xml += "  </sets>\n  <messagegroups>\n    <messagegroup name=\"G\">\n";
    for (int i = 0; i < count; ++i) {
        const Message& m = messages[i];
        xml += std::string("      <message name=\"M") + std::to_string(i) + "\"><left>" + m.left +
               "</left><right>" + m.right + "</right><mode>" + m.mode + "</mode><range>" + m.range +
               "</range><min>" + m.min + "</min><max>" + m.max + "</max><step>" + m.step + "</step><start>" +
               m.start + "</start></message>\n";
    }
    xml += "    </messagegroup>\n  </messagegroups>\n</korvane>\n";

    TempFile file(xml);
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(file.path()).ok());
    for (int k = 0; k < count; ++k) expectImportRoundTrip(doc, "Gen" + std::to_string(k));
}

ByteString payload(std::initializer_list<int> bytes) {
    ByteString out;
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

// Packets the encoder never makes: read the nearest faithful way, with the
// choice named, or refused.
TEST(DeviceReading, PacketsThatCannotSayEverything) {
    struct Case {
        const char* what;
        ByteString payload;
        bool readable;
        std::vector<ReadingNote> notes;
        std::string left, right;
        TRange range = RANGE_FULL;
        std::int32_t min = 0, max = 0;
        bool sameAgain = true;  // re-encoding gives the payload back
    };
    using N = ReadingNote;
    const Case cases[] = {
        {"empty", payload({}), false, {}, "", ""},
        {"element beyond the surface",
         payload({64, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}),
         false,
         {},
         "",
         ""},
        {"no templates", payload({0, 14, 0, 0, 0xFF, 0xFF, 1, 0, 0, 0}), false, {}, "", ""},
        {"mode code 0", payload({9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}), false, {}, "", ""},
        {"mode code 3", payload({9, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}), false, {}, "", ""},
        {"templates not closed", payload({9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0x90}), false, {}, "", ""},
        {"one template", payload({9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x90, 0xFE}), false, {}, "", ""},
        {"a button",
         payload({9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x90, 0x3C, 0xFE, 0x80, 0xFE}),
         true,
         {},
         "90,3C",
         "80"},
        {"an FE inside a template",
         payload({9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x90, 0xFE, 0x3C, 0xFE, 0xFE}),
         true,
         {N::TemplateSplitChosen},
         "90",
         "3C,FE"},
        {"a button with range values",
         payload({9, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}),
         true,
         {N::ValuesLeftOut},
         "",
         "",
         RANGE_FULL,
         0,
         0,
         false},
        {"an encoder in button mode with values",
         payload({29, 1, 0, 1, 0, 2, 0, 3, 0, 4, 0xFE, 0xFE}),
         true,
         {N::ValuesLeftOut},
         "",
         "",
         RANGE_FULL,
         0,
         0,
         false},
        {"an encoder with a range",
         payload({29, 7, 0, 10, 0, 20, 0, 3, 0, 15, 0xFE, 0xFE}),
         true,
         {N::RangeReadAsAbsolute},
         "",
         "",
         RANGE_ABS,
         10,
         20},
        {"a fader from 1000 to 9000",
         payload({0, 14, 0x03, 0xE8, 0x7D, 0x01, 0x02, 0x0C, 0, 0, 0xFE, 0xFE}),
         true,
         {N::RangeReadAsAbsolute},
         "",
         "",
         RANGE_ABS,
         1000,
         9000},
        {"a fader with an empty range",
         payload({0, 14, 0x01, 0xF4, 0x01, 0x00, 0xFF, 0xFF, 0, 0, 0xFE, 0xFE}),
         true,
         {N::RangeReadAsAbsolute, N::FaderMaximumAmbiguous},
         "",
         "",
         RANGE_ABS,
         500,
         564},
        {"a fader factor no maximum gives",
         payload({0, 14, 0, 0, 0x7D, 0x02, 0x02, 0x0C, 0, 0, 0xFE, 0xFE}),
         true,
         {N::RangeReadAsAbsolute, N::FaderMaximumNearest},
         "",
         "",
         RANGE_ABS,
         0,
         8000,
         false},
        {"a fader with a fourth word",
         payload({0, 14, 0x03, 0xE8, 0x7D, 0x01, 0x02, 0x0C, 0, 1, 0xFE, 0xFE}),
         true,
         {N::RangeReadAsAbsolute, N::ValuesLeftOut},
         "",
         "",
         RANGE_ABS,
         1000,
         9000,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ElementReading r = readConfigPayload(c.payload);
        EXPECT_EQ(r.ok(), c.readable) << r.problem;
        if (!c.readable) {
            EXPECT_FALSE(r.problem.empty());
            continue;
        }
        EXPECT_EQ(r.notes, c.notes);
        EXPECT_EQ(r.message.MessageLeft, c.left);
        EXPECT_EQ(r.message.MessageRight, c.right);
        EXPECT_EQ(r.message.Range, c.range);
        if (c.range == RANGE_ABS) {
            EXPECT_EQ(r.message.Minimum, c.min);
            EXPECT_EQ(r.message.Maximum, c.max);
        }
        EXPECT_EQ(payloadOfReading(r) == c.payload, c.sameAgain) << HexBytes(payloadOfReading(r));
    }
}

TEST(DeviceReading, TheBoxNamesEveryApproximationAndWhatIsLeftOut) {
    DeviceDump dump;
    auto add = [&](ByteString p, bool damaged = false) {
        DumpPacket packet;
        packet.index = p.empty() ? -1 : p[0];
        if (damaged) {
            packet.fault = PacketFault::Checksum;
        } else {
            packet.payload = std::move(p);
        }
        dump.packets.push_back(std::move(packet));
    };
    add(payload({30, 7, 0, 10, 0, 20, 0, 3, 0, 15, 0xFE, 0xFE}));     // "Drehregler 1 oben": limited range
    add(payload({9, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x90, 0xFE, 0xFE}));   // plain button: nothing to say
    add(payload({5, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}), true);  // damaged
    add(payload({10, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFE}));        // unknown mode

    const ImportPlan plan = planImport(dump);
    ASSERT_EQ(plan.elements.size(), 2u);
    EXPECT_EQ(plan.elements[0].element, 9);  // in element order
    EXPECT_EQ(plan.faultyElements, std::vector<int>{5});
    ASSERT_EQ(plan.unreadable.size(), 1u);
    EXPECT_TRUE(plan.hasNotes());

    const std::string en = importNotesText(plan, "en");
    EXPECT_EQ(
        en,
        textWith("readback.note.absolute", "en", Translate(Wie_lautet_EingabeElementName(30), "en")) + "\n" +
            textWith("readback.note.faulty", "en", "Fader 6") + "\n" +
            textWith("readback.note.unreadable", "en", Translate(Wie_lautet_EingabeElementName(10), "en")));
    EXPECT_NE(importNotesText(plan, "de"), en);

    ImportPlan clean;
    clean.elements.push_back(plan.elements[0]);
    EXPECT_FALSE(clean.hasNotes());
    EXPECT_EQ(importNotesText(clean, "en"), "");
}

TEST(DeviceReading, GroupNamesAreNotTakenTwice) {
    TempFile file(
        "<korvane><sets/><messagegroups><messagegroup name=\"Dev\"/><messagegroup name=\"Dev (2)\"/>"
        "</messagegroups></korvane>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(file.path()).ok());
    EXPECT_EQ(unusedGroupName(doc, "Other"), "Other");
    EXPECT_EQ(unusedGroupName(doc, "Dev"), "Dev (3)");

    // A document without the two lists is left alone.
    TempFile bare("<korvane/>");
    ConfigDocument empty;
    ASSERT_TRUE(empty.load(bare.path()).ok());
    EXPECT_FALSE(writeImport(empty, "X", "X", ImportPlan{}));
    EXPECT_FALSE(empty.root().first_child());
}

// The import is one change of the library: checked before anything is
// written, saved at once, and undone as a whole.
TEST(DeviceReading, ImportIsOneCheckedChange) {
    TempFile file(readFile(kData / "korvane.def"));
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(file.path()).ok());
    const std::string original = readFile(file.path());
    const std::vector<ByteString> packets = encode(doc, "CC Standard");
    const ImportPlan plan = planImport(dumpOf(packets));

    struct Case {
        const char* name;
        LibraryOutcome::Result result;
        std::string reasonKey;
    };
    const Case refusals[] = {
        {"", LibraryOutcome::Result::Refused, "library.name.unusable"},
        {"   ", LibraryOutcome::Result::Refused, "library.name.unusable"},
        {"Zeile\nZwei", LibraryOutcome::Result::Refused, "library.name.unusable"},
        {"CC Standard", LibraryOutcome::Result::Refused, "library.config.exists"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.name);
        const LibraryOutcome o = importConfiguration(doc, c.name, plan);
        EXPECT_EQ(o.result, c.result);
        EXPECT_EQ(o.reason.key, c.reasonKey);
        EXPECT_EQ(readFile(file.path()), original);
    }

    // The new group is named like the configuration.
    LibraryHistory history;
    const LibraryOutcome o = importConfiguration(doc, "Standard Tarvok NRPN (Gerät)", plan);
    EXPECT_EQ(o.label.key, "readback.label.import");
    ASSERT_TRUE(o.changed()) << o.problem("en");
    history.record(file.path(), o);
    EXPECT_EQ(encode(doc, "Standard Tarvok NRPN (Gerät)"), packets);
    const ElementResolution r = doc.resolveElement("Standard Tarvok NRPN (Gerät)", 0);
    EXPECT_EQ(r.groupName, "Standard Tarvok NRPN (Gerät)");
    EXPECT_EQ(r.messageName, "Fader 1");

    // Where a group has that name already, the new group takes the next free one.
    const LibraryOutcome group = newGroup(doc, "Zweiter");
    ASSERT_TRUE(group.changed());
    history.record(file.path(), group);
    const LibraryOutcome second = importConfiguration(doc, "Zweiter", planImport(dumpOf({packets.front()})));
    ASSERT_TRUE(second.changed());
    history.record(file.path(), second);
    EXPECT_EQ(doc.resolveElement("Zweiter", 0).groupName, "Zweiter (2)");
    EXPECT_EQ(encode(doc, "Zweiter"), std::vector<ByteString>{packets.front()});

    ASSERT_TRUE(history.undo(doc).done);
    EXPECT_FALSE(doc.Finde_XML_SetByName("Zweiter"));
    EXPECT_TRUE(doc.Finde_XML_SetByName("Standard Tarvok NRPN (Gerät)"));
    ASSERT_TRUE(history.undo(doc).done);  // the group
    ASSERT_TRUE(history.undo(doc).done);
    EXPECT_EQ(readFile(file.path()), original);
    EXPECT_FALSE(doc.Finde_XML_SetByName("Standard Tarvok NRPN (Gerät)"));
}

}  // namespace
}  // namespace korvane
