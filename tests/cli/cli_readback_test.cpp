// Reading the simulated device back with "korvane fetch" and "korvane
// compare" over a private JACK server.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "jack_server.h"
#include "process.h"

namespace korvane {
namespace {

using testing::BackgroundProcess;
using testing::ProcessResult;
using testing::runProcess;

const std::filesystem::path kBin = KORVANE_BIN_DIR;
const std::string kTool = (kBin / "korvane").string();
const std::string kDocument = (kBin / "korvane.def").string();
const std::string kStandard = "Standard Tarvok NRPN";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class ReadbackOverJack : public testing::JackTest {
protected:
    void SetUp() override {
        testing::JackTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dir_ = testing::makeTempDir("korvane-readback");
    }
    void TearDown() override {
        sim_.reset();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    void startSim(std::vector<std::string> extra) {
        static int counter = 0;
        sim_.reset();
        std::vector<std::string> argv{(kBin / "korvane-sim").string(), "--name",
                                      "Rb" + std::to_string(counter++)};
        argv.insert(argv.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<BackgroundProcess>(argv);
        ASSERT_TRUE(sim_->started());
        auto in = sim_->waitForLine("device input: ", std::chrono::seconds(20));
        auto out = sim_->waitForLine("device output: ", std::chrono::seconds(5));
        ASSERT_TRUE(in && out) << "simulator did not come up:\n" << sim_->errors();
        deviceIn_ = *in;
        deviceOut_ = *out;
    }

    ProcessResult tool(std::vector<std::string> args) {
        std::vector<std::string> argv{kTool};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--out", deviceIn_, "--in", deviceOut_});
        return runProcess(argv, std::chrono::seconds(120));
    }

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
        const auto path = dir_ / "changed.xml";
        std::ofstream(path) << xml;
        return path.string();
    }

    std::filesystem::path dir_;
    std::unique_ptr<BackgroundProcess> sim_;
    std::string deviceIn_, deviceOut_;
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
