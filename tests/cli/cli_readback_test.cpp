// Reading the simulated device back with "korvane fetch" and "korvane
// compare" over a private JACK server.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim_fixture.h"

namespace korvane {
namespace {

using testing::ProcessResult;
using testing::runProcess;

using testing::lines;

const std::filesystem::path& kBin = testing::binDir();
const std::string kTool = (kBin / "korvane").string();
const std::string kDocument = (kBin / "korvane.def").string();
const std::string kStandard = "Standard Tarvok NRPN";

class ReadbackOverJack : public testing::SimulatorTest {
protected:
    // The shipped library with one message changed: fader 3 sends another NRPN.
    std::string changedDocument() {
        std::ifstream in(kDocument);
        std::ostringstream s;
        s << in.rdbuf();
        std::string xml = s.str();
        const std::string from = "B0,63,00,B0,62,02,";
        const auto at = xml.find(from);
        EXPECT_NE(at, std::string::npos);
        xml.replace(at, from.size(), "B0,63,00,B0,62,7F,");
        const auto path = dir() / "changed.xml";
        std::ofstream(path) << xml;
        return path.string();
    }
};

TEST_F(ReadbackOverJack, SendThenFetchAndCompare) {
    ASSERT_NO_FATAL_FAILURE(startSim({}));

    // An empty device: every assigned element is only in the library.
    const ProcessResult before = tool({"compare", kDocument, kStandard});
    EXPECT_EQ(before.exitCode, 6) << before.err;
    EXPECT_EQ(lines(before.out).back(), "64 elements differ") << before.out;

    ASSERT_EQ(tool({"send", kDocument, kStandard}).exitCode, 0);

    // The device's packets are exactly what encode prints.
    const ProcessResult encoded = runProcess({kTool, "encode", kDocument, kStandard});
    const ProcessResult fetched = tool({"fetch"});
    ASSERT_EQ(fetched.exitCode, 0) << fetched.err;
    EXPECT_EQ(lines(fetched.out), lines(encoded.out));

    const ProcessResult same = tool({"compare", kDocument, kStandard});
    EXPECT_EQ(same.exitCode, 0) << same.out << same.err;
    EXPECT_EQ(lines(same.out), std::vector<std::string>{"The device holds this configuration"});

    const ProcessResult changed = tool({"compare", changedDocument(), kStandard});
    EXPECT_EQ(changed.exitCode, 6) << changed.err;
    EXPECT_EQ(lines(changed.out), (std::vector<std::string>{"Fader 3: differs", "1 element differs"}));
}

// The motor profiles come back as the packets profile-send sent, and a
// device that holds none says so instead of printing an empty profile.
TEST_F(ReadbackOverJack, FetchMotorProfilesAfterProfileSend) {
    ASSERT_NO_FATAL_FAILURE(startSim({}));
    const ProcessResult none = tool({"fetch", "--motor"});
    EXPECT_EQ(none.exitCode, 7) << none.err;
    EXPECT_NE(none.err.find("The device holds no motor profiles."), std::string::npos) << none.err;

    const ProcessResult sent =
        tool({"profile-send", (kBin / "motorprofile.def").string(), "sanft", "--commit"});
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    const ProcessResult fetched = tool({"fetch", "--motor"});
    ASSERT_EQ(fetched.exitCode, 0) << fetched.err;
    const std::vector<std::string> stored =
        testing::statePackets(testing::readTextFile(state()), "motorprofiles");
    ASSERT_EQ(stored.size(), 9u);
    EXPECT_EQ(lines(fetched.out), stored);
}

TEST_F(ReadbackOverJack, ADeviceThatDoesNotFinishEndsInATimeOut) {
    struct Case {
        std::vector<std::string> options;
        std::string inErr;
    };
    const Case cases[] = {
        {{"--no-reply"}, "The device did not answer."},
        {{"--no-end-marker"}, "the end marker is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.front());
        ASSERT_NO_FATAL_FAILURE(startSim(c.options));
        for (const auto& args : {std::vector<std::string>{"fetch"}, {"compare", kDocument, kStandard}}) {
            const ProcessResult r = tool(args);
            EXPECT_EQ(r.exitCode, 4) << args[0];
            EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
}

TEST(ReadbackCli, RefusedBeforeAnyPortIsOpened) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string inErr;
    };
    const Case cases[] = {
        {{"fetch"}, 1, "--out"},
        {{"compare", kDocument, kStandard, "--motor", "--out", "x", "--in", "y"}, 1, "--motor"},
        {{"compare", kDocument, kStandard, "--out", "x"}, 1, "--out"},
        {{"compare", kDocument, "no such configuration", "--out", "x", "--in", "y"}, 2, kStandard},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{kTool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult r = runProcess(argv);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

}  // namespace
}  // namespace korvane
