#include "log_class.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "program_log.h"

namespace korvane {
namespace {

// The library's own error reporting stays silent until the first log file
// exists: before that there is nowhere a report could matter.
std::atomic<bool> gReportErrors{false};

std::string makeLabel(TThreadID id, std::string_view name) {
    char num[16];
    std::snprintf(num, sizeof num, "%5u", static_cast<unsigned>(id));
    std::string label;
    label.reserve(name.size() + 12);
    label += '[';
    label += num;
    label += "] [";
    label += name;
    label += ']';
    return label;
}

// Names longer than 32 characters keep their first and last 15 characters,
// joined by "..". Counted in characters, so no UTF-8 sequence is split.
std::string shortenName(std::string_view name) {
    if (utf8Length(name) <= 32) return std::string(name);
    auto byteOfChar = [&](std::size_t chars) {
        std::size_t seen = 0;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) {
                if (seen == chars) return i;
                ++seen;
            }
        }
        return name.size();
    };
    std::size_t total = utf8Length(name);
    std::size_t headEnd = byteOfChar(15);
    std::size_t tailStart = byteOfChar(total - 15);
    return std::string(name.substr(0, headEnd)) + ".." + std::string(name.substr(tailStart));
}

std::size_t findThread(const std::vector<std::unique_ptr<TRegisteredThread>>& list, TThreadID id) {
    auto it = std::lower_bound(
        list.begin(), list.end(), id,
        [](const std::unique_ptr<TRegisteredThread>& e, TThreadID v) { return e->ThreadID < v; });
    if (it != list.end() && (*it)->ThreadID == id) return static_cast<std::size_t>(it - list.begin());
    return list.size();
}

}  // namespace

// ---------------------------------------------------------------- TLogfile

TLogfile::TLogfile(TLogClass* LogClass, std::int32_t Index, const std::string& LogfileName,
                   const std::string& LogfileExtension, std::int32_t LogfileMaxSize,
                   std::int32_t LogfileMaxGenerations, std::int32_t MaxMemoLines, std::int32_t CustomColumns)
    : Index(Index), FLogClass(LogClass) {
    (void)CustomColumns;
    gReportErrors.store(true);
    FLogThread =
        std::make_unique<TLogThread>(LogfileName, LogfileExtension, LogfileMaxSize, LogfileMaxGenerations,
                                     MaxMemoLines, static_cast<std::int32_t>(MaxMemoLines * 0.05), this);
    FLogThread->Start();
    // Lines may be logged as soon as the file exists; the writer must run.
    ThreadRunning.wait(false);
}

TLogfile::~TLogfile() { FLogThread->Terminate(); }

bool TLogfile::Append(std::string_view Logtext, TVerboseLevel VerboseLevel, const std::string& ThreadName,
                      bool SuppressTime) {
    if (!FLogThread || VerboseLevel < FvFileVerbose.load(std::memory_order_relaxed)) return false;
    auto item = std::make_unique<TLogLine>();
    item->PerfCount = perfCounter();
    item->DateTime = std::chrono::system_clock::now();
    item->VerboseLevel = VerboseLevel;
    item->ThreadName = ThreadName;
    item->Text.assign(Logtext.data(), Logtext.size());
    item->caBytes =
        static_cast<std::int32_t>(std::min<std::size_t>(Logtext.size() + ThreadName.size() + 50, 0x7fffffff));
    item->SuppressTimeStamp = SuppressTime;
    if (!FLogThread->FileLogItemAdd(std::move(item))) return false;
    // A backlog this large makes every further call pause; the writer starts
    // at once instead of finishing its 10 ms wait. Each such early cycle has
    // more than the throttle's worth to write, which keeps the file openings
    // as rare as the disk allows.
    FTenMilliseconds.Set();
    return true;
}

void TLogfile::RegisterThread(std::string_view Name) {
    TThreadID id = currentThreadId();
    std::size_t pos = findThread(FRegisteredThreads, id);
    if (pos < FRegisteredThreads.size()) {
        FRegisteredThreads[pos]->DeleteCounter = 0;
        FRegisteredThreads[pos]->Name = makeLabel(id, Name);
        return;
    }
    auto entry = std::make_unique<TRegisteredThread>();
    entry->ThreadID = id;
    entry->Logfile = this;
    entry->Name = makeLabel(id, Name);
    auto it = std::lower_bound(
        FRegisteredThreads.begin(), FRegisteredThreads.end(), id,
        [](const std::unique_ptr<TRegisteredThread>& e, TThreadID v) { return e->ThreadID < v; });
    FRegisteredThreads.insert(it, std::move(entry));
}

void TLogfile::SetFileVerboseLevel(TVerboseLevel VerboseLevel) {
    FvFileVerbose.store(VerboseLevel);
    FLogThread->FFileVerboseLevel.store(VerboseLevel);
}

bool TLogfile::SilentExceptions() const { return FLogClass->SilentExceptions(); }
void TLogfile::ReportError(const std::string& text) const { FLogClass->ReportError(text); }

void TLogfile::ReportWriterFailure(const std::string& text) const {
    std::cerr << text << std::endl;
    FLogClass->Notify({"log.writerFailure", text, "", text});
}

void TLogfile::ReportCannotWrite(const std::string& file, const std::string& message) const {
    std::string text = "Kann nicht in Logdatei \"" + file + "\" schreiben: " + message;
    std::cerr << text << std::endl;
    FLogClass->Notify({"log.cannotWrite", file, message, text});
}

void TLogfile::DebugOutput(const std::string& text) const { std::cerr << text << std::endl; }

// --------------------------------------------------------------- TLogClass

TLogClass::TLogClass() = default;

TLogClass::~TLogClass() {
    // The files are taken out under the lock but destroyed outside it: a
    // writer's last cycle may report a problem, and a notice handler that
    // logs must find an empty facade rather than wait for this lock forever.
    std::vector<std::unique_ptr<TLogfile>> files;
    {
        std::lock_guard lock(FLock);
        files.swap(FLogsThreadlist);
        FLastAppendLogfileIndex = 2147483647;
    }
    files.clear();
}

TLogfile* TLogClass::Init(std::int32_t Index, const std::string& LogfileName,
                          const std::string& LogfileExtension, std::int32_t LogfileMaxSize,
                          std::int32_t LogfileMaxGenerations, std::int32_t MaxMemoLines,
                          std::int32_t CustomColumns) {
    auto file = std::make_unique<TLogfile>(this, Index, LogfileName, LogfileExtension, LogfileMaxSize,
                                           LogfileMaxGenerations, MaxMemoLines, CustomColumns);
    std::lock_guard lock(FLock);
    FLogsThreadlist.push_back(std::move(file));
    return FLogsThreadlist.back().get();
}

TLogfile* TLogClass::Init(TLogfileDestination Destination, const std::string& CompanyName,
                          const std::string& ApplicationName, const std::string& LogfileName) {
    return Init(0, Destination, CompanyName, ApplicationName, LogfileName);
}

std::string TLogClass::LogfilePath(TLogfileDestination Destination, const std::string& CompanyName,
                                   const std::string& ApplicationName, const std::string& LogfileName) {
    if (Destination != ldAppFolder && Destination != ldUserFolder) {
        throw std::invalid_argument("Aufruf von TLogClass.Init ohne gültige Angabe einer Destination");
    }
    std::filesystem::path path = destinationFolder(Destination);
    if (!CompanyName.empty()) path /= utf8Path(CompanyName);
    if (!ApplicationName.empty()) path /= utf8Path(ApplicationName);
    path /= "logs";
    path /= utf8Path(LogfileName);
    return pathUtf8(path);
}

TLogfile* TLogClass::Init(std::int32_t Index, TLogfileDestination Destination, const std::string& CompanyName,
                          const std::string& ApplicationName, const std::string& LogfileName) {
    return Init(Index, LogfilePath(Destination, CompanyName, ApplicationName, LogfileName), "log", 10000000,
                10, 1000, 0);
}

TLogfile* TLogClass::LogfileAt(std::int32_t Position) const {
    if (Position < 0 || static_cast<std::size_t>(Position) >= FLogsThreadlist.size()) return nullptr;
    return FLogsThreadlist[static_cast<std::size_t>(Position)].get();
}

TLogfile* TLogClass::Logfile(std::int32_t Position) const {
    std::lock_guard lock(FLock);
    return LogfileAt(Position);
}

std::int32_t TLogClass::LogfileCount() const {
    std::lock_guard lock(FLock);
    return static_cast<std::int32_t>(FLogsThreadlist.size());
}

std::string TLogClass::UnregisteredLabel(TThreadID id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "[%5u ????]", static_cast<unsigned>(id));
    return buf;
}

void TLogClass::RegisterThread(std::string_view Name, std::int32_t LogIndex) {
    std::string name = shortenName(Name);
    std::lock_guard lock(FLock);
    for (auto& file : FLogsThreadlist) {
        if (file->Index == LogIndex) {
            file->RegisterThread(name);
            return;
        }
    }
}

TRegisteredThread* TLogClass::GetRegisteredThreadAndLock(TThreadID id) {
    // Caller holds FLock.
    TRegisteredThread* found = nullptr;
    if (TLogfile* cached = FLastAppendLogfileIndex < FLogsThreadlist.size()
                               ? FLogsThreadlist[FLastAppendLogfileIndex].get()
                               : nullptr) {
        if (cached->FLastAppendThreadIndex < cached->FRegisteredThreads.size() &&
            cached->FRegisteredThreads[cached->FLastAppendThreadIndex]->ThreadID == id) {
            found = cached->FRegisteredThreads[cached->FLastAppendThreadIndex].get();
        }
    }
    if (!found) {
        for (std::size_t f = 0; f < FLogsThreadlist.size() && !found; ++f) {
            TLogfile* file = FLogsThreadlist[f].get();
            auto& list = file->FRegisteredThreads;
            std::size_t pos = file->FLastAppendThreadIndex;
            if (pos >= list.size() || list[pos]->ThreadID != id) pos = findThread(list, id);
            if (pos < list.size()) {
                found = list[pos].get();
                FLastAppendLogfileIndex = f;
                file->FLastAppendThreadIndex = pos;
            }
        }
    }
    // A thread that logs after its unregistration starts its grace period anew.
    if (found && found->DeleteCounter > 0) found->DeleteCounter = 1;
    return found;
}

std::string TLogClass::CurrentLabel() {
    TThreadID id = currentThreadId();
    std::lock_guard lock(FLock);
    TRegisteredThread* reg = GetRegisteredThreadAndLock(id);
    return reg ? reg->Name : UnregisteredLabel(id);
}

void TLogClass::Append(std::string_view LogText, TVerboseLevel VerboseLevel, std::int32_t LogfileIndex,
                       bool SuppressTime) {
    TThreadID id = currentThreadId();
    bool pause = false;
    {
        std::lock_guard lock(FLock);
        TRegisteredThread* reg = GetRegisteredThreadAndLock(id);
        std::string label = reg ? reg->Name : UnregisteredLabel(id);
        TLogfile* file = LogfileAt(LogfileIndex);
        if (!file) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "TLogClass.Append: LogfileIndex %d ist ungültig/nicht vorhanden",
                          static_cast<int>(LogfileIndex));
            ReportError(buf);
            return;
        }
        pause = file->Append(LogText, VerboseLevel, label, SuppressTime);
    }
    if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TLogClass::Append(std::string_view LogText, TVerboseLevel VerboseLevel, bool SuppressTime) {
    TThreadID id = currentThreadId();
    bool pause = false;
    {
        std::lock_guard lock(FLock);
        if (TRegisteredThread* reg = GetRegisteredThreadAndLock(id)) {
            pause = reg->Logfile->Append(LogText, VerboseLevel, reg->Name, SuppressTime);
        } else if (TLogfile* file = LogfileAt(0)) {
            pause = file->Append(LogText, VerboseLevel, UnregisteredLabel(id), SuppressTime);
        }
    }
    if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TLogClass::Append(std::string_view LogText, TVerboseLevel VerboseLevel, std::int32_t LogfileIndex,
                       std::string_view ThreadName) {
    TThreadID id = currentThreadId();
    std::string label;
    if (ThreadName.empty()) {
        label = UnregisteredLabel(id);
    } else {
        char num[16];
        std::snprintf(num, sizeof num, "[%5u ", static_cast<unsigned>(id));
        label = std::string(num) + std::string(ThreadName) + "]";
    }
    bool pause = false;
    {
        std::lock_guard lock(FLock);
        if (TLogfile* file = LogfileAt(LogfileIndex))
            pause = file->Append(LogText, VerboseLevel, label, false);
    }
    if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TLogClass::AppendFmt(TVerboseLevel VerboseLevel, std::string_view FailurePrefix, std::string_view Format,
                          std::span<const LogArg> Args) {
    std::string text;
    try {
        text = formatChecked(Format, Args);
    } catch (const FormatError& e) {
        text = std::string(FailurePrefix) + "('" + std::string(Format) + "'): " + e.what();
    }
    Append(text, VerboseLevel, false);
}

void TLogClass::UnregisterThread() {
    TThreadID id = currentThreadId();
    std::lock_guard lock(FLock);
    for (auto& file : FLogsThreadlist) {
        auto& list = file->FRegisteredThreads;
        for (std::size_t i = list.size(); i-- > 0;) {
            TRegisteredThread& e = *list[i];
            if (e.ThreadID == id) {
                if (e.DeleteCounter == 0) e.DeleteCounter = 1;
            } else if (e.DeleteCounter > 0) {
                if (++e.DeleteCounter > 4) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        file->FLastAppendThreadIndex = 2147483647;
    }
}

void TLogClass::UnregisterThread(std::string_view ThreadName) {
    std::lock_guard lock(FLock);
    for (auto& file : FLogsThreadlist) {
        auto& list = file->FRegisteredThreads;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string& label = list[i]->Name;
            // The label is "[id] [name]": match it whole or by the name alone.
            std::size_t open = label.find("] [");
            std::string_view bare = open == std::string::npos
                                        ? std::string_view()
                                        : std::string_view(label).substr(open + 3, label.size() - open - 4);
            if (label == ThreadName || (!ThreadName.empty() && bare == ThreadName)) {
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                file->FLastAppendThreadIndex = 2147483647;
                return;
            }
        }
    }
}

bool TLogClass::SetFileVerboseLevel(std::int32_t Index, TVerboseLevel Level) {
    std::lock_guard lock(FLock);
    TLogfile* file = LogfileAt(Index);
    if (!file) return false;
    file->SetFileVerboseLevel(Level);
    return true;
}

bool TLogClass::SetScreenVerboseLevel(std::int32_t Index, TVerboseLevel Level) {
    std::lock_guard lock(FLock);
    TLogfile* file = LogfileAt(Index);
    if (!file) return false;
    file->SetMemoVerboseLevel(Level);
    return true;
}

void TLogClass::SetFileLogLevel(std::string_view LogLevel, std::int32_t Index) {
    static constexpr std::pair<std::string_view, TVerboseLevel> kLevels[] = {
        {"debug", vlDebug},         {"verbose", vlVerbose}, {"success", vlSuccess}, {"info", vlInfo},
        {"important", vlImportant}, {"warning", vlWarning}, {"error", vlError},     {"critical", vlCritical}};
    std::string lower(LogLevel);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const auto& [name, level] : kLevels) {
        if (lower == name) {
            SetFileVerboseLevel(Index, level);
            return;
        }
    }
    const LogArg args[] = {LogArg(LogLevel)};
    AppendFmt(vlError, "lib_logfile: Error",
              "SetLogLevel(): Unknown LogLevel-Text \"%s\", use debug/verbose/success/info/warning/error",
              args);
    SetFileVerboseLevel(Index, vlDebug);
}

bool TLogClass::SetTimeFormat(std::int32_t Index, TTimeFormat TimeFormat) {
    std::lock_guard lock(FLock);
    TLogfile* file = LogfileAt(Index);
    if (!file) return false;
    file->FLogThread->TimeFormat.store(TimeFormat);
    return true;
}

bool TLogClass::RestartTime(std::int32_t Index) {
    {
        std::lock_guard lock(FLock);
        TLogfile* file = LogfileAt(Index);
        if (!file) return false;
        file->FLogThread->qpStartTime.store(perfCounter());
    }
    Append("Setting Log-Time to 0.000000", vlImportant, false);
    return true;
}

void TLogClass::SetMaxLogFileSize(std::int32_t LogfileIndex, std::int32_t MaxLogFileSize) {
    std::lock_guard lock(FLock);
    if (TLogfile* file = LogfileAt(LogfileIndex)) file->FLogThread->SetLogFileMaxSize(MaxLogFileSize);
}

namespace {

// The start banner: the start text framed by rows of stars, coloured by level
// from the outside in, so it stands out in a viewer that colours by level.
template <class WriteLine>
void writeStartBanner(std::string_view StartText, WriteLine writeLine) {
    const std::string stars(73, '*');
    const TVerboseLevel frame[] = {vlError, vlWarning, vlSuccess};
    for (TVerboseLevel level : frame) writeLine(std::string_view(stars), level);
    writeLine(StartText, vlSuccess);
    for (auto it = std::rbegin(frame); it != std::rend(frame); ++it) writeLine(std::string_view(stars), *it);
}

}  // namespace

void TLogClass::Started(std::int32_t Index, std::string_view StartText) {
    writeStartBanner(StartText,
                     [&](std::string_view line, TVerboseLevel level) { Append(line, level, Index, false); });
}

void TLogClass::Started(std::int32_t Index, std::string_view ThreadName, std::string_view StartText) {
    writeStartBanner(StartText, [&](std::string_view line, TVerboseLevel level) {
        Append(line, level, Index, ThreadName);
    });
}

void TLogClass::LogWaitFor(TThreadID Thread, const std::function<bool(std::chrono::milliseconds)>& WaitEnded,
                           std::int32_t IntervalMs, std::string_view DebugText, bool RepeatWarning) {
    std::string label = "????";
    {
        std::lock_guard lock(FLock);
        for (auto& file : FLogsThreadlist) {
            std::size_t pos = findThread(file->FRegisteredThreads, Thread);
            if (pos < file->FRegisteredThreads.size()) {
                label = file->FRegisteredThreads[pos]->Name;
                break;
            }
        }
    }
    const auto start = std::chrono::steady_clock::now();
    int intervals = 0;
    const auto interval = std::chrono::milliseconds(std::max<std::int32_t>(IntervalMs, 0));
    while (!WaitEnded(interval)) {
        ++intervals;
        if (intervals == 1 || RepeatWarning) {
            const LogArg args[] = {LogArg(label), LogArg(DebugText)};
            AppendFmt(vlWarning, "lib_logfile: Warning", "Waiting for Thread \"%s\" (DebugText = \"%s\")",
                      args);
        }
    }
    if (intervals > 0) {
        auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        const LogArg args[] = {LogArg(label), LogArg(static_cast<std::int64_t>(took.count()))};
        AppendFmt(vlWarning, "lib_logfile: Warning", "Waiting for Thread \"%s\" done. Took %d ms", args);
    }
}

void TLogClass::SetNoticeHandler(TLogNoticeHandler Handler) {
    std::lock_guard lock(handlerLock_);
    handler_ = std::move(Handler);
}

void TLogClass::Notify(const TLogNotice& notice) const {
    TLogNoticeHandler handler;
    {
        std::lock_guard lock(handlerLock_);
        handler = handler_;
    }
    if (handler) handler(notice);
}

void TLogClass::ReportError(const std::string& text) const {
    if (!gReportErrors.load()) return;
    std::string full = "Fehlermeldung: " + text;
    std::cerr << full << std::endl;
    Notify({"log.errorMessage", text, "", full});
}

bool TLogClass::Flush(std::int32_t Index) {
    TLogThread* writer = nullptr;
    {
        std::lock_guard lock(FLock);
        TLogfile* file = LogfileAt(Index);
        if (!file) return false;
        writer = file->FLogThread.get();
    }
    // Waited for outside the facade lock, so that logging goes on meanwhile.
    writer->Flush();
    return true;
}

}  // namespace korvane
