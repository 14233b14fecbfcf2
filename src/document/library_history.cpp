#include "library_history.h"

#include <functional>

#include "file_io.h"

namespace korvane {

LibraryHistory::Fingerprint LibraryHistory::fingerprintOf(std::string_view bytes) {
    return {bytes.size(), std::hash<std::string_view>{}(bytes)};
}

void LibraryHistory::clear() {
    undo_.clear();
    redo_.clear();
    held_ = 0;
}

void LibraryHistory::record(const std::filesystem::path& file, const LibraryOutcome& outcome,
                            const std::string& mergeKey) {
    Entry e;
    e.label = outcome.label;
    if (outcome.result == LibraryOutcome::Result::Switched) {
        if (outcome.previousFile.empty() || outcome.previousFile == file) return;
        e.isSwitch = true;
        e.file = file;
        e.other = outcome.previousFile;
    } else if (outcome.result == LibraryOutcome::Result::Changed) {
        // Without the old bytes the change cannot be taken back; the steps
        // before it would then write over it, so they go too.
        if (!outcome.before || !outcome.after) {
            clear();
            return;
        }
        const Fingerprint after = fingerprintOf(*outcome.after);
        if (!mergeKey.empty() && !undo_.empty()) {
            Entry& top = undo_.back();
            if (!top.isSwitch && top.mergeKey == mergeKey && top.file == file &&
                top.expected == fingerprintOf(*outcome.before)) {
                for (Entry& r : redo_) held_ -= r.bytes.size();
                redo_.clear();
                top.expected = after;
                top.label = outcome.label;
                if (top.bytes == *outcome.after) {
                    held_ -= top.bytes.size();
                    undo_.pop_back();
                }
                return;
            }
        }
        e.file = file;
        e.bytes = *outcome.before;
        e.expected = after;
        e.mergeKey = mergeKey;
    } else {
        return;
    }
    for (Entry& r : redo_) held_ -= r.bytes.size();
    redo_.clear();
    held_ += e.bytes.size();
    undo_.push_back(std::move(e));
    keepWithinBudget();
}

void LibraryHistory::keepWithinBudget() {
    std::size_t drop = 0;
    while (held_ > budget_ && undo_.size() - drop > 1) held_ -= undo_[drop++].bytes.size();
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
    std::string error;
    const auto now = detail::readWholeFile(e.file, error);
    if (!now || fingerprintOf(*now) != e.expected) {
        // Another program wrote the file (or removed it): its contents win,
        // as they do for a save, and the document shows them.
        step.status.code = DocumentStatus::Code::ChangedOnDisk;
        doc.reload();
        return step;
    }
    if (std::string err = detail::writeFileAtomically(e.file, e.bytes); !err.empty()) {
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
    opposite.expected = fingerprintOf(e.bytes);
    opposite.bytes = *now;
    held_ += opposite.bytes.size();
    held_ -= e.bytes.size();
    from.pop_back();
    to.push_back(std::move(opposite));
    step.done = true;
    return step;
}

}  // namespace korvane
