// The configuration library as read from disk: any bytes at the library's
// path are loaded, looked up, encoded for the device, edited, saved, read
// again and saved once more. The second save must write the very bytes of
// the first: a save that the next load reads differently would change the
// user's file a little more at every change.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config_document.h"
#include "config_encoder.h"
#include "description_codec.h"
#include "element_catalogue.h"
#include "fuzz_check.h"
#include "message_record.h"
#include "xml_encoding.h"

namespace {

std::filesystem::path workFolder() {
    // Memory-backed where there is one: every run saves with fsync.
    const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "korvane-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

const std::filesystem::path& libraryPath() {
    static const std::filesystem::path folder = workFolder();
    static const std::filesystem::path file = folder / "korvane.xml";
    static const bool cleanup = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return true;
    }();
    (void)cleanup;
    return file;
}

void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Text as a user can type it: valid UTF-8, no character 0, characters from
// ASCII, Latin-1 and beyond (those a Latin-1 file must write as references).
std::string typedText(const std::uint8_t* data, std::size_t size) {
    static constexpr char32_t kWide[] = {0xE4, 0xFC, 0x20AC, 0x201E, 0x201C, 0x1F3B9, 0xFF, 0x100};
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        char32_t cp = b;
        if (b == 0) cp = ' ';
        if (b >= 0x80) cp = kWide[b & 7];
        korvane::faithful::appendUtf8(out, cp);
    }
    return out;
}

struct QuietReport : korvane::EncoderReport {
    void sendFactorZero(int) override {}
    void refused(const std::vector<korvane::EncodeProblem>& problems) override {
        (void)korvane::refusalMessage(problems, "de");
    }
};

// Everything the editor looks up after a load.
void lookEverywhere(const korvane::ConfigDocument& doc) {
    for (const std::string& name : doc.setNames()) {
        FUZZ_CHECK(doc.Finde_XML_SetByName(name), "a listed configuration is found");
        for (int n = 0; n < korvane::kElementCount; ++n) {
            const korvane::ElementResolution r = doc.resolveElement(name, n);
            (void)r.danglingText("en");
            if (r.state == korvane::ElementResolution::State::Resolved) {
                korvane::TMessageRecord record;
                if (auto problem = korvane::readMessageRecord(r.message, record))
                    (void)problem->message("de");
            }
        }
        (void)korvane::decodeDescription(doc.Finde_XML_SetByName(name).attribute("description").value());
        QuietReport report;
        (void)korvane::KonfigurationSenden(doc, name, report);
    }
    for (const std::string& group : doc.groupNames()) {
        const pugi::xml_node node = doc.Finde_XML_MessageGroupByName(group);
        FUZZ_CHECK(node, "a listed group is found");
        for (const std::string& message : korvane::ConfigDocument::messageNames(node)) {
            FUZZ_CHECK(korvane::ConfigDocument::Finde_XML_MessageByName(message, node),
                       "a listed message is found");
        }
    }
}

// One of the edits the editor makes, chosen by selector, with text typed.
void edit(korvane::ConfigDocument& doc, std::uint8_t selector, const std::string& text) {
    pugi::xml_node set = doc.sets().child("set");
    pugi::xml_node group = doc.messagegroups().child("messagegroup");
    pugi::xml_node message = group.child("message");
    switch (selector % 7) {
        case 0:
            break;
        case 1:
            if (message) korvane::setChildText(message, "left", text);
            break;
        case 2:
            if (doc.sets()) {
                pugi::xml_node added = korvane::appendElementIndented(doc.sets(), "set");
                added.append_attribute("name") = text.c_str();
                added.append_attribute("description") = korvane::encodeDescription({text, "", text}).c_str();
            }
            break;
        case 3:
            if (set) korvane::removeElementIndented(set);
            break;
        case 4:
            if (set) {
                pugi::xml_attribute d = set.attribute("description");
                if (!d) d = set.append_attribute("description");
                d = korvane::encodeDescription({text}).c_str();
            }
            break;
        case 5:
            if (set && group && message) {
                const int number =
                    text.empty() ? 0 : static_cast<unsigned char>(text[0]) % korvane::kElementCount;
                pugi::xml_node element = korvane::ConfigDocument::Finde_XML_Element(
                    korvane::Wie_lautet_EingabeElementName(number), set);
                if (!element) {
                    element = korvane::appendElementIndented(set, "element");
                    element.append_attribute("name") =
                        std::string(korvane::Wie_lautet_EingabeElementName(number)).c_str();
                }
                korvane::setChildText(element, "group", group.attribute("name").value());
                korvane::setChildText(element, "name", message.attribute("name").value());
            }
            break;
        case 6:
            if (group)
                korvane::appendCopyIndented(doc.messagegroups(), group).attribute("name") = text.c_str();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the edit, the next eight are what is typed, the
    // rest is the file.
    if (size < 9) return 0;
    const std::uint8_t selector = data[0];
    const std::string text = typedText(data + 1, 8);
    const std::filesystem::path& path = libraryPath();
    writeBytes(path, data + 9, size - 9);

    korvane::ConfigDocument doc;
    const korvane::DocumentStatus loaded = doc.load(path);
    FUZZ_CHECK(!loaded.message("de").empty() || loaded.ok(), "a refusal has a message");
    if (!loaded.ok()) return 0;
    lookEverywhere(doc);

    edit(doc, selector, text);
    const korvane::DocumentStatus first = doc.save();
    if (!first.ok()) {
        // Files with entities of their own are kept unwritten on purpose.
        FUZZ_CHECK(first.code == korvane::DocumentStatus::Code::CustomEntity, "a save fails only on purpose");
        return 0;
    }
    const std::string written = readBytes(path);
    const korvane::DocumentStatus again = doc.reload();
    FUZZ_CHECK(again.ok(), "what a save wrote loads again");
    lookEverywhere(doc);
    const korvane::DocumentStatus second = doc.save();
    FUZZ_CHECK(second.ok(), "a reloaded document saves");
    FUZZ_CHECK(readBytes(path) == written, "the second save writes the bytes of the first");
    return 0;
}
