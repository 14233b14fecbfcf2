#include "transfer_state_machine.h"

#include <algorithm>
#include <optional>
#include <string>

#include "hexmon.h"
#include "texts.h"

namespace korvane {

std::string_view stateName(TMyStateMachine state) {
    switch (state) {
        case IDLE:
            return "IDLE";
        case GET_PROFILES_WAIT_VERSION:
            return "GET_PROFILES_WAIT_VERSION";
        case GET_CONFIG_WAIT_VERSION:
            return "GET_CONFIG_WAIT_VERSION";
        case SEND_CONFIG_WAIT_VERSION:
            return "SEND_CONFIG_WAIT_VERSION";
        case SEND_CONFIG_BEGIN:
            return "SEND_CONFIG_BEGIN";
        case CONTINUE_SEND_CONFIG:
            return "CONTINUE_SEND_CONFIG";
        case SEND_CONFIG_EEPROM_BRENNEN:
            return "SEND_CONFIG_EEPROM_BRENNEN";
        case SEND_CONFIG_WAIT_EEPROM_WRITTEN:
            return "SEND_CONFIG_WAIT_EEPROM_WRITTEN";
        case SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE:
            return "SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE";
        case MANUAL_GET_VERSION:
            return "MANUAL_GET_VERSION";
    }
    return "?";
}

TransferProgress transferProgress(TransferStage stage, int packetIndex, int packetCount) {
    const int maximum = packetCount + 2;
    switch (stage) {
        case TransferStage::PacketSent:
            // Sending packet i means the device has answered after i - 1.
            return {std::clamp(packetIndex - 1, 0, packetCount), maximum};
        case TransferStage::Storing:
            return {packetCount, maximum};
        case TransferStage::Restarting:
            return {packetCount + 1, maximum};
        case TransferStage::Finished:
            return {maximum, maximum};
        case TransferStage::Aborted:
            break;
    }
    return {0, maximum};
}

const char* failureTextKey(TransferFailure failure) {
    switch (failure) {
        case TransferFailure::StoreNotConfirmed:
            return "transfer.storeNotConfirmed";
        case TransferFailure::NoRestart:
            return "transfer.noRestart";
        case TransferFailure::NotResponding:
            break;
    }
    return "transfer.notResponding";
}

namespace {

std::string portLine(std::string_view key, std::string_view language, const PortReport& port) {
    const std::string_view name = port.name.empty() ? text("transfer.port.none", language) : port.name;
    const std::string_view state = text(port.open ? "transfer.port.open" : "transfer.port.closed", language);
    return textWithAll(key, language, {name, state});
}

}  // namespace

std::string failureReport(TransferFailure failure, std::string_view language, const PortReport& in,
                          const PortReport& out) {
    std::string report;
    if (!in.open || !out.open) {
        report += text("transfer.portsNotOpen", language);
        report += "\n\n";
    }
    report += text(failureTextKey(failure), language);
    report += "\n\n";
    report += text("transfer.portsUsed", language);
    report += "\n" + portLine("transfer.port.in", language, in);
    report += "\n" + portLine("transfer.port.out", language, out);
    return report;
}

TTransferStateMachine::TTransferStateMachine(TransferHost& host) : host_(host) {}

bool TTransferStateMachine::transferRunning() const {
    switch (MyStateMachine) {
        case SEND_CONFIG_WAIT_VERSION:
        case SEND_CONFIG_BEGIN:
        case CONTINUE_SEND_CONFIG:
        case SEND_CONFIG_EEPROM_BRENNEN:
        case SEND_CONFIG_WAIT_EEPROM_WRITTEN:
        case SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE:
            return true;
        default:
            return false;
    }
}

void TTransferStateMachine::abandonRunningTransfer() {
    // Another exchange takes the machine over. The transfer it replaces can
    // no longer finish, so nothing else would ever give the user the send
    // controls back.
    if (!transferRunning()) return;
    host_.log(TransferLogLevel::Error, "transfer interrupted by another request");
    host_.InitSendButton();
}

bool TTransferStateMachine::isSupportedVersion(std::string_view version) {
    return version == "03.02" || version == "03.04";
}

void TTransferStateMachine::VersionsAbfrage() {
    host_.versionQuerySent();
    const std::int64_t now = host_.nowMs();
    forgetExpiredQueries(now);
    unanswered_.push_back({++queriesSent_, now});
    ++queriesSinceStep_;
    host_.MidiSend(CommandPacket(sysex::kCmdVersionQuery));
}

void TTransferStateMachine::forgetExpiredQueries(std::int64_t now) {
    // Queries past their answer time can no longer be answered; forgetting
    // them keeps the list as short as the answer time allows.
    while (!unanswered_.empty() && now - unanswered_.front().sentMs > kLatestAnswerMs)
        unanswered_.pop_front();
}

void TTransferStateMachine::markStep() {
    stepAfter_ = queriesSent_;
    queriesSinceStep_ = 0;
}

bool TTransferStateMachine::waitsForStepReply() const { return transferRunning(); }

void TTransferStateMachine::startConfigTransfer(ByteString stream) {
    SysExConfig = std::move(stream);
    packetCount_ = static_cast<int>(std::count(SysExConfig.begin(), SysExConfig.end(), sysex::kEnd));
    packetsSent_ = 0;
    posStartSys = 0;
    posEndSys = 0;
    replyTimeMs_ = 0;
    host_.stopTimer();
    MyStateMachine = SEND_CONFIG_WAIT_VERSION;
    // Replies to queries of an earlier exchange must not start this one.
    markStep();
    VersionsAbfrage();
    beginWait();
    host_.startTimer(kFirstAnswerMs);
}

void TTransferStateMachine::startManualVersion() {
    abandonRunningTransfer();
    host_.stopTimer();
    MyStateMachine = MANUAL_GET_VERSION;
    VersionsAbfrage();
    host_.startTimer(kFirstAnswerMs);
}

void TTransferStateMachine::startConfigRequest() {
    abandonRunningTransfer();
    MyStateMachine = GET_CONFIG_WAIT_VERSION;
    VersionsAbfrage();
}

void TTransferStateMachine::startProfilesRequest() {
    abandonRunningTransfer();
    MyStateMachine = GET_PROFILES_WAIT_VERSION;
    VersionsAbfrage();
}

void TTransferStateMachine::beginWait() { waitSinceMs_ = host_.nowMs(); }

void TTransferStateMachine::beginWait(int pollMs) {
    beginWait();
    pollMs_ = pollMs;
    timerMs_ = pollMs;
    host_.startTimer(pollMs);
}

void TTransferStateMachine::pollOrGiveUp(const char* waitLine, int limitMs, const char* failLine,
                                         TransferFailure failure) {
    // Both must be over: the time, and enough unanswered queries that a
    // device skipping some of them cannot be the reason. The pace below
    // makes the queries reach that count well within every time limit, so
    // a device that is gone fails when the limit is over.
    if (host_.nowMs() - waitSinceMs_ >= limitMs && queriesSinceStep_ >= kMinAttempts)
        return abortTransfer(failLine, failure);
    host_.log(TransferLogLevel::Info, waitLine);
    VersionsAbfrage();
    // The step's first query gets its full answer time: a device that
    // answers it is asked only once per step, however slow it is. Once that
    // query went unanswered the device skipped it, so asking again only
    // after each query's answer time would make a slow device that skips
    // many queries outlast any time limit; the queries then follow at the
    // poll interval. Several may be on their way then, which is safe: a
    // reply is given to the oldest query that may still be answered, never
    // to a newer one than it answers, and counts only if that query went
    // out after the step.
    const int nextMs = queriesSinceStep_ == 1 ? answerTimeMs() : pollMs_;
    if (nextMs != timerMs_) {
        timerMs_ = nextMs;
        host_.startTimer(nextMs);
    }
}

int TTransferStateMachine::answerTimeMs() const { return pollMs_ + replyTimeMs_ + replyTimeMs_ / 4; }

bool TTransferStateMachine::onSysEx(const ByteString& message) {
    if (!IsVersionReply(message)) return true;
    const std::int64_t now = host_.nowMs();
    // Give the reply to the oldest query that may still be answered.
    forgetExpiredQueries(now);
    std::optional<SentQuery> answered;
    if (!unanswered_.empty()) {
        answered = unanswered_.front();
        unanswered_.pop_front();
    }

    const std::string version = VersionText(message);
    host_.versionReceived(version);
    if (!isSupportedVersion(version)) {
        if (transferRunning() && MyStateMachine != SEND_CONFIG_WAIT_VERSION) {
            // Past the first query the timer repeats the query every 20 or
            // 250 ms, and each unsupported reply would open one more box
            // inside the previous one. A device that changed its firmware
            // mid-transfer cannot finish it anyway: end it once, with one box.
            abortTransfer("Version not supported");
            return false;
        }
        host_.showFailure(TransferFailure::NotResponding);
        host_.log(TransferLogLevel::Error, "Version not supported");
        return false;
    }

    if (waitsForStepReply() && !(answered && answered->number > stepAfter_)) {
        // It may answer a query asked before the last packet or command went
        // out, so it says nothing about that step. The timer goes on asking.
        host_.log(TransferLogLevel::Info, "ACK ignored, query was asked before the last step");
        // The first two queries are not repeated by the timer. A query of
        // an earlier exchange that never arrived (one sent into a port that
        // had only just opened) takes this reply for itself, so ask again:
        // the device is plainly there.
        if (MyStateMachine == SEND_CONFIG_WAIT_VERSION || MyStateMachine == SEND_CONFIG_BEGIN)
            VersionsAbfrage();
        return true;
    }
    host_.stopTimer();
    switch (MyStateMachine) {
        case MANUAL_GET_VERSION:
            host_.log(TransferLogLevel::InfoAnsi, "Version: " + version);
            MyStateMachine = IDLE;
            break;
        case IDLE:
            host_.log(TransferLogLevel::InfoAnsi, "Version: " + version);
            break;
        case GET_PROFILES_WAIT_VERSION:
            host_.MidiSend(CommandPacket(sysex::kCmdRequestProfiles));
            MyStateMachine = IDLE;
            break;
        case GET_CONFIG_WAIT_VERSION:
            host_.MidiSend(CommandPacket(sysex::kCmdRequestConfig));
            MyStateMachine = IDLE;
            break;
        case SEND_CONFIG_WAIT_VERSION:
            // Only one query is on its way here, so this is the device's
            // true reply time; the polls of the transfer wait that long.
            replyTimeMs_ = std::max(replyTimeMs_, static_cast<int>(now - answered->sentMs));
            // Both accepted firmware versions take the same packets, so an
            // older device is served like the current one.
            MyStateMachine = SEND_CONFIG_BEGIN;
            markStep();
            VersionsAbfrage();
            // The second query gets the same limit as the first: a device
            // that stops answering here must not leave the send controls
            // disabled for good.
            beginWait();
            host_.startTimer(kFirstAnswerMs);
            break;
        case SEND_CONFIG_BEGIN:
            replyTimeMs_ = std::max(replyTimeMs_, static_cast<int>(now - answered->sentMs));
            posEndSys = 0;
            if (SysExConfig.empty()) {
                // Nothing assigned: an empty long message cannot be sent, so
                // skip to the store command; the device then keeps an empty
                // configuration, which is what the user composed.
                host_.log(TransferLogLevel::Info, "no SysEx packets to send");
                MyStateMachine = SEND_CONFIG_EEPROM_BRENNEN;
            } else {
                MyStateMachine = CONTINUE_SEND_CONFIG;
            }
            break;
        default:
            break;
    }
    actOnState();
    return true;
}

void TTransferStateMachine::actOnState() {
    switch (MyStateMachine) {
        case CONTINUE_SEND_CONFIG:
            sendNextPacket();
            break;
        case SEND_CONFIG_EEPROM_BRENNEN:
            host_.log(TransferLogLevel::Info, "ACK received, write EEPROM");
            MyStateMachine = SEND_CONFIG_WAIT_EEPROM_WRITTEN;
            host_.setSendCaption(SendCaption::Saving);
            // The device answers queries whether or not it got the command,
            // so a command that never left would end as a false success.
            markStep();
            if (!host_.MidiSend(CommandPacket(sysex::kCmdStoreConfig)))
                return abortTransfer("write EEPROM could not be sent, transfer aborted");
            host_.stageReached(TransferStage::Storing, packetsSent_, packetCount_);
            beginWait(kStorePollMs);
            break;
        case SEND_CONFIG_WAIT_EEPROM_WRITTEN:
            host_.log(TransferLogLevel::Info, "ACK received, resetting Korvane");
            host_.setSendCaption(SendCaption::BackAgain);
            MyStateMachine = SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE;
            markStep();
            if (!host_.MidiSend(ByteString{sysex::kReset}))
                return abortTransfer("Reset could not be sent, transfer aborted");
            host_.stageReached(TransferStage::Restarting, packetsSent_, packetCount_);
            beginWait(kStorePollMs);
            break;
        case SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE:
            MyStateMachine = IDLE;
            host_.log(TransferLogLevel::Info, "ACK received, finished.");
            host_.InitSendButton();
            host_.stageReached(TransferStage::Finished, packetsSent_, packetCount_);
            break;
        default:
            break;
    }
}

void TTransferStateMachine::sendNextPacket() {
    posStartSys = posEndSys + 1;
    const auto from = SysExConfig.begin() + (posStartSys - 1);
    const auto f7 = std::find(from, SysExConfig.end(), sysex::kEnd);
    // A stream always ends with F7; should it not, the rest goes as the last packet.
    posEndSys = f7 == SysExConfig.end() ? static_cast<std::int32_t>(SysExConfig.size())
                                        : static_cast<std::int32_t>(f7 - SysExConfig.begin()) + 1;
    const ByteString packet(from, SysExConfig.begin() + posEndSys);

    host_.log(TransferLogLevel::InfoAnsi, "ACK received, send: " + THexmon::HexAsciiMonLine(packet, 0, 256));
    // The device acknowledges the next query even if this packet never
    // reached it (a port that refuses a message too long for it), so going on
    // would report a transfer with a missing element as done.
    markStep();
    if (!host_.MidiSend(packet)) return abortTransfer("SysEx packet could not be sent, transfer aborted");
    ++packetsSent_;
    host_.stageReached(TransferStage::PacketSent, packetsSent_, std::max(packetCount_, packetsSent_));
    if (posEndSys >= static_cast<std::int32_t>(SysExConfig.size())) {
        host_.log(TransferLogLevel::Info, "last SysEx packet sent");
        MyStateMachine = SEND_CONFIG_EEPROM_BRENNEN;
    }
    beginWait(kPacketPollMs);
}

void TTransferStateMachine::abortTransfer(std::string_view reason, TransferFailure failure) {
    host_.stopTimer();
    MyStateMachine = IDLE;
    host_.log(TransferLogLevel::Error, std::string(reason));
    host_.showFailure(failure);
    host_.InitSendButton();
    host_.stageReached(TransferStage::Aborted, packetsSent_, packetCount_);
}

void TTransferStateMachine::onTimer() {
    switch (MyStateMachine) {
        case CONTINUE_SEND_CONFIG:
            pollOrGiveUp("wait for ACK (Data)", kPacketTimeoutMs,
                         "no ACK after SysEx packet, transfer aborted", TransferFailure::NotResponding);
            break;
        case SEND_CONFIG_EEPROM_BRENNEN:
            pollOrGiveUp("wait for ACK (ready to write EEPROM)", kPacketTimeoutMs,
                         "no ACK after last SysEx packet, transfer aborted", TransferFailure::NotResponding);
            break;
        case SEND_CONFIG_WAIT_EEPROM_WRITTEN:
            pollOrGiveUp("wait for ACK (EEPROM written)", kStoreTimeoutMs,
                         "no ACK after write EEPROM, transfer aborted", TransferFailure::StoreNotConfirmed);
            if (MyStateMachine == SEND_CONFIG_WAIT_EEPROM_WRITTEN)
                host_.setSendCaption(SendCaption::Initializing);
            break;
        case SEND_CONFIG_RESET_WAIT_VERSIONSABFRAGE:
            pollOrGiveUp("wait for ACK (alive after Reset)", kRestartTimeoutMs,
                         "no ACK after Reset, transfer aborted", TransferFailure::NoRestart);
            break;
        case SEND_CONFIG_WAIT_VERSION:
            host_.stopTimer();
            MyStateMachine = IDLE;
            host_.showFailure(TransferFailure::NotResponding);
            host_.InitSendButton();
            host_.stageReached(TransferStage::Aborted, packetsSent_, packetCount_);
            break;
        case SEND_CONFIG_BEGIN:
            abortTransfer("no ACK before first SysEx packet, transfer aborted");
            break;
        default:
            // Nothing waits on the timer in the other states; stopping it
            // saves the idle ticks after an unanswered firmware query.
            host_.stopTimer();
            break;
    }
}

}  // namespace korvane
