#pragma once
// Routes the transfer state machine's log lines into the program-wide log
// (LogInfo, LogInfoAnsi, LogError); a host's TransferHost::log can simply
// forward here. Does nothing while no program log runs.

#include <string_view>

#include "transfer_state_machine.h"

namespace korvane {

void logTransferLine(TransferLogLevel level, std::string_view line);

}  // namespace korvane
