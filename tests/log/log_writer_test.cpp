#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <stdio.h>
#endif

#include "file_size_limit.h"
#include "log_class.h"
#include "log_test_support.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::numbered;
using testing::readFile;
using testing::readLines;
using testing::writeFile;

const char* const kStamp = R"(\d\d\.\d\d\.\d\d, \d\d:\d\d:\d\d\.\d{3})";

// Restores the C locale however the test ends.
class LocaleGuard {
public:
    explicit LocaleGuard(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, old_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

TEST(LogTimeStamps, EachFormatWithDotDecimalsInAGermanLocale) {
    LocaleGuard german("de_DE.UTF-8");
    ASSERT_TRUE(german.ok()) << "locale de_DE.UTF-8 missing";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale does not use a decimal comma, so the test would prove nothing";

    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = 10;
    tm.tm_min = 38;
    tm.tm_sec = 1;
    tm.tm_isdst = -1;
    TLogLine item;
    item.DateTime = std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(123);
    const std::int64_t freq = 1000000;
    const std::int64_t start = 5000000;
    item.PerfCount = start + 12345678;  // 12.345678 s after the start

    struct Case {
        TTimeFormat format;
        const char* expected;
    };
    const Case cases[] = {
        {tfDateTime, "08.12.26, 10:38:01.123"},
        {tfTime, "10:38:01.123"},
        {tfSeconds, "12.345678"},
        {tfTimeAndSeconds, "10:38:01.123 (12.345678)"},
        {tfDateTimeAndSeconds, "08.12.26, 10:38:01.123 (12.345678)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        EXPECT_EQ(item.Zeit(c.format, start, freq), c.expected);
    }

    // The notices carry a time stamp in every format; those without a date
    // still name the day.
    struct NoticeCase {
        TTimeFormat format;
        std::string pattern;
    };
    const NoticeCase notices[] = {
        {tfDateTime, kStamp},
        {tfTime, kStamp},
        {tfSeconds, R"(-?\d+\.\d{6})"},
        {tfTimeAndSeconds, std::string(kStamp) + R"( \(-?\d+\.\d{6}\))"},
        {tfDateTimeAndSeconds, std::string(kStamp) + R"( \(-?\d+\.\d{6}\))"},
    };
    for (const auto& n : notices) {
        SCOPED_TRACE(static_cast<int>(n.format));
        std::string got = noticeTimeStamp(n.format, perfCounter(), perfFrequency());
        EXPECT_TRUE(std::regex_match(got, std::regex(n.pattern))) << got;
    }
}

class LogWriterTest : public testing::TempFolderTest {
protected:
    std::unique_ptr<TLogClass> makeLog(std::int32_t maxSize = 10000000, std::int32_t generations = 10) {
        auto log = std::make_unique<TLogClass>();
        log->Init(0, base(), "log", maxSize, generations, 1000, 0);
        log->SetFileVerboseLevel(0, vlDebug);
        return log;
    }
    std::string base() const { return (dir_ / "deep" / "er" / "logs" / "Korvane").string(); }
    fs::path working() const { return base() + ".log"; }
    fs::path generation(int n) const {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%.3d", n);
        return base() + buf;
    }
};

TEST_F(LogWriterTest, FirstLineCreatesFolderAndNotice) {
    auto log = makeLog();
    log->SetTimeFormat(0, tfTime);
    log->Append("one", vlInfo, false);
    log->Append("two", vlInfo, true);  // without time stamp
    log->Append("three", vlInfo, false);
    log->Flush(0);
    auto lines = readLines(working());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(
        lines[0],
        std::regex(std::string(kStamp) + "  -  LOG: logfile \"" +
                   std::regex_replace(working().string(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                   "\" didn't exist -> created")))
        << lines[0];
    EXPECT_TRUE(
        std::regex_match(lines[1], std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \[info\]    \[ *\d+ \?\?\?\?\] one)")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\[info\]    \[ *\d+ \?\?\?\?\] two)"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \[info\] .* three)")))
        << lines[3];
}

TEST_F(LogWriterTest, TextIsWrittenAsUtf8AndBlocksAreIndented) {
    auto log = makeLog();
    log->Logfile(0)->ShowTimestamps(false);
    log->Append("Größe ✓", vlInfo, 0, "W");
    auto block = std::make_unique<TLogBlock>();
    block->VerboseLevel = vlWarning;
    block->ThreadName = "[ä]";
    block->Text = {"first", "second"};
    block->caBytes = 70;
    log->Logfile(0)->LogThread()->FileLogItemAdd(std::move(block));
    auto empty = std::make_unique<TLogBlock>();
    empty->caBytes = 50;
    log->Logfile(0)->LogThread()->FileLogItemAdd(std::move(empty));
    log->Flush(0);
    auto lines = readLines(working());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[1].ends_with(" W] Größe ✓")) << lines[1];
    EXPECT_EQ(lines[2], "[warning] [ä] first");
    EXPECT_EQ(lines[3], std::string(14, ' ') + "second");
    EXPECT_EQ(log->Logfile(0)->LogThread()->LogItemBytesTotal.load(), 0);
}

TEST_F(LogWriterTest, RotatesAtTheExactSize) {
    struct Case {
        const char* name;
        std::int32_t maxSize;
        std::uintmax_t existingSize;
        bool rotates;
    };
    const Case cases[] = {
        {"small, one byte short", 256, 383, false},
        {"small, exact", 256, 384, true},
        {"small limit not a block multiple", 300, 384, true},
        {"default, one byte short", 10000000, 10000127, false},
        {"default, exact", 10000000, 10000128, true},
    };
    const int kGenerations = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_ / "deep");
        fs::create_directories(working().parent_path());
        writeFile(working(), "old working\r\n");
        fs::resize_file(working(), c.existingSize);
        for (int n = 1; n <= kGenerations; ++n) writeFile(generation(n), numbered("generation ", n));

        auto log = makeLog(c.maxSize, kGenerations);
        log->Append("fresh", vlInfo, false);
        log->Flush(0);
        log.reset();

        if (!c.rotates) {
            EXPECT_EQ(fs::file_size(generation(1)), std::string("generation 1").size());
            EXPECT_GT(fs::file_size(working()), c.existingSize);
            continue;
        }
        // Each generation moved up by one; the oldest is gone.
        EXPECT_EQ(fs::file_size(generation(1)), c.existingSize);
        EXPECT_EQ(readFile(generation(1)).substr(0, 13), "old working\r\n");
        EXPECT_EQ(readFile(generation(2)), "generation 1");
        EXPECT_EQ(readFile(generation(3)), "generation 2");
        EXPECT_FALSE(fs::exists(generation(4)));
        auto lines = readLines(working());
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(std::regex_match(
            lines[0], std::regex(std::string(kStamp) + "  -  LOG: created new logfile \\[rotation\\]")))
            << lines[0];
        EXPECT_TRUE(lines[1].ends_with(" fresh"));
    }
}

TEST_F(LogWriterTest, RotationHappensOnlyAtTheStartOfACycle) {
#ifndef __linux__
    GTEST_SKIP() << "needs an atomic exchange of a folder and a file";
#else
    auto log = makeLog(256, 2);
    // While a folder blocks the file, the lines gather in one batch; once the
    // way is free they all go into the one file, far past its limit.
    fs::create_directories(working());
    for (int i = 0; i < 20; ++i) log->Append(numbered("line ", i), vlInfo, false);
    log->Flush(0);
    // The file below the limit takes the folder's place in one step: a writer
    // cycle that ran between a removal and a write would find no file and
    // start one of its own.
    const fs::path staged = working().string() + ".staged";
    writeFile(staged, "below the limit\r\n");
    ASSERT_EQ(renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, working().c_str(), RENAME_EXCHANGE), 0)
        << std::strerror(errno);
    fs::remove(staged);
    log->Flush(0);
    EXPECT_FALSE(fs::exists(generation(1)));
    EXPECT_EQ(readLines(working()).size(), 21u);
    log->Append("next cycle", vlInfo, false);
    log->Flush(0);
    EXPECT_EQ(readLines(generation(1)).size(), 21u);
    EXPECT_EQ(readLines(working()).size(), 2u);
#endif
}

TEST_F(LogWriterTest, UnwritableFileKeepsItsLinesUntilItCanBeWritten) {
    auto log = makeLog();
    std::vector<TLogNotice> notices;
    std::mutex m;
    log->SetNoticeHandler([&](const TLogNotice& n) {
        std::lock_guard lock(m);
        notices.push_back(n);
    });
    fs::create_directories(working());  // a folder where the file should be
    for (int i = 0; i < 3; ++i) log->Append(numbered("early ", i), vlInfo, false);
    log->Flush(0);
    log->Flush(0);
    EXPECT_TRUE(fs::is_directory(working()));
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(notices.empty()) << "write failures stay silent by default";
    }
    log->SetSilentExceptions(false);
    log->Append("early 3", vlInfo, false);
    log->Flush(0);
    {
        std::lock_guard lock(m);
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.back().key, "log.cannotWrite");
        EXPECT_EQ(notices.back().value, working().string());
        EXPECT_TRUE(notices.back().text.starts_with("Kann nicht in Logdatei \"" + working().string() +
                                                    "\" schreiben: "));
    }
    fs::remove(working());
    log->Append("late", vlInfo, false);
    log->Flush(0);
    auto lines = readLines(working());
    ASSERT_EQ(lines.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(lines[1 + i].ends_with(numbered("early ", i))) << lines[1 + i];
    EXPECT_TRUE(lines[5].ends_with("late"));
    EXPECT_EQ(log->Logfile(0)->LogThread()->LogItemBytesTotal.load(), 0);
}

// The disk fills up while a batch larger than one write chunk goes out: the
// chunks already in the file must not be written again, and the chunk that
// went out in part must not leave its beginning behind twice.
TEST_F(LogWriterTest, DiskFullHalfWayThroughABatchNeitherLosesNorDoublesLines) {
    auto log = makeLog();
    log->SetTimeFormat(0, tfTime);
    log->Append("before", vlInfo, false);
    log->Flush(0);
    const auto start = fs::file_size(working());
    const std::string filler(80, 'x');
    constexpr int kLines = 2000;  // about 240 KB, four write chunks
    {
        test::FileSizeLimit limit(start + 100000);
        for (int i = 0; i < kLines; ++i) log->Append(numbered("line ", i) + filler, vlInfo, false);
        log->Flush(0);
        EXPECT_LE(fs::file_size(working()), start + 100000);
    }
    log->Flush(0);
    const auto lines = readLines(working());
    std::vector<int> seen;
    for (const auto& line : lines) {
        const auto at = line.find("line ");
        if (at == std::string::npos) continue;
        ASSERT_TRUE(line.ends_with(filler)) << "a line cut short: " << line;
        seen.push_back(std::stoi(line.substr(at + 5)));
    }
    ASSERT_EQ(seen.size(), std::size_t(kLines));
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(seen[i], i);
    EXPECT_EQ(log->Logfile(0)->LogThread()->LogItemBytesTotal.load(), 0);
}

TEST_F(LogWriterTest, BacklogAboveThirtyMillionIsTrimmedFromTheOldestEnd) {
    auto log = makeLog();
    fs::create_directories(working());
    const std::string big(1000000, 'x');
    const int kLines = 34;
    for (int i = 0; i < kLines; ++i) log->Append(std::to_string(i) + ":" + big, vlInfo, false);
    log->Flush(0);
    const std::int64_t waiting = log->Logfile(0)->LogThread()->LogItemBytesTotal.load();
    EXPECT_LE(waiting, TLogThread::kTrimAboveBytes);
    fs::remove(working());
    log->Flush(0);
    auto lines = readLines(working());
    ASSERT_GE(lines.size(), 2u);
    const std::size_t kept = lines.size() - 1;
    EXPECT_LT(kept, static_cast<std::size_t>(kLines));
    EXPECT_GE(kept, 27u);
    // What survived is the newest lines, in order.
    for (std::size_t k = 0; k < kept; ++k) {
        std::string number = numbered("] ", static_cast<long long>(kLines - kept + k)) + ":";
        EXPECT_NE(lines[1 + k].find(number), std::string::npos) << k;
    }
}

TEST_F(LogWriterTest, LinesOfEachThreadKeepTheirOrder) {
    auto log = makeLog();
    const int kThreads = 4;
    const int kPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            log->RegisterThread(numbered("T", t), 0);
            for (int i = 0; i < kPerThread; ++i) log->Append(std::to_string(i), vlInfo, false);
            log->UnregisterThread();
        });
    }
    for (auto& th : threads) th.join();
    log.reset();  // destruction writes everything queued

    auto lines = readLines(working());
    ASSERT_EQ(lines.size(), 1u + kThreads * kPerThread);
    std::vector<int> next(kThreads, 0);
    std::regex pattern(R"(.*\] \[T(\d)\] (\d+))");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, pattern)) << lines[i];
        int t = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2]), next[t]) << "thread " << t;
        next[t] = std::stoi(m[2]) + 1;
    }
}

TEST_F(LogWriterTest, DestructionWritesEverythingQueued) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        fs::remove_all(dir_ / "deep");
        auto log = makeLog();
        for (int i = 0; i < 5000; ++i) log->Append(numbered("n", i), vlInfo, false);
        log.reset();
        auto lines = readLines(working());
        ASSERT_EQ(lines.size(), 5001u);
        EXPECT_TRUE(lines.back().ends_with(" n4999"));
    }
}

}  // namespace
}  // namespace korvane
