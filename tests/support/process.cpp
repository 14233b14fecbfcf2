#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace korvane::testing {
namespace {

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

pid_t spawnProcess(const std::vector<std::string>& argv, const std::filesystem::path& out,
                   const std::filesystem::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (err == out) {
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

namespace {

// Waits for pid up to limit; true and the exit code when it ended.
bool waitFor(pid_t pid, std::chrono::milliseconds limit, int& exitCode) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            exitCode = decode(status);
            return true;
        }
        if (r < 0) {
            exitCode = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

std::filesystem::path makeTempDir(const std::string& stem) {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

ProcessResult runProcess(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    ProcessResult result;
    const auto dir = makeTempDir("korvane-run");
    const pid_t pid = spawnProcess(argv, dir / "out", dir / "err");
    if (pid > 0) {
        if (!waitFor(pid, limit, result.exitCode)) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitFor(pid, std::chrono::seconds(5), result.exitCode);
            result.exitCode = -1;
        }
    }
    result.out = slurp(dir / "out");
    result.err = slurp(dir / "err");
    std::filesystem::remove_all(dir);
    return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) : dir_(makeTempDir("korvane-bg")) {
    pid_ = spawnProcess(argv, dir_ / "out", dir_ / "err");
}

BackgroundProcess::~BackgroundProcess() {
    stop();
    std::filesystem::remove_all(dir_);
}

std::optional<std::string> BackgroundProcess::waitForLine(const std::string& prefix,
                                                          std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::istringstream lines(output());
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
        }
        if (!running() || std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string BackgroundProcess::output() const { return slurp(dir_ / "out"); }
std::string BackgroundProcess::errors() const { return slurp(dir_ / "err"); }

bool BackgroundProcess::running() {
    if (pid_ <= 0 || reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        exitCode_ = decode(status);
        return false;
    }
    return true;
}

int BackgroundProcess::stop() {
    if (pid_ <= 0 || reaped_) return exitCode_;
    kill(pid_, SIGTERM);
    if (!waitFor(pid_, std::chrono::seconds(5), exitCode_)) {
        kill(pid_, SIGKILL);
        waitFor(pid_, std::chrono::seconds(5), exitCode_);
    }
    reaped_ = true;
    return exitCode_;
}

}  // namespace korvane::testing
