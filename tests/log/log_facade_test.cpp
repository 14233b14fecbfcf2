#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log_class.h"
#include "log_test_support.h"

namespace korvane {
namespace {

using testing::paddedId;
using testing::readLines;

class LogFacadeTest : public testing::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        log_ = std::make_unique<TLogClass>();
        base_ = (dir_ / "logs" / "Test").string();
        log_->Init(0, base_, "log", 10000000, 10, 1000, 0);
        log_->SetFileVerboseLevel(0, vlDebug);
    }
    void TearDown() override {
        log_.reset();
        TempFolderTest::TearDown();
    }
    std::filesystem::path file() const { return base_ + ".log"; }
    // The logged lines after the writer has caught up, without the
    // "created" notice that opens a new file.
    std::vector<std::string> lines() {
        log_->Flush(0);
        auto all = readLines(file());
        if (!all.empty() && all.front().find("didn't exist -> created") != std::string::npos) {
            all.erase(all.begin());
        }
        return all;
    }
    static bool endsWith(const std::string& s, const std::string& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    }

    std::unique_ptr<TLogClass> log_;
    std::string base_;
};

// Runs f on a thread of its own and waits for it, so that it logs under an
// id different from the test's.
template <class F>
void onOtherThread(F f) {
    std::thread t(f);
    t.join();
}

TEST_F(LogFacadeTest, LabelsAndTags) {
    const std::string me = paddedId(currentThreadId());
    const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";

    struct Case {
        const char* name;
        std::function<void(TLogClass&)> act;
        std::string expectedTail;
    };
    const std::vector<Case> cases = {
        {"unregistered, own file", [](TLogClass& l) { l.Append("a", vlInfo, false); },
         "[info]    [" + me + " ????] a"},
        {"unregistered, by position", [](TLogClass& l) { l.Append("b", vlWarning, 0, false); },
         "[warning] [" + me + " ????] b"},
        {"named per call", [](TLogClass& l) { l.Append("c", vlError, 0, "Worker"); },
         "[error]   [" + me + " Worker] c"},
        {"empty name per call", [](TLogClass& l) { l.Append("d", vlDebug, 0, std::string_view()); },
         "[debug]   [" + me + " ????] d"},
        {"registered",
         [](TLogClass& l) {
             l.RegisterThread("Main", 0);
             l.Append("e", vlVerbose, false);
         },
         "[verbose] [" + me + "] [Main] e"},
        {"registered again renames",
         [](TLogClass& l) {
             l.RegisterThread("Haupt", 0);
             l.Append("f", vlSuccess, false);
         },
         "[success] [" + me + "] [Haupt] f"},
        {"long name shortened",
         [&](TLogClass& l) {
             l.RegisterThread(forty, 0);
             l.Append("g", vlImportant, false);
         },
         "[imprtnt] [" + me + "] [0123456789abcde..pqrstuvwxyzABCD] g"},
        {"registration does not touch per-call names",
         [](TLogClass& l) { l.Append("h", vlCritical, 0, "W"); }, "[critcal] [" + me + " W] h"},
    };
    for (const auto& c : cases) c.act(*log_);
    auto got = lines();
    ASSERT_EQ(got.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_TRUE(endsWith(got[i], cases[i].expectedTail)) << got[i];
    }
}

TEST_F(LogFacadeTest, StartBannerFollowsThreshold) {
    const std::string stars(73, '*');
    struct Case {
        TVerboseLevel threshold;
        std::vector<std::string> expected;  // texts in order
    };
    const std::vector<Case> cases = {
        {vlDebug, {stars, stars, stars, "Go", stars, stars, stars}},
        {vlSuccess, {stars, stars, stars, "Go", stars, stars, stars}},
        {vlInfo, {stars, stars, stars, stars}},
        {vlWarning, {stars, stars, stars, stars}},
        {vlError, {stars, stars}},
        {vlCritical, {}},
        {vlNeverWriteToLogfile, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.threshold));
        std::filesystem::remove(file());
        log_->SetFileVerboseLevel(0, c.threshold);
        log_->Started(0, "Go");
        log_->Flush(0);
        if (c.expected.empty()) {
            EXPECT_FALSE(std::filesystem::exists(file()));
            continue;
        }
        auto got = lines();
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(endsWith(got[i], "] " + c.expected[i])) << got[i];
    }
}

TEST_F(LogFacadeTest, LevelByText) {
    struct Case {
        const char* text;
        TVerboseLevel expected;
        bool complains;
    };
    const Case cases[] = {
        {"WARNING", vlWarning, false},
        {"debug", vlDebug, false},
        {"Important", vlImportant, false},
        {"critical", vlCritical, false},
        {"info", vlInfo, false},
        {"loud", vlDebug, true},
        {"", vlDebug, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::filesystem::remove(file());
        log_->SetFileVerboseLevel(0, vlInfo);
        log_->SetFileLogLevel(c.text, 0);
        EXPECT_EQ(log_->Logfile(0)->FileVerboseLevel(), c.expected);
        log_->Flush(0);
        if (!c.complains) {
            EXPECT_FALSE(std::filesystem::exists(file()));
            continue;
        }
        auto got = lines();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(endsWith(got[0], std::string("SetLogLevel(): Unknown LogLevel-Text \"") + c.text +
                                         "\", use debug/verbose/success/info/warning/error"))
            << got[0];
        EXPECT_NE(got[0].find("[error]"), std::string::npos);
    }
}

TEST_F(LogFacadeTest, PositionsOutsideTheListChangeNothing) {
    std::vector<std::string> notices;
    std::mutex m;
    log_->SetNoticeHandler([&](const TLogNotice& n) {
        std::lock_guard lock(m);
        notices.push_back(n.text);
    });
    EXPECT_FALSE(log_->SetFileVerboseLevel(1, vlError));
    EXPECT_FALSE(log_->SetScreenVerboseLevel(-1, vlError));
    EXPECT_FALSE(log_->SetTimeFormat(3, tfSeconds));
    EXPECT_FALSE(log_->RestartTime(1));
    log_->Append("lost", vlCritical, 0, "x");  // position 0 exists: written
    log_->Append("nowhere", vlCritical, 5, "x");
    log_->Append("nowhere", vlCritical, 5, false);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Fehlermeldung: TLogClass.Append: LogfileIndex 5 ist ungültig/nicht vorhanden");
    auto got = lines();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(endsWith(got[0], "lost"));
    EXPECT_THROW(log_->Init(static_cast<TLogfileDestination>(7), "Pellux3", "", "X"), std::invalid_argument);
    EXPECT_EQ(log_->LogfileCount(), 1);
}

// 'U': the test thread unregisters; 'o': another thread registers and
// unregisters; 'L': the test thread logs. The test thread registered first.
TEST_F(LogFacadeTest, UnregisteredThreadKeepsLabelForFourOtherUnregistrations) {
    struct Case {
        const char* steps;
        bool keepsLabel;
    };
    const Case cases[] = {
        {"U", true},         {"Uooo", true},    {"Uoooo", false}, {"UooLooo", true},
        {"UooLoooo", false}, {"ooooooo", true}, {"UoooR", true},  {"UoooRoooo", true},
    };
    const std::string me = paddedId(currentThreadId());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        log_ = std::make_unique<TLogClass>();
        log_->Init(0, base_, "log", 10000000, 10, 1000, 0);
        log_->RegisterThread("A", 0);
        for (const char* s = c.steps; *s; ++s) {
            switch (*s) {
                case 'U':
                    log_->UnregisterThread();
                    break;
                case 'L':
                    log_->Append("still here", vlInfo, false);
                    break;
                case 'R':  // registering again ends the countdown
                    log_->RegisterThread("A", 0);
                    break;
                case 'o':
                    onOtherThread([&] {
                        log_->RegisterThread("B", 0);
                        log_->UnregisterThread();
                    });
                    break;
            }
        }
        EXPECT_EQ(log_->CurrentLabel(), c.keepsLabel ? "[" + me + "] [A]" : "[" + me + " ????]");
    }
}

TEST_F(LogFacadeTest, RegisteredThreadsLogIntoTheirOwnFile) {
    const std::string second = (dir_ / "other" / "Second").string();
    log_->Init(1, second, "txt", 10000000, 10, 1000, 0);
    log_->SetFileVerboseLevel(1, vlDebug);
    onOtherThread([&] {
        log_->RegisterThread("Writer2", 1);
        log_->Append("to second", vlInfo, false);
    });
    log_->RegisterThread("Nowhere", 9);  // no file with index 9: stays unregistered
    log_->Append("to first", vlInfo, false);
    log_->Flush(1);
    auto first = lines();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(endsWith(first[0], "????] to first"));
    auto secondLines = readLines(second + ".txt");
    ASSERT_EQ(secondLines.size(), 2u);
    EXPECT_TRUE(endsWith(secondLines[1], "] [Writer2] to second")) << secondLines[1];
}

TEST_F(LogFacadeTest, WaitingForAThreadWarnsAsItGoesOn) {
    struct Case {
        int intervalsBeforeEnd;
        bool repeat;
        int waitingLines;  // "Waiting for Thread" lines before the "done" line
    };
    const Case cases[] = {{0, false, 0}, {1, false, 1}, {3, false, 1}, {3, true, 3}};
    log_->RegisterThread("Main", 0);
    const std::string label = "[" + paddedId(currentThreadId()) + "] [Main]";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intervalsBeforeEnd);
        std::filesystem::remove(file());
        int calls = 0;
        std::chrono::milliseconds asked{};
        log_->LogWaitFor(
            currentThreadId(),
            [&](std::chrono::milliseconds ms) {
                asked = ms;
                return calls++ >= c.intervalsBeforeEnd;
            },
            250, "shutdown", c.repeat);
        EXPECT_EQ(asked, std::chrono::milliseconds(250));
        log_->Flush(0);
        if (c.intervalsBeforeEnd == 0) {
            EXPECT_FALSE(std::filesystem::exists(file()));
            continue;
        }
        auto got = lines();
        ASSERT_EQ(got.size(), static_cast<std::size_t>(c.waitingLines + 1));
        for (int i = 0; i < c.waitingLines; ++i) {
            EXPECT_TRUE(endsWith(got[i], "Waiting for Thread \"" + label + "\" (DebugText = \"shutdown\")"))
                << got[i];
        }
        EXPECT_TRUE(std::regex_search(got.back(),
                                      std::regex(R"(Waiting for Thread ".*\[Main\]" done\. Took \d+ ms$)")))
            << got.back();
    }
    // An unknown thread is named by question marks.
    std::filesystem::remove(file());
    int calls = 0;
    log_->LogWaitFor(
        1, [&](std::chrono::milliseconds) { return calls++ > 0; }, 10, "x", false);
    auto got = lines();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(endsWith(got[0], "Waiting for Thread \"????\" (DebugText = \"x\")")) << got[0];
}

}  // namespace
}  // namespace korvane
