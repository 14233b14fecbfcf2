#pragma once
// Child processes for tests that drive the real programs: run one to its end
// with a generous limit, or keep one in the background and stop it by pid.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

struct ProcessResult {
    int exitCode = -1;  // -1 when killed by a signal or the limit
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0] (searched in PATH when it has no slash) and waits; the child is
// killed when it outlives limit, so a hanging program cannot hang the test.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

// A child that runs until it is stopped; its standard output and error go to
// files in a temporary folder so they can be read while it runs.
class BackgroundProcess {
public:
    explicit BackgroundProcess(const std::vector<std::string>& argv);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Waits until the standard output holds a line that starts with prefix;
    // returns the rest of that line, or nullopt when the child ended or the
    // limit passed first.
    std::optional<std::string> waitForLine(const std::string& prefix, std::chrono::milliseconds limit);
    std::string output() const;
    std::string errors() const;
    // Whether the child still runs.
    bool running();
    // SIGTERM, then SIGKILL if it does not end within a few seconds; returns its exit code (-1 by signal).
    int stop();

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    bool reaped_ = false;
    std::filesystem::path dir_;
};

// Starts argv with standard output and error written to the two files (both
// may be the same file); -1 when it cannot be started. The caller reaps it.
pid_t spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& out,
                   const std::filesystem::path& err);

// A fresh, empty folder under the system's temporary folder; removed by its owner.
std::filesystem::path makeTempDir(const std::string& stem);

}  // namespace korvane::testing
