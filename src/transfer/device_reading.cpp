#include "device_reading.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "config_document.h"
#include "config_encoder.h"
#include "element_catalogue.h"
#include "texts.h"
#include "xml_layout.h"

namespace korvane {
namespace {

constexpr std::uint8_t kTemplateEnd = 0xFE;
// Element number, mode code and four words come before the templates.
constexpr std::size_t kHeaderLength = 10;

std::optional<TMode> modeFromCode(std::uint8_t code) {
    switch (code) {
        case 14:
            return MODE_14Bit;
        case 7:
            return MODE_7Bit;
        case 1:
            return MODE_Taster;
        case 2:
            return MODE_Jogwheel;
        default:
            return std::nullopt;
    }
}

// A word as it travels: its low 16 bits, read back as the signed value the
// encoder's two's complement came from.
std::int32_t signedWord(std::uint16_t w) { return static_cast<std::int16_t>(w); }

struct Words {
    std::uint16_t a, b, c, d;
    bool operator==(const Words&) const = default;
};

Words travelling(const ElementWords& w) {
    return {static_cast<std::uint16_t>(w.a & 0xFFFF), static_cast<std::uint16_t>(w.b & 0xFFFF),
            static_cast<std::uint16_t>(w.c & 0xFFFF), static_cast<std::uint16_t>(w.d & 0xFFFF)};
}

Words fullWords(int element) {
    return travelling(elementWords(element, kFullMinimum, kFullMaximum, kFullStep, kFullStart));
}

void note(ElementReading& r, ReadingNote n) {
    if (std::find(r.notes.begin(), r.notes.end(), n) == r.notes.end()) r.notes.push_back(n);
}

// The fader's maximum from its minimum and the two factors. Every span from
// -16383 to 16383 is tried with the encoder's own arithmetic, so whatever is
// found gives the same words again.
void readFaderRange(ElementReading& r, const Words& w) {
    const std::int32_t minimum = signedWord(w.a);
    std::vector<std::int32_t> matches;
    for (std::int32_t span = -kFullMaximum; span <= kFullMaximum; ++span) {
        const Words t = travelling(elementWords(r.element, minimum, minimum + span, 0, 0));
        if (t.b == w.b && t.c == w.c) matches.push_back(span);
    }
    std::int32_t span = 0;
    if (!matches.empty()) {
        // A rising range before a falling one, and a real range before the
        // empty one (minimum = maximum) that the device gets as factor 256.
        auto rank = [](std::int32_t s) { return std::tuple(s <= 0, s == 0, std::abs(s)); };
        span = *std::min_element(matches.begin(), matches.end(),
                                 [&](std::int32_t x, std::int32_t y) { return rank(x) < rank(y); });
        if (matches.size() > 1) note(r, ReadingNote::FaderMaximumAmbiguous);
    } else {
        int best = 1 << 30;
        for (std::int32_t s = 1; s <= kFullMaximum; ++s) {
            const Words t = travelling(elementWords(r.element, minimum, minimum + s, 0, 0));
            const int distance = std::abs(static_cast<int>(t.b) - static_cast<int>(w.b));
            if (distance < best) {
                best = distance;
                span = s;
            }
        }
        note(r, ReadingNote::FaderMaximumNearest);
    }
    if (w.d != 0) note(r, ReadingNote::ValuesLeftOut);
    r.message.Minimum = minimum;
    r.message.Maximum = minimum + span;
    r.message.Step = kDefaultStep;
    r.message.Start = kDefaultStart;
    r.hasStepStart = false;
}

ElementReading unreadable(int element, std::string why) {
    ElementReading r;
    r.element = element;
    r.problem = std::move(why);
    return r;
}

std::string_view noteKey(ReadingNote n) {
    switch (n) {
        case ReadingNote::RangeReadAsAbsolute:
            return "readback.note.absolute";
        case ReadingNote::FaderMaximumAmbiguous:
            return "readback.note.faderAmbiguous";
        case ReadingNote::FaderMaximumNearest:
            return "readback.note.faderNearest";
        case ReadingNote::TemplateSplitChosen:
            return "readback.note.templateSplit";
        case ReadingNote::ValuesLeftOut:
            return "readback.note.valuesLeftOut";
    }
    return "";
}

std::string elementLabel(int element, std::string_view language) {
    if (element < 0) return std::string(text("readback.unknownElement", language));
    return Translate(Wie_lautet_EingabeElementName(element), language);
}

std::string joinLabels(const std::vector<int>& elements, std::string_view language) {
    std::string out;
    for (int e : elements) {
        if (!out.empty()) out += ", ";
        out += elementLabel(e, language);
    }
    return out;
}

}  // namespace

std::string templateText(const ByteString& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ',';
        out += HexBytes(ByteString{bytes[i]});
    }
    return out;
}

ElementReading readConfigPayload(const ByteString& payload) {
    if (payload.empty()) return unreadable(-1, "empty payload");
    const int element = payload[0];
    if (element >= kElementCount) return unreadable(-1, "element number " + std::to_string(element));
    // Two templates, each at least its closing FE.
    if (payload.size() < kHeaderLength + 2) return unreadable(element, "payload too short");
    const auto mode = modeFromCode(payload[1]);
    if (!mode) return unreadable(element, "unknown mode code " + std::to_string(payload[1]));

    const auto first = payload.begin() + kHeaderLength;
    if (payload.back() != kTemplateEnd) return unreadable(element, "templates not closed by FE");
    const auto leftEnd = std::find(first, payload.end(), kTemplateEnd);
    if (leftEnd == payload.end() - 1) return unreadable(element, "only one template");

    ElementReading r;
    r.status = ElementReading::Status::Read;
    r.element = element;
    r.message.Mode = *mode;
    r.message.MessageLeft = templateText(ByteString(first, leftEnd));
    r.message.MessageRight = templateText(ByteString(leftEnd + 1, payload.end() - 1));
    if (std::count(first, payload.end(), kTemplateEnd) > 2) note(r, ReadingNote::TemplateSplitChosen);

    auto word = [&](std::size_t at) {
        return static_cast<std::uint16_t>(payload[at] << 8 | payload[at + 1]);
    };
    const Words w{word(2), word(4), word(6), word(8)};
    const bool full = w == fullWords(element);
    const bool rangeApplies = *mode == MODE_14Bit || *mode == MODE_7Bit;
    r.message.Range = RANGE_FULL;
    const ElementKind kind = elementKind(element);
    if (kind == ElementKind::Button || kind == ElementKind::JogWheel) {
        // These carry no range at all.
        if (!full) note(r, ReadingNote::ValuesLeftOut);
        return r;
    }
    if (full) return r;
    if (!rangeApplies) {
        // A button or jog-wheel mode always sends the full range.
        note(r, ReadingNote::ValuesLeftOut);
        return r;
    }
    r.message.Range = RANGE_ABS;
    note(r, ReadingNote::RangeReadAsAbsolute);
    if (kind == ElementKind::Fader) {
        readFaderRange(r, w);
    } else {
        r.message.Minimum = signedWord(w.a);
        r.message.Maximum = signedWord(w.b);
        r.message.Step = signedWord(w.c);
        r.message.Start = signedWord(w.d);
    }
    return r;
}

ByteString payloadOfReading(const ElementReading& reading) {
    const TMessageRecord& m = reading.message;
    const bool rangeApplies = m.Mode == MODE_14Bit || m.Mode == MODE_7Bit;
    const bool full = !rangeApplies || m.Range == RANGE_FULL;
    const ElementWords words =
        full ? elementWords(reading.element, kFullMinimum, kFullMaximum, kFullStep, kFullStart)
             : elementWords(reading.element, m.Minimum, m.Maximum, m.Step, m.Start);
    const auto left = ParseHexText(m.MessageLeft + ",FE");
    const auto right = ParseHexText(m.MessageRight + ",FE");
    return configPayload(reading.element, ModeToInt(m.Mode), words, left.value_or(ByteString{}),
                         right.value_or(ByteString{}));
}

bool ImportPlan::hasNotes() const {
    if (!faultyElements.empty() || !unreadable.empty()) return true;
    return std::any_of(elements.begin(), elements.end(), [](const auto& e) { return !e.notes.empty(); });
}

ImportPlan planImport(const DeviceDump& dump) {
    ImportPlan plan;
    for (const auto& p : dump.packets) {
        if (!p.ok()) {
            plan.faultyElements.push_back(p.index);
            continue;
        }
        ElementReading r = readConfigPayload(p.payload);
        if (r.ok())
            plan.elements.push_back(std::move(r));
        else
            plan.unreadable.push_back(std::move(r));
    }
    std::sort(plan.elements.begin(), plan.elements.end(),
              [](const auto& x, const auto& y) { return x.element < y.element; });
    return plan;
}

std::string importNotesText(const ImportPlan& plan, std::string_view language) {
    std::map<ReadingNote, std::vector<int>> byNote;
    for (const auto& e : plan.elements)
        for (ReadingNote n : e.notes) byNote[n].push_back(e.element);
    std::string out;
    auto line = [&](std::string_view key, const std::vector<int>& elements) {
        if (elements.empty()) return;
        if (!out.empty()) out += "\n";
        out += textWith(key, language, joinLabels(elements, language));
    };
    for (const auto& [n, elements] : byNote) line(noteKey(n), elements);
    line("readback.note.faulty", plan.faultyElements);
    std::vector<int> unreadableElements;
    for (const auto& u : plan.unreadable) unreadableElements.push_back(u.element);
    line("readback.note.unreadable", unreadableElements);
    return out;
}

std::string importedMessageName(int element) { return std::string(Wie_lautet_EingabeElementName(element)); }

std::string unusedGroupName(const ConfigDocument& doc, const std::string& wanted) {
    if (!doc.Finde_XML_MessageGroupByName(wanted)) return wanted;
    for (int i = 2;; ++i) {
        std::string candidate = wanted + " (" + std::to_string(i) + ")";
        if (!doc.Finde_XML_MessageGroupByName(candidate)) return candidate;
    }
}

bool writeImport(ConfigDocument& doc, const std::string& setName, const std::string& groupName,
                 const ImportPlan& plan) {
    pugi::xml_node sets = doc.sets();
    pugi::xml_node groups = doc.messagegroups();
    if (!sets || !groups) return false;

    pugi::xml_node set = appendElementIndented(sets, "set");
    set.append_attribute("name").set_value(setName.c_str());
    pugi::xml_node group = appendElementIndented(groups, "messagegroup");
    group.append_attribute("name").set_value(groupName.c_str());

    for (const auto& e : plan.elements) {
        const std::string messageName = importedMessageName(e.element);
        pugi::xml_node element = appendElementIndented(set, "element");
        element.append_attribute("name").set_value(messageName.c_str());
        setChildText(element, "group", groupName);
        setChildText(element, "name", messageName);

        const TMessageRecord& m = e.message;
        const bool limited = m.Range == RANGE_ABS;
        pugi::xml_node message = appendElementIndented(group, "message");
        message.append_attribute("name").set_value(messageName.c_str());
        setChildText(message, "left", m.MessageLeft);
        setChildText(message, "right", m.MessageRight);
        setChildText(message, "mode", modeToText(m.Mode));
        setChildText(message, "range", rangeToText(m.Range));
        setChildText(message, "min", limited ? std::to_string(m.Minimum) : "");
        setChildText(message, "max", limited ? std::to_string(m.Maximum) : "");
        setChildText(message, "step", limited && e.hasStepStart ? std::to_string(m.Step) : "");
        setChildText(message, "start", limited && e.hasStepStart ? std::to_string(m.Start) : "");
    }
    return true;
}

LibraryOutcome importConfiguration(ConfigDocument& doc, std::string_view setName, const ImportPlan& plan) {
    const std::string name(setName);
    if (!isUsableName(name)) return refusal("library.name.unusable");
    if (doc.Finde_XML_SetByName(name)) return refusal("library.config.exists", {name});
    // A group named like a "no assignment" entry could never be chosen.
    std::string group = unusedGroupName(doc, name);
    if (isNoAssignmentText(group)) group = unusedGroupName(doc, name + " (2)");
    if (!doc.sets() || !doc.messagegroups()) {
        // A library file without its lists gets them, as a new configuration would.
        if (!doc.sets()) appendElementIndented(doc.root(), "sets");
        if (!doc.messagegroups()) appendElementIndented(doc.root(), "messagegroups");
    }
    if (!writeImport(doc, name, group, plan)) return {};
    return saveChange(doc, TableText{"readback.label.import", {name}});
}

}  // namespace korvane
