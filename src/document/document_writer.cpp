#include "document_writer.h"

#include <utility>

namespace korvane {

DocumentWriter::~DocumentWriter() {
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return !waiting_ && !writing_; });
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void DocumentWriter::setFailureNotice(std::function<void()> notice) {
    std::lock_guard lock(mutex_);
    notice_ = std::move(notice);
}

void DocumentWriter::bind(const std::filesystem::path& file, SharedBytes onDisk,
                          std::optional<detail::FileStamp> stamp) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !waiting_ && !writing_; });
    file_ = file;
    onDisk_ = std::move(onDisk);
    stamp_ = stamp;
    conflict_ = false;
}

void DocumentWriter::submit(SharedBytes bytes) {
    {
        std::lock_guard lock(mutex_);
        // After a conflict the document must be read again first; what it
        // holds now is built on a file that is no longer there.
        if (conflict_) return;
        waiting_ = std::move(bytes);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
}

void DocumentWriter::wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !waiting_ && !writing_; });
}

bool DocumentWriter::busy() const {
    std::lock_guard lock(mutex_);
    return waiting_ || writing_;
}

bool DocumentWriter::conflicted() const {
    std::lock_guard lock(mutex_);
    return conflict_;
}

std::optional<detail::FileStamp> DocumentWriter::stamp() const {
    std::lock_guard lock(mutex_);
    return stamp_;
}

bool DocumentWriter::hasFailures() const {
    std::lock_guard lock(mutex_);
    return !failures_.empty();
}

std::vector<DocumentWriter::Failure> DocumentWriter::takeFailures() {
    std::lock_guard lock(mutex_);
    return std::exchange(failures_, {});
}

void DocumentWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || waiting_; });
        if (!waiting_) return;  // stopping, and nothing left to write
        SharedBytes bytes = std::move(waiting_);
        waiting_.reset();
        const std::filesystem::path file = file_;
        const SharedBytes expected = onDisk_;
        writing_ = true;
        lock.unlock();

        Failure failure;
        failure.file = file;
        bool failed = false;
        // A file that is gone or cannot be read is no conflict: the write
        // recreates it or reports its own error.
        std::string error;
        if (auto now = detail::readWholeFile(file, error); now && (!expected || !(*expected == *now))) {
            failure.changedOnDisk = true;
            failed = true;
        } else if (std::string err = detail::writeFileAtomically(file, bytes->views()); !err.empty()) {
            failure.reason = std::move(err);
            failed = true;
        }
        const std::optional<detail::FileStamp> stamp = failed ? std::nullopt : detail::fileStamp(file);

        lock.lock();
        if (failed) {
            if (failure.changedOnDisk) {
                conflict_ = true;
                waiting_.reset();
            }
            failures_.push_back(std::move(failure));
            // Told while still counted as writing, so that whoever waits for
            // the writer knows the notice has been given when wait() returns.
            if (std::function<void()> notice = notice_) {
                lock.unlock();
                notice();
                lock.lock();
            }
        } else {
            onDisk_ = std::move(bytes);
            stamp_ = stamp;
        }
        writing_ = false;
        if (!waiting_) done_.notify_all();
    }
}

}  // namespace korvane
