#include "cli_profile_send.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli_ports.h"
#include "midi_service.h"
#include "motor_profile.h"
#include "motor_profile_document.h"
#include "texts.h"

namespace korvane::cli {

namespace {

// The tool speaks English; every text still comes from the one table.
constexpr std::string_view kLanguage = "en";

enum ExitCode {
    kOk = 0,
    kUsage = 1,
    kNoProfile = 2,
    kNotSendable = 3,
    kSendFailed = 4,
    kNoSuchPort = 5,
};

std::string tx(std::string_view key) { return std::string(text(key, kLanguage)); }
std::string tx(std::string_view key, std::string_view value) { return textWith(key, kLanguage, value); }

int usage(const std::string& problem) {
    std::cerr << "korvane: " << problem << "\n" << tx("cli.profile.help");
    return kUsage;
}

struct Arguments {
    std::vector<std::string> positional;
    std::string outName, inName;
    bool haveOut = false, haveIn = false, commit = false, verbose = false;
};

}  // namespace

int runProfileSend(int argc, char** argv) {
    Arguments args;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" || arg == "--in") {
            if (i + 1 >= argc) return usage(tx("cli.needsValue", arg));
            (arg == "--out" ? args.outName : args.inName) = argv[++i];
            (arg == "--out" ? args.haveOut : args.haveIn) = true;
        } else if (arg == "--commit") {
            args.commit = true;
        } else if (arg == "--verbose") {
            args.verbose = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << tx("cli.profile.help");
            return kOk;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(tx("cli.unknownOption", arg));
        } else {
            args.positional.push_back(arg);
        }
    }
    if (args.positional.size() != 2) return usage(tx("cli.badArguments", "profile-send"));
    if (!args.haveOut || !args.haveIn) return usage(tx("cli.needsPorts"));
    const std::string& documentPath = args.positional[0];
    const std::string& profileName = args.positional[1];

    MotorProfileDocument doc;
    if (const DocumentStatus st = doc.open(documentPath); !st.ok()) {
        std::cerr << "korvane: " << st.message(kLanguage) << "\n";
        return kNoProfile;
    }
    const pugi::xml_node profile = doc.Finde_XML_ProfilByName(profileName);
    if (!profile) {
        std::cerr << "korvane: " << tx("cli.profile.unknown", profileName) << "\n";
        for (const auto& name : doc.profileNames()) std::cerr << "  " << name << "\n";
        return kNoProfile;
    }
    // The editor starts from a zeroed table and shows the two values as
    // numbers; the packets here are the ones it would send right after
    // loading the profile.
    TMotorProfilTabelle table;
    const PositioningTime time = MotorProfileDocument::XMLProfilLaden(profile, table);
    if (const auto bad = firstValueOutsideByte(table)) {
        const std::string what(text(bad->speed ? "motor.value.speed" : "motor.value.difference", kLanguage));
        std::cerr << "korvane: "
                  << textWithAll("motor.valueOutsideByte", kLanguage,
                                 {faderLabel(bad->fader), std::to_string(bad->point + 1), what,
                                  std::to_string(bad->value)})
                  << "\n";
        return kNotSendable;
    }
    const std::uint8_t factor = positioningTimeByte(std::to_string(time.TotzeitFaktor));
    const std::uint8_t constant = positioningTimeByte(std::to_string(time.TotzeitKonstante));
    std::vector<ByteString> packets;
    for (int f = 0; f < kMotorFaderCount; ++f)
        packets.push_back(
            MotorProfilePacket(table.MotorProfile[static_cast<std::size_t>(f)], f, factor, constant));

    QCoreApplication app(argc, argv);
    auto service = createRtMidiService("korvane");
    service->setErrorHandler([](const std::string& message) { std::cerr << "korvane: " << message << "\n"; });
    // The device acknowledges nothing here; its input is only watched so
    // that --verbose shows whatever it says.
    const bool verbose = args.verbose;
    auto ports = openDevicePorts(*service, app, args.outName, args.inName, verbose, [](const ByteString&) {});
    if (!ports) return kNoSuchPort;
    MidiOutputConnection* output = ports->output.get();

    int exitCode = kOk;
    std::size_t next = 0;
    bool committed = false;
    QTimer pause;
    pause.setSingleShot(true);
    // The same pause as the editor's between two packets: the device needs
    // it to take one packet in before the next arrives.
    pause.setInterval(100);
    auto send = [&](const ByteString& bytes) {
        if (verbose) std::cerr << "-> " << HexBytes(bytes) << "\n";
        std::string why;
        if (output->send(bytes, &why)) return true;
        std::cerr << "korvane: " << why << "\n" << tx("cli.checkDevice") << "\n";
        exitCode = kSendFailed;
        QCoreApplication::exit(kSendFailed);
        return false;
    };
    auto step = [&] {
        if (next < packets.size()) {
            if (!send(packets[next])) return;
            ++next;
            std::cout << tx("cli.profile.packet", faderLabel(static_cast<int>(next - 1))) << std::endl;
            pause.start();
            return;
        }
        if (args.commit && !committed) {
            if (!send(MotorProfileCommitPacket())) return;
            committed = true;
            std::cout << tx("cli.profile.committed") << std::endl;
            // Give the MIDI system the time to hand the command over before
            // the port closes.
            pause.start();
            return;
        }
        QCoreApplication::exit(kOk);
    };
    QObject::connect(&pause, &QTimer::timeout, &app, step);
    QTimer::singleShot(0, &app, step);
    app.exec();
    ports->input.reset();
    return exitCode;
}

}  // namespace korvane::cli
