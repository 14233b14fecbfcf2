#pragma once
// Turning the device's configuration packets back into messages of the
// library, and writing them into the configuration document as a new
// configuration with a group of its own.
//
// A packet says less than the library held. What it cannot say is read the
// nearest faithful way, and every such choice is named, so the user is told
// before anything is written:
//   - a limited range travels as plain values, so it cannot say whether the
//     library showed it in percent: it is read as absolute values;
//   - a fader's maximum travels only as the send factor F (and its inverse
//     G): it is worked out from F; where two maxima give the same factors,
//     or none gives exactly these, that is named;
//   - two templates travel back to back, each closed by FE; where a template
//     holds an FE of its own, the left one is taken to end at the first FE;
//   - range values the library cannot hold for the element or its mode
//     (a button with values, a fader with a fourth word) are left out.
// Reading back what was sent gives the same packet, byte for byte, whenever
// nothing but the first two kinds of notes applies.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device_dump.h"
#include "library_operations.h"
#include "message_record.h"
#include "sysex.h"

namespace korvane {

class ConfigDocument;

// What the reader had to choose.
enum class ReadingNote {
    RangeReadAsAbsolute,    // limited range: percent cannot be told apart
    FaderMaximumAmbiguous,  // several maxima give these factors; the one that is no empty range is taken
    FaderMaximumNearest,    // no maximum gives exactly these factors; the nearest is taken
    TemplateSplitChosen,    // more than two FE bytes; the left template ends at the first
    ValuesLeftOut,          // range values the library cannot hold here are not kept
};

struct ElementReading {
    enum class Status { Read, Unreadable };
    Status status = Status::Unreadable;
    int element = -1;
    // The message as the library will hold it (templates as hex byte text
    // "B0,07,7F" without the closing FE). Minimum..Start are meaningful for
    // RANGE_ABS only; hasStepStart is false for faders, whose step and start
    // never travel.
    TMessageRecord message;
    bool hasStepStart = true;
    std::vector<ReadingNote> notes;
    std::string problem;  // why the packet cannot be read (English)
    bool ok() const { return status == Status::Read; }
};

// Reads one configuration packet payload (element number, mode code, four
// words, two FE-closed templates).
ElementReading readConfigPayload(const ByteString& payload);

// The payload the encoder builds for a read message: the inverse of
// readConfigPayload wherever no ValuesLeftOut / FaderMaximumNearest note applies.
ByteString payloadOfReading(const ElementReading& reading);

// Hex byte text of template bytes, the way the library writes them.
std::string templateText(const ByteString& bytes);

// Everything read from one configuration dump.
struct ImportPlan {
    std::vector<ElementReading> elements;  // readable ones, ascending element number
    std::vector<int> faultyElements;       // packets that failed their checksum (-1: number unknown)
    std::vector<ElementReading> unreadable;
    bool empty() const { return elements.empty(); }
    bool hasNotes() const;
};

ImportPlan planImport(const DeviceDump& dump);

// One text for the box before an import: what was approximated and what is
// left out, one line per kind of note naming the elements; "" when nothing is.
std::string importNotesText(const ImportPlan& plan, std::string_view language);

// Name of the message that holds element n's reading: the element's name.
std::string importedMessageName(int element);

// A group name not yet used in the document: wanted itself, else wanted
// followed by " (2)", " (3)", ...
std::string unusedGroupName(const ConfigDocument& doc, const std::string& wanted);

// Appends a configuration setName and a group groupName holding one message
// per read element, and assigns each element its message. The document is
// changed in memory only; saving is the caller's. False (nothing changed)
// when the document has no sets or messagegroups node to add to.
bool writeImport(ConfigDocument& doc, const std::string& setName, const std::string& groupName,
                 const ImportPlan& plan);

// The import as one change of the library: the name is checked like a new
// configuration's (something visible, no control characters, not taken by
// another configuration), the group gets the same name (or the first free
// one after it), and the change is saved and read back at once. The outcome
// carries the file's bytes before and after for the undo history.
LibraryOutcome importConfiguration(ConfigDocument& doc, std::string_view setName, const ImportPlan& plan);

}  // namespace korvane
