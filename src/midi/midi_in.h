#pragma once
// TMidiInput: one MIDI input device, selected by device number.
//
// While open, the service's backend thread plays the driver: short messages
// and filled SysEx buffers go through PortCallback into the queue, and the
// port's hidden receiver gets one notification per queued event on the
// user-interface thread, where OnMidiInput is called. The handler takes
// events with GetMidiEvent until MessageCount is 0 and owns what it takes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi_types.h"

class QObject;

namespace korvane {

class MidiService;
class MidiInputConnection;
class InputDriver;

class EMidiInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Events the input queue holds. A MIDI system hands over everything that
// arrived in one period at once (JACK: one burst per cycle), and a burst of a
// flood is far above a thousand short messages (a loaded machine may keep the
// window thread away for a hundred milliseconds); the window thread can only
// take events out between bursts, so the queue must hold many bursts. 65535
// slots of 16 bytes are a megabyte.
inline constexpr std::uint16_t kInputQueueCapacity = 65535;

enum MidiInputState { misOpen = 0, misClosed = 1, misCreating = 2, misDestroying = 3 };

class TMidiInput;
using TMidiInputNotify = std::function<void(TMidiInput* Sender)>;

class TMidiInput {
public:
    // Create. The device list is read from the service; device 0 is selected,
    // so on a machine without input devices this raises "Invalid device ID".
    // The service must outlive the port.
    explicit TMidiInput(MidiService& service);
    ~TMidiInput();
    TMidiInput(const TMidiInput&) = delete;
    TMidiInput& operator=(const TMidiInput&) = delete;

    // ---- Properties. Setters raise EMidiInputError where noted. ----
    const std::string& ProductName() const { return FProductName; }
    // Only while not open; selects the device of that name.
    void SetProductName(const std::string& name);
    int DeviceID() const { return FDeviceID; }
    // Only while not open; a number not below Numdevs is invalid.
    void SetDeviceID(int id);
    std::uint16_t Capacity() const { return FCapacity; }
    void SetCapacity(std::uint16_t capacity) { FCapacity = capacity; }  // takes effect at the next Open
    std::uint16_t Error() const { return FError; }
    std::uint16_t SysexBufferSize() const { return FSysexBufferSize; }
    void SetSysexBufferSize(std::uint16_t size);
    std::uint16_t SysexBufferCount() const { return FSysexBufferCount; }
    void SetSysexBufferCount(std::uint16_t count);
    bool SysexOnly() const { return FSysexOnly; }
    void SetSysexOnly(bool only);  // at once, also while open

    TMidiInputNotify OnMidiInput;
    TMidiInputNotify OnOverflow;

    std::uintptr_t MIDIHandle() const { return FMIDIHandle; }
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    std::uint16_t MID() const { return FMID; }
    std::uint16_t PID() const { return FPID; }
    // Number of input devices. Re-read from the service whenever the port is
    // not open, so a device plugged in (or a simulator started) after the
    // program appears the next time the devices are enumerated.
    std::uint32_t Numdevs();
    std::uint32_t MessageCount() const;
    MidiInputState State() const { return FState; }
    // Text of the last failure reported only by result (Open).
    const std::string& LastErrorText() const { return FLastErrorText; }

    // ---- Operations. ----
    // Opens the selected device; failure leaves the port closed and returns false.
    bool Open();
    void Close();
    void Start();
    void Stop();
    // When input was last started, in seconds of std::chrono::steady_clock:
    // the zero of the events' Time. Nothing while closed or stopped.
    std::optional<double> StartedAt() const;
    // The oldest queued event, or null when closed or empty. The caller owns it.
    std::unique_ptr<TMyMidiEvent> GetMidiEvent();

    // The hidden receiver's procedure (user-interface thread).
    void MidiInput(unsigned msg, std::uintptr_t wParam, std::uintptr_t lParam);

    // The hidden receiver the driver's notifications are posted to; it lives
    // exactly as long as the port whose control block points at it.
    std::unique_ptr<TMidiWindow> Handle;

    // Device names as enumerated (tests, logs).
    const std::vector<std::string>& deviceNames() const { return devices_; }
    // The service the port lists and opens its devices on.
    MidiService& Service() const { return service_; }

private:
    void refreshDevices();
    void freeBuffers();

    MidiService& service_;
    int FDeviceID = 0;
    std::uintptr_t FMIDIHandle = 0;
    MidiInputState FState = misCreating;
    std::uint16_t FError = 0;
    bool FSysexOnly = false;
    std::uint32_t FDriverVersion = 0;
    std::string FProductName;
    std::uint16_t FMID = 0;
    std::uint16_t FPID = 0;
    std::uint16_t FCapacity = kInputQueueCapacity;
    TCircularBuffer* PBuffer = nullptr;
    std::uint32_t FNumdevs = 0;
    std::uint16_t FSysexBufferSize = 4096;
    std::uint16_t FSysexBufferCount = 16;
    std::vector<std::unique_ptr<TMyMidiHdr>> MidiHdrs;
    TMidiCtlInfo* PCtlInfo = nullptr;

    std::vector<std::string> devices_;
    std::string FLastErrorText;
    std::unique_ptr<InputDriver> driver_;
    std::unique_ptr<MidiInputConnection> connection_;
    std::uintptr_t nextHandle_ = 1;
};

}  // namespace korvane
