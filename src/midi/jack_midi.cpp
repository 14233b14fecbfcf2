#include "jack_midi.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace korvane::jackmidi {

namespace {

using namespace std::chrono_literals;

// What the queue between send() and the process thread holds: many periods
// of a flood, or a few of the largest messages.
constexpr std::size_t kQueueBytes = 64 * 1024;
// A SysEx may reach an input in pieces (a bridge from another MIDI system
// cuts it up); the pieces are joined in a buffer of this size, kept from the
// start because the process thread must not allocate.
constexpr std::size_t kJoinBytes = 64 * 1024;
// How long a closing output waits for what it was given to go out.
constexpr auto kDrainLimit = 500ms;

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string statusText(jack_status_t status) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", unsigned(status));
    if (status & JackServerFailed) return "JACK server not running (status " + std::string(hex) + ")";
    return "JACK refused the client (status " + std::string(hex) + ")";
}

// What a client's callbacks use. It lives on the heap apart from the
// connection: when the server vanished, the client cannot be closed safely
// and is left behind, and with it this state, marked closed so that a late
// callback touches nothing of the program's.
struct State {
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    std::atomic<bool> gone{false};
    std::atomic<bool> closed{false};
    Report report;

    static void onShutdown(jack_status_t, const char* reason, void* arg) {
        auto* self = static_cast<State*>(arg);
        self->gone.store(true, std::memory_order_release);
        if (self->closed.load(std::memory_order_acquire) || !self->report) return;
        self->report(std::string("JACK server shut down") +
                     (reason && *reason ? ": " + std::string(reason) : ""));
    }

    // Client and port, registered while the client is still inactive, then
    // the client activated. False with the reason in error.
    bool open(const std::string& clientName, const std::string& portName, unsigned long flags,
              JackProcessCallback process, std::string& error) {
        jack_status_t status{};
        client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
        if (!client) {
            error = statusText(status);
            return false;
        }
        port = jack_port_register(client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        if (!port) {
            error = "JACK port could not be made: " + portName;
            return false;
        }
        jack_set_process_callback(client, process, this);
        jack_on_info_shutdown(client, &State::onShutdown, this);
        if (jack_activate(client) != 0) {
            error = "JACK client could not be activated";
            return false;
        }
        return true;
    }

    bool connect(const std::string& peer, bool input, std::string& error) {
        if (peer.empty()) return true;
        const char* own = jack_port_name(port);
        const int rc =
            input ? jack_connect(client, peer.c_str(), own) : jack_connect(client, own, peer.c_str());
        if (rc == 0 || rc == EEXIST) return true;
        error = "JACK could not connect " + std::string(own) + (input ? " from " : " to ") + peer;
        return false;
    }

    std::string fullName() const { return port ? jack_port_name(port) : std::string(); }
};

// Ends a client: deactivated first, so that no process or latency work runs
// on its port any more, then closed whole. The port is never unregistered on
// its own (see the header). Closing a client of a vanished server crashes
// inside the library, so then the client and its state are left behind.
template <class S>
void finish(std::unique_ptr<S>& state) {
    if (!state || !state->client) return;
    if (state->gone.load(std::memory_order_acquire) || !serverAlive()) {
        state->closed.store(true, std::memory_order_release);
        (void)state.release();
        return;
    }
    jack_deactivate(state->client);
    jack_client_close(state->client);
    state->client = nullptr;
}

struct InputState : State {
    MidiInputCallback callback;
    std::vector<std::uint8_t> joined;
    bool joining = false;  // a SysEx began and its F7 has not come yet

    InputState() { joined.reserve(kJoinBytes); }

    void deliver(std::span<const std::uint8_t> bytes, double when) {
        if (callback && !bytes.empty()) callback(bytes, when);
    }
    void endJoined(double when) {
        deliver(joined, when);
        joined.clear();
        joining = false;
    }

    // One event of the port. JACK hands over whole messages; only a SysEx
    // may come in pieces, with real-time bytes between them.
    void take(std::span<const std::uint8_t> bytes, double when) {
        const std::uint8_t first = bytes[0];
        if (first >= 0xF8) {
            deliver(bytes, when);
            return;
        }
        const bool piece = joining && (first < 0x80 || first == 0xF7);
        // Any other status byte cuts the SysEx off; what came of it goes on
        // as it is, and the receiver treats it as cut off.
        if (joining && !piece) endJoined(when);
        if (!piece && first != 0xF0) {
            deliver(bytes, when);
            return;
        }
        if (bytes.size() > joined.capacity() - joined.size()) {
            // More than the buffer holds: hand on what is there and go on.
            deliver(joined, when);
            joined.clear();
        }
        if (bytes.size() > joined.capacity()) {
            deliver(bytes, when);
            joining = bytes.back() != 0xF7;
            return;
        }
        joined.insert(joined.end(), bytes.begin(), bytes.end());
        joining = bytes.back() != 0xF7;
        if (!joining) endJoined(when);
    }

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<InputState*>(arg);
        if (self->closed.load(std::memory_order_acquire)) return 0;
        void* buffer = jack_port_get_buffer(self->port, frames);
        if (!buffer) return 0;
        const double when = nowSeconds();
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
            self->take(std::span<const std::uint8_t>(event.buffer, event.size), when);
        }
        return 0;
    }
};

// Messages wait in a lock-free queue, each as its length and its bytes, for
// the process thread to put them into the port's buffer. What does not fit
// into one period's buffer goes out in the next period instead of being
// lost.
struct OutputState : State {
    jack_ringbuffer_t* queue = jack_ringbuffer_create(kQueueBytes);
    std::atomic<bool> tooLong{false};

    ~OutputState() {
        if (queue) jack_ringbuffer_free(queue);
    }

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<OutputState*>(arg);
        if (self->closed.load(std::memory_order_acquire)) return 0;
        void* buffer = jack_port_get_buffer(self->port, frames);
        if (!buffer) return 0;
        jack_midi_clear_buffer(buffer);
        for (;;) {
            std::uint32_t size = 0;
            const std::size_t ready = jack_ringbuffer_read_space(self->queue);
            if (ready < sizeof size) break;
            jack_ringbuffer_peek(self->queue, reinterpret_cast<char*>(&size), sizeof size);
            if (ready < sizeof size + size) break;  // the bytes are still being written
            jack_midi_data_t* room = jack_midi_event_reserve(buffer, 0, size);
            if (!room) {
                if (jack_midi_get_event_count(buffer) > 0) break;  // next period
                // Not even an empty buffer takes it: dropped, or it would
                // hold up everything behind it.
                jack_ringbuffer_read_advance(self->queue, sizeof size + size);
                self->tooLong.store(true, std::memory_order_release);
                continue;
            }
            jack_ringbuffer_read_advance(self->queue, sizeof size);
            jack_ringbuffer_read(self->queue, reinterpret_cast<char*>(room), size);
        }
        return 0;
    }

    bool enqueue(std::span<const std::uint8_t> message, std::string& error) {
        const auto size = static_cast<std::uint32_t>(message.size());
        if (jack_ringbuffer_write_space(queue) < sizeof size + size) {
            error = "JACK output queue is full";
            return false;
        }
        jack_ringbuffer_write(queue, reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(queue, reinterpret_cast<const char*>(message.data()), size);
        return true;
    }

    // What was sent before the close still goes out, unless the server
    // stopped taking it.
    void drain() {
        const auto until = std::chrono::steady_clock::now() + kDrainLimit;
        while (jack_ringbuffer_read_space(queue) > 0 && !gone.load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
    }
};

class JackInput : public MidiInputConnection {
public:
    explicit JackInput(std::unique_ptr<InputState> state) : state_(std::move(state)) {}
    ~JackInput() override { finish(state_); }
    const std::string& name() const override { return name_; }
    std::string name_;

private:
    std::unique_ptr<InputState> state_;
};

class JackOutput : public MidiOutputConnection {
public:
    explicit JackOutput(std::unique_ptr<OutputState> state) : state_(std::move(state)) {}
    ~JackOutput() override {
        if (state_ && state_->client) state_->drain();
        finish(state_);
    }
    const std::string& name() const override { return name_; }

    bool send(std::span<const std::uint8_t> bytes, std::string* error) override {
        if (!checkSendable(bytes, error)) return false;
        std::string why;
        if (state_->gone.load(std::memory_order_acquire)) {
            why = "JACK server has shut down";
        } else if (state_->tooLong.exchange(false, std::memory_order_acq_rel)) {
            why = "JACK dropped a message longer than one period takes";
        } else {
            // JACK hands one event over as one message, so a run of short
            // messages goes out message by message.
            for (const auto& m : splitMidiMessages(bytes))
                if (!state_->enqueue(m, why)) break;
        }
        if (why.empty()) return true;
        if (error) *error = why;
        return false;
    }
    std::string name_;

private:
    std::unique_ptr<OutputState> state_;
};

}  // namespace

bool serverAlive() {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("korvane-probe", JackNoStartServer, &status);
    if (!probe) return false;
    jack_client_close(probe);
    return true;
}

std::vector<std::string> listPorts(const std::string& clientName, bool sources) {
    std::vector<std::string> out;
    jack_status_t status{};
    // Never activated: a look at the ports changes nothing in the graph.
    jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client) return out;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                            sources ? JackPortIsOutput : JackPortIsInput)) {
        for (const char** p = ports; *p; ++p) out.emplace_back(*p);
        jack_free(ports);
    }
    jack_client_close(client);
    return out;
}

std::unique_ptr<MidiInputConnection> openInput(const std::string& clientName, const std::string& portName,
                                               const std::string& peer, MidiInputCallback callback,
                                               Report report, std::string& error) {
    auto state = std::make_unique<InputState>();
    state->callback = std::move(callback);
    state->report = std::move(report);
    InputState& s = *state;
    auto conn = std::make_unique<JackInput>(std::move(state));
    if (!s.open(clientName, portName, JackPortIsInput, &InputState::process, error)) return nullptr;
    if (!s.connect(peer, true, error)) return nullptr;
    conn->name_ = peer.empty() ? s.fullName() : peer;
    return conn;
}

std::unique_ptr<MidiOutputConnection> openOutput(const std::string& clientName, const std::string& portName,
                                                 const std::string& peer, Report report, std::string& error) {
    auto state = std::make_unique<OutputState>();
    state->report = std::move(report);
    if (!state->queue) {
        error = "JACK output queue could not be made";
        return nullptr;
    }
    OutputState& s = *state;
    auto conn = std::make_unique<JackOutput>(std::move(state));
    if (!s.open(clientName, portName, JackPortIsOutput, &OutputState::process, error)) return nullptr;
    if (!s.connect(peer, false, error)) return nullptr;
    conn->name_ = peer.empty() ? s.fullName() : peer;
    return conn;
}

}  // namespace korvane::jackmidi
