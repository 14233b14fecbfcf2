#pragma once
// Undo and redo for the library.
//
// The library lives in its file and every change is saved at once, so the
// simplest history that cannot drift from the file is the file itself: for
// each change the history keeps the bytes the file held before it. Undo
// waits for saves still on their way, writes those bytes back atomically
// and reads the document again; redo
// writes the bytes that undo took away. Switching to another library file is
// a step of its own, so undoing past it returns to the previous file.
//
// Before writing, the history checks that the file still holds what the
// change left there. A file that another program has changed since is not
// overwritten, exactly like a save is refused then.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "config_document.h"
#include "library_operations.h"

namespace korvane {

class LibraryHistory {
public:
    // What one undo or redo did.
    struct Step {
        bool done = false;      // false: nothing to do, or refused (status says why)
        DocumentStatus status;  // why it was refused or failed
        TableText label;        // the change that was undone or redone
    };

    // The history keeps at most about this many bytes of old file contents;
    // the oldest steps are forgotten first (the newest one always stays).
    explicit LibraryHistory(std::size_t byteBudget = std::size_t{128} << 20) : budget_(byteBudget) {}

    // Records what an operation did to file: a change (with its bytes before
    // and after) or a switch of the working document. Outcomes that changed
    // nothing are ignored. Recording forgets every step that could be redone.
    // Changes with the same non-empty mergeKey that follow each other become
    // one step (the keys typed into one description), and one that brings the
    // file back to where the step began removes the step.
    void record(const std::filesystem::path& file, const LibraryOutcome& outcome,
                const std::string& mergeKey = {});
    // The same for a change whose bytes are shared with the document (the
    // file's contents before and after a save); nothing is copied.
    void recordChange(const std::filesystem::path& file, const TableText& label, SharedBytes before,
                      SharedBytes after, const std::string& mergeKey = {});

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The change the next undo / redo would take back or do again.
    const TableText* nextUndo() const { return undo_.empty() ? nullptr : &undo_.back().label; }
    const TableText* nextRedo() const { return redo_.empty() ? nullptr : &redo_.back().label; }
    std::size_t undoCount() const { return undo_.size(); }
    std::size_t redoCount() const { return redo_.size(); }

    Step undo(ConfigDocument& doc) { return travel(doc, undo_, redo_); }
    Step redo(ConfigDocument& doc) { return travel(doc, redo_, undo_); }

    void clear();

private:
    struct Entry {
        bool isSwitch = false;
        TableText label;
        std::filesystem::path file;   // the file the step changed, or switched to
        std::filesystem::path other;  // a switch: the file switched away from
        // A change: the bytes to write when travelling this way, and what
        // the file must hold before they may be written. Steps that follow
        // each other share these.
        SharedBytes bytes;
        SharedBytes expected;
        std::string mergeKey;
    };

    // Takes the last step of from, applies it to doc and file, and files the
    // opposite step into to.
    Step travel(ConfigDocument& doc, std::vector<Entry>& from, std::vector<Entry>& to);
    void keepWithinBudget();

    std::vector<Entry> undo_;
    std::vector<Entry> redo_;
    std::size_t budget_;
    std::size_t held_ = 0;  // bytes to write held by both stacks
};

}  // namespace korvane
