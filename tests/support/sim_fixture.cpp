#include "sim_fixture.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace korvane::testing {

const std::filesystem::path& binDir() {
    static const std::filesystem::path dir = KORVANE_BIN_DIR;
    return dir;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string readTextFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> statePackets(const std::string& json, const std::string& key) {
    const auto start = json.find("\"" + key + "\": [");
    if (start == std::string::npos) return {};
    const auto end = json.find(']', start);
    const std::string array = json.substr(start, end - start);
    std::vector<std::string> out;
    const std::regex packet("\"(F0[0-9A-F ]*F7)\"");
    for (auto it = std::sregex_iterator(array.begin(), array.end(), packet); it != std::sregex_iterator();
         ++it)
        out.push_back((*it)[1]);
    return out;
}

void SimulatorTest::SetUp() {
    JackTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    dir_ = makeTempDir("korvane-sim-test");
}

void SimulatorTest::TearDown() {
    sim_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

void SimulatorTest::startSim(const std::vector<std::string>& extra) {
    // Every simulator gets a name of its own, so a test never finds the
    // ports of one stopped before it.
    static int counter = 0;
    sim_.reset();
    std::vector<std::string> argv{(binDir() / "korvane-sim").string(), "--name",
                                  "Sim" + std::to_string(counter++), "--state", state().string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<BackgroundProcess>(argv);
    ASSERT_TRUE(sim_->started());
    auto in = sim_->waitForLine("device input: ", std::chrono::seconds(20));
    auto out = sim_->waitForLine("device output: ", std::chrono::seconds(5));
    ASSERT_TRUE(in && out) << "simulator did not come up:\n" << sim_->errors();
    deviceIn_ = *in;
    deviceOut_ = *out;
}

ProcessResult SimulatorTest::tool(const std::vector<std::string>& args, std::chrono::milliseconds limit) {
    std::vector<std::string> argv{(binDir() / "korvane").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--out", deviceIn_, "--in", deviceOut_});
    return runProcess(argv, limit);
}

}  // namespace korvane::testing
