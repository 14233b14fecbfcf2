#include "library_history.h"

#include <functional>

#include "file_io.h"

namespace korvane {

namespace {
bool sameBytes(const SharedBytes& a, const SharedBytes& b) { return a == b || (a && b && *a == *b); }
std::size_t sizeOf(const SharedBytes& b) { return b ? b->size() : 0; }
}  // namespace

void LibraryHistory::clear() {
    undo_.clear();
    redo_.clear();
    held_ = 0;
}

void LibraryHistory::record(const std::filesystem::path& file, const LibraryOutcome& outcome,
                            const std::string& mergeKey) {
    if (outcome.result == LibraryOutcome::Result::Switched) {
        if (outcome.previousFile.empty() || outcome.previousFile == file) return;
        Entry e;
        e.label = outcome.label;
        e.isSwitch = true;
        e.file = file;
        e.other = outcome.previousFile;
        for (Entry& r : redo_) held_ -= sizeOf(r.bytes);
        redo_.clear();
        undo_.push_back(std::move(e));
        keepWithinBudget();
    } else if (outcome.result == LibraryOutcome::Result::Changed) {
        auto shared = [](const std::optional<std::string>& b) { return b ? sharedText(*b) : SharedBytes(); };
        recordChange(file, outcome.label, shared(outcome.before), shared(outcome.after), mergeKey);
    }
}

void LibraryHistory::recordChange(const std::filesystem::path& file, const TableText& label,
                                  SharedBytes before, SharedBytes after, const std::string& mergeKey) {
    // Without the old bytes the change cannot be taken back; the steps
    // before it would then write over it, so they go too.
    if (!before || !after) {
        clear();
        return;
    }
    if (!mergeKey.empty() && !undo_.empty()) {
        Entry& top = undo_.back();
        if (!top.isSwitch && top.mergeKey == mergeKey && top.file == file &&
            sameBytes(top.expected, before)) {
            for (Entry& r : redo_) held_ -= sizeOf(r.bytes);
            redo_.clear();
            top.expected = std::move(after);
            top.label = label;
            if (sameBytes(top.bytes, top.expected)) {
                held_ -= sizeOf(top.bytes);
                undo_.pop_back();
            }
            return;
        }
    }
    Entry e;
    e.label = label;
    e.file = file;
    e.bytes = std::move(before);
    e.expected = std::move(after);
    e.mergeKey = mergeKey;
    for (Entry& r : redo_) held_ -= sizeOf(r.bytes);
    redo_.clear();
    held_ += sizeOf(e.bytes);
    undo_.push_back(std::move(e));
    keepWithinBudget();
}

void LibraryHistory::keepWithinBudget() {
    std::size_t drop = 0;
    while (held_ > budget_ && undo_.size() - drop > 1) held_ -= sizeOf(undo_[drop++].bytes);
    undo_.erase(undo_.begin(), undo_.begin() + static_cast<std::ptrdiff_t>(drop));
}

LibraryHistory::Step LibraryHistory::travel(ConfigDocument& doc, std::vector<Entry>& from,
                                            std::vector<Entry>& to) {
    Step step;
    if (from.empty()) return step;
    Entry& e = from.back();
    step.label = e.label;
    step.status.fileName = e.file;

    if (e.isSwitch) {
        // Back to the file the switch left (or forward to the one it chose).
        if (DocumentStatus st = doc.load(e.other); !st.ok()) {
            step.status = std::move(st);
            return step;
        }
        Entry opposite = e;
        std::swap(opposite.file, opposite.other);
        from.pop_back();
        to.push_back(std::move(opposite));
        step.done = true;
        return step;
    }

    if (doc.fileName() != e.file) {
        // The window always records a switch; a document bound to another
        // file means the steps do not belong to it.
        step.status.code = DocumentStatus::Code::NotLoaded;
        return step;
    }
    // Saves still on their way land first: the file must hold what the
    // step left there before it is compared.
    doc.waitForWrites();
    std::string error;
    const auto now = detail::readWholeFile(e.file, error);
    if (!now || !e.expected || !(*e.expected == *now)) {
        // Another program wrote the file (or removed it): its contents win,
        // as they do for a save, and the document shows them.
        step.status.code = DocumentStatus::Code::ChangedOnDisk;
        doc.reload();
        return step;
    }
    if (std::string err = detail::writeFileAtomically(e.file, e.bytes->views()); !err.empty()) {
        step.status.code = DocumentStatus::Code::WriteFailed;
        step.status.detail = std::move(err);
        return step;
    }
    if (DocumentStatus st = doc.reload(); !st.ok()) {
        // The bytes written are ones this program wrote or read before, so
        // this is a read failure of the moment; the step counts as done.
        step.status = std::move(st);
    }
    Entry opposite;
    opposite.label = e.label;
    opposite.file = e.file;
    opposite.expected = e.bytes;
    opposite.bytes = sharedText(std::move(*now));
    held_ += sizeOf(opposite.bytes);
    held_ -= sizeOf(e.bytes);
    from.pop_back();
    to.push_back(std::move(opposite));
    step.done = true;
    return step;
}

}  // namespace korvane
