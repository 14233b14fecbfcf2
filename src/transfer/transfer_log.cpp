#include "transfer_log.h"

#include "log_class.h"

namespace korvane {

void logTransferLine(TransferLogLevel level, std::string_view line) {
    switch (level) {
        case TransferLogLevel::Info:
            LogInfo(line);
            break;
        case TransferLogLevel::InfoAnsi:
            LogInfoAnsi(line);
            break;
        case TransferLogLevel::Error:
            LogError(line);
            break;
    }
}

}  // namespace korvane
