#pragma once
// Records that carry MIDI data between the driver thread and the ports, the
// fixed-size input queue, the control block the driver hands back to the
// callback, and the callback itself.
//
// The driver (the backend thread of the MIDI service) only ever runs
// PortCallback: it filters, stores one slot in the queue and posts a
// notification to the port's receiver on the user-interface thread. All
// copying of SysEx data happens later, on the user-interface thread.

#include <QObject>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace korvane {

// Window messages between the callback and the ports' receivers.
inline constexpr unsigned MM_MIM_DATA = 0x3C3;
inline constexpr unsigned MM_MIM_LONGDATA = 0x3C4;
inline constexpr unsigned MM_MIM_ERROR = 0x3C5;
inline constexpr unsigned MM_MIM_LONGERROR = 0x3C6;
inline constexpr unsigned MM_MOM_DONE = 0x3C9;
inline constexpr unsigned WM_USER = 0x400;

// Result codes of the port layer's "platform" calls.
inline constexpr std::uint16_t MMSYSERR_NOERROR = 0;
inline constexpr std::uint16_t MMSYSERR_ERROR = 1;
inline constexpr std::uint16_t MMSYSERR_BADDEVICEID = 2;
inline constexpr std::uint16_t MMSYSERR_ALLOCATED = 4;
inline constexpr std::uint16_t MMSYSERR_INVALHANDLE = 5;
inline constexpr std::uint16_t MMSYSERR_NODRIVER = 6;
inline constexpr std::uint16_t MMSYSERR_NOMEM = 7;
inline constexpr std::uint16_t MMSYSERR_INVALPARAM = 11;
inline constexpr std::uint16_t MIDIERR_UNPREPARED = 64;
inline constexpr std::uint16_t MIDIERR_STILLPLAYING = 65;
inline constexpr std::uint16_t MIDIERR_NODEVICE = 68;

// The error text for a result code, in the language set with
// setMidiErrorLanguage ("de" unless changed). Unknown codes give
// "Specified error number is out of range".
std::string midiErrorText(std::uint16_t code);
void setMidiErrorLanguage(const char* language);

// Memory the driver thread may touch: zero-initialised, fixed address for its
// whole life. The handle is what SharedFree takes back; a null handle is
// ignored.
using SharedHandle = void*;
void* SharedAlloc(std::size_t size, SharedHandle& handle);
void SharedFree(SharedHandle handle);

// Header flags.
inline constexpr std::uint32_t MHDR_DONE = 0x1;
inline constexpr std::uint32_t MHDR_PREPARED = 0x2;
inline constexpr std::uint32_t MHDR_INQUEUE = 0x4;

// The driver's header of one long-message buffer.
struct MIDIHDR {
    std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesRecorded = 0;
    std::uintptr_t dwUser = 0;  // the owning TMyMidiHdr
    std::uint32_t dwFlags = 0;
};

// One received MIDI event; owned by whoever took it from the input port.
class TMyMidiEvent {
public:
    TMyMidiEvent() = default;
    TMyMidiEvent(const TMyMidiEvent&) = delete;
    TMyMidiEvent& operator=(const TMyMidiEvent&) = delete;

    std::uint8_t MidiMessage = 0;  // status byte; 0xF0 for SysEx
    std::uint8_t Data1 = 0;
    std::uint8_t Data2 = 0;
    std::uint32_t Time = 0;                 // ms since the port was started
    std::uint16_t SysexLength = 0;          // 0 for a short message
    std::unique_ptr<std::uint8_t[]> Sysex;  // F0 .. F7 as received, or null
};

// One driver header and its data buffer, owned together. The object itself
// is stored in the header's dwUser so that a header coming back from the
// driver leads to its owner.
class TMyMidiHdr {
public:
    // BufferSize 0 allocates nothing; such an object has no header and must
    // not be handed to the driver.
    explicit TMyMidiHdr(std::uint16_t BufferSize);
    ~TMyMidiHdr();
    TMyMidiHdr(const TMyMidiHdr&) = delete;
    TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

    SharedHandle hdrHandle = nullptr;
    MIDIHDR* hdrPointer = nullptr;
    SharedHandle sysexHandle = nullptr;
    std::uint8_t* sysexPointer = nullptr;

    static TMyMidiHdr* owner(const MIDIHDR* hdr) { return reinterpret_cast<TMyMidiHdr*>(hdr->dwUser); }
};

// One queue slot.
struct TMidiBufferItem {
    std::uint32_t timestamp = 0;  // ms since the input port was started
    std::uint32_t data = 0;       // status | data1 << 8 | data2 << 16; 0 for SysEx
    MIDIHDR* sysex = nullptr;     // completed SysEx buffer, or null
};

// The input queue: one writer (the driver callback) and one reader (the port
// on the user-interface thread), no lock. The writer fills the slot and only
// then publishes it by raising EventCount with release order; the reader
// acquires EventCount before it reads a slot and releases it after it is done
// with the slot, so the writer never overwrites a slot still being read.
struct TCircularBuffer {
    SharedHandle RecordHandle = nullptr;
    SharedHandle BufferHandle = nullptr;
    TMidiBufferItem* pStart = nullptr;
    TMidiBufferItem* pEnd = nullptr;
    TMidiBufferItem* pNextPut = nullptr;  // writer only
    TMidiBufferItem* pNextGet = nullptr;  // reader only
    std::uint16_t Error = 0;
    std::uint16_t Capacity = 0;
    std::atomic<std::uint16_t> EventCount{0};
};

TCircularBuffer* BufferCreate(std::uint16_t capacity);
void BufferDispose(TCircularBuffer* buffer);
bool BufferPut(TCircularBuffer* buffer, const TMidiBufferItem& item);
bool BufferPeek(TCircularBuffer* buffer, TMidiBufferItem& item);
bool BufferRemove(TCircularBuffer* buffer);

// The port's hidden receiver: lives on the user-interface thread and turns
// notifications posted from any thread into calls of WndProc there.
//
// Posting MM_MIM_DATA and WM_USER allocates nothing (so the driver callback
// stays allocation-free): they are counted in atomics and a single wake-up is
// signalled; on the user-interface thread each counted notification is
// delivered once. MM_MOM_DONE carries a header and is posted as a queued call.
class TMidiWindow : public QObject {
    Q_OBJECT
public:
    using Proc = std::function<void(unsigned msg, std::uintptr_t wParam, std::uintptr_t lParam)>;

    explicit TMidiWindow(QObject* parent = nullptr);
    ~TMidiWindow() override;

    // Thread-safe. Returns false if the message could not be posted.
    bool post(unsigned msg, std::uintptr_t wParam, std::uintptr_t lParam);

    Proc WndProc;

    // Delivers what has been posted so far (the wake-up handler; tests).
    void dispatchPending();

private:
    void wake();
    void drainWake();

    std::atomic<std::uint32_t> pendingData_{0};
    std::atomic<std::uint32_t> pendingOverflow_{0};
    std::atomic<bool> wakeQueued_{false};
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

// The control block the driver hands back to the callback.
struct TMidiCtlInfo {
    SharedHandle hMem = nullptr;
    TCircularBuffer* PBuffer = nullptr;  // null for an output port
    TMidiWindow* hWindow = nullptr;
    std::atomic<bool> SysexOnly{false};
};

TMidiCtlInfo* CtlInfoCreate();
void CtlInfoFree(TMidiCtlInfo* info);

// The driver callback, for input and output ports alike.
void PortCallback(std::uintptr_t hDevice, unsigned msg, TMidiCtlInfo* instance, std::uintptr_t param1,
                  std::uintptr_t param2);

// Packs and unpacks a short message.
constexpr std::uint32_t packShort(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
    return std::uint32_t(status) | (std::uint32_t(d1) << 8) | (std::uint32_t(d2) << 16);
}

}  // namespace korvane
