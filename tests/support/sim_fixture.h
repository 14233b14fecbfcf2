#pragma once
// A GoogleTest fixture for tests that run the command-line tool against
// korvane-sim over the private JACK server: a temporary folder, the
// simulator started with chosen options, its port names, and the tool run
// against those ports.
//
//   class MyTest : public korvane::testing::SimulatorTest {};
//   TEST_F(MyTest, X) {
//       ASSERT_NO_FATAL_FAILURE(startSim({"--no-reply"}));
//       const ProcessResult r = tool({"fetch"});
//   }

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jack_server.h"
#include "process.h"

namespace korvane::testing {

// The folder the programs are built into.
const std::filesystem::path& binDir();

// The lines of a program's output, without their line ends.
std::vector<std::string> lines(const std::string& text);

// A whole file as text; empty when it cannot be read.
std::string readTextFile(const std::filesystem::path& file);

// The packets of one array of the simulator's state file ("configuration",
// "motorprofiles"), in order, as upper-case hex bytes.
std::vector<std::string> statePackets(const std::string& json, const std::string& key);

class SimulatorTest : public JackTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator (stopping one started before) with its state in
    // state() and the extra options, and learns its port names. Use with
    // ASSERT_NO_FATAL_FAILURE.
    void startSim(const std::vector<std::string>& extra);

    // Runs "korvane ARGS --out <device input> --in <device output>".
    ProcessResult tool(const std::vector<std::string>& args,
                       std::chrono::milliseconds limit = std::chrono::seconds(120));

    const std::filesystem::path& dir() const { return dir_; }
    // The simulator's state file (written when it stores and when it stops).
    std::filesystem::path state() const { return dir_ / "state.json"; }

    std::unique_ptr<BackgroundProcess> sim_;
    // The simulator's ports: where the tool sends to, and where it listens.
    std::string deviceIn_, deviceOut_;

private:
    std::filesystem::path dir_;
};

}  // namespace korvane::testing
