#include "midi_types.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <cstdlib>
#include <new>

#include "texts.h"

#if defined(__linux__)
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace korvane {

namespace {

std::atomic<const char*> gErrorLanguage{"de"};

const char* errorKey(std::uint16_t code) {
    switch (code) {
        case MMSYSERR_NOERROR:
            return "midi.err.noError";
        case MMSYSERR_ERROR:
            return "midi.err.unspecified";
        case MMSYSERR_BADDEVICEID:
            return "midi.err.badDeviceId";
        case MMSYSERR_ALLOCATED:
            return "midi.err.allocated";
        case MMSYSERR_INVALHANDLE:
            return "midi.err.invalidHandle";
        case MMSYSERR_NODRIVER:
            return "midi.err.noDriver";
        case MMSYSERR_NOMEM:
            return "midi.err.noMemory";
        case MMSYSERR_INVALPARAM:
            return "midi.err.invalidParameter";
        case MIDIERR_UNPREPARED:
            return "midi.err.unprepared";
        case MIDIERR_STILLPLAYING:
            return "midi.err.stillPlaying";
        case MIDIERR_NODEVICE:
            return "midi.err.noDevice";
        default:
            return nullptr;
    }
}

}  // namespace

std::string midiErrorText(std::uint16_t code) {
    const char* key = errorKey(code);
    return std::string(text(key ? key : "midi.err.outOfRange", gErrorLanguage.load()));
}

void setMidiErrorLanguage(const char* language) {
    // Only the two table languages are kept, so the pointer never dangles.
    gErrorLanguage.store(language && std::string_view(language) == "en" ? "en" : "de");
}

void* SharedAlloc(std::size_t size, SharedHandle& handle) {
    handle = nullptr;
    void* p = std::calloc(1, size == 0 ? 1 : size);
    if (!p) return nullptr;
    handle = p;
    return p;
}

void SharedFree(SharedHandle handle) {
    if (handle) std::free(handle);
}

TMyMidiHdr::TMyMidiHdr(std::uint16_t BufferSize) {
    if (BufferSize == 0) return;
    void* h = SharedAlloc(sizeof(MIDIHDR), hdrHandle);
    if (!h) throw std::bad_alloc();
    hdrPointer = new (h) MIDIHDR();
    sysexPointer = static_cast<std::uint8_t*>(SharedAlloc(BufferSize, sysexHandle));
    if (!sysexPointer) {
        SharedFree(hdrHandle);
        throw std::bad_alloc();
    }
    hdrPointer->lpData = sysexPointer;
    hdrPointer->dwBufferLength = BufferSize;
}

TMyMidiHdr::~TMyMidiHdr() {
    SharedFree(sysexHandle);
    SharedFree(hdrHandle);
}

TCircularBuffer* BufferCreate(std::uint16_t capacity) {
    SharedHandle recordHandle = nullptr;
    void* record = SharedAlloc(sizeof(TCircularBuffer), recordHandle);
    if (!record) return nullptr;
    SharedHandle slotHandle = nullptr;
    void* slotMemory = SharedAlloc(std::size_t(capacity) * sizeof(TMidiBufferItem), slotHandle);
    if (!slotMemory) {
        SharedFree(recordHandle);
        return nullptr;
    }
    auto* b = new (record) TCircularBuffer();
    auto* first = static_cast<TMidiBufferItem*>(slotMemory);
    for (std::uint16_t i = 0; i < capacity; ++i) new (first + i) TMidiBufferItem();
    b->RecordHandle = recordHandle;
    b->BufferHandle = slotHandle;
    b->pStart = first;
    b->pEnd = first + capacity;
    b->pNextPut = first;
    b->pNextGet = first;
    b->Capacity = capacity;
    b->Error = 0;
    return b;
}

void BufferDispose(TCircularBuffer* buffer) {
    if (!buffer) return;
    SharedHandle record = buffer->RecordHandle;
    SharedFree(buffer->BufferHandle);
    buffer->~TCircularBuffer();
    SharedFree(record);
}

bool BufferPut(TCircularBuffer* buffer, const TMidiBufferItem& item) {
    // The acquire pairs with the reader's release in BufferRemove: once we see
    // the lower count, the reader is done with the slot we are about to fill.
    if (buffer->EventCount.load(std::memory_order_acquire) >= buffer->Capacity) return false;
    *buffer->pNextPut = item;
    if (++buffer->pNextPut == buffer->pEnd) buffer->pNextPut = buffer->pStart;
    buffer->EventCount.fetch_add(1, std::memory_order_release);
    return true;
}

bool BufferPeek(TCircularBuffer* buffer, TMidiBufferItem& item) {
    if (buffer->EventCount.load(std::memory_order_acquire) == 0) return false;
    item = *buffer->pNextGet;
    return true;
}

bool BufferRemove(TCircularBuffer* buffer) {
    if (buffer->EventCount.load(std::memory_order_acquire) == 0) return false;
    if (++buffer->pNextGet == buffer->pEnd) buffer->pNextGet = buffer->pStart;
    buffer->EventCount.fetch_sub(1, std::memory_order_release);
    return true;
}

TMidiWindow::TMidiWindow(QObject* parent) : QObject(parent) {
#if defined(__linux__)
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { dispatchPending(); });
    }
#endif
}

TMidiWindow::~TMidiWindow() {
#if defined(__linux__)
    delete notifier_;
    if (wakeFd_ >= 0) ::close(wakeFd_);
#endif
}

void TMidiWindow::wake() {
    // One wake-up per batch: the flag is cleared by the receiver before it
    // reads the counters, so a notification counted after that read raises a
    // new wake-up.
    if (wakeQueued_.exchange(true)) return;
#if defined(__linux__)
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
        return;
    }
#endif
    QMetaObject::invokeMethod(
        this, [this] { dispatchPending(); }, Qt::QueuedConnection);
}

void TMidiWindow::drainWake() {
#if defined(__linux__)
    if (wakeFd_ >= 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] auto n = ::read(wakeFd_, &value, sizeof value);
    }
#endif
}

bool TMidiWindow::post(unsigned msg, std::uintptr_t wParam, std::uintptr_t lParam) {
    switch (msg) {
        case MM_MIM_DATA:
            pendingData_.fetch_add(1, std::memory_order_release);
            wake();
            return true;
        case WM_USER:
            pendingOverflow_.fetch_add(1, std::memory_order_release);
            wake();
            return true;
        default:
            return QMetaObject::invokeMethod(
                this,
                [this, msg, wParam, lParam] {
                    if (WndProc) WndProc(msg, wParam, lParam);
                },
                Qt::QueuedConnection);
    }
}

void TMidiWindow::dispatchPending() {
    // Drain first, then clear: a wake-up signalled between the two is then
    // either drained with its flag cleared after it (its count is read
    // below), or signalled after the clear and seen on the next turn. The
    // other order let a drain swallow the signal of a wake-up whose flag
    // stayed set, and no notification was ever delivered again.
    drainWake();
    wakeQueued_.store(false);
    const std::uint32_t overflows = pendingOverflow_.exchange(0, std::memory_order_acquire);
    const std::uint32_t data = pendingData_.exchange(0, std::memory_order_acquire);
    // Copy the procedure: a handler may replace it while it runs.
    for (std::uint32_t i = 0; i < data; ++i) {
        if (auto proc = WndProc) proc(MM_MIM_DATA, 0, 0);
    }
    for (std::uint32_t i = 0; i < overflows; ++i) {
        if (auto proc = WndProc) proc(WM_USER, 0, 0);
    }
}

TMidiCtlInfo* CtlInfoCreate() {
    SharedHandle h = nullptr;
    void* p = SharedAlloc(sizeof(TMidiCtlInfo), h);
    if (!p) return nullptr;
    auto* info = new (p) TMidiCtlInfo();
    info->hMem = h;
    return info;
}

void CtlInfoFree(TMidiCtlInfo* info) {
    if (!info) return;
    SharedHandle h = info->hMem;
    info->~TMidiCtlInfo();
    SharedFree(h);
}

void PortCallback(std::uintptr_t /*hDevice*/, unsigned msg, TMidiCtlInfo* instance, std::uintptr_t param1,
                  std::uintptr_t param2) {
    if (msg != MM_MIM_DATA && msg != MM_MIM_LONGDATA && msg != MM_MIM_LONGERROR && msg != MM_MOM_DONE) return;
    if (!instance) return;
    if (msg == MM_MOM_DONE) {
        if (instance->hWindow) instance->hWindow->post(MM_MOM_DONE, 0, param1);
        return;
    }
    // Active Sensing and Timing Clock arrive many times a second and carry
    // nothing the editor uses.
    if (param1 == 0xFE || param1 == 0xF8) return;
    if (msg == MM_MIM_DATA && instance->SysexOnly.load(std::memory_order_relaxed)) return;
    if (!instance->PBuffer) return;

    TMidiBufferItem item;
    item.timestamp = static_cast<std::uint32_t>(param2);
    if (msg == MM_MIM_DATA) {
        item.data = static_cast<std::uint32_t>(param1);
        item.sysex = nullptr;
    } else {
        item.data = 0;
        item.sysex = reinterpret_cast<MIDIHDR*>(param1);
    }
    const bool stored = BufferPut(instance->PBuffer, item);
    if (instance->hWindow) instance->hWindow->post(stored ? MM_MIM_DATA : WM_USER, 0, 0);
}

}  // namespace korvane
