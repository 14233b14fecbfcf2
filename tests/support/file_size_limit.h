#pragma once
// A disk that fills up in the middle of a write, for tests that must show a
// failed save leaves the old file alone. Permissions cannot do this for root
// (CI runs as root), but the file size limit applies to everyone: writes past
// it fail with EFBIG once SIGXFSZ is ignored.

#include <signal.h>
#include <sys/resource.h>

namespace korvane::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &oldAction_);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit tiny = saved_;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        sigaction(SIGXFSZ, &oldAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct sigaction oldAction_ {};
    rlimit saved_{};
};

}  // namespace korvane::test
