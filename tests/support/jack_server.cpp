#include "jack_server.h"

#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "process.h"

namespace korvane::testing {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(15);

// JACK prints its own complaints to standard error for every failed attempt
// while the server is still starting; keep those out of the test output.
void quiet(const char*) {}
// Once the server is up, JACK's messages matter again to whoever uses it.
void toStderr(const char* message) { std::fprintf(stderr, "JACK: %s\n", message); }

bool acceptsClients(const std::string& server) {
    jack_status_t status{};
    jack_client_t* client =
        jack_client_open("korvane-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                         &status, server.c_str());
    if (!client) return false;
    jack_client_close(client);
    return true;
}

bool reap(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

bool waitForJackPorts(const std::vector<std::string>& names, std::chrono::milliseconds limit) {
    jack_status_t status{};
    jack_client_t* client =
        jack_client_open("korvane-port-wait", static_cast<jack_options_t>(JackNoStartServer), &status);
    if (!client) return false;
    const auto end = std::chrono::steady_clock::now() + limit;
    bool all = false;
    while (!all && std::chrono::steady_clock::now() < end) {
        all = true;
        for (const std::string& name : names) all = all && jack_port_by_name(client, name.c_str()) != nullptr;
        if (!all) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    jack_client_close(client);
    return all;
}

bool JackServer::installed() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((std::filesystem::path(dir) / "jackd").c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::unique_ptr<JackServer> JackServer::start(std::string& why) {
    if (!installed()) {
        why = "jackd is not installed (package jackd2); the tests over a real MIDI transport are skipped";
        return nullptr;
    }
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);

    std::unique_ptr<JackServer> server(new JackServer);
    static int counter = 0;
    server->name_ = "korvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    server->dir_ = makeTempDir("korvane-jack");

    // Synchronous mode (-S): each cycle waits for every client to finish.
    // Without it, on a machine where JACK may not run its threads in real
    // time and the test run keeps both cores busy, a client that falls one
    // cycle behind misses the MIDI its peer wrote in that cycle, and a
    // packet of a transfer vanishes without trace. The protocol cannot see
    // such a loss (the device answers every version query alike), so the
    // transport under the tests must not lose anything.
    const pid_t pid =
        spawnProcess({"jackd", "-S", "-n", server->name_, "-d", "dummy", "-r", "48000", "-p", "256"},
                     server->dir_ / "jackd.log", server->dir_ / "jackd.log");
    if (pid < 0) {
        why = "jackd could not be started";
        return nullptr;
    }
    server->pid_ = pid;

    const auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (!acceptsClients(server->name_)) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            server->pid_ = -1;
            why = "jackd ended at start-up: " + server->log();
            return nullptr;
        }
        if (std::chrono::steady_clock::now() >= end) {
            why = "jackd did not accept clients within 15 s: " + server->log();
            return nullptr;  // the destructor stops it
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    jack_set_error_function(toStderr);
    jack_set_info_function(quiet);
    if (const char* old = std::getenv("JACK_DEFAULT_SERVER")) server->previousDefault_ = old;
    ::setenv("JACK_DEFAULT_SERVER", server->name_.c_str(), 1);
    return server;
}

std::string JackServer::log() const {
    std::ifstream in(dir_ / "jackd.log");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void JackServer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (!reap(pid_, std::chrono::seconds(5))) {
            ::kill(pid_, SIGKILL);
            reap(pid_, std::chrono::seconds(5));
        }
        pid_ = -1;
    }
}

JackServer::~JackServer() {
    stop();
    if (previousDefault_) {
        ::setenv("JACK_DEFAULT_SERVER", previousDefault_->c_str(), 1);
    } else if (const char* cur = std::getenv("JACK_DEFAULT_SERVER"); cur && cur == name_) {
        ::unsetenv("JACK_DEFAULT_SERVER");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::unique_ptr<JackServer> JackTest::server_;
std::string JackTest::skipReason_;
std::string JackTest::failReason_;

void JackTest::SetUpTestSuite() {
    skipReason_.clear();
    failReason_.clear();
    std::string why;
    server_ = JackServer::start(why);
    if (!server_) (JackServer::installed() ? failReason_ : skipReason_) = why;
}

void JackTest::TearDownTestSuite() { server_.reset(); }

void JackTest::SetUp() {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    if (!failReason_.empty()) FAIL() << failReason_;
}

}  // namespace korvane::testing
