#pragma once
// The log facade: any number of log files, each with its own writer thread,
// threads registered under readable names, levels, and the one-line
// procedures through which the rest of the program logs.
//
// Logging never touches a file: a call builds one item, queues it with its
// writer and returns. Locks are always taken in the order facade lock, then
// queue lock; the writer threads never take the facade lock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log_format.h"
#include "log_thread.h"
#include "log_types.h"

namespace korvane {

class TLogClass;
class TLogfile;

class TRegisteredThread {
public:
    TThreadID ThreadID = 0;
    TLogfile* Logfile = nullptr;
    // 0 while registered; from 1 upward once unregistered, counted up by the
    // unregistrations of other threads until the entry is dropped.
    std::int32_t DeleteCounter = 0;
    // The label written into each line: "[ 1234] [Main]".
    std::string Name;
};

// What the log has to tell the user. The log itself never shows anything:
// it writes the text to standard error and hands the notice to the handler
// the program installed, on whichever thread noticed the problem. `key` names
// the entry in the text table (the language-independent form is
// textWith(key, language, value) + detail); `text` is the whole German text.
struct TLogNotice {
    std::string key;
    std::string value;
    std::string detail;
    std::string text;
};
using TLogNoticeHandler = std::function<void(const TLogNotice&)>;

class TLogfile {
public:
    TLogfile(TLogClass* LogClass, std::int32_t Index, const std::string& LogfileName,
             const std::string& LogfileExtension, std::int32_t LogfileMaxSize,
             std::int32_t LogfileMaxGenerations, std::int32_t MaxMemoLines, std::int32_t CustomColumns);
    // Stops the writer after its last cycle.
    ~TLogfile();
    TLogfile(const TLogfile&) = delete;
    TLogfile& operator=(const TLogfile&) = delete;

    // Builds and queues one line item. Returns true when the caller should
    // pause for a millisecond once it holds no lock (large backlog).
    bool Append(std::string_view Logtext, TVerboseLevel VerboseLevel, const std::string& ThreadName,
                bool SuppressTime);
    // Registers the calling thread with this file; the caller holds the
    // facade lock.
    void RegisterThread(std::string_view Name);

    // The file's threshold and the writer's own, together.
    void SetFileVerboseLevel(TVerboseLevel VerboseLevel);
    // The threshold of a screen destination, which this program has not.
    void SetMemoVerboseLevel(TVerboseLevel VerboseLevel) { FvMemoVerbose.store(VerboseLevel); }
    void ShowThreadNames(bool Show) { FLogThread->FShowThreadNames.store(Show); }
    void ShowVerboseLevels(bool Show) { FLogThread->FShowVerboseLevels.store(Show); }
    void ShowTimestamps(bool Show) { FLogThread->FShowTimestamps.store(Show); }
    void ShowDate(bool Show) { FShowDate = Show; }

    TVerboseLevel FileVerboseLevel() const { return FvFileVerbose.load(); }
    TLogThread* LogThread() const { return FLogThread.get(); }
    const std::string& WorkingLogFileName() const { return FLogThread->WorkingLogFileName(); }

    // Used by the writer.
    AutoResetEvent FTenMilliseconds;
    std::atomic<bool> ThreadRunning{false};
    bool SilentExceptions() const;
    void ReportError(const std::string& text) const;
    void ReportWriterFailure(const std::string& text) const;
    void ReportCannotWrite(const std::string& file, const std::string& message) const;
    void DebugOutput(const std::string& text) const;

    const std::int32_t Index;
    bool ShowAlwaysLastItem = true;

private:
    friend class TLogClass;

    TLogClass* FLogClass;
    std::unique_ptr<TLogThread> FLogThread;
    std::atomic<TVerboseLevel> FvFileVerbose{vlInfo};
    std::atomic<TVerboseLevel> FvMemoVerbose{vlInfo};
    bool FShowDate = true;
    std::size_t FLastAppendThreadIndex = 2147483647;
    std::vector<std::unique_ptr<TRegisteredThread>> FRegisteredThreads;  // sorted by ThreadID
};

class TLogClass {
public:
    TLogClass();
    // Destroys every log file; each writes what was queued before.
    ~TLogClass();
    TLogClass(const TLogClass&) = delete;
    TLogClass& operator=(const TLogClass&) = delete;

    TLogfile* Init(std::int32_t Index, const std::string& LogfileName, const std::string& LogfileExtension,
                   std::int32_t LogfileMaxSize, std::int32_t LogfileMaxGenerations, std::int32_t MaxMemoLines,
                   std::int32_t CustomColumns);
    TLogfile* Init(TLogfileDestination Destination, const std::string& CompanyName,
                   const std::string& ApplicationName, const std::string& LogfileName);
    // Throws std::invalid_argument for an unknown destination.
    TLogfile* Init(std::int32_t Index, TLogfileDestination Destination, const std::string& CompanyName,
                   const std::string& ApplicationName, const std::string& LogfileName);

    // The log file path that Init with a destination uses (without ".log").
    static std::string LogfilePath(TLogfileDestination Destination, const std::string& CompanyName,
                                   const std::string& ApplicationName, const std::string& LogfileName);

    void RegisterThread(std::string_view Name, std::int32_t LogIndex);
    void UnregisterThread();
    // Ends the first registration whose label, or whose name inside the
    // label, equals ThreadName.
    void UnregisterThread(std::string_view ThreadName);

    bool SetFileVerboseLevel(std::int32_t Index, TVerboseLevel Level);
    bool SetScreenVerboseLevel(std::int32_t Index, TVerboseLevel Level);
    void SetFileLogLevel(std::string_view LogLevel, std::int32_t Index);
    bool SetTimeFormat(std::int32_t Index, TTimeFormat TimeFormat);
    bool RestartTime(std::int32_t Index);
    void SetMaxLogFileSize(std::int32_t LogfileIndex, std::int32_t MaxLogFileSize);

    void Started(std::int32_t Index, std::string_view StartText);
    void Started(std::int32_t Index, std::string_view ThreadName, std::string_view StartText);

    // Into the log file at position LogfileIndex, under the caller's label.
    void Append(std::string_view LogText, TVerboseLevel VerboseLevel, std::int32_t LogfileIndex,
                bool SuppressTime);
    // Into the caller's own log file (position 0 for an unregistered caller).
    void Append(std::string_view LogText, TVerboseLevel VerboseLevel, bool SuppressTime = false);
    // Into the log file at position LogfileIndex under "[id name]".
    void Append(std::string_view LogText, TVerboseLevel VerboseLevel, std::int32_t LogfileIndex,
                std::string_view ThreadName);
    // Without this a text literal as thread name would pick the Boolean form.
    void Append(std::string_view LogText, TVerboseLevel VerboseLevel, std::int32_t LogfileIndex,
                const char* ThreadName) {
        Append(LogText, VerboseLevel, LogfileIndex, std::string_view(ThreadName ? ThreadName : ""));
    }

    // Formats with checking and logs through the second Append form; a
    // format that does not fit its arguments logs prefix + "('" + format +
    // "'): " + what went wrong instead.
    void AppendFmt(TVerboseLevel VerboseLevel, std::string_view FailurePrefix, std::string_view Format,
                   std::span<const LogArg> Args);

    // Waits for a thread to end, IntervalMs at a time, warning in the log
    // while it takes long. WaitEnded waits up to the given time and says
    // whether the thread has ended.
    void LogWaitFor(TThreadID Thread, const std::function<bool(std::chrono::milliseconds)>& WaitEnded,
                    std::int32_t IntervalMs, std::string_view DebugText, bool RepeatWarning);

    // Where the log's problems go besides standard error. The handler runs
    // on the thread that met the problem (often a writer thread) and must
    // not wait for the user there; a window program posts to its own thread.
    void SetNoticeHandler(TLogNoticeHandler Handler);
    bool SilentExceptions() const { return FSilentExceptions.load(); }
    // Write failures of the writers are shown to the user only when this is
    // switched off; it is on from creation.
    void SetSilentExceptions(bool Silent) { FSilentExceptions.store(Silent); }

    // Waits until the writer of the log file at position Index has written
    // (or tried to write) everything queued before the call.
    bool Flush(std::int32_t Index);
    std::int32_t LogfileCount() const;
    // The log file at a position of the list, or nullptr.
    TLogfile* Logfile(std::int32_t Position) const;
    // The label the calling thread logs under right now.
    std::string CurrentLabel();

    // The one reporting way for the library's own errors: standard error and
    // the notice handler, once the first log file has been created.
    void ReportError(const std::string& text) const;
    void Notify(const TLogNotice& notice) const;

private:
    TRegisteredThread* GetRegisteredThreadAndLock(TThreadID id);
    TLogfile* LogfileAt(std::int32_t Position) const;
    static std::string UnregisteredLabel(TThreadID id);

    mutable std::recursive_mutex FLock;
    std::vector<std::unique_ptr<TLogfile>> FLogsThreadlist;
    std::size_t FLastAppendLogfileIndex = 2147483647;
    std::atomic<bool> FSilentExceptions{true};

    mutable std::mutex handlerLock_;
    TLogNoticeHandler handler_;
};

// The one-line procedures: they log through the program-wide facade
// (program_log.h) into the calling thread's log file and do nothing while no
// program log runs.
void LogInfo(std::string_view Text);
void LogWarning(std::string_view Text);
void LogError(std::string_view Text);
// 8-bit Windows-1252 text, converted before logging.
void LogInfoAnsi(std::string_view Text);

void LogErrorFmtArgs(std::string_view Format, std::span<const LogArg> Args);
void LogWarningFmtArgs(std::string_view Format, std::span<const LogArg> Args);

template <class... Args>
void LogErrorFmt(std::string_view Format, const Args&... args) {
    const LogArg list[] = {LogArg(args)..., LogArg(0)};
    LogErrorFmtArgs(Format, std::span<const LogArg>(list, sizeof...(Args)));
}

template <class... Args>
void LogWarningFmt(std::string_view Format, const Args&... args) {
    const LogArg list[] = {LogArg(args)..., LogArg(0)};
    LogWarningFmtArgs(Format, std::span<const LogArg>(list, sizeof...(Args)));
}

}  // namespace korvane
