// The command-line tool against the simulated device over a private JACK
// server: what the device stores must be exactly what "korvane encode" prints.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "sim_fixture.h"

namespace korvane {
namespace {

using testing::BackgroundProcess;
using testing::ProcessResult;
using testing::runProcess;

using testing::lines;

const std::filesystem::path& kBin = testing::binDir();
const std::string kDocument = (kBin / "korvane.def").string();
const std::string kStandard = "Standard Tarvok NRPN";

std::string readFile(const std::filesystem::path& file) { return testing::readTextFile(file); }

std::vector<std::string> packetsOf(const std::string& json, const std::string& key) {
    return testing::statePackets(json, key);
}

int counterOf(const std::string& json, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(json, m, std::regex("\"" + key + "\": ([0-9]+)"))) return -1;
    return std::stoi(m[1]);
}

class CliOverJack : public testing::SimulatorTest {
protected:
    ProcessResult send(const std::string& configuration = kStandard) {
        return tool({"send", kDocument, configuration});
    }
};

TEST_F(CliOverJack, DeviceStoresExactlyTheEncodedPackets) {
    ASSERT_NO_FATAL_FAILURE(startSim({}));
    const ProcessResult encoded = runProcess({(kBin / "korvane").string(), "encode", kDocument, kStandard});
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
    const auto expected = lines(encoded.out);
    ASSERT_EQ(expected.size(), 64u);

    const ProcessResult sent = send();
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err << sim_->errors();
    const auto stages = lines(sent.out);
    EXPECT_NE(std::find(stages.begin(), stages.end(), "packet 64 of 64 sent"), stages.end()) << sent.out;
    EXPECT_EQ(stages.back(), "done");

    const std::string json = readFile(state());
    EXPECT_EQ(packetsOf(json, "configuration"), expected);
    EXPECT_EQ(counterOf(json, "stores"), 1) << json;
    EXPECT_EQ(counterOf(json, "resets"), 1) << json;
    EXPECT_EQ(counterOf(json, "rejected"), 0) << json;
}

TEST_F(CliOverJack, SilentDeviceEndsWithTheNotRespondingText) {
    ASSERT_NO_FATAL_FAILURE(startSim({"--no-reply"}));
    const ProcessResult sent = send();
    EXPECT_EQ(sent.exitCode, 4);
    EXPECT_NE(sent.err.find("Korvane does not respond."), std::string::npos) << sent.err;
    EXPECT_EQ(counterOf(readFile(state()), "stores"), 0);
}

// A device that ignores queries, or answers later than the tool polls it (so
// that replies to older queries arrive after the store command), still ends
// up with everything stored and restarted once.
TEST_F(CliOverJack, DeviceThatIgnoresQueriesStillGetsEverything) {
    const std::vector<std::vector<std::string>> devices = {
        {"--ignore-queries", "3"},
        {"--reply-delay-ms", "45"},
        // Slower than the poll and deaf while storing: replies to queries
        // asked before the store command come in after it.
        {"--reply-delay-ms", "300", "--store-ms", "1000"},
    };
    for (const auto& options : devices) {
        SCOPED_TRACE(options.front());
        ASSERT_NO_FATAL_FAILURE(startSim(options));
        const ProcessResult sent = send();
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
        sim_.reset();  // stopped, so the state file is final
        const std::string json = readFile(state());
        EXPECT_EQ(packetsOf(json, "configuration").size(), 64u);
        EXPECT_EQ(counterOf(json, "stores"), 1) << json;
        EXPECT_EQ(counterOf(json, "resets"), 1) << json;
    }
}

TEST_F(CliOverJack, UnknownPortListsTheAvailableOnes) {
    ASSERT_NO_FATAL_FAILURE(startSim({}));
    const ProcessResult r = runProcess(
        {(kBin / "korvane").string(), "send", kDocument, kStandard, "--out", "nowhere", "--in", deviceOut_});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_NE(r.err.find("'nowhere'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("out: " + deviceIn_), std::string::npos) << r.err;

    // Both wrong: both are named, not only the first.
    const ProcessResult both = runProcess(
        {(kBin / "korvane").string(), "send", kDocument, kStandard, "--out", "nowhere", "--in", "nothere"});
    EXPECT_EQ(both.exitCode, 5);
    EXPECT_NE(both.err.find("'nowhere'"), std::string::npos) << both.err;
    EXPECT_NE(both.err.find("'nothere'"), std::string::npos) << both.err;
    EXPECT_NE(both.err.find("in: " + deviceOut_), std::string::npos) << both.err;

    const ProcessResult ports = runProcess({(kBin / "korvane").string(), "ports"});
    EXPECT_EQ(ports.exitCode, 0);
    const auto listed = lines(ports.out);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "in: " + deviceOut_), listed.end()) << ports.out;
    EXPECT_NE(std::find(listed.begin(), listed.end(), "out: " + deviceIn_), listed.end()) << ports.out;
}

// A device whose MIDI client freezes (stopped, not killed) in the middle of a
// transfer no longer answers; the tool reports that after the packet time-out
// and ends, instead of waiting half a minute for the MIDI server to let its
// ports close. Started against the frozen device, it ends as soon too: the
// server either holds the port opening up, which the tool cuts short with a
// message, or has dropped the stopped client and its ports.
TEST_F(CliOverJack, FrozenDeviceEndsTheTool) {
    ASSERT_NO_FATAL_FAILURE(startSim({}));
    BackgroundProcess tool(
        {(kBin / "korvane").string(), "send", kDocument, kStandard, "--out", deviceIn_, "--in", deviceOut_});
    ASSERT_TRUE(tool.waitForLine("packet 3 of", std::chrono::seconds(30))) << tool.errors();
    ASSERT_EQ(::kill(sim_->pid(), SIGSTOP), 0);
    // Far below the half minute the closing took, far above the 5 s packet
    // time-out plus the tool's grace for closing.
    bool ended = false;
    for (int i = 0; i < 150 && !ended; ++i) {
        ended = !tool.running();
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(tool.stop(), 4) << tool.errors();
    EXPECT_NE(tool.errors().find("Korvane does not respond."), std::string::npos) << tool.errors();

    const ProcessResult before = runProcess(
        {(kBin / "korvane").string(), "send", kDocument, kStandard, "--out", deviceIn_, "--in", deviceOut_},
        std::chrono::seconds(30));
    ::kill(sim_->pid(), SIGCONT);
    EXPECT_FALSE(before.timedOut);
    EXPECT_EQ(before.exitCode, 5) << before.err;
    // The server may also have dropped the stopped client by now; then its
    // ports are simply gone.
    EXPECT_TRUE(before.err.find("the MIDI system did not answer") != std::string::npos ||
                before.err.find("There is no MIDI port") != std::string::npos)
        << before.err;
}

// Failures found before any port is opened.
TEST(CliErrors, ExitCodesAndMessages) {
    const auto dir = testing::makeTempDir("korvane-cli-errors");
    const auto broken = dir / "broken.xml";
    std::ofstream(broken) << "<korvane><sets><set name=\"Bad\"><element name=\"Fader 1\"><group>none</group>"
                             "<name>x</name></element></set></sets><messagegroups/></korvane>";
    const auto notXml = dir / "not.xml";
    std::ofstream(notXml) << "<korvane><sets>";
    const std::string tool = (kBin / "korvane").string();

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"encode", kDocument, "no such configuration"}, 2, kStandard},  // the available names are listed
        {{"encode", notXml.string(), "Bad"}, 2, "korvane"},
        {{"encode", (dir / "missing.xml").string(), "Bad"}, 2, "korvane"},
        {{"encode", broken.string(), "Bad"}, 3, "'none'"},
        {{"send", broken.string(), "Bad", "--out", "a", "--in", "b"}, 3, "'none'"},
        {{"send", kDocument, kStandard}, 1, "--out"},
        {{"frobnicate"}, 1, "--help"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult r = runProcess(argv);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    std::filesystem::remove_all(dir);
}

// Without any MIDI system the tool says so in one line; what the MIDI
// libraries print while they look for a server stays out of sight unless
// --verbose asks for it.
TEST(CliErrors, NoMidiSystemIsNamedPlainly) {
    if (std::filesystem::exists("/dev/snd/seq")) GTEST_SKIP() << "an ALSA sequencer lists ports of its own";
    const char* old = std::getenv("JACK_DEFAULT_SERVER");
    const std::string saved = old ? old : "";
    ::setenv("JACK_DEFAULT_SERVER", ("korvane-none-" + std::to_string(::getpid())).c_str(), 1);
    const std::string tool = (kBin / "korvane").string();
    const std::string hint =
        "korvane: no MIDI ports found — is a JACK server running or is there an ALSA sequencer?\n";

    const ProcessResult ports = runProcess({tool, "ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_EQ(ports.out, "");
    EXPECT_EQ(ports.err, hint);

    const ProcessResult sent = runProcess({tool, "send", kDocument, kStandard, "--out", "a", "--in", "b"});
    EXPECT_EQ(sent.exitCode, 5);
    EXPECT_EQ(sent.err, "korvane: There is no MIDI port 'a'.\nkorvane: There is no MIDI port 'b'.\n" + hint);
    // Every command that talks to a device looks its ports up the same way.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"fetch"},
          {"fetch", "--motor"},
          {"compare", kDocument, kStandard},
          {"profile-send", (kBin / "motorprofile.def").string(), "default"}}) {
        std::vector<std::string> argv{tool};
        argv.insert(argv.end(), command.begin(), command.end());
        argv.insert(argv.end(), {"--out", "a", "--in", "b"});
        const ProcessResult r = runProcess(argv);
        EXPECT_EQ(r.exitCode, 5) << command[0];
        EXPECT_EQ(r.err, sent.err) << command[0];
    }

    const ProcessResult verbose = runProcess({tool, "ports", "--verbose"});
    EXPECT_NE(verbose.err.find("midi: "), std::string::npos) << verbose.err;

    if (old) {
        ::setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
    } else {
        ::unsetenv("JACK_DEFAULT_SERVER");
    }
}

}  // namespace
}  // namespace korvane
