#include "program_log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "log_class.h"
#include "log_test_support.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::readLines;

class ProgramLogTest : public testing::TempFolderTest {
protected:
    void TearDown() override {
        stopProgramLog();
        TempFolderTest::TearDown();
    }
    fs::path logFile() const { return dir_ / "Pellux3" / "logs" / "Korvane.log"; }
    // The lines' texts behind the label of the main thread.
    static std::string textOf(const std::string& line) {
        auto at = line.find("] [Main] ");
        return at == std::string::npos ? line : line.substr(at + 9);
    }
};

TEST_F(ProgramLogTest, StartsInTheDataFolderAndEndsWithClose) {
    EXPECT_EQ(programDataFolder(), dir_ / "Pellux3");
    LogInfo("before the start goes nowhere");
    startProgramLog();
    ASSERT_NE(programLog(), nullptr);
    startProgramLog();  // a second start changes nothing
    LogInfo("info");
    std::thread([] { LogWarning("from elsewhere"); }).join();
    LogError("error");
    LogInfoAnsi(
        "Gr\xF6\xDF"
        "e \x80");
    stopProgramLog();
    EXPECT_EQ(programLog(), nullptr);
    LogError("after the end goes nowhere");
    stopProgramLog();

    auto lines = readLines(logFile());
    const std::string stars(73, '*');
    const std::vector<std::string> expected = {stars,     stars,  stars,  "Started",        stars,
                                               stars,     stars,  "info", "from elsewhere", "error",
                                               "Größe €", "Close"};
    ASSERT_EQ(lines.size(), expected.size() + 1);
    EXPECT_NE(lines[0].find("didn't exist -> created"), std::string::npos);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& line = lines[i + 1];
        if (expected[i] == "from elsewhere") {
            EXPECT_TRUE(line.ends_with(" ????] from elsewhere")) << line;
        } else {
            EXPECT_EQ(textOf(line), expected[i]) << line;
        }
    }
    EXPECT_NE(lines[8].find("[info]"), std::string::npos);
    EXPECT_NE(lines[9].find("[warning]"), std::string::npos);
    EXPECT_NE(lines[10].find("[error]"), std::string::npos);
}

TEST_F(ProgramLogTest, FormattedProceduresLogFormatMismatches) {
    startProgramLog();
    struct Case {
        std::function<void()> log;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {[] { LogErrorFmt("port %s failed with %d", "In", 3); }, "[error]   ["},
        {[] { LogErrorFmt("port %d", "In"); }, "[error]   ["},
        {[] { LogWarningFmt("%s of %d", "one"); }, "[warning] ["},
        {[] { LogWarningFmt("plain"); }, "[warning] ["},
    };
    const std::vector<std::string> texts = {
        "port In failed with 3",
        "lib_logfile: Error('port %d'): conversion 1 \"%d\" does not fit argument 1, which is a text",
        "lib_logfile: Warning('%s of %d'): conversion 2 needs an integer but only 1 argument(s) were given",
        "plain",
    };
    for (const auto& c : cases) c.log();
    programLog()->Flush(0);
    auto lines = readLines(logFile());
    ASSERT_EQ(lines.size(), 1 + 7 + cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string& line = lines[8 + i];
        EXPECT_NE(line.find(cases[i].expected), std::string::npos) << line;
        EXPECT_EQ(textOf(line), texts[i]);
    }
}

TEST_F(ProgramLogTest, DataFolderFollowsXdgRules) {
    struct Case {
        const char* xdg;  // nullptr: unset
        fs::path expected;
    };
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    const Case cases[] = {
        {"/srv/data", fs::path("/srv/data/Pellux3")},
        {"", fs::path(home) / ".local/share/Pellux3"},
        {"relative/data", fs::path("relative/data/Pellux3")},
        {nullptr, fs::path(home) / ".local/share/Pellux3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdg ? c.xdg : "(unset)");
        if (c.xdg) {
            ::setenv("XDG_DATA_HOME", c.xdg, 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
        EXPECT_EQ(programDataFolder(), c.expected);
    }
}

}  // namespace
}  // namespace korvane
