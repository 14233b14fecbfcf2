#pragma once
// Writes a document's file on a thread of its own, so that the thread that
// edits never waits for the disk.
//
// The editing thread hands over whole file contents. They are written in the
// order they were handed over, each atomically (temporary file, flushed and
// synced, renamed over the file). Contents handed over while an earlier
// write is still running replace the ones still waiting: a burst of edits
// (typing) ends in one write of the newest state, never in an older one.
//
// Before each write the file is compared with what this program last read
// or wrote there. A file another program has changed meanwhile is not
// overwritten: the writer drops what waits, reports the conflict once and
// takes nothing more until it is bound to the file again.

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "file_io.h"
#include "file_text.h"

namespace korvane {

class DocumentWriter {
public:
    // Why a write did not happen.
    struct Failure {
        bool changedOnDisk = false;  // another program changed the file; nothing was written
        std::string reason;          // the system's error text of a failed write
        std::filesystem::path file;
    };

    DocumentWriter() = default;
    // Waits for every handed-over write before it ends.
    ~DocumentWriter();
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // Called on the writer thread after a write failed or was refused; it
    // should only arrange for takeFailures() on the editing thread.
    void setFailureNotice(std::function<void()> notice);

    // The file and what it holds now (as just read or written), with its
    // stamp. Waits for writes still running; forgets a conflict.
    void bind(const std::filesystem::path& file, SharedBytes onDisk, std::optional<detail::FileStamp> stamp);

    // Hands over the complete new contents of the bound file.
    void submit(SharedBytes bytes);

    // Waits until nothing is waiting or being written.
    void wait();
    // True while contents wait or are being written.
    bool busy() const;
    // True after a conflict, until the next bind.
    bool conflicted() const;
    // The stamp of the file as the writer last wrote it (or as bound).
    std::optional<detail::FileStamp> stamp() const;
    // True while failures wait to be taken.
    bool hasFailures() const;
    // The failures since the last call, oldest first.
    std::vector<Failure> takeFailures();

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // work arrived, or the end
    std::condition_variable done_;  // the writer became idle
    std::thread thread_;
    bool stop_ = false;
    bool writing_ = false;
    bool conflict_ = false;
    std::filesystem::path file_;
    SharedBytes onDisk_;
    SharedBytes waiting_;
    std::optional<detail::FileStamp> stamp_;
    std::vector<Failure> failures_;
    std::function<void()> notice_;
};

}  // namespace korvane
