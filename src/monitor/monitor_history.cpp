#include "monitor_history.h"

#include <utility>

namespace korvane::monitor {

bool ViewChoice::shows(const Line& line) const {
    if (line.kind == LineKind::Note) return true;
    if (line.direction == Direction::In && !showIn) return false;
    if (line.direction == Direction::Out && !showOut) return false;
    switch (filter) {
        case Filter::SysExOnly:
            return line.kind == LineKind::SysEx;
        case Filter::ShortOnly:
            return line.kind == LineKind::Short;
        case Filter::All:
            break;
    }
    return true;
}

History::History(std::size_t maxLines) : max_(maxLines < 1 ? 1 : maxLines) {}

void History::add(Line line) {
    lines_.push_back(std::move(line));
    trim();
}

void History::setMaxLines(std::size_t maxLines) {
    max_ = maxLines < 1 ? 1 : maxLines;
    trim();
}

void History::trim() {
    while (lines_.size() > max_) {
        lines_.pop_front();
        ++first_;
        ++dropped_;
    }
}

void History::clear() {
    first_ += lines_.size();
    lines_.clear();
    dropped_ = 0;
}

}  // namespace korvane::monitor
