#pragma once
// Finding and opening the device's two ports, the same way for every command
// of the tool that talks to a device.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "midi_service.h"
#include "sysex.h"

namespace korvane::cli {

// Whether both named ports exist; otherwise names each one that does not and
// lists those that do, on standard error.
bool portsExist(MidiService& service, const std::string& outName, const std::string& inName);

struct DevicePorts {
    std::unique_ptr<MidiOutputConnection> output;
    std::unique_ptr<MidiInputConnection> input;
};

// Looks both ports up and opens them, the output first. Every message the
// input port receives reaches onMessage on the thread of app's event loop,
// one message at a time (with verbose, written to standard error first).
// Nothing when a port is missing or does not open; why has been written to
// standard error. Close the input before app goes, so that no callback posts
// into a loop that is gone.
std::optional<DevicePorts> openDevicePorts(MidiService& service, QCoreApplication& app,
                                           const std::string& outName, const std::string& inName,
                                           bool verbose, std::function<void(const ByteString&)> onMessage);

// Sends bytes on out; a failure is written to standard error, and with
// verbose the bytes as well. True when they went out.
bool sendToDevice(MidiOutputConnection& out, const ByteString& bytes, bool verbose);

// What every host of a conversation with the device needs on the tool's
// event loop: sending on the device's output, a timer and a clock. The host
// connects timer_ to what it runs.
template <class Host>
class EventLoopHost : public Host {
public:
    EventLoopHost(MidiOutputConnection& out, bool verbose) : out_(out), verbose_(verbose) {
        clock_.start();
        timer_.setTimerType(Qt::PreciseTimer);
    }
    bool MidiSend(const ByteString& bytes) override { return sendToDevice(out_, bytes, verbose_); }
    void startTimer(int intervalMs) override { timer_.start(intervalMs); }
    void stopTimer() override { timer_.stop(); }
    std::int64_t nowMs() override { return clock_.elapsed(); }

protected:
    MidiOutputConnection& out_;
    bool verbose_;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace korvane::cli
