#pragma once
// The monitor's record of the traffic: every line it ever wrote, from the
// start of the program, up to a bound. Lines are numbered without gaps, so a
// view that shows part of them can tell what it has and what it still lacks,
// and a line dropped for the bound is counted, never silently forgotten.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace korvane::monitor {

enum class Direction : std::uint8_t { None, In, Out };
// Note: a line of the monitor's own (lost input, ...), shown under any filter.
enum class LineKind : std::uint8_t { Note, Short, SysEx };
enum class Filter : std::uint8_t { All, SysExOnly, ShortOnly };

struct Line {
    std::string text;
    Direction direction = Direction::None;
    LineKind kind = LineKind::Note;
};

// Which recorded lines the view shows.
struct ViewChoice {
    Filter filter = Filter::All;
    bool showIn = true;
    bool showOut = true;

    bool shows(const Line& line) const;
    bool operator==(const ViewChoice&) const = default;
};

class History {
public:
    static constexpr std::size_t kDefaultMaxLines = 100000;

    explicit History(std::size_t maxLines = kDefaultMaxLines);

    // Appends a line; the oldest goes once the bound is passed.
    void add(Line line);
    // A bound below 1 counts as 1. Lowering it drops the oldest lines at once.
    void setMaxLines(std::size_t maxLines);
    std::size_t maxLines() const { return max_; }

    // Forgets every line and the count of dropped ones; numbering goes on,
    // so a view can see that what it shows is gone.
    void clear();

    // Numbers of the oldest kept line and one past the newest.
    std::uint64_t firstSeq() const { return first_; }
    std::uint64_t endSeq() const { return first_ + lines_.size(); }
    const Line& at(std::uint64_t seq) const { return lines_[std::size_t(seq - first_)]; }
    std::size_t size() const { return lines_.size(); }
    // Lines dropped for the bound since the start or the last clear.
    std::uint64_t dropped() const { return dropped_; }

private:
    void trim();

    std::deque<Line> lines_;
    std::uint64_t first_ = 0;
    std::uint64_t dropped_ = 0;
    std::size_t max_;
};

}  // namespace korvane::monitor
