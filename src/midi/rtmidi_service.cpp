// The platform MIDI service: RtMidi for every system but JACK, which the
// program speaks to directly (see jack_midi.h for why).
//
// RtMidi's default constructor gives up when the first compiled system (ALSA)
// has no sequencer, even if JACK runs; so every compiled system is built
// explicitly, inside try, with the error callback installed right after
// construction. With that callback RtMidi reports problems instead of
// throwing; the few places that may still throw are guarded.

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>

#include "midi_service.h"
#include "rtmidi_report.h"

#ifdef KORVANE_HAVE_JACK
#include <jack/jack.h>

#include "jack_midi.h"
#endif

namespace korvane {

bool rtMidiReportFailsCall(RtMidiError::Type type, bool sending) {
    if (type == RtMidiError::DEBUG_WARNING) return false;
    return sending || type != RtMidiError::WARNING;
}

namespace {

std::mutex gConsoleMutex;
MidiConsoleHandler gConsoleHandler;

void consoleLine(const std::string& line) {
    MidiConsoleHandler h;
    {
        std::lock_guard lock(gConsoleMutex);
        h = gConsoleHandler;
    }
    if (h && !line.empty()) h(line);
}

void consoleText(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) consoleLine(line);
}

#ifdef KORVANE_HAVE_JACK
void jackConsole(const char* message) {
    if (message) consoleLine(message);
}
#endif

// The JACK library prints through functions the program may replace.
void routeLibraryMessages() {
#ifdef KORVANE_HAVE_JACK
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&jackConsole);
        jack_set_info_function(&jackConsole);
    });
#endif
}

// RtMidi writes its warnings to std::cerr until an error callback is set,
// which is only possible once its constructor has returned; the constructor
// is where a missing server is reported. So standard error is borrowed for
// the construction. Output of other threads in that moment lands in the
// console handler as well, which loses nothing. Two threads borrowing at
// once would each put back what the other lent, leaving standard error on a
// buffer that is gone, so a borrow waits for the one before to end.
class BorrowedCerr {
public:
    BorrowedCerr() : lock_(mutex()), old_(std::cerr.rdbuf(buffer_.rdbuf())) {}
    ~BorrowedCerr() {
        std::cerr.rdbuf(old_);
        consoleText(buffer_.str());
    }
    BorrowedCerr(const BorrowedCerr&) = delete;
    BorrowedCerr& operator=(const BorrowedCerr&) = delete;

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    std::ostringstream buffer_;
    std::streambuf* old_;
};

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ALSA names end in " client:port" (e.g. "Korvane MIDI 1 24:0"); the numbers
// change when the device is plugged in again, so they are not part of the
// name the user stores.
std::string displayName(RtMidi::Api api, const std::string& raw) {
    if (api != RtMidi::LINUX_ALSA) return raw;
    static const std::regex suffix(R"( \d+:\d+$)");
    return std::regex_replace(raw, suffix, "");
}

// Where errors go: the service's handler, shared with every connection so a
// connection may outlive a change of handler safely.
struct ErrorSink {
    std::mutex mutex;
    MidiErrorHandler handler;
    void report(const std::string& message) {
        MidiErrorHandler h;
        {
            std::lock_guard lock(mutex);
            h = handler;
        }
        if (h) h(message);
    }
};

// Error callback target of one RtMidi object: errors that happen during a call
// on the calling thread are kept for that call's answer; everything is also
// passed to the sink.
struct ErrorCapture {
    std::shared_ptr<ErrorSink> sink;
    std::string last;
    bool capture = false;
    bool sending = false;  // the call being captured is a send
    static void callback(RtMidiError::Type type, const std::string& text, void* user) {
        auto* self = static_cast<ErrorCapture*>(user);
        if (self->capture && rtMidiReportFailsCall(type, self->sending)) self->last = text;
        if (type == RtMidiError::DEBUG_WARNING) return;
        if (self->sink) {
            self->sink->report(text);
        } else {
            consoleLine(text);
        }
    }
};

template <class T>
std::unique_ptr<T> makeRtMidi(RtMidi::Api api, const std::string& client, ErrorCapture* capture,
                              std::string& error) {
    try {
        std::unique_ptr<T> obj;
        {
            BorrowedCerr quiet;
            obj = std::make_unique<T>(api, client);
        }
        obj->setErrorCallback(&ErrorCapture::callback, capture);
        return obj;
    } catch (const RtMidiError& e) {
        error = e.getMessage();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

// Opens a real port (index >= 0) or a virtual one (index < 0) on an RtMidi
// object. RtMidi reports some failures only through its error callback, so
// the callback's text is captured while the port opens.
bool openRtPort(RtMidi& midi, ErrorCapture& capture, const std::string& portName, int index,
                const char* failText, std::string& error) {
    try {
        capture.capture = true;
        capture.last.clear();
        if (index < 0) {
            midi.openVirtualPort(portName);
        } else {
            midi.openPort(unsigned(index), portName);
        }
        capture.capture = false;
        // RtMidi does not count a virtual port as "open".
        if (!capture.last.empty() || (index >= 0 && !midi.isPortOpen())) {
            error = capture.last.empty() ? failText : capture.last;
            return false;
        }
    } catch (const RtMidiError& e) {
        capture.capture = false;
        error = e.getMessage();
        return false;
    }
    return true;
}

class RtInput : public MidiInputConnection {
public:
    RtInput(std::shared_ptr<ErrorSink> sink, MidiInputCallback callback) : callback_(std::move(callback)) {
        capture_.sink = std::move(sink);
    }
    ~RtInput() override {
        if (!midi_) return;
        try {
            midi_->closePort();
        } catch (...) {
        }
        // Destroying the object closes its client, which waits for the
        // backend thread: after this no delivery runs, and callback_ (a
        // member, destroyed later) outlives every call.
        midi_.reset();
    }
    const std::string& name() const override { return name_; }

    bool open(RtMidi::Api api, const std::string& client, const std::string& portName, int index,
              std::string& error) {
        midi_ = makeRtMidi<RtMidiIn>(api, client, &capture_, error);
        if (!midi_) return false;
        try {
            midi_->ignoreTypes(false, false, false);
            midi_->setCallback(&RtInput::deliver, this);
        } catch (const RtMidiError& e) {
            error = e.getMessage();
            return false;
        }
        return openRtPort(*midi_, capture_, portName, index, "MIDI input port could not be opened", error);
    }
    std::string name_;

private:
    static void deliver(double, std::vector<unsigned char>* message, void* user) {
        auto* self = static_cast<RtInput*>(user);
        if (!message || message->empty() || !self->callback_) return;
        self->callback_(std::span<const std::uint8_t>(message->data(), message->size()), nowSeconds());
    }

    MidiInputCallback callback_;
    ErrorCapture capture_;
    std::unique_ptr<RtMidiIn> midi_;
};

class RtOutput : public MidiOutputConnection {
public:
    explicit RtOutput(std::shared_ptr<ErrorSink> sink) { capture_.sink = std::move(sink); }
    ~RtOutput() override {
        if (!midi_) return;
        try {
            midi_->closePort();
        } catch (...) {
        }
    }
    const std::string& name() const override { return name_; }

    bool open(RtMidi::Api api, const std::string& client, const std::string& portName, int index,
              std::string& error) {
        midi_ = makeRtMidi<RtMidiOut>(api, client, &capture_, error);
        if (!midi_) return false;
        return openRtPort(*midi_, capture_, portName, index, "MIDI output port could not be opened", error);
    }

    bool send(std::span<const std::uint8_t> bytes, std::string* error) override {
        if (!checkSendable(bytes, error)) return false;
        // JACK hands one sendMessage call over as one event, so a run of short
        // messages has to go out message by message to arrive as such.
        const auto messages = splitMidiMessages(bytes);
        try {
            capture_.capture = true;
            capture_.sending = true;
            capture_.last.clear();
            for (const auto& m : messages) {
                midi_->sendMessage(m.data(), m.size());
                if (!capture_.last.empty()) break;
            }
            capture_.capture = false;
        } catch (const RtMidiError& e) {
            capture_.capture = false;
            if (error) *error = e.getMessage();
            return false;
        }
        if (!capture_.last.empty()) {
            if (error) *error = capture_.last;
            return false;
        }
        return true;
    }
    std::string name_;

private:
    ErrorCapture capture_;
    std::unique_ptr<RtMidiOut> midi_;
};

class RtMidiService : public MidiService {
public:
    explicit RtMidiService(std::string clientName) : client_(std::move(clientName)) {
        routeLibraryMessages();
        // The listing clients come and go for every look at the ports; what
        // they report (no server running, most of all) is the MIDI system's
        // own chatter, not an error of a port the program uses.
        listerCapture_.sink = nullptr;
        std::vector<RtMidi::Api> apis;
        RtMidi::getCompiledApi(apis);
        for (auto api : apis) {
            if (api == RtMidi::RTMIDI_DUMMY || api == RtMidi::UNSPECIFIED) continue;
            // Without a sequencer device ALSA can only fail, noisily, on
            // stderr; skip it quietly.
            if (api == RtMidi::LINUX_ALSA && !std::filesystem::exists("/dev/snd/seq")) continue;
            std::string error;
            Backend b;
            b.api = api;
            if (direct(b)) {
                backends_.push_back(b);
                continue;
            }
            // A system that cannot even build its objects is left out.
            if (makeRtMidi<RtMidiIn>(api, client_ + " list", &listerCapture_, error) &&
                makeRtMidi<RtMidiOut>(api, client_ + " list", &listerCapture_, error))
                backends_.push_back(b);
        }
    }

    std::vector<std::string> inputPortNames() override { return names(true); }
    std::vector<std::string> outputPortNames() override { return names(false); }

    std::unique_ptr<MidiInputConnection> openInput(const std::string& name, MidiInputCallback callback,
                                                   std::string& error, std::size_t occurrence) override {
        std::lock_guard lock(mutex_);
        for (auto& b : backends_) {
            const int index = find(b, true, name, occurrence);
            if (index < 0) continue;
            if (direct(b)) return openJackInput("in", name, std::move(callback), error);
            auto conn = std::make_unique<RtInput>(sink_, std::move(callback));
            conn->name_ = name;
            if (!conn->open(b.api, client_, "in", index, error)) return nullptr;
            return conn;
        }
        error = backends_.empty() ? noSystemText() : "No MIDI input port named " + name;
        return nullptr;
    }

    std::unique_ptr<MidiOutputConnection> openOutput(const std::string& name, std::string& error,
                                                     std::size_t occurrence) override {
        std::lock_guard lock(mutex_);
        for (auto& b : backends_) {
            const int index = find(b, false, name, occurrence);
            if (index < 0) continue;
            if (direct(b)) return openJackOutput("out", name, error);
            auto conn = std::make_unique<RtOutput>(sink_);
            conn->name_ = name;
            if (!conn->open(b.api, client_, "out", index, error)) return nullptr;
            return conn;
        }
        error = backends_.empty() ? noSystemText() : "No MIDI output port named " + name;
        return nullptr;
    }

    std::unique_ptr<MidiInputConnection> openVirtualInput(const std::string& portName,
                                                          MidiInputCallback callback,
                                                          std::string& error) override {
        std::lock_guard lock(mutex_);
        if (backends_.empty()) {
            error = noSystemText();
            return nullptr;
        }
        // The first working system hosts virtual ports.
        auto& b = backends_.front();
        if (direct(b)) return openJackInput(portName, {}, std::move(callback), error);
        const auto before = namesOf(b, false);
        auto conn = std::make_unique<RtInput>(sink_, std::move(callback));
        if (!conn->open(b.api, client_, portName, -1, error)) return nullptr;
        conn->name_ = newName(before, namesOf(b, false), portName);
        return conn;
    }

    std::unique_ptr<MidiOutputConnection> openVirtualOutput(const std::string& portName,
                                                            std::string& error) override {
        std::lock_guard lock(mutex_);
        if (backends_.empty()) {
            error = noSystemText();
            return nullptr;
        }
        auto& b = backends_.front();
        if (direct(b)) return openJackOutput(portName, {}, error);
        const auto before = namesOf(b, true);
        auto conn = std::make_unique<RtOutput>(sink_);
        if (!conn->open(b.api, client_, portName, -1, error)) return nullptr;
        conn->name_ = newName(before, namesOf(b, true), portName);
        return conn;
    }

    void setErrorHandler(MidiErrorHandler handler) override {
        std::lock_guard lock(sink_->mutex);
        sink_->handler = std::move(handler);
    }

    std::vector<std::string> backendNames() const override {
        std::vector<std::string> out;
        for (const auto& b : backends_) out.push_back(RtMidi::getApiDisplayName(b.api));
        return out;
    }

private:
    struct Backend {
        RtMidi::Api api{};
    };

    // JACK is spoken to directly when the program was built with its
    // library; RtMidi takes it otherwise.
    static bool direct(const Backend& b) {
#ifdef KORVANE_HAVE_JACK
        return b.api == RtMidi::UNIX_JACK;
#else
        (void)b;
        return false;
#endif
    }

    // A port of ours on JACK, connected to peer; with an empty peer a port
    // others connect to.
    std::unique_ptr<MidiInputConnection> openJackInput(const std::string& port, const std::string& peer,
                                                       MidiInputCallback callback, std::string& error) {
#ifdef KORVANE_HAVE_JACK
        return jackmidi::openInput(client_, port, peer, std::move(callback), jackReport(), error);
#else
        (void)port, (void)peer, (void)callback;
        error = noSystemText();
        return nullptr;
#endif
    }
    std::unique_ptr<MidiOutputConnection> openJackOutput(const std::string& port, const std::string& peer,
                                                         std::string& error) {
#ifdef KORVANE_HAVE_JACK
        return jackmidi::openOutput(client_, port, peer, jackReport(), error);
#else
        (void)port, (void)peer;
        error = noSystemText();
        return nullptr;
#endif
    }
    // JACK's later news (the server shut down) goes where RtMidi's does.
    std::function<void(const std::string&)> jackReport() const {
        return [sink = sink_](const std::string& message) { sink->report(message); };
    }
    // The ports of the running JACK server, listed by a client of their own
    // for every look, like the other systems' listings.
    std::vector<std::string> jackPorts(bool sources) const {
#ifdef KORVANE_HAVE_JACK
        return jackmidi::listPorts(client_ + " list", sources);
#else
        (void)sources;
        return {};
#endif
    }

    // Every listing asks a fresh client: a client of a MIDI server that has
    // gone (or was restarted) keeps answering with what it last saw.
    struct Lister {
        std::unique_ptr<RtMidiIn> in;
        std::unique_ptr<RtMidiOut> out;
        RtMidi* operator->() const { return in ? static_cast<RtMidi*>(in.get()) : out.get(); }
        explicit operator bool() const { return in || out; }
    };
    Lister lister(const Backend& b, bool input) {
        std::string error;
        Lister l;
        if (input) {
            l.in = makeRtMidi<RtMidiIn>(b.api, client_ + " list", &listerCapture_, error);
        } else {
            l.out = makeRtMidi<RtMidiOut>(b.api, client_ + " list", &listerCapture_, error);
        }
        return l;
    }

    static std::string noSystemText() { return "No MIDI system is available on this machine"; }

    // The name others see for a virtual port just opened: the MIDI system may
    // rename the client when the name is taken (JACK appends "-01"), so the
    // port is found as the new entry of the listing that ends in its name.
    std::string newName(const std::vector<std::string>& before, const std::vector<std::string>& after,
                        const std::string& portName) const {
        const std::string tail = ":" + portName;
        for (const auto& n : after) {
            if (std::find(before.begin(), before.end(), n) != before.end()) continue;
            if (n.size() >= tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0)
                return n;
        }
        return client_ + tail;
    }

    std::vector<std::string> namesOf(Backend& b, bool input) {
        if (direct(b)) return jackPorts(input);
        std::vector<std::string> out;
        try {
            auto m = lister(b, input);
            if (!m) return out;
            const unsigned n = m->getPortCount();
            for (unsigned i = 0; i < n; ++i) {
                std::string name = displayName(b.api, m->getPortName(i));
                // A port that vanished between count and name gives an empty name.
                if (!name.empty()) out.push_back(std::move(name));
            }
        } catch (...) {
        }
        return out;
    }

    std::vector<std::string> names(bool input) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (auto& b : backends_) {
            for (auto& n : namesOf(b, input))
                if (!isOwnPort(n)) out.push_back(std::move(n));
        }
        return out;
    }

    // The program's own open ports show up in the listing too (its open input
    // is a destination others may send to); offering them as devices would
    // let the user connect the program to itself. The MIDI system may have
    // renamed the client "name-01" and so on.
    bool isOwnPort(const std::string& n) const {
        if (client_.empty() || n.compare(0, client_.size(), client_) != 0) return false;
        std::size_t i = client_.size();
        if (i < n.size() && n[i] == '-') {
            ++i;
            const std::size_t digits = i;
            while (i < n.size() && std::isdigit(static_cast<unsigned char>(n[i]))) ++i;
            if (i == digits) return false;
        }
        return i < n.size() && n[i] == ':';
    }

    // Index of the port of this backend listed as name, after skipping as
    // many equally named ports as occurrence says; occurrence counts down
    // across backends, in the order names() lists them.
    int find(Backend& b, bool input, const std::string& name, std::size_t& occurrence) {
        if (direct(b)) {
            const auto ports = jackPorts(input);
            for (std::size_t i = 0; i < ports.size(); ++i) {
                if (ports[i] != name) continue;
                if (occurrence == 0) return int(i);
                --occurrence;
            }
            return -1;
        }
        try {
            auto m = lister(b, input);
            if (!m) return -1;
            const unsigned n = m->getPortCount();
            for (unsigned i = 0; i < n; ++i) {
                if (displayName(b.api, m->getPortName(i)) != name) continue;
                if (occurrence == 0) return int(i);
                --occurrence;
            }
        } catch (...) {
        }
        return -1;
    }

    std::string client_;
    std::shared_ptr<ErrorSink> sink_ = std::make_shared<ErrorSink>();
    ErrorCapture listerCapture_;
    std::mutex mutex_;
    std::vector<Backend> backends_;
};

}  // namespace

std::unique_ptr<MidiService> createRtMidiService(const std::string& clientName) {
    return std::make_unique<RtMidiService>(clientName);
}

void setMidiConsoleHandler(MidiConsoleHandler handler) {
    std::lock_guard lock(gConsoleMutex);
    gConsoleHandler = std::move(handler);
}

}  // namespace korvane
