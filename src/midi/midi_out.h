#pragma once
// TMidiOutput: one MIDI output device, selected by device number.
//
// Long messages are asynchronous: PutLong copies the bytes into a header of
// its own and hands it over; the completion notice comes back through
// PortCallback as a posted MM_MOM_DONE and releases the header on the
// user-interface thread. Several long messages may be in flight at once.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi_types.h"

class QObject;

namespace korvane {

class MidiService;
class MidiOutputConnection;

class EmidioutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum midioutputState { mosOpen = 0, mosClosed = 1 };
enum OutPortTech { opt_None = 0, opt_MidiPort, opt_Synth, opt_SQSynth, opt_FMSynth, opt_Mapper };

class TMidiOutput;
using TMidiOutputNotify = std::function<void(TMidiOutput* Sender)>;

class TMidiOutput {
public:
    // The platform's mapper number; accepted by SetDeviceID. There is no
    // mapper here: it stands for the first output device.
    static constexpr int MIDI_MAPPER = -1;

    // Create: state closed, device 0 (no capabilities read yet). The service
    // must outlive the port.
    explicit TMidiOutput(MidiService& service);
    ~TMidiOutput();
    TMidiOutput(const TMidiOutput&) = delete;
    TMidiOutput& operator=(const TMidiOutput&) = delete;

    // ---- Properties. Setters raise EmidioutputError where noted. ----
    const std::string& ProductName() const { return FProductName; }
    void SetProductName(const std::string& name);  // only while closed
    int DeviceID() const { return FDeviceID; }
    void SetDeviceID(int id);        // only while closed
    TMidiOutputNotify Onmidioutput;  // after a long message has been sent
    // Every message the port has handed over, short or long, as sent; called
    // on the user-interface thread before PutShort/PutLong return. Everything
    // the editor sends leaves through here, so the monitor records it here.
    std::function<void(std::span<const std::uint8_t> bytes)> OnSent;

    std::uintptr_t MIDIHandle() const { return FMIDIHandle; }
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    OutPortTech Technology() const { return FTechnology; }
    std::uint16_t Voices() const { return FVoices; }
    std::uint16_t Notes() const { return FNotes; }
    std::uint16_t ChannelMask() const { return FChannelMask; }
    std::uint32_t Support() const { return FSupport; }
    std::uint16_t Error() const { return FError; }
    // Number of output devices; re-read from the service while the port is
    // closed, so devices that appeared later are enumerated too.
    std::uint16_t Numdevs();
    midioutputState State() const { return FState; }
    const std::string& LastErrorText() const { return FLastErrorText; }

    // ---- Operations. ----
    bool Open();
    // True if a device was closed, false if the port was already closed.
    bool Close();
    void PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2);
    // msgLength bytes of TheSysex as one long message; returns once handed
    // over. msgLength 0 raises (there is nothing to send).
    void PutLong(const std::uint8_t* TheSysex, std::uint16_t msgLength);
    void PutMidiEvent(const TMyMidiEvent& theEvent);
    // There is no device volume on this platform: accepted and ignored.
    void SetVolume(std::uint16_t Left, std::uint16_t Right);

    // The hidden receiver's procedure (user-interface thread).
    void MidiOutput(unsigned msg, std::uintptr_t wParam, std::uintptr_t lParam);

    // The hidden receiver of the driver's completions; it lives exactly as
    // long as the port whose control block points at it.
    std::unique_ptr<TMidiWindow> Handle;

    // Long messages handed over whose completion has not been processed yet.
    std::size_t inFlight() const { return inFlight_.size(); }
    // The service the port lists and opens its devices on.
    MidiService& Service() const { return service_; }
    const std::vector<std::string>& deviceNames() const { return devices_; }

private:
    void refreshDevices();
    [[noreturn]] void raise(std::uint16_t code, const std::string& why = {});

    MidiService& service_;
    int FDeviceID = 0;
    std::uintptr_t FMIDIHandle = 0;
    midioutputState FState = mosClosed;
    TMidiCtlInfo* PCtlInfo = nullptr;
    TCircularBuffer* PBuffer = nullptr;  // unused by the output port
    std::uint16_t FError = 0;
    std::uint32_t FDriverVersion = 0;
    std::string FProductName;
    OutPortTech FTechnology = opt_None;
    std::uint16_t FVoices = 0, FNotes = 0, FChannelMask = 0;
    std::uint32_t FSupport = 0;
    std::uint16_t FNumdevs = 0;

    std::vector<std::string> devices_;
    std::string FLastErrorText;
    std::unique_ptr<MidiOutputConnection> connection_;
    std::map<MIDIHDR*, std::unique_ptr<TMyMidiHdr>> inFlight_;
    std::uintptr_t nextHandle_ = 1;
};

}  // namespace korvane
