#include "config_encoder.h"

#include <cmath>

#include "config_document.h"
#include "element_catalogue.h"
#include "message_record.h"
#include "texts.h"

namespace korvane {
namespace {

std::string_view reasonKey(EncodeProblem::Reason reason) {
    switch (reason) {
        case EncodeProblem::Reason::DanglingGroup:
            return "transfer.problem.group";
        case EncodeProblem::Reason::DanglingMessage:
            return "transfer.problem.message";
        case EncodeProblem::Reason::InvalidLeft:
            return "transfer.problem.left";
        case EncodeProblem::Reason::InvalidRight:
            return "transfer.problem.right";
        case EncodeProblem::Reason::InvalidMode:
            return "transfer.problem.mode";
        case EncodeProblem::Reason::InvalidRange:
            return "transfer.problem.range";
        case EncodeProblem::Reason::InvalidNumber:
            return "transfer.problem.number";
    }
    return "";
}

// One element as it will be sent, built before anything is reported so that
// a refused configuration produces no warnings and no progress.
struct PreparedElement {
    bool assigned = false;
    bool sendFactorWasZero = false;
    ByteString packet;
};

// Parses a template with the end marker the device expects after every
// template; nullopt when the stored text is not hex byte text.
std::optional<ByteString> parseTemplate(const std::string& text) { return ParseHexText(text + ",FE"); }

}  // namespace

std::string refusalMessage(const std::vector<EncodeProblem>& problems, std::string_view language) {
    std::string message(text("transfer.encodeRefused", language));
    for (const auto& p : problems) {
        message += "\n";
        message += Translate(Wie_lautet_EingabeElementName(p.elementNumber), language);
        message += ": ";
        message += textWith(reasonKey(p.reason), language, p.detail);
    }
    return message;
}

std::string sendFactorZeroMessage(std::string_view language) {
    return std::string(text("transfer.sendFactorZero", language));
}

ElementWords elementWords(int elementNumber, std::int32_t minimum, std::int32_t maximum, std::int32_t step,
                          std::int32_t start) {
    ElementWords w;
    switch (elementKind(elementNumber)) {
        case ElementKind::Fader: {
            // The device scales the fader with F and back with G = 2^24 / F;
            // computed in double and truncated toward zero like the device's
            // own arithmetic expects. Only the low 16 bits travel.
            auto f = static_cast<std::int64_t>(
                std::trunc((maximum - static_cast<double>(minimum)) / 16383.0 * 65535.0));
            if (f == 0) {
                w.sendFactorWasZero = true;
                f = 256;
            }
            auto g = static_cast<std::int64_t>(std::trunc(16777216.0 / static_cast<double>(f)));
            if (g > 0xFFFF) g = 0xFFFF;
            w.a = minimum;
            w.b = static_cast<std::int32_t>(f & 0xFFFF);
            w.c = static_cast<std::int32_t>(g & 0xFFFF);
            w.d = 0;
            break;
        }
        case ElementKind::Encoder:
        case ElementKind::JogShuttle:
            w.a = minimum;
            w.b = maximum;
            w.c = step;
            w.d = start;
            break;
        case ElementKind::Button:
        case ElementKind::JogWheel:
            break;
    }
    return w;
}

ByteString configPayload(int elementNumber, std::uint8_t modeCode, const ElementWords& words,
                         const ByteString& left, const ByteString& right) {
    ByteString payload{static_cast<std::uint8_t>(elementNumber), modeCode};
    for (std::int32_t word : {words.a, words.b, words.c, words.d}) {
        payload.push_back(GetHigh(word));
        payload.push_back(GetLow(word));
    }
    payload.insert(payload.end(), left.begin(), left.end());
    payload.insert(payload.end(), right.begin(), right.end());
    return payload;
}

EncodeResult KonfigurationSenden(const ConfigDocument& doc, std::string_view configName,
                                 EncoderReport& report) {
    EncodeResult result;
    if (!doc.Finde_XML_SetByName(configName)) {
        result.status = EncodeResult::Status::UnknownConfiguration;
        return result;
    }

    std::vector<PreparedElement> prepared(kElementCount);
    for (int n = 0; n < kElementCount; ++n) {
        const ElementResolution res = doc.resolveElement(configName, n);
        auto problem = [&](EncodeProblem::Reason reason, std::string detail) {
            result.problems.push_back({n, reason, std::move(detail)});
        };
        switch (res.state) {
            case ElementResolution::State::NoAssignment:
                continue;
            case ElementResolution::State::DanglingGroup:
                problem(EncodeProblem::Reason::DanglingGroup, res.groupName);
                continue;
            case ElementResolution::State::DanglingMessage:
                problem(EncodeProblem::Reason::DanglingMessage, res.messageName);
                continue;
            case ElementResolution::State::Resolved:
                break;
        }

        const std::size_t problemsBefore = result.problems.size();
        const pugi::xml_node msg = res.message;
        const std::string modeText =
            ConfigDocument::XML_GetChildNodeValue(msg, "mode", std::string(kDefaultModeText));
        const std::string rangeText =
            ConfigDocument::XML_GetChildNodeValue(msg, "range", std::string(kDefaultRangeText));
        const auto mode = modeFromText(modeText);
        if (!mode) problem(EncodeProblem::Reason::InvalidMode, modeText);

        TMessageRecord record;
        if (auto err = readMessageRecord(msg, record)) {
            problem(EncodeProblem::Reason::InvalidNumber, err->child + ": " + err->text);
        }

        // The range only matters where the panel lets the user choose it:
        // button and jog-wheel modes always send the full range.
        const bool rangeApplies = mode && (*mode == MODE_14Bit || *mode == MODE_7Bit);
        const auto range = rangeFromText(rangeText);
        if (rangeApplies && !range) problem(EncodeProblem::Reason::InvalidRange, rangeText);

        const auto left = parseTemplate(record.MessageLeft);
        if (!left) problem(EncodeProblem::Reason::InvalidLeft, record.MessageLeft);
        const auto right = parseTemplate(record.MessageRight);
        if (!right) problem(EncodeProblem::Reason::InvalidRight, record.MessageRight);

        if (result.problems.size() != problemsBefore) continue;

        const bool full = !rangeApplies || *range == RANGE_FULL;
        const ElementWords words =
            full ? elementWords(n, kFullMinimum, kFullMaximum, kFullStep, kFullStart)
                 : elementWords(n, record.Minimum, record.Maximum, record.Step, record.Start);
        PreparedElement& el = prepared[static_cast<std::size_t>(n)];
        el.assigned = true;
        el.sendFactorWasZero = words.sendFactorWasZero;
        el.packet = BuildDataPacket(sysex::kCmdConfigPacket,
                                    configPayload(n, ModeToInt(*mode), words, *left, *right));
    }

    if (!result.problems.empty()) {
        result.status = EncodeResult::Status::Refused;
        report.refused(result.problems);
        return result;
    }

    for (int n = 0; n < kElementCount; ++n) {
        PreparedElement& el = prepared[static_cast<std::size_t>(n)];
        report.elementProgress(n, el.assigned);
        if (!el.assigned) continue;
        if (el.sendFactorWasZero) report.sendFactorZero(n);
        result.stream.insert(result.stream.end(), el.packet.begin(), el.packet.end());
        result.packets.push_back(std::move(el.packet));
    }
    return result;
}

}  // namespace korvane
