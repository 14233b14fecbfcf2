#pragma once
// The program-wide log: started when the main window is created, stopped
// when it is destroyed, and reachable from every subsystem in between.
//
// Other subsystems do not touch the facade directly; they call the one-line
// procedures (LogInfo, LogError, LogErrorFmt, ... in log_class.h), which log
// through the facade installed here and do nothing while none is installed.

#include <filesystem>

namespace korvane {

class TLogClass;

// The editor's per-machine data folder: $XDG_DATA_HOME/Pellux3, with
// ~/.local/share standing in when XDG_DATA_HOME is unset or empty (the same
// rule Qt 6's QStandardPaths::GenericDataLocation follows, a relative value
// included, so the window code and the log agree). On Windows the common application data
// folder + "\Pellux3".
std::filesystem::path programDataFolder();

// The start of the program's log, in this order: create the facade and make
// it the program-wide one, initialise log file 0 in the "logs" folder of the
// data folder (company "Pellux3", no application name, file "Korvane"),
// register the calling thread as "Main", let every level into file 0, and
// write the start banner "Started". The log files thus land in
// programDataFolder() / "logs" / "Korvane.log".
// Calling it while a program log runs does nothing.
void startProgramLog();

// The end of the program's log: "Close" at level info, the calling thread's
// registration ended, the facade destroyed (which writes every line queued
// before). Calling it without a running program log does nothing.
void stopProgramLog();

// The program-wide facade, or nullptr before startProgramLog() and after
// stopProgramLog(). The log never shows a box itself: a window program that
// wants to tell the user about the log's own problems installs a handler
// with programLog()->SetNoticeHandler(...) (log_class.h) right after the
// start; it runs on whichever thread met the problem, so it should post to
// the window thread and show korvane::textWith(notice.key, language,
// notice.value) + notice.detail there.
TLogClass* programLog();

}  // namespace korvane
