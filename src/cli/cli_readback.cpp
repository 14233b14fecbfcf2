#include "cli_readback.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>
#include <variant>

#include "cli_ports.h"
#include "config_document.h"
#include "config_encoder.h"
#include "device_dump.h"
#include "device_fetch.h"
#include "element_catalogue.h"
#include "midi_service.h"
#include "motor_profile_reading.h"
#include "texts.h"

namespace korvane::cli {
namespace {

// The tool speaks English, like its other commands.
constexpr std::string_view kLanguage = "en";

constexpr int kOk = 0;
constexpr int kNoConfiguration = 2;
constexpr int kNotEncodable = 3;
constexpr int kNoAnswer = 4;
constexpr int kNoSuchPort = 5;

std::string tx(std::string_view key) { return std::string(text(key, kLanguage)); }
std::string tx(std::string_view key, std::string_view value) { return textWith(key, kLanguage, value); }

// Runs the fetch on the Qt event loop: replies from the input port are
// posted to the main thread, the fetch's timer is a QTimer.
class CliFetchHost : public EventLoopHost<FetchHost> {
public:
    CliFetchHost(MidiOutputConnection& out, bool verbose) : EventLoopHost(out, verbose) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { fetch.onTimer(); });
    }

    TDeviceFetch fetch{*this};
    std::optional<FetchResult> result;

    // The tool runs no transfer of its own while it reads.
    bool transferRunning() override { return false; }
    void fetchFinished(const FetchResult& r) override {
        result = r;
        timer_.stop();
        QCoreApplication::exit(0);
    }
    void log(std::string_view line) override {
        if (verbose_) std::cerr << "log: " << line << "\n";
    }
};

// Opens the two ports and reads one dump. Exit code when it could not be
// read; the reason has been written to standard error.
std::variant<FetchResult, int> fetchDump(int argc, char** argv, DumpKind kind, const std::string& outName,
                                         const std::string& inName, bool verbose) {
    QCoreApplication app(argc, argv);
    auto service = createRtMidiService("korvane");
    service->setErrorHandler([](const std::string& message) { std::cerr << "korvane: " << message << "\n"; });

    std::unique_ptr<CliFetchHost> host;
    auto ports = openDevicePorts(*service, app, outName, inName, verbose, [&host](const ByteString& message) {
        if (host && !message.empty() && message[0] == sysex::kStart) host->fetch.onSysEx(message);
    });
    if (!ports) return kNoSuchPort;
    host = std::make_unique<CliFetchHost>(*ports->output, verbose);
    QTimer::singleShot(0, &app, [&] { host->fetch.start(kind); });
    app.exec();
    ports->input.reset();  // no callback may post into a loop that is gone
    if (!host->result) return kNoAnswer;

    const FetchResult r = *host->result;
    switch (r.outcome) {
        case FetchResult::Outcome::Complete:
            return r;
        case FetchResult::Outcome::NoAnswer:
        case FetchResult::Outcome::SendFailed:
        case FetchResult::Outcome::Interrupted:
            std::cerr << "korvane: " << tx("readback.cli.noAnswer") << "\n" << tx("cli.checkDevice") << "\n";
            return kNoAnswer;
        case FetchResult::Outcome::UnsupportedVersion:
            std::cerr << "korvane: " << tx("readback.cli.unsupportedVersion", r.detail) << "\n";
            return kNoAnswer;
        case FetchResult::Outcome::NoEndMarker:
            std::cerr << "korvane: " << tx("readback.noEndMarker") << "\n";
            return kNoAnswer;
        case FetchResult::Outcome::NotRecognised:
            std::cerr << "korvane: " << tx("readback.cli.notRecognised", r.detail) << "\n";
            return kDumpNotRecognised;
    }
    return kNoAnswer;
}

void reportFaultyPackets(const DeviceDump& dump) {
    for (const auto& p : dump.packets)
        if (!p.ok()) std::cerr << "korvane: " << tx("readback.cli.faultyPacket", HexBytes(p.packet)) << "\n";
}

class StderrEncoderReport : public EncoderReport {
public:
    void sendFactorZero(int) override {}
    void refused(const std::vector<EncodeProblem>& problems) override {
        std::cerr << "korvane: " << refusalMessage(problems, kLanguage) << "\n";
    }
};

std::variant<EncodeResult, int> encodeConfiguration(const std::string& documentPath,
                                                    const std::string& configuration) {
    ConfigDocument doc;
    const DocumentStatus status = doc.load(documentPath);
    if (!status.ok()) {
        std::cerr << "korvane: " << status.message(kLanguage) << "\n" << tx("cli.checkDocument") << "\n";
        return kNoConfiguration;
    }
    StderrEncoderReport report;
    EncodeResult result = KonfigurationSenden(doc, configuration, report);
    if (result.status == EncodeResult::Status::UnknownConfiguration) {
        std::cerr << "korvane: " << tx("cli.unknownConfiguration", configuration) << "\n";
        for (const auto& name : doc.setNames()) std::cerr << "  " << name << "\n";
        return kNoConfiguration;
    }
    if (result.status == EncodeResult::Status::Refused) return kNotEncodable;
    return result;
}

std::string_view stateKey(ElementState s) {
    switch (s) {
        case ElementState::Different:
            return "readback.cli.compareDiffers";
        case ElementState::OnlyInLibrary:
            return "readback.cli.compareOnlyLibrary";
        case ElementState::OnlyOnDevice:
            return "readback.cli.compareOnlyDevice";
        case ElementState::Faulty:
            return "readback.cli.compareFaulty";
        case ElementState::Unassigned:
        case ElementState::Same:
            break;
    }
    return "";
}

}  // namespace

int cmdFetch(int argc, char** argv, const std::string& outName, const std::string& inName, bool verbose,
             bool motorProfiles) {
    const DumpKind kind = motorProfiles ? DumpKind::MotorProfiles : DumpKind::Configuration;
    auto fetched = fetchDump(argc, argv, kind, outName, inName, verbose);
    if (auto* code = std::get_if<int>(&fetched)) return *code;
    const DeviceDump& dump = std::get<FetchResult>(fetched).dump;
    for (const auto& packet : dump.sendablePackets()) std::cout << HexBytes(packet) << "\n";
    reportFaultyPackets(dump);
    if (motorProfiles) {
        // The editor would not take these profiles either: say why, fader
        // by fader.
        const MotorProfileReading reading = readMotorProfiles(dump);
        if (!reading.ok()) {
            const std::string problems = profileReadProblemsText(reading.problems, kLanguage);
            const bool empty = dump.packets.empty();
            std::cerr << "korvane: " << (empty ? problems : tx("readback.cli.notRecognised", problems))
                      << "\n";
            return kDumpNotRecognised;
        }
    }
    // Damaged packets are not printed as if they were stored that way.
    return dump.faultyCount() == 0 ? kOk : kDumpNotRecognised;
}

int cmdCompare(int argc, char** argv, const std::string& documentPath, const std::string& configuration,
               const std::string& outName, const std::string& inName, bool verbose) {
    // The document is checked before the device is asked anything.
    auto encoded = encodeConfiguration(documentPath, configuration);
    if (auto* code = std::get_if<int>(&encoded)) return *code;
    auto fetched = fetchDump(argc, argv, DumpKind::Configuration, outName, inName, verbose);
    if (auto* code = std::get_if<int>(&fetched)) return *code;

    const DeviceDump& dump = std::get<FetchResult>(fetched).dump;
    const ConfigComparison comparison = compareWithDevice(std::get<EncodeResult>(encoded).packets, dump);
    for (int n = 0; n < kElementCount; ++n) {
        const std::string_view key = stateKey(comparison.states[static_cast<std::size_t>(n)]);
        if (!key.empty()) std::cout << tx(key, Wie_lautet_EingabeElementName(n)) << "\n";
    }
    if (comparison.unplacedFaults > 0)
        std::cout << tx("readback.cli.compareUnplaced", std::to_string(comparison.unplacedFaults)) << "\n";
    reportFaultyPackets(dump);
    if (comparison.equal()) {
        std::cout << tx("readback.equal") << "\n";
        return kOk;
    }
    const int n = comparison.differing();
    std::cout << (n == 1 ? tx("readback.differOne") : tx("readback.differ", std::to_string(n))) << "\n";
    return kDifferent;
}

}  // namespace korvane::cli
