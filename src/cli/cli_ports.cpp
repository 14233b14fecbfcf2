#include "cli_ports.h"

#include <QMetaObject>
#include <algorithm>
#include <iostream>

#include "texts.h"

namespace korvane::cli {
namespace {

// The tool speaks English, like its other commands.
constexpr std::string_view kLanguage = "en";

std::string tx(std::string_view key) { return std::string(text(key, kLanguage)); }
std::string tx(std::string_view key, std::string_view value) { return textWith(key, kLanguage, value); }

}  // namespace

bool portsExist(MidiService& service, const std::string& outName, const std::string& inName) {
    const auto outputs = service.outputPortNames();
    const auto inputs = service.inputPortNames();
    const bool outKnown = std::find(outputs.begin(), outputs.end(), outName) != outputs.end();
    const bool inKnown = std::find(inputs.begin(), inputs.end(), inName) != inputs.end();
    if (outKnown && inKnown) return true;
    if (!outKnown) std::cerr << "korvane: " << tx("cli.portMissing", outName) << "\n";
    if (!inKnown) std::cerr << "korvane: " << tx("cli.portMissing", inName) << "\n";
    if (outputs.empty() && inputs.empty()) {
        std::cerr << "korvane: " << tx("cli.noPorts") << "\n";
        return false;
    }
    std::cerr << tx("cli.availablePorts") << "\n";
    for (const auto& name : inputs) std::cerr << "in: " << name << "\n";
    for (const auto& name : outputs) std::cerr << "out: " << name << "\n";
    std::cerr << tx("cli.choosePort") << "\n";
    return false;
}

std::optional<DevicePorts> openDevicePorts(MidiService& service, QCoreApplication& app,
                                           const std::string& outName, const std::string& inName,
                                           bool verbose, std::function<void(const ByteString&)> onMessage) {
    if (!portsExist(service, outName, inName)) return std::nullopt;
    DevicePorts ports;
    std::string error;
    ports.output = service.openOutput(outName, error);
    if (!ports.output) {
        std::cerr << "korvane: " << tx("cli.portFailed", outName) << " " << error << "\n";
        return std::nullopt;
    }
    ports.input = service.openInput(
        inName,
        [&app, verbose, onMessage = std::move(onMessage)](std::span<const std::uint8_t> bytes, double) {
            // Runs on the backend thread: copy and hand over to the main loop.
            // The MIDI system may glue a SysEx that lost its F7 to the reply
            // after it, so each message is handed over on its own.
            auto messages = splitMidiMessages(bytes);
            QMetaObject::invokeMethod(
                &app,
                [verbose, onMessage, messages = std::move(messages)] {
                    for (const auto& message : messages) {
                        if (verbose) std::cerr << "<- " << HexBytes(message) << "\n";
                        onMessage(message);
                    }
                },
                Qt::QueuedConnection);
        },
        error);
    if (!ports.input) {
        std::cerr << "korvane: " << tx("cli.portFailed", inName) << " " << error << "\n";
        return std::nullopt;
    }
    return ports;
}

bool sendToDevice(MidiOutputConnection& out, const ByteString& bytes, bool verbose) {
    std::string error;
    const bool sent = out.send(bytes, &error);
    if (!sent) std::cerr << "korvane: " << error << "\n";
    if (verbose) std::cerr << "-> " << HexBytes(bytes) << "\n";
    return sent;
}

}  // namespace korvane::cli
