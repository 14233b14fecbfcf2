#include "midi_out.h"

#include <cstring>

#include "midi_service.h"
#include "texts.h"

namespace korvane {

TMidiOutput::TMidiOutput(MidiService& service, QObject* /*owner*/) : service_(service) {
    FState = mosClosed;
    refreshDevices();
    FDeviceID = 0;
    // The receiver belongs to the port: the control block points at it for
    // as long as the port lives.
    Handle = new TMidiWindow();
    Handle->WndProc = [this](unsigned msg, std::uintptr_t w, std::uintptr_t l) { MidiOutput(msg, w, l); };
}

TMidiOutput::~TMidiOutput() {
    try {
        Close();
    } catch (...) {
    }
    // Completions never processed (the program ends with messages in flight)
    // must not leak their buffers.
    inFlight_.clear();
    CtlInfoFree(PCtlInfo);
    PCtlInfo = nullptr;
    if (Handle) {
        Handle->WndProc = nullptr;
        delete Handle;
    }
}

void TMidiOutput::refreshDevices() {
    devices_ = service_.outputPortNames();
    FNumdevs = static_cast<std::uint16_t>(std::min<std::size_t>(devices_.size(), 0xFFFF));
}

std::uint16_t TMidiOutput::Numdevs() {
    if (FState != mosOpen) refreshDevices();
    return FNumdevs;
}

void TMidiOutput::raise(std::uint16_t code, const std::string& why) {
    FError = code;
    throw EmidioutputError(why.empty() ? midiErrorText(code) : why);
}

void TMidiOutput::SetDeviceID(int id) {
    if (FState == mosOpen) throw EmidioutputError(std::string(text("midi.out.changeDeviceWhileOpen", "en")));
    if (id != MIDI_MAPPER && (id < 0 || id >= int(FNumdevs) || std::size_t(id) >= devices_.size()))
        throw EmidioutputError(std::string(text("midi.invalidDeviceId", "en")));
    if (id == MIDI_MAPPER && devices_.empty()) raise(MMSYSERR_NODRIVER);
    FDeviceID = id;
    FProductName = devices_[id == MIDI_MAPPER ? 0 : std::size_t(id)];
    FDriverVersion = 0;
    FTechnology = id == MIDI_MAPPER ? opt_Mapper : opt_MidiPort;
    FVoices = 0;
    FNotes = 0;
    FChannelMask = 0xFFFF;
    FSupport = 0;
}

void TMidiOutput::SetProductName(const std::string& name) {
    if (FState == mosOpen) throw EmidioutputError(std::string(text("midi.out.changeNameWhileOpen", "en")));
    refreshDevices();
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (devices_[i] == name) {
            SetDeviceID(int(i));
            return;
        }
    }
    throw EmidioutputError(textWith("midi.out.notInstalled", "en", name));
}

bool TMidiOutput::Open() {
    if (FState == mosOpen) return true;
    FLastErrorText.clear();
    if (!PCtlInfo) PCtlInfo = CtlInfoCreate();
    if (!PCtlInfo) {
        FError = MMSYSERR_NOMEM;
        FLastErrorText = midiErrorText(FError);
        return false;
    }
    PCtlInfo->hWindow = Handle;
    PCtlInfo->PBuffer = nullptr;
    // A new port opens device 0 without having read its name first.
    if (FProductName.empty() && FDeviceID >= 0 && std::size_t(FDeviceID) < devices_.size())
        FProductName = devices_[std::size_t(FDeviceID)];
    std::string error;
    connection_ = FProductName.empty() ? nullptr
                                       : service_.openOutput(FProductName, error,
                                                             sameNameRank(devices_, FDeviceID, FProductName));
    if (!connection_) {
        CtlInfoFree(PCtlInfo);
        PCtlInfo = nullptr;
        FError = MIDIERR_NODEVICE;
        FLastErrorText = error.empty() ? midiErrorText(FError) : error;
        return false;
    }
    FMIDIHandle = nextHandle_++;
    FError = MMSYSERR_NOERROR;
    FState = mosOpen;
    return true;
}

bool TMidiOutput::Close() {
    if (FState != mosOpen) return false;
    connection_.reset();
    FMIDIHandle = 0;
    FState = mosClosed;
    return true;
}

void TMidiOutput::PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2) {
    if (FState != mosOpen || !connection_) raise(MMSYSERR_INVALHANDLE);
    const std::uint8_t bytes[3] = {MidiMessage, Data1, Data2};
    // Only as many data bytes as the status asks for: a Program Change's
    // unused third byte would otherwise be read as a running-status message.
    const std::size_t length = shortMessageLength(MidiMessage);
    if (length == 0) raise(MMSYSERR_INVALPARAM);
    std::string error;
    if (!connection_->send(std::span<const std::uint8_t>(bytes, length), &error))
        raise(MMSYSERR_ERROR, error);
    FError = MMSYSERR_NOERROR;
    if (OnSent) OnSent(std::span<const std::uint8_t>(bytes, length));
}

void TMidiOutput::PutLong(const std::uint8_t* TheSysex, std::uint16_t msgLength) {
    if (msgLength == 0 || !TheSysex) raise(MMSYSERR_INVALPARAM);
    if (FState != mosOpen || !connection_) raise(MMSYSERR_INVALHANDLE);
    auto hdr = std::make_unique<TMyMidiHdr>(msgLength);
    std::memcpy(hdr->sysexPointer, TheSysex, msgLength);
    MIDIHDR* h = hdr->hdrPointer;
    h->dwUser = reinterpret_cast<std::uintptr_t>(hdr.get());
    h->dwBytesRecorded = msgLength;
    h->dwFlags |= MHDR_PREPARED | MHDR_INQUEUE;
    std::string error;
    if (!connection_->send(std::span<const std::uint8_t>(h->lpData, msgLength), &error)) {
        // Nothing went out, so no completion will come: the header is freed
        // here instead of being left behind.
        raise(MMSYSERR_ERROR, error);
    }
    h->dwFlags = (h->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
    if (OnSent) OnSent(std::span<const std::uint8_t>(h->lpData, msgLength));
    inFlight_.emplace(h, std::move(hdr));
    // The service has taken the bytes: report completion the way a driver
    // does, through the callback, so the release happens on the
    // user-interface thread after PutLong has returned.
    PortCallback(FMIDIHandle, MM_MOM_DONE, PCtlInfo, reinterpret_cast<std::uintptr_t>(h), 0);
    FError = MMSYSERR_NOERROR;
}

void TMidiOutput::PutMidiEvent(const TMyMidiEvent& theEvent) {
    if (FState != mosOpen) throw EmidioutputError(std::string(text("midi.out.notOpen", "en")));
    if (theEvent.Sysex && theEvent.SysexLength > 0) {
        PutLong(theEvent.Sysex.get(), theEvent.SysexLength);
    } else {
        PutShort(theEvent.MidiMessage, theEvent.Data1, theEvent.Data2);
    }
}

void TMidiOutput::SetVolume(std::uint16_t, std::uint16_t) { FError = MMSYSERR_NOERROR; }

void TMidiOutput::MidiOutput(unsigned msg, std::uintptr_t, std::uintptr_t lParam) {
    if (msg != MM_MOM_DONE) return;
    auto* h = reinterpret_cast<MIDIHDR*>(lParam);
    auto it = inFlight_.find(h);
    if (it == inFlight_.end()) return;  // not ours (or already released)
    h->dwFlags &= ~MHDR_PREPARED;
    inFlight_.erase(it);
    if (Onmidioutput) {
        auto handler = Onmidioutput;
        handler(this);
    }
}

}  // namespace korvane
