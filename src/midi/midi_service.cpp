#include "midi_service.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <utility>

namespace korvane {

namespace {

// Data bytes that follow a status byte.
int dataBytesFor(std::uint8_t status) {
    if (status < 0xF0) {
        const std::uint8_t kind = status & 0xF0;
        return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    }
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF2:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

std::size_t shortMessageLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    return 1 + std::size_t(dataBytesFor(status));
}

std::vector<std::vector<std::uint8_t>> splitMidiMessages(std::span<const std::uint8_t> bytes) {
    std::vector<std::vector<std::uint8_t>> out;
    std::vector<std::uint8_t> sysex;
    scanMidiMessages(bytes, [&](const MidiPiece& p) {
        if (p.isShort) {
            out.emplace_back(p.shortBytes, p.shortBytes + p.shortLength);
            return;
        }
        sysex.insert(sysex.end(), p.sysex.begin(), p.sysex.end());
        if (p.sysexEnds) out.push_back(std::exchange(sysex, {}));
    });
    return out;
}

std::size_t sameNameRank(const std::vector<std::string>& devices, int id, const std::string& name) {
    if (id < 0 || std::size_t(id) >= devices.size() || devices[std::size_t(id)] != name) return 0;
    return std::size_t(std::count(devices.begin(), devices.begin() + id, name));
}

bool checkSendable(std::span<const std::uint8_t> bytes, std::string* error) {
    if (bytes.empty()) {
        if (error) *error = "Nothing to send";
        return false;
    }
    if (bytes.size() > kMaxMidiMessageBytes) {
        if (error)
            *error = "Message of " + std::to_string(bytes.size()) + " bytes is above the limit of " +
                     std::to_string(kMaxMidiMessageBytes) + " bytes";
        return false;
    }
    return true;
}

namespace {

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The in-process switchboard. Endpoints are keyed by the name others see:
// a virtual output is an input device, a virtual input an output device.
struct Hub {
    std::recursive_mutex mutex;
    std::uint64_t nextId = 1;
    struct InputDevice {  // fed by a virtual output
        std::map<std::uint64_t, MidiInputCallback> listeners;
        std::uint64_t owner = 0;
    };
    struct OutputDevice {  // a virtual input that receives
        MidiInputCallback callback;
        std::uint64_t owner = 0;
    };
    std::map<std::string, InputDevice> inputs;
    std::map<std::string, OutputDevice> outputs;
    std::vector<std::string> inputOrder, outputOrder;
};

class LoopbackInput : public MidiInputConnection {
public:
    LoopbackInput(std::shared_ptr<Hub> hub, std::string name, std::uint64_t id, bool isVirtual)
        : hub_(std::move(hub)), name_(std::move(name)), id_(id), virtual_(isVirtual) {}
    ~LoopbackInput() override {
        std::lock_guard lock(hub_->mutex);
        if (virtual_) {
            auto it = hub_->outputs.find(name_);
            if (it != hub_->outputs.end() && it->second.owner == id_) {
                hub_->outputs.erase(it);
                std::erase(hub_->outputOrder, name_);
            }
        } else {
            auto it = hub_->inputs.find(name_);
            if (it != hub_->inputs.end()) it->second.listeners.erase(id_);
        }
    }
    const std::string& name() const override { return name_; }

private:
    std::shared_ptr<Hub> hub_;
    std::string name_;
    std::uint64_t id_;
    bool virtual_;
};

class LoopbackOutput : public MidiOutputConnection {
public:
    LoopbackOutput(std::shared_ptr<Hub> hub, std::string name, std::uint64_t id, bool isVirtual)
        : hub_(std::move(hub)), name_(std::move(name)), id_(id), virtual_(isVirtual) {}
    ~LoopbackOutput() override {
        if (!virtual_) return;
        std::lock_guard lock(hub_->mutex);
        auto it = hub_->inputs.find(name_);
        if (it != hub_->inputs.end() && it->second.owner == id_) {
            hub_->inputs.erase(it);
            std::erase(hub_->inputOrder, name_);
        }
    }
    const std::string& name() const override { return name_; }
    bool send(std::span<const std::uint8_t> bytes, std::string* error) override {
        if (!checkSendable(bytes, error)) return false;
        const auto messages = splitMidiMessages(bytes);
        std::lock_guard lock(hub_->mutex);
        if (virtual_) {
            auto it = hub_->inputs.find(name_);
            if (it == hub_->inputs.end() || it->second.owner != id_) {
                if (error) *error = "MIDI port " + name_ + " is gone";
                return false;
            }
            for (const auto& m : messages) {
                // Copy: a listener may close itself from inside its callback.
                auto listeners = it->second.listeners;
                for (auto& [id, cb] : listeners)
                    if (cb) cb(m, nowSeconds());
                it = hub_->inputs.find(name_);
                if (it == hub_->inputs.end()) break;
            }
            return true;
        }
        auto it = hub_->outputs.find(name_);
        if (it == hub_->outputs.end()) {
            if (error) *error = "MIDI port " + name_ + " is gone";
            return false;
        }
        auto cb = it->second.callback;
        for (const auto& m : messages)
            if (cb) cb(m, nowSeconds());
        return true;
    }

private:
    std::shared_ptr<Hub> hub_;
    std::string name_;
    std::uint64_t id_;
    bool virtual_;
};

class LoopbackService : public MidiService {
public:
    std::vector<std::string> inputPortNames() override {
        std::lock_guard lock(hub_->mutex);
        return hub_->inputOrder;
    }
    std::vector<std::string> outputPortNames() override {
        std::lock_guard lock(hub_->mutex);
        return hub_->outputOrder;
    }
    std::unique_ptr<MidiInputConnection> openInput(const std::string& name, MidiInputCallback callback,
                                                   std::string& error, std::size_t occurrence) override {
        std::lock_guard lock(hub_->mutex);
        auto it = hub_->inputs.find(name);
        // Names are unique here: there is no second port of a name.
        if (it == hub_->inputs.end() || occurrence > 0) {
            error = "No MIDI input port named " + name;
            return nullptr;
        }
        const auto id = hub_->nextId++;
        it->second.listeners[id] = std::move(callback);
        return std::make_unique<LoopbackInput>(hub_, name, id, false);
    }
    std::unique_ptr<MidiOutputConnection> openOutput(const std::string& name, std::string& error,
                                                     std::size_t occurrence) override {
        std::lock_guard lock(hub_->mutex);
        if (!hub_->outputs.count(name) || occurrence > 0) {
            error = "No MIDI output port named " + name;
            return nullptr;
        }
        return std::make_unique<LoopbackOutput>(hub_, name, hub_->nextId++, false);
    }
    std::unique_ptr<MidiInputConnection> openVirtualInput(const std::string& portName,
                                                          MidiInputCallback callback,
                                                          std::string& error) override {
        std::lock_guard lock(hub_->mutex);
        if (portName.empty() || hub_->outputs.count(portName)) {
            error = "MIDI port name " + portName + " is empty or taken";
            return nullptr;
        }
        const auto id = hub_->nextId++;
        hub_->outputs[portName] = Hub::OutputDevice{std::move(callback), id};
        hub_->outputOrder.push_back(portName);
        return std::make_unique<LoopbackInput>(hub_, portName, id, true);
    }
    std::unique_ptr<MidiOutputConnection> openVirtualOutput(const std::string& portName,
                                                            std::string& error) override {
        std::lock_guard lock(hub_->mutex);
        if (portName.empty() || hub_->inputs.count(portName)) {
            error = "MIDI port name " + portName + " is empty or taken";
            return nullptr;
        }
        const auto id = hub_->nextId++;
        hub_->inputs[portName] = Hub::InputDevice{{}, id};
        hub_->inputOrder.push_back(portName);
        return std::make_unique<LoopbackOutput>(hub_, portName, id, true);
    }
    void setErrorHandler(MidiErrorHandler) override {}
    std::vector<std::string> backendNames() const override { return {"loopback"}; }

private:
    std::shared_ptr<Hub> hub_ = std::make_shared<Hub>();
};

}  // namespace

std::unique_ptr<MidiService> createLoopbackService() { return std::make_unique<LoopbackService>(); }

}  // namespace korvane
