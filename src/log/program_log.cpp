#include "program_log.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "log_class.h"

namespace korvane {
namespace {

// The program-wide facade. Callers on any thread announce themselves in
// gInFlight before they read the pointer, so that stopProgramLog can take the
// facade away and wait until nobody uses it any more before freeing it.
std::atomic<TLogClass*> gLogClass{nullptr};
std::atomic<int> gInFlight{0};
std::mutex gStartStop;

template <class F>
void withProgramLog(F&& f) {
    gInFlight.fetch_add(1);
    if (TLogClass* log = gLogClass.load()) f(*log);
    gInFlight.fetch_sub(1);
}

}  // namespace

std::filesystem::path programDataFolder() { return destinationFolder(ldAppFolder) / "Pellux3"; }

void startProgramLog() {
    std::lock_guard lock(gStartStop);
    if (gLogClass.load()) return;
    auto log = std::make_unique<TLogClass>();
    log->Init(0, ldAppFolder, "Pellux3", "", "Korvane");
    log->RegisterThread("Main", 0);
    log->SetFileVerboseLevel(0, vlDebug);
    log->Started(0, "Started");
    gLogClass.store(log.release());
}

void stopProgramLog() {
    std::lock_guard lock(gStartStop);
    TLogClass* log = gLogClass.load();
    if (!log) return;
    log->Append("Close", vlInfo, false);
    log->UnregisterThread();
    gLogClass.store(nullptr);
    while (gInFlight.load() != 0) std::this_thread::yield();
    delete log;
}

TLogClass* programLog() { return gLogClass.load(); }

void LogInfo(std::string_view Text) {
    withProgramLog([&](TLogClass& log) { log.Append(Text, vlInfo, false); });
}

void LogWarning(std::string_view Text) {
    withProgramLog([&](TLogClass& log) { log.Append(Text, vlWarning, false); });
}

void LogError(std::string_view Text) {
    withProgramLog([&](TLogClass& log) { log.Append(Text, vlError, false); });
}

void LogInfoAnsi(std::string_view Text) {
    std::string utf8 = ansiToUtf8(Text);
    withProgramLog([&](TLogClass& log) { log.Append(utf8, vlInfo, false); });
}

void LogErrorFmtArgs(std::string_view Format, std::span<const LogArg> Args) {
    withProgramLog([&](TLogClass& log) { log.AppendFmt(vlError, "lib_logfile: Error", Format, Args); });
}

void LogWarningFmtArgs(std::string_view Format, std::span<const LogArg> Args) {
    withProgramLog([&](TLogClass& log) { log.AppendFmt(vlWarning, "lib_logfile: Warning", Format, Args); });
}

}  // namespace korvane
