#pragma once
// Managing the library: creating, copying, renaming, deleting, moving and
// exporting configurations, message groups and messages, and opening another
// library file.
//
// Each operation takes the document and the names the user chose and tells
// what happened. Everything is checked before the document is touched, so a
// refusal leaves the document and its file exactly as they were. A change is
// saved at once (atomically) and read back, like every change of the library;
// the outcome then carries the file's bytes from before the change and a
// label naming it, which is all the undo history needs. The windows only ask
// for the names, confirm, and show the outcome's text.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config_document.h"

namespace korvane {

// The configuration and the message group shipped under this name are
// protected: the configuration cannot be deleted, the group cannot be deleted
// and no message can be deleted from it. The protection goes by name only.
inline constexpr std::string_view kProtectedDefaultName = "Standard Tarvok NRPN";

// A text of the table with the values for its "%s" placeholders, looked up
// only when it is shown, so it follows a change of language.
struct TableText {
    std::string key;
    std::vector<std::string> values;

    bool empty() const { return key.empty(); }
    std::string text(std::string_view language) const;
    bool operator==(const TableText&) const = default;
};

struct LibraryOutcome {
    enum class Result {
        Changed,    // the library changed and its file holds the change
        Switched,   // another file became the working document
        Exported,   // an export file was written; the library is unchanged
        Unchanged,  // nothing to do: the thing named does not exist, or the
                    // change would leave the file as it is
        Refused,    // a rule forbids it; reason names the rule
        Failed,     // reading or writing a file failed; status tells why. The
                    // document holds what its file holds.
    };
    Result result = Result::Unchanged;
    TableText reason;       // Refused: the text for the user
    DocumentStatus status;  // Failed: the document's report
    TableText label;        // Changed / Switched: names the change ("rename of group 'Drums' ...")
    // Changed: the file's bytes before and after the change (for the undo
    // history). Absent when the file could not be read back.
    std::optional<std::string> before;
    std::optional<std::string> after;
    // Switched: the file that was the working document until now.
    std::filesystem::path previousFile;
    // Configuration export: German names of the elements left out because
    // their group or message no longer exists.
    std::vector<std::string> leftOut;

    bool changed() const { return result == Result::Changed; }
    // What to tell the user about a refusal or failure ("" otherwise).
    std::string problem(std::string_view language) const;
};

// How many elements in how many configurations would lose their message if a
// group (or one message of it) were deleted. Zero when another group (or
// message) of the same name would take its place in the lookups.
struct Usage {
    int elements = 0;
    int configurations = 0;
    bool operator==(const Usage&) const = default;
};
Usage groupUsage(const ConfigDocument& doc, std::string_view group);
Usage messageUsage(const ConfigDocument& doc, std::string_view group, std::string_view message);

// Whether the text is one of the two entries of the group list that stand
// for "no assignment" (either language); a group of such a name could never
// be assigned.
bool isNoAssignmentText(std::string_view text);

// The rule every name in the library follows: something visible, and no
// control characters (XML cannot carry most of them, and a line break would
// make two lines of one list entry).
bool isUsableName(std::string_view name);

// A refusal for the user, with the text table's key and its values.
LibraryOutcome refusal(std::string key, std::vector<std::string> values = {});

// ---- configurations ------------------------------------------------------
// Names must be unique among the configurations; the copy and the renamed
// configuration keep their place at the end / in the list.
LibraryOutcome newConfiguration(ConfigDocument& doc, std::string_view name);
LibraryOutcome duplicateConfiguration(ConfigDocument& doc, std::string_view current,
                                      std::string_view copyName);
// Renames the last configuration of that name (a file edited by hand may hold
// two; the first one is what the lists show).
LibraryOutcome renameConfiguration(ConfigDocument& doc, std::string_view current, std::string_view newName);
LibraryOutcome deleteConfiguration(ConfigDocument& doc, std::string_view name);
// Writes the last configuration of that name with the groups and messages
// it uses to target. Elements whose group or message is gone are left out and
// listed in the outcome.
LibraryOutcome exportConfiguration(const ConfigDocument& doc, std::string_view name,
                                   const std::filesystem::path& target);

// ---- message groups --------------------------------------------------------
LibraryOutcome newGroup(ConfigDocument& doc, std::string_view name);
LibraryOutcome duplicateGroup(ConfigDocument& doc, std::string_view current, std::string_view copyName);
// Every element that used a message of the group follows the new name.
LibraryOutcome renameGroup(ConfigDocument& doc, std::string_view current, std::string_view newName);
LibraryOutcome deleteGroup(ConfigDocument& doc, std::string_view name);
// Writes the last group of that name with all its messages to target.
LibraryOutcome exportGroup(const ConfigDocument& doc, std::string_view name,
                           const std::filesystem::path& target);

// ---- messages ------------------------------------------------------------
LibraryOutcome newMessage(ConfigDocument& doc, std::string_view group, std::string_view name);
LibraryOutcome duplicateMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                                std::string_view copyName);
// Every element that used the message follows the new name.
LibraryOutcome renameMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                             std::string_view newName);
LibraryOutcome deleteMessage(ConfigDocument& doc, std::string_view group, std::string_view message);
// Appends the message to the target group and removes it from its group;
// the elements that used it follow it. Moving it into its own group puts it
// at the end.
LibraryOutcome moveMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                           std::string_view target);
LibraryOutcome copyMessage(ConfigDocument& doc, std::string_view group, std::string_view message,
                           std::string_view target);

// ---- other changes ---------------------------------------------------------
// Saves a change the caller made to the document itself (an assignment, a
// message's contents, a description) and reports it like the operations
// above, with the given label.
LibraryOutcome saveChange(ConfigDocument& doc, TableText label);

// Makes file the working document. A file that cannot be read, is not XML or
// holds no library (no sets and no messagegroups under its root) is refused
// with one text that says where; the document stays what it was.
LibraryOutcome openLibrary(ConfigDocument& doc, const std::filesystem::path& file);

}  // namespace korvane
