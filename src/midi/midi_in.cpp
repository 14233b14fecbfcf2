#include "midi_in.h"

#include <QObject>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "midi_service.h"
#include "texts.h"

namespace korvane {

namespace {

std::string portText(const char* key) { return std::string(text(key, "en")); }

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// The driver side of an open input: runs on the service's backend thread.
// It owns the headers the port has handed over (a single-producer,
// single-consumer ring: the port adds on the user-interface thread, the
// backend takes), fills them with incoming SysEx and calls PortCallback.
// Nothing here allocates once the port is open.
class InputDriver {
public:
    InputDriver(TMidiCtlInfo* ctl, std::uintptr_t handle, std::size_t bufferCount)
        : ctl_(ctl), handle_(handle), ring_(bufferCount + 1) {}

    // midiInAddBuffer: user-interface thread.
    bool addBuffer(MIDIHDR* hdr) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t next = (tail + 1) % ring_.size();
        if (next == head_.load(std::memory_order_acquire)) return false;
        hdr->dwFlags = (hdr->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
        hdr->dwBytesRecorded = 0;
        ring_[tail] = hdr;
        tail_.store(next, std::memory_order_release);
        return true;
    }

    void start() {
        startSeconds_.store(nowSeconds(), std::memory_order_relaxed);
        started_.store(true, std::memory_order_release);
    }
    void stop() { started_.store(false, std::memory_order_release); }
    bool started() const { return started_.load(std::memory_order_acquire); }
    double startSeconds() const { return startSeconds_.load(std::memory_order_relaxed); }

    // Backend thread: what the service delivered as one message. A backend
    // may glue messages together (a SysEx that lost its F7 swallows what
    // follows it until the next F7), so the bytes are walked message by
    // message: a cut-off SysEx becomes an event of its own and the messages
    // after it still arrive.
    void receive(std::span<const std::uint8_t> bytes, double when) {
        if (bytes.empty() || !started_.load(std::memory_order_acquire)) return;
        const double ms = (when - startSeconds_.load(std::memory_order_relaxed)) * 1000.0;
        const auto stamp = static_cast<std::uint32_t>(ms < 0 ? 0 : ms);
        scanMidiMessages(bytes, [&](const MidiPiece& p) {
            if (p.isShort) {
                PortCallback(handle_, MM_MIM_DATA, ctl_,
                             packShort(p.shortBytes[0], p.shortBytes[1], p.shortBytes[2]), stamp);
                return;
            }
            if (p.sysexBegins) dropping_ = false;
            fillSysex(p.sysex, stamp);
            if (p.sysexEnds) {
                if (filling_) deliver(stamp);
                dropping_ = false;
            }
        });
    }

private:
    // A SysEx longer than one buffer continues in the next one, as a driver
    // does; each filled buffer is one event.
    void fillSysex(std::span<const std::uint8_t> bytes, std::uint32_t stamp) {
        std::size_t done = 0;
        while (done < bytes.size() && !dropping_) {
            if (!filling_) {
                filling_ = takeBuffer();
                if (!filling_) {
                    // No buffer in the driver's hands: the rest of this SysEx
                    // is lost. Counted as an overflow so the port can report it.
                    if (ctl_->hWindow) ctl_->hWindow->post(WM_USER, 0, 0);
                    dropping_ = true;
                    return;
                }
                filling_->dwBytesRecorded = 0;
            }
            const std::size_t room = filling_->dwBufferLength - filling_->dwBytesRecorded;
            const std::size_t n = std::min(room, bytes.size() - done);
            std::memcpy(filling_->lpData + filling_->dwBytesRecorded, bytes.data() + done, n);
            filling_->dwBytesRecorded += static_cast<std::uint32_t>(n);
            done += n;
            if (filling_->dwBytesRecorded == filling_->dwBufferLength) deliver(stamp);
        }
    }

    void deliver(std::uint32_t stamp) {
        MIDIHDR* hdr = std::exchange(filling_, nullptr);
        hdr->dwFlags = (hdr->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
        // A full queue would drop the header and with it one of the few
        // SysEx buffers for good; keep it for the next message instead.
        TCircularBuffer* q = ctl_->PBuffer;
        if (q && q->EventCount.load(std::memory_order_acquire) >= q->Capacity) {
            spare_ = hdr;
            if (ctl_->hWindow) ctl_->hWindow->post(WM_USER, 0, 0);
            dropping_ = true;
            return;
        }
        PortCallback(handle_, MM_MIM_LONGDATA, ctl_, reinterpret_cast<std::uintptr_t>(hdr), stamp);
    }

    MIDIHDR* takeBuffer() {
        if (spare_) {
            MIDIHDR* h = spare_;
            spare_ = nullptr;
            return h;
        }
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return nullptr;
        MIDIHDR* h = ring_[head];
        head_.store((head + 1) % ring_.size(), std::memory_order_release);
        return h;
    }

    TMidiCtlInfo* ctl_;
    std::uintptr_t handle_;
    std::vector<MIDIHDR*> ring_;
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
    MIDIHDR* spare_ = nullptr;    // backend thread only
    MIDIHDR* filling_ = nullptr;  // backend thread only: the buffer being filled
    bool dropping_ = false;       // backend thread only: the rest of this SysEx is lost
    std::atomic<bool> started_{false};
    std::atomic<double> startSeconds_{0.0};
};

TMidiInput::TMidiInput(MidiService& service, QObject* owner) : service_(service) {
    FState = misCreating;
    FSysexOnly = false;
    refreshDevices();
    FCapacity = kInputQueueCapacity;
    FSysexBufferSize = 4096;
    FSysexBufferCount = 16;
    SetDeviceID(0);
    // The receiver is ours, not the owner's: it must live exactly as long as
    // the port whose control block points at it.
    (void)owner;
    Handle = new TMidiWindow();
    Handle->WndProc = [this](unsigned msg, std::uintptr_t w, std::uintptr_t l) { MidiInput(msg, w, l); };
    FState = misClosed;
}

TMidiInput::~TMidiInput() {
    try {
        Close();
    } catch (...) {
    }
    CtlInfoFree(PCtlInfo);
    PCtlInfo = nullptr;
    if (Handle) {
        Handle->WndProc = nullptr;
        delete Handle;
    }
}

void TMidiInput::refreshDevices() {
    devices_ = service_.inputPortNames();
    FNumdevs = static_cast<std::uint32_t>(devices_.size());
}

std::uint32_t TMidiInput::Numdevs() {
    if (FState != misOpen) refreshDevices();
    return FNumdevs;
}

void TMidiInput::SetDeviceID(int id) {
    if (FState == misOpen) throw EMidiInputError(portText("midi.in.changeDeviceWhileOpen"));
    if (id < 0 || std::uint32_t(id) >= FNumdevs || std::size_t(id) >= devices_.size())
        throw EMidiInputError(portText("midi.invalidDeviceId"));
    FDeviceID = id;
    FProductName = devices_[std::size_t(id)];
    FDriverVersion = 0;
    FMID = 0;
    FPID = 0;
}

void TMidiInput::SetProductName(const std::string& name) {
    if (FState == misOpen) throw EMidiInputError(portText("midi.in.changeNameWhileOpen"));
    refreshDevices();
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i] == name) {
            SetDeviceID(int(i));
            return;
        }
    }
    throw EMidiInputError(textWith("midi.in.notInstalled", "en", name));
}

void TMidiInput::SetSysexBufferSize(std::uint16_t size) {
    if (FState == misOpen) throw EMidiInputError(portText("midi.in.changeBufferSize"));
    FSysexBufferSize = size;
}

void TMidiInput::SetSysexBufferCount(std::uint16_t count) {
    if (FState == misOpen) throw EMidiInputError(portText("midi.in.changeBufferCount"));
    FSysexBufferCount = count;
}

void TMidiInput::SetSysexOnly(bool only) {
    FSysexOnly = only;
    if (PCtlInfo) PCtlInfo->SysexOnly.store(only);
}

std::uint32_t TMidiInput::MessageCount() const {
    if (FState != misOpen || !PBuffer) return 0;
    return PBuffer->EventCount.load(std::memory_order_acquire);
}

void TMidiInput::freeBuffers() {
    MidiHdrs.clear();
    BufferDispose(PBuffer);
    PBuffer = nullptr;
}

bool TMidiInput::Open() {
    if (FState == misOpen) return true;
    FLastErrorText.clear();
    auto fail = [this](std::uint16_t code, const std::string& why) {
        connection_.reset();
        driver_.reset();
        freeBuffers();
        CtlInfoFree(PCtlInfo);
        PCtlInfo = nullptr;
        FError = code;
        FLastErrorText = why.empty() ? midiErrorText(code) : why;
        return false;
    };
    try {
        if (!PBuffer) PBuffer = BufferCreate(FCapacity);
        if (!PBuffer) return fail(MMSYSERR_NOMEM, {});
        if (!PCtlInfo) PCtlInfo = CtlInfoCreate();
        if (!PCtlInfo) return fail(MMSYSERR_NOMEM, {});
        PCtlInfo->PBuffer = PBuffer;
        PCtlInfo->hWindow = Handle;
        PCtlInfo->SysexOnly.store(FSysexOnly);

        const std::uintptr_t handle = nextHandle_++;
        driver_ = std::make_unique<InputDriver>(PCtlInfo, handle, FSysexBufferCount);
        // The buffers go to the driver before the device delivers anything.
        if (FSysexBufferCount > 0 && FSysexBufferSize > 0) {
            for (std::uint16_t i = 0; i < FSysexBufferCount; ++i) {
                auto hdr = std::make_unique<TMyMidiHdr>(FSysexBufferSize);
                hdr->hdrPointer->dwUser = reinterpret_cast<std::uintptr_t>(hdr.get());
                hdr->hdrPointer->dwFlags |= MHDR_PREPARED;
                driver_->addBuffer(hdr->hdrPointer);
                MidiHdrs.push_back(std::move(hdr));
            }
        }
        std::string error;
        InputDriver* driver = driver_.get();
        connection_ = service_.openInput(
            FProductName,
            [driver](std::span<const std::uint8_t> bytes, double when) { driver->receive(bytes, when); },
            error, sameNameRank(devices_, FDeviceID, FProductName));
        if (!connection_) return fail(MIDIERR_NODEVICE, error);
        FMIDIHandle = handle;
        FError = MMSYSERR_NOERROR;
        FState = misOpen;
        return true;
    } catch (const std::exception& e) {
        return fail(MMSYSERR_NOMEM, e.what());
    }
}

void TMidiInput::Start() {
    if (FState == misOpen && driver_) driver_->start();
}

std::optional<double> TMidiInput::StartedAt() const {
    if (FState != misOpen || !driver_ || !driver_->started()) return std::nullopt;
    return driver_->startSeconds();
}

void TMidiInput::Stop() {
    if (FState == misOpen && driver_) driver_->stop();
}

void TMidiInput::Close() {
    if (FState != misOpen) return;
    FState = misClosed;
    // Closing the connection waits for the backend thread to leave the
    // callback; only then may the buffers and the queue go.
    connection_.reset();
    driver_.reset();
    MidiHdrs.clear();
    FMIDIHandle = 0;
    BufferDispose(PBuffer);
    PBuffer = nullptr;
    if (PCtlInfo) PCtlInfo->PBuffer = nullptr;
}

std::unique_ptr<TMyMidiEvent> TMidiInput::GetMidiEvent() {
    if (FState != misOpen || !PBuffer) return nullptr;
    TMidiBufferItem item;
    if (!BufferPeek(PBuffer, item)) return nullptr;
    auto event = std::make_unique<TMyMidiEvent>();
    event->Time = item.timestamp;
    if (item.sysex) {
        MIDIHDR* hdr = item.sysex;
        event->MidiMessage = 0xF0;
        event->Data1 = 0;
        event->Data2 = 0;
        event->SysexLength = static_cast<std::uint16_t>(hdr->dwBytesRecorded & 0xFFFF);
        if (event->SysexLength > 0) {
            event->Sysex = std::make_unique<std::uint8_t[]>(event->SysexLength);
            std::memcpy(event->Sysex.get(), hdr->lpData, event->SysexLength);
        }
        BufferRemove(PBuffer);
        // Back into the driver's hands for the next message.
        if (!driver_ || !driver_->addBuffer(hdr)) {
            FError = MMSYSERR_INVALPARAM;
            throw EMidiInputError(midiErrorText(FError));
        }
        return event;
    }
    event->MidiMessage = static_cast<std::uint8_t>(item.data & 0xFF);
    event->Data1 = static_cast<std::uint8_t>((item.data >> 8) & 0xFF);
    event->Data2 = static_cast<std::uint8_t>((item.data >> 16) & 0xFF);
    BufferRemove(PBuffer);
    return event;
}

void TMidiInput::MidiInput(unsigned msg, std::uintptr_t, std::uintptr_t) {
    if (msg == MM_MIM_DATA) {
        if (OnMidiInput && FState == misOpen && MessageCount() > 0) {
            auto handler = OnMidiInput;  // the handler may replace itself
            handler(this);
        }
    } else if (msg == WM_USER) {
        if (OnOverflow && FState == misOpen) {
            auto handler = OnOverflow;
            handler(this);
        }
    }
}

}  // namespace korvane
