#include "device_fetch.h"

#include <utility>

#include "transfer_state_machine.h"

namespace korvane {

std::string_view outcomeName(FetchResult::Outcome outcome) {
    switch (outcome) {
        case FetchResult::Outcome::Complete:
            return "Complete";
        case FetchResult::Outcome::NoAnswer:
            return "NoAnswer";
        case FetchResult::Outcome::UnsupportedVersion:
            return "UnsupportedVersion";
        case FetchResult::Outcome::NoEndMarker:
            return "NoEndMarker";
        case FetchResult::Outcome::NotRecognised:
            return "NotRecognised";
        case FetchResult::Outcome::SendFailed:
            return "SendFailed";
        case FetchResult::Outcome::Interrupted:
            return "Interrupted";
    }
    return "?";
}

FetchOutcomeBox fetchOutcomeBox(FetchResult::Outcome outcome) {
    using Kind = FetchOutcomeBox::Kind;
    switch (outcome) {
        case FetchResult::Outcome::NoAnswer:
            return {Kind::Message, "transfer.notResponding"};
        case FetchResult::Outcome::NoEndMarker:
            return {Kind::Error, "readback.noEndMarker"};
        case FetchResult::Outcome::NotRecognised:
            return {Kind::Error, "readback.notRecognised"};
        case FetchResult::Outcome::SendFailed:
            return {Kind::Error, "readback.sendFailed"};
        case FetchResult::Outcome::Interrupted:
            return {Kind::Info, "readback.interrupted"};
        case FetchResult::Outcome::UnsupportedVersion:
        case FetchResult::Outcome::Complete:
            break;
    }
    return {};
}

std::string_view fetchStartRefusalKey(TDeviceFetch::Start start) {
    switch (start) {
        case TDeviceFetch::Start::TransferRunning:
            return "readback.transferRunning";
        case TDeviceFetch::Start::AlreadyRunning:
            return "readback.fetchRunning";
        case TDeviceFetch::Start::Started:
            break;
    }
    return {};
}

TDeviceFetch::TDeviceFetch(FetchHost& host) : host_(host) {}

TDeviceFetch::Start TDeviceFetch::start(DumpKind kind) {
    if (running()) return Start::AlreadyRunning;
    if (host_.transferRunning()) return Start::TransferRunning;
    kind_ = kind;
    reader_ = makeDumpReader(kind);
    state_ = State::WaitVersion;
    waitSinceMs_ = host_.nowMs();
    host_.log(kind == DumpKind::Configuration ? "fetch configuration: version query"
                                              : "fetch motor profiles: version query");
    if (!host_.MidiSend(CommandPacket(sysex::kCmdVersionQuery))) {
        finish(FetchResult::Outcome::SendFailed, "version query could not be sent");
        return Start::Started;
    }
    host_.startTimer(kTickMs);
    return Start::Started;
}

bool TDeviceFetch::onSysEx(const ByteString& message) {
    switch (state_) {
        case State::Idle:
            return false;
        case State::WaitVersion: {
            // Anything before the version reply (the tail of an earlier dump,
            // another program's message) is no answer to this fetch.
            if (!IsVersionReply(message)) return false;
            const std::string version = VersionText(message);
            if (!TTransferStateMachine::isSupportedVersion(version)) {
                finish(FetchResult::Outcome::UnsupportedVersion, version);
                return true;
            }
            state_ = State::WaitDump;
            waitSinceMs_ = host_.nowMs();
            host_.log("fetch: version " + version + ", request sent");
            if (!host_.MidiSend(CommandPacket(dumpCommand(kind_))))
                finish(FetchResult::Outcome::SendFailed, "request could not be sent");
            return true;
        }
        case State::WaitDump: {
            const DumpReader::Step step = reader_->feed(message);
            waitSinceMs_ = host_.nowMs();
            if (step == DumpReader::Step::Complete) {
                finish(FetchResult::Outcome::Complete,
                       std::to_string(reader_->dump().packets.size()) + " packets");
            } else if (step == DumpReader::Step::NotRecognised) {
                finish(FetchResult::Outcome::NotRecognised, reader_->problem());
            }
            return true;
        }
    }
    return false;
}

void TDeviceFetch::onTimer() {
    if (!running()) {
        host_.stopTimer();
        return;
    }
    if (host_.transferRunning()) return finish(FetchResult::Outcome::Interrupted, "a transfer started");
    const std::int64_t waited = host_.nowMs() - waitSinceMs_;
    if (state_ == State::WaitVersion && waited >= kVersionTimeoutMs)
        return finish(FetchResult::Outcome::NoAnswer, "no version reply");
    if (state_ == State::WaitDump && waited >= kDumpQuietTimeoutMs)
        return finish(FetchResult::Outcome::NoEndMarker,
                      std::to_string(reader_->dump().packets.size()) + " packets, then nothing");
}

void TDeviceFetch::cancel() {
    if (!running()) return;
    host_.stopTimer();
    state_ = State::Idle;
    reader_.reset();
    host_.log("fetch cancelled");
}

void TDeviceFetch::finish(FetchResult::Outcome outcome, std::string detail) {
    host_.stopTimer();
    FetchResult result;
    result.outcome = outcome;
    result.kind = kind_;
    if (reader_) result.dump = reader_->dump();
    result.detail = std::move(detail);
    state_ = State::Idle;
    reader_.reset();
    host_.log("fetch ended: " + std::string(outcomeName(outcome)) + " (" + result.detail + ")");
    host_.fetchFinished(result);
}

}  // namespace korvane
