#pragma once
// A private JACK server for tests that need a real MIDI transport.
//
//   auto server = korvane::testing::JackServer::start(why);
//   if (!server) GTEST_SKIP() << why;      // only when jackd is not installed
//
// The server runs the dummy driver (no sound hardware needed) under a name of
// its own. Tests with a server must still not run at the same time (CTest's
// RESOURCE_LOCK jack-server): a server that shuts down removes files of the
// user's that every server shares, and a client of another server that
// opens just then finds no server. start()
// returns once the server accepts clients and exports JACK_DEFAULT_SERVER for
// this process and every child started afterwards; the destructor stops the
// server by its process id and restores the variable.
//
// JackTest is a ready-made GoogleTest fixture: one server for the whole test
// suite, skipped with a clear message when jackd is missing and failed (not
// skipped) when jackd is there but does not come up.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::testing {

class JackServer {
public:
    // Whether a jackd executable is on PATH.
    static bool installed();

    // Starts a server; nullptr with the reason in why when it cannot.
    static std::unique_ptr<JackServer> start(std::string& why);

    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    const std::string& name() const { return name_; }
    pid_t pid() const { return pid_; }
    // What jackd wrote so far (for failure messages).
    std::string log() const;

private:
    JackServer() = default;
    void stop();

    std::string name_;
    pid_t pid_ = -1;
    std::filesystem::path dir_;
    std::optional<std::string> previousDefault_;
};

// Waits until every one of the full port names is listed by the JACK server
// this process uses (JACK_DEFAULT_SERVER), at most for limit. A program that
// just said it opened its ports may still be seen without them by another
// client for a moment; a test that starts that client next waits here.
bool waitForJackPorts(const std::vector<std::string>& names, std::chrono::milliseconds limit);

class JackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static JackServer* server() { return server_.get(); }

private:
    static std::unique_ptr<JackServer> server_;
    static std::string skipReason_;
    static std::string failReason_;
};

}  // namespace korvane::testing
