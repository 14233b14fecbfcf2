#pragma once
// The writer side of a log file: the queued items, their time stamps, and
// the thread that appends them to the working file in batches, creating the
// folder and the file when missing and rotating the file into numbered
// generations once it has grown past its maximum size.

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log_types.h"

namespace korvane {

class TLogfile;

// One queued entry. Date, time and counter are those of the logging call.
class TLogItem {
public:
    virtual ~TLogItem() = default;

    std::int32_t caBytes = 0;  // weight for the backlog limits: text + label + 50
    std::int64_t PerfCount = 0;
    std::chrono::system_clock::time_point DateTime;
    TVerboseLevel VerboseLevel = vlInfo;
    std::string ThreadName;
    bool SuppressTimeStamp = false;

    // The item's time stamp in the given format; the seconds count from
    // StartPerfCount.
    std::string Zeit(TTimeFormat TimeFormat, std::int64_t StartPerfCount,
                     std::int64_t FrequencyPerfCount) const;

    // Appends the item's text behind the prefix that the writer has put at
    // out[prefixStart..]: one line, or several with the further ones indented
    // by the prefix's width. An item without text takes its prefix back.
    virtual void AppendLines(std::string& out, std::size_t prefixStart) const;
};

// Breaks wall-clock times into the texts of the time stamps, remembering the
// last second it converted: a batch holds many lines of the same second, and
// the conversion to local time is the dear part.
class StampCache {
public:
    void Append(std::string& out, TTimeFormat TimeFormat, std::chrono::system_clock::time_point DateTime,
                std::int64_t PerfCount, std::int64_t StartPerfCount, std::int64_t FrequencyPerfCount);

private:
    std::int64_t second_ = INT64_MIN;
    char date_[16] = {};  // "dd.mm.yy"
    char time_[16] = {};  // "hh:mm:ss"
};

// One line: what the facade queues.
class TLogLine final : public TLogItem {
public:
    std::string Text;
    void AppendLines(std::string& out, std::size_t prefixStart) const override;
};

// Several lines written as one entry, the further lines indented under the
// first one's text.
class TLogBlock final : public TLogItem {
public:
    std::vector<std::string> Text;
    void AppendLines(std::string& out, std::size_t prefixStart) const override;
};

// The time stamp of the writer's own notices, taken at writing time. Formats
// without a date still give the date (a notice starts a file, whose lines
// name no day otherwise); the seconds-only format stays seconds only.
std::string noticeTimeStamp(TTimeFormat TimeFormat, std::int64_t StartPerfCount,
                            std::int64_t FrequencyPerfCount);

// An event that lets exactly one waiter through per setting.
class AutoResetEvent {
public:
    void Set();
    // True when the event was set, false after the time-out.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

class TLogThread {
public:
    TLogThread(std::string LogFileName, std::string LogFileExtension, std::int32_t LogFileMaxSize,
               std::int32_t LogFileMaxGenerations, std::int32_t MaxMemoLines,
               std::int32_t DeleteHowManyMemoLines, TLogfile* LogFile);
    // Stops the thread if it runs; that runs the last cycle.
    ~TLogThread();
    TLogThread(const TLogThread&) = delete;
    TLogThread& operator=(const TLogThread&) = delete;

    // Starts the thread (created suspended; the owner starts it).
    void Start();
    // Tells the thread to end, wakes it and waits for it; the thread runs one
    // last cycle first, so everything queued before is written.
    void Terminate();

    // Queues an item; the writer owns it from now on. Returns true when the
    // backlog is so large that the caller should pause for a millisecond
    // once it holds no lock.
    bool FileLogItemAdd(std::unique_ptr<TLogItem> LogItem);
    void SetLogFileMaxSize(std::int32_t LogFileMaxSize) { FLogFileMaxSize.store(LogFileMaxSize); }

    // Waits until a cycle that began after this call has ended, so that
    // everything queued before has been written (or tried). Returns at once
    // when the thread does not run.
    void Flush();

    // Settings changed by the facade while the writer may read them.
    std::atomic<bool> FShowThreadNames{true};
    std::atomic<bool> FShowVerboseLevels{true};
    std::atomic<bool> FShowTimestamps{true};
    std::atomic<TVerboseLevel> FFileVerboseLevel{vlDebug};
    std::atomic<TTimeFormat> TimeFormat{tfDateTime};
    std::atomic<std::int64_t> qpStartTime;
    const std::int64_t qpFrequency;
    std::atomic<std::int64_t> LogItemBytesTotal{0};

    const std::string& WorkingLogFileName() const { return FWorkingLogFileName; }
    std::int32_t LogFileMaxSize() const { return FLogFileMaxSize.load(); }

    // Backlog limits, in characters.
    static constexpr std::int64_t kThrottleBytes = 1000000;
    static constexpr std::int64_t kReportBytes = 10000000;
    static constexpr std::int64_t kTrimAboveBytes = 30000000;
    static constexpr std::int64_t kTrimToBytes = 28000000;

private:
    void Execute();
    void Work();
    void WriteLinesToFile();
    void Rotate();
    std::string GenerationName(int n) const;
    void WriteNotice(const std::string& text);

    TLogfile* FParent;
    std::vector<std::unique_ptr<TLogItem>> FFileTempLogList;  // the batch, kept by the writer alone
    std::string FWorkingLogFileName;
    std::string FWorkingLogDirName;
    std::mutex FQueueLock;
    std::vector<std::unique_ptr<TLogItem>> FFileLogItems;  // shared with the logging threads
    std::string FLogFilename;
    std::string FLogFileExtension;
    std::atomic<std::int32_t> FLogFileMaxSize;
    std::int32_t FLogFileMaxGenerations;
    std::int32_t FMaxMemoLines;
    std::int32_t FDeleteHowManyMemoLines;
    TLogfile* FLogFile;

    std::thread thread_;
    std::atomic<bool> terminated_{false};

    // Flush bookkeeping: tickets handed out and the last one served.
    std::mutex flushMutex_;
    std::condition_variable flushCv_;
    std::uint64_t flushRequested_ = 0;
    std::uint64_t flushDone_ = 0;
    bool stopped_ = false;
};

}  // namespace korvane
