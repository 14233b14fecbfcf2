// korvane: the device protocol from the command line.
//
//   korvane ports
//   korvane encode DOCUMENT CONFIGURATION
//   korvane send DOCUMENT CONFIGURATION --out NAME --in NAME [--verbose]
//
// "send" runs the same transfer state machine as the editor, driven by a Qt
// event loop: replies from the input port are posted to the main thread, the
// repeating timer is a QTimer.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "cli_ports.h"
#include "cli_profile_send.h"
#include "cli_readback.h"
#include "config_document.h"
#include "config_encoder.h"
#include "element_catalogue.h"
#include "memory_pages.h"
#include "midi_service.h"
#include "texts.h"
#include "transfer_state_machine.h"
#include "version.h"

namespace {

using namespace korvane;

// The tool speaks English; every text still comes from the one table.
constexpr std::string_view kLanguage = "en";

enum ExitCode {
    kOk = 0,
    kUsage = 1,
    kNoConfiguration = 2,
    kNotEncodable = 3,
    kNoAnswer = 4,
    kNoSuchPort = 5,
};

std::string tx(std::string_view key) { return std::string(text(key, kLanguage)); }
std::string tx(std::string_view key, std::string_view value) { return textWith(key, kLanguage, value); }

// The commands this tool knows, as an unknown one lists them (a test holds
// this list to the commands of --help).
constexpr std::string_view kCommands[] = {"ports", "encode", "send", "fetch", "compare", "profile-send"};

int usage(const std::string& problem) {
    std::cerr << "korvane: " << problem << "\n" << tx("cli.seeHelp") << "\n";
    return kUsage;
}

// Writes the encoder's warnings and refusal to standard error.
class StderrEncoderReport : public EncoderReport {
public:
    void sendFactorZero(int elementNumber) override {
        std::cerr << "korvane: " << Wie_lautet_EingabeElementName(elementNumber) << ": "
                  << sendFactorZeroMessage(kLanguage) << "\n";
    }
    void refused(const std::vector<EncodeProblem>& problems) override {
        std::cerr << "korvane: " << refusalMessage(problems, kLanguage) << "\n";
    }
};

// Loads the document and encodes the configuration; exit code on failure.
std::variant<EncodeResult, int> encode(const std::string& documentPath, const std::string& configuration) {
    ConfigDocument doc;
    const DocumentStatus status = doc.load(documentPath);
    if (!status.ok()) {
        std::cerr << "korvane: " << status.message(kLanguage) << "\n" << tx("cli.checkDocument") << "\n";
        return kNoConfiguration;
    }
    StderrEncoderReport report;
    EncodeResult result = KonfigurationSenden(doc, configuration, report);
    switch (result.status) {
        case EncodeResult::Status::Ok:
            return result;
        case EncodeResult::Status::UnknownConfiguration: {
            std::cerr << "korvane: " << tx("cli.unknownConfiguration", configuration) << "\n";
            for (const auto& name : doc.setNames()) std::cerr << "  " << name << "\n";
            return kNoConfiguration;
        }
        case EncodeResult::Status::Refused:
            return kNotEncodable;
    }
    return kNotEncodable;
}

int listPorts(MidiService& service, std::ostream& out) {
    const auto inputs = service.inputPortNames();
    const auto outputs = service.outputPortNames();
    for (const auto& name : inputs) out << "in: " << name << "\n";
    for (const auto& name : outputs) out << "out: " << name << "\n";
    // An empty list alone leaves the user guessing why.
    if (inputs.empty() && outputs.empty()) std::cerr << "korvane: " << tx("cli.noPorts") << "\n";
    return kOk;
}

// What the MIDI systems print themselves is noise next to the tool's own
// messages; it is shown only when asked for.
void routeMidiConsole(bool verbose) {
    if (!verbose) return;  // dropped
    setMidiConsoleHandler([](const std::string& line) { std::cerr << "midi: " << line << "\n"; });
}

// Listing and opening ports asks the MIDI server, which first hears from
// every client it serves; with one of them stopped it may wait for ever.
// While it lives, this ends the tool with a message once the limit passes.
class StartWatch {
public:
    explicit StartWatch(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (wake_.wait_for(lock, limit, [this] { return done_; })) return;
              // Not through std::cerr: the MIDI library's constructor, where
              // the tool hangs, has it borrowed.
              const std::string line =
                  "korvane: " + tx("cli.midiSystemStuck", std::to_string(limit.count())) + "\n";
              std::fputs(line.c_str(), stderr);
              std::fflush(nullptr);
              std::_Exit(kNoSuchPort);
          }) {}
    ~StartWatch() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    StartWatch(const StartWatch&) = delete;
    StartWatch& operator=(const StartWatch&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

// Closing the ports waits for the MIDI server, which in turn waits for every
// client of the graph; with the device's client frozen that took half a
// minute. The outcome is known and printed by now, so the process ends after
// a short grace whether or not the ports have closed.
void endWithinGrace(int code) {
    constexpr auto kGrace = std::chrono::milliseconds(1500);
    std::thread([code, kGrace] {
        std::this_thread::sleep_for(kGrace);
        std::fflush(nullptr);
        std::_Exit(code);
    }).detach();
}

int cmdEncode(const std::string& documentPath, const std::string& configuration) {
    auto result = encode(documentPath, configuration);
    if (auto* code = std::get_if<int>(&result)) return *code;
    for (const auto& packet : std::get<EncodeResult>(result).packets) std::cout << HexBytes(packet) << "\n";
    return kOk;
}

// Hosts the transfer state machine on the Qt event loop.
class CliTransferHost : public cli::EventLoopHost<TransferHost> {
public:
    CliTransferHost(MidiOutputConnection& out, bool verbose) : EventLoopHost(out, verbose) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { machine.onTimer(); });
    }

    TTransferStateMachine machine{*this};
    std::optional<int> exitCode;

    void showFailure(TransferFailure failure) override {
        if (!notRespondingShown_) std::cerr << normalizeLineEnds(tx(failureTextKey(failure))) << "\n";
        notRespondingShown_ = true;
    }
    void setSendCaption(SendCaption) override {}
    void InitSendButton() override {}
    void log(TransferLogLevel, std::string_view line) override {
        if (verbose_) std::cerr << "log: " << line << "\n";
    }
    void stageReached(TransferStage stage, int index, int count) override {
        switch (stage) {
            case TransferStage::PacketSent: {
                std::string line = tx("cli.stage.packet", std::to_string(index));
                if (auto pos = line.find("%n"); pos != std::string::npos)
                    line.replace(pos, 2, std::to_string(count));
                std::cout << line << std::endl;
                break;
            }
            case TransferStage::Storing:
                std::cout << tx("cli.stage.storing") << std::endl;
                break;
            case TransferStage::Restarting:
                std::cout << tx("cli.stage.restarting") << std::endl;
                break;
            case TransferStage::Finished:
                std::cout << tx("cli.stage.done") << std::endl;
                finish(kOk);
                break;
            case TransferStage::Aborted:
                std::cerr << tx("cli.checkDevice") << "\n";
                finish(kNoAnswer);
                break;
        }
    }

private:
    void finish(int code) {
        exitCode = code;
        timer_.stop();
        QCoreApplication::exit(code);
    }

    bool notRespondingShown_ = false;
};

int cmdSend(int argc, char** argv, const std::string& documentPath, const std::string& configuration,
            const std::string& outName, const std::string& inName, bool verbose) {
    auto encoded = encode(documentPath, configuration);
    if (auto* code = std::get_if<int>(&encoded)) return *code;
    const EncodeResult& result = std::get<EncodeResult>(encoded);

    QCoreApplication app(argc, argv);
    auto watch = std::make_unique<StartWatch>(std::chrono::seconds(10));
    auto service = createRtMidiService("korvane");
    service->setErrorHandler([](const std::string& message) { std::cerr << "korvane: " << message << "\n"; });

    std::unique_ptr<CliTransferHost> host;
    auto ports =
        cli::openDevicePorts(*service, app, outName, inName, verbose, [&host](const ByteString& message) {
            if (host && !host->exitCode) host->machine.onSysEx(message);
        });
    if (!ports) return kNoSuchPort;
    host = std::make_unique<CliTransferHost>(*ports->output, verbose);

    watch.reset();  // the ports are open
    std::cout << tx("cli.stage.encoded", std::to_string(result.packets.size())) << std::endl;
    QTimer::singleShot(0, &app, [&] { host->machine.startConfigTransfer(result.stream); });
    app.exec();
    const int code = host->exitCode.value_or(kNoAnswer);
    endWithinGrace(code);
    ports->input.reset();  // no callback may post into a loop that is gone
    ports->output.reset();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    korvane::prefaultXmlMemory();
    // The motor profile command has options of its own (--commit).
    if (argc > 1 && std::string_view(argv[1]) == "profile-send")
        return korvane::cli::runProfileSend(argc, argv);
    std::vector<std::string> positional;
    std::string outName, inName;
    bool verbose = false, haveOut = false, haveIn = false, motor = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << tx("cli.help") << tx("readback.cli.help") << tx("readback.cli.motorHelp")
                      << tx("cli.profile.help");
            return kOk;
        } else if (arg == "--version") {
            std::cout << "korvane " << kVersion << "\n";
            return kOk;
        } else if (arg == "--out" || arg == "--in") {
            if (i + 1 >= argc) return usage(tx("cli.needsValue", arg));
            (arg == "--out" ? outName : inName) = argv[++i];
            (arg == "--out" ? haveOut : haveIn) = true;
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--motor") {
            motor = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(tx("cli.unknownOption", arg));
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) return usage(tx("cli.needsCommand"));
    routeMidiConsole(verbose);
    const std::string& command = positional[0];
    // Only fetch reads motor profiles.
    if (motor && command != "fetch") return usage(tx("cli.unknownOption", "--motor"));
    if (command == "ports" && positional.size() == 1) {
        auto service = createRtMidiService("korvane");
        return listPorts(*service, std::cout);
    }
    if (command == "encode" && positional.size() == 3) return cmdEncode(positional[1], positional[2]);
    if (command == "fetch" && positional.size() == 1) {
        if (!haveOut || !haveIn) return usage(tx("readback.cli.needsPorts"));
        return korvane::cli::cmdFetch(argc, argv, outName, inName, verbose, motor);
    }
    if (command == "compare" && positional.size() == 3) {
        if (!haveOut || !haveIn) return usage(tx("readback.cli.needsPorts"));
        return korvane::cli::cmdCompare(argc, argv, positional[1], positional[2], outName, inName, verbose);
    }
    if (command == "send" && positional.size() == 3) {
        if (!haveOut || !haveIn) return usage(tx("cli.needsPorts"));
        return cmdSend(argc, argv, positional[1], positional[2], outName, inName, verbose);
    }
    if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
        std::cerr << "korvane: " << tx("cli.unknownCommand", command) << "\n" << tx("cli.commandList");
        for (const std::string_view known : kCommands) std::cerr << " " << known;
        std::cerr << "\n" << tx("cli.seeHelp") << "\n";
        return kUsage;
    }
    return usage(tx("cli.badArguments", command));
}
