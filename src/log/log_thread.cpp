#include "log_thread.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "log_class.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace korvane {
namespace fs = std::filesystem;

namespace {

std::tm localTime(std::chrono::system_clock::time_point t) {
    std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
    return tm;
}

// Seconds since the start counter with six decimals and always a "." before
// them: the log is read by tools and people in every locale alike.
void appendSeconds(std::string& out, std::int64_t count, std::int64_t start, std::int64_t frequency) {
    double seconds =
        frequency > 0 ? static_cast<double>(count - start) / static_cast<double>(frequency) : 0.0;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 6);
    out.append(buf, res.ptr);
}

}  // namespace

void StampCache::Append(std::string& out, TTimeFormat TimeFormat,
                        std::chrono::system_clock::time_point DateTime, std::int64_t PerfCount,
                        std::int64_t StartPerfCount, std::int64_t FrequencyPerfCount) {
    if (TimeFormat == tfSeconds) {
        appendSeconds(out, PerfCount, StartPerfCount, FrequencyPerfCount);
        return;
    }
    std::int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(DateTime.time_since_epoch()).count();
    std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    int milli = static_cast<int>(ms - second * 1000);
    if (second != second_) {
        std::tm tm = localTime(std::chrono::system_clock::time_point(std::chrono::seconds(second)));
        std::snprintf(date_, sizeof date_, "%.2d.%.2d.%.2d", tm.tm_mday % 100, (tm.tm_mon + 1) % 100,
                      (tm.tm_year + 1900 - 2000) % 100);
        std::snprintf(time_, sizeof time_, "%.2d:%.2d:%.2d", tm.tm_hour % 100, tm.tm_min % 100,
                      tm.tm_sec % 100);
        second_ = second;
    }
    const bool withDate = TimeFormat != tfTime && TimeFormat != tfTimeAndSeconds;
    if (withDate) {
        out += date_;
        out += ", ";
    }
    out += time_;
    const char digits[4] = {'.', static_cast<char>('0' + milli / 100),
                            static_cast<char>('0' + milli / 10 % 10), static_cast<char>('0' + milli % 10)};
    out.append(digits, 4);
    if (TimeFormat == tfTimeAndSeconds || TimeFormat == tfDateTimeAndSeconds) {
        out += " (";
        appendSeconds(out, PerfCount, StartPerfCount, FrequencyPerfCount);
        out += ')';
    }
}

std::string TLogItem::Zeit(TTimeFormat TimeFormat, std::int64_t StartPerfCount,
                           std::int64_t FrequencyPerfCount) const {
    std::string out;
    StampCache cache;
    cache.Append(out, TimeFormat, DateTime, PerfCount, StartPerfCount, FrequencyPerfCount);
    return out;
}

void TLogItem::AppendLines(std::string& out, std::size_t prefixStart) const { out.resize(prefixStart); }

void TLogLine::AppendLines(std::string& out, std::size_t) const {
    out += Text;
    out += "\r\n";
}

void TLogBlock::AppendLines(std::string& out, std::size_t prefixStart) const {
    if (Text.empty()) {
        out.resize(prefixStart);
        return;
    }
    const std::size_t indent = utf8Length(std::string_view(out).substr(prefixStart));
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (i > 0) out.append(indent, ' ');
        out += Text[i];
        out += "\r\n";
    }
}

std::string noticeTimeStamp(TTimeFormat TimeFormat, std::int64_t StartPerfCount,
                            std::int64_t FrequencyPerfCount) {
    TLogItem now;
    now.DateTime = std::chrono::system_clock::now();
    now.PerfCount = perfCounter();
    TTimeFormat form = tfDateTime;
    if (TimeFormat == tfSeconds) form = tfSeconds;
    if (TimeFormat == tfTimeAndSeconds || TimeFormat == tfDateTimeAndSeconds) form = tfDateTimeAndSeconds;
    return now.Zeit(form, StartPerfCount, FrequencyPerfCount);
}

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    cv_.notify_one();
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    bool wasSet = cv_.wait_for(lock, timeout, [this] { return set_; });
    set_ = false;
    return wasSet;
}

TLogThread::TLogThread(std::string LogFileName, std::string LogFileExtension, std::int32_t LogFileMaxSize,
                       std::int32_t LogFileMaxGenerations, std::int32_t MaxMemoLines,
                       std::int32_t DeleteHowManyMemoLines, TLogfile* LogFile)
    : qpStartTime(perfCounter()),
      qpFrequency(perfFrequency()),
      FParent(LogFile),
      FWorkingLogFileName(LogFileName + "." + LogFileExtension),
      FWorkingLogDirName(pathUtf8(utf8Path(LogFileName).parent_path())),
      FLogFilename(std::move(LogFileName)),
      FLogFileExtension(std::move(LogFileExtension)),
      FLogFileMaxSize(LogFileMaxSize),
      FLogFileMaxGenerations(LogFileMaxGenerations),
      FMaxMemoLines(MaxMemoLines),
      FDeleteHowManyMemoLines(DeleteHowManyMemoLines),
      FLogFile(LogFile) {}

TLogThread::~TLogThread() { Terminate(); }

void TLogThread::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TLogThread::Terminate() {
    if (!thread_.joinable()) return;
    terminated_.store(true);
    FParent->FTenMilliseconds.Set();
    thread_.join();
}

bool TLogThread::FileLogItemAdd(std::unique_ptr<TLogItem> LogItem) {
    std::int64_t bytes = LogItem->caBytes;
    std::int64_t total;
    {
        std::lock_guard lock(FQueueLock);
        FFileLogItems.push_back(std::move(LogItem));
        total = LogItemBytesTotal.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    }
    return total > kThrottleBytes;
}

void TLogThread::Flush() {
    std::unique_lock lock(flushMutex_);
    if (stopped_ || !thread_.joinable()) return;
    std::uint64_t ticket = ++flushRequested_;
    lock.unlock();
    FParent->FTenMilliseconds.Set();
    lock.lock();
    flushCv_.wait(lock, [&] { return flushDone_ >= ticket || stopped_; });
}

void TLogThread::Execute() {
    try {
        FLogFile->ThreadRunning.store(true);
        FLogFile->ThreadRunning.notify_all();
#ifndef _WIN32
        // A little above the normal priority, where the system allows it, so
        // that a busy program does not starve its own log.
        setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()), -1);
#endif
        setCurrentThreadName("TLogThread");
        FFileTempLogList.reserve(256);

        auto cycle = [this](const char* failurePrefix) {
            std::uint64_t serving;
            {
                std::lock_guard lock(flushMutex_);
                serving = flushRequested_;
            }
            try {
                Work();
            } catch (const std::exception& e) {
                FParent->ReportWriterFailure(std::string(failurePrefix) + e.what());
            }
            {
                std::lock_guard lock(flushMutex_);
                flushDone_ = serving;
            }
            flushCv_.notify_all();
        };

        while (!terminated_.load()) {
            FParent->FTenMilliseconds.WaitFor(std::chrono::milliseconds(10));
            cycle("TLogThread.Execute: ");
        }
        cycle("TLogThread.Execute after Terminate: ");
        FFileTempLogList.clear();
    } catch (const std::exception& e) {
        FParent->ReportError(std::string("Exception in Outer Handler TLogThread.Execute: ") + e.what());
    }
    {
        std::lock_guard lock(flushMutex_);
        stopped_ = true;
    }
    flushCv_.notify_all();
}

void TLogThread::Work() {
    try {
        {
            std::lock_guard lock(FQueueLock);
            for (auto& item : FFileLogItems) FFileTempLogList.push_back(std::move(item));
            FFileLogItems.clear();
        }
        if (!FFileTempLogList.empty()) WriteLinesToFile();
    } catch (const std::exception& e) {
        FParent->ReportError(std::string("Exception in TLogThread.Work: ") + e.what());
    }
}

namespace {

// A file closed on every way out of a cycle.
struct File {
    std::FILE* f = nullptr;
    ~File() { close(); }
    bool close() {
        if (!f) return true;
        bool ok = std::fclose(f) == 0;
        f = nullptr;
        return ok;
    }
};

std::FILE* openAppend(const std::string& name) {
#ifdef _WIN32
    return _wfopen(utf8Path(name).c_str(), L"ab");
#else
    return std::fopen(name.c_str(), "ab");
#endif
}

[[noreturn]] void fail(const std::string& what, const std::string& name) {
    std::error_code ec(errno, std::generic_category());
    throw std::runtime_error(what + " \"" + name + "\": " + ec.message());
}

void writeAll(std::FILE* f, const std::string& data, const std::string& name) {
    if (std::fwrite(data.data(), 1, data.size(), f) != data.size()) fail("cannot write", name);
}

}  // namespace

std::string TLogThread::GenerationName(int n) const {
    char num[16];
    std::snprintf(num, sizeof num, "%.3d", n);
    return FLogFilename + "." + num;
}

void TLogThread::WriteNotice(const std::string& text) {
    File file;
    file.f = openAppend(FWorkingLogFileName);
    if (!file.f) fail("cannot create", FWorkingLogFileName);
    writeAll(file.f, noticeTimeStamp(TimeFormat.load(), qpStartTime.load(), qpFrequency) + text + "\r\n",
             FWorkingLogFileName);
    if (!file.close()) fail("cannot close", FWorkingLogFileName);
}

void TLogThread::Rotate() {
    // Failures of the deletions and renames are not fatal: a generation that
    // stays where it was is overwritten or deleted by a later rotation.
    std::error_code ec;
    fs::remove(utf8Path(GenerationName(FLogFileMaxGenerations)), ec);
    for (int n = FLogFileMaxGenerations - 1; n >= 1; --n) {
        fs::path from = utf8Path(GenerationName(n));
        if (fs::exists(from, ec)) fs::rename(from, utf8Path(GenerationName(n + 1)), ec);
    }
    fs::rename(utf8Path(FWorkingLogFileName), utf8Path(GenerationName(1)), ec);
    WriteNotice("  -  LOG: created new logfile [rotation]");
}

void TLogThread::WriteLinesToFile() {
    File file;
    // What of this batch is known to be in the file: the items before
    // `itemsWritten` and the bytes before `goodSize`. After a failure the
    // file is cut back to `goodSize` and only the rest is kept for the next
    // cycle, so a batch that fails half way is neither lost nor doubled.
    std::size_t itemsWritten = 0;
    std::optional<long> goodSize;
    std::string out;
    try {
        const fs::path working = utf8Path(FWorkingLogFileName);
        std::error_code ec;
        if (fs::exists(working, ec)) {
            file.f = openAppend(FWorkingLogFileName);
            if (!file.f) fail("cannot open", FWorkingLogFileName);
            std::uintmax_t size = fs::file_size(working, ec);
            if (ec)
                throw std::runtime_error("cannot read the size of \"" + FWorkingLogFileName +
                                         "\": " + ec.message());
            // Whole 128-byte blocks against the limit in whole blocks: the
            // file is rotated once it holds the limit plus one block.
            std::int64_t maxBlocks = FLogFileMaxSize.load() / 128;
            if (static_cast<std::int64_t>(size / 128) > maxBlocks) {
                file.close();
                Rotate();
            }
        }
        if (!fs::exists(working, ec)) {
            if (!FWorkingLogDirName.empty()) {
                fs::path dir = utf8Path(FWorkingLogDirName);
                if (!fs::exists(dir, ec)) {
                    fs::create_directories(dir, ec);
                    if (ec)
                        throw std::runtime_error("cannot create the folder \"" + FWorkingLogDirName +
                                                 "\": " + ec.message());
                }
            }
            WriteNotice("  -  LOG: logfile \"" + FWorkingLogFileName + "\" didn't exist -> created");
        }
        if (!file.f) {
            file.f = openAppend(FWorkingLogFileName);
            if (!file.f) fail("cannot open", FWorkingLogFileName);
        }
        if (std::fseek(file.f, 0, SEEK_END) != 0) fail("cannot open", FWorkingLogFileName);
        goodSize = std::ftell(file.f);
        if (*goodSize < 0) fail("cannot open", FWorkingLogFileName);
        auto flushChunk = [&](std::size_t itemsThrough) {
            writeAll(file.f, out, FWorkingLogFileName);
            if (std::fflush(file.f) != 0) fail("cannot write", FWorkingLogFileName);
            out.clear();
            itemsWritten = itemsThrough;
            goodSize = std::ftell(file.f);
        };

        const TVerboseLevel threshold = FFileVerboseLevel.load();
        const bool showStamp = FShowTimestamps.load();
        const bool showLevel = FShowVerboseLevels.load();
        const bool showName = FShowThreadNames.load();
        const TTimeFormat format = TimeFormat.load();
        const std::int64_t start = qpStartTime.load();
        out.reserve(64 * 1024);
        StampCache stamps;
        for (std::size_t index = 0; index < FFileTempLogList.size(); ++index) {
            const auto& item = FFileTempLogList[index];
            if (item->VerboseLevel < threshold) continue;
            const std::size_t prefixStart = out.size();
            if (showStamp && !item->SuppressTimeStamp) {
                stamps.Append(out, format, item->DateTime, item->PerfCount, start, qpFrequency);
                out += ' ';
            }
            if (showLevel) {
                out += levelTag(item->VerboseLevel);
                out += ' ';
            }
            if (showName) {
                out += item->ThreadName;
                out += ' ';
            }
            item->AppendLines(out, prefixStart);
            if (out.size() >= 60 * 1024) flushChunk(index + 1);
        }
        flushChunk(FFileTempLogList.size());
        if (!file.close()) fail("cannot write", FWorkingLogFileName);

        std::int64_t written = 0;
        for (const auto& item : FFileTempLogList) written += item->caBytes;
        LogItemBytesTotal.fetch_sub(written, std::memory_order_relaxed);
        FFileTempLogList.clear();
    } catch (const std::exception& e) {
        if (goodSize) {
            // A chunk that went out only in part would be written again whole
            // next time: cut it off. Should even that fail, the lines of that
            // chunk may appear twice; none is lost.
            file.close();
            std::error_code ec;
            fs::resize_file(utf8Path(FWorkingLogFileName), static_cast<std::uintmax_t>(*goodSize), ec);
        }
        if (itemsWritten > 0) {
            std::int64_t done = 0;
            for (std::size_t i = 0; i < itemsWritten; ++i) done += FFileTempLogList[i]->caBytes;
            FFileTempLogList.erase(FFileTempLogList.begin(),
                                   FFileTempLogList.begin() + static_cast<std::ptrdiff_t>(itemsWritten));
            LogItemBytesTotal.fetch_sub(done, std::memory_order_relaxed);
        }
        std::int64_t total = LogItemBytesTotal.load();
        if (total > kReportBytes) {
            FParent->DebugOutput(std::string("Exception in TLogThread.WriteLinesToFile: ") + e.what());
        }
        if (total > kTrimAboveBytes) {
            // The oldest lines go first; the newest are the likelier to
            // explain why the program is in trouble.
            std::size_t drop = 0;
            std::int64_t dropped = 0;
            while (drop < FFileTempLogList.size() && total - dropped > kTrimToBytes) {
                dropped += FFileTempLogList[drop]->caBytes;
                ++drop;
            }
            FFileTempLogList.erase(FFileTempLogList.begin(),
                                   FFileTempLogList.begin() + static_cast<std::ptrdiff_t>(drop));
            LogItemBytesTotal.fetch_sub(dropped, std::memory_order_relaxed);
        }
        if (!FParent->SilentExceptions()) FParent->ReportCannotWrite(FWorkingLogFileName, e.what());
        file.close();
    }
}

}  // namespace korvane
