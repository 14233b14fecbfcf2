#include "file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "memory_pages.h"

namespace korvane::detail {
namespace {

std::string errnoText(int err) { return std::strerror(err); }

// Writes all parts one after another, retrying short writes and
// interrupted calls. Parts go out in batches of one system call each.
bool writeAll(int fd, Parts parts) {
    constexpr std::size_t kBatch = 256;
    iovec batch[kBatch];
    std::size_t next = 0;  // the first part not yet in a batch
    std::size_t skip = 0;  // bytes of that part already written
    while (next < parts.size()) {
        std::size_t n = 0;
        for (std::size_t i = next; i < parts.size() && n < kBatch; ++i) {
            const std::string_view part = i == next ? parts[i].substr(skip) : parts[i];
            if (part.empty()) continue;
            batch[n].iov_base = const_cast<char*>(part.data());
            batch[n].iov_len = part.size();
            ++n;
        }
        if (n == 0) return true;
        const ssize_t written = ::writev(fd, batch, static_cast<int>(n));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {  // a file that takes nothing more would loop for ever
            errno = EIO;
            return false;
        }
        // Step over what went out, whole parts and the start of the next.
        auto left = static_cast<std::size_t>(written);
        while (next < parts.size() && left >= parts[next].size() - skip) {
            left -= parts[next].size() - skip;
            skip = 0;
            ++next;
        }
        skip += left;
    }
    return true;
}

// The folder a target lies in ("." for a bare name).
std::filesystem::path folderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// The start of the names of target's temporary files. A name near the
// system's limit of 255 bytes leaves no room for the additions; a fixed stem
// stands in for it then.
std::string temporaryPrefix(const std::filesystem::path& target) {
    std::string stem = target.filename().string();
    if (stem.size() > 200) stem = "korvane";
    // Hidden and unmistakable: a dot, the target's name, then the process
    // and a counter, so parallel savers never pick the same name and a later
    // run can tell whose file it was.
    return "." + stem + ".tmp";
}

std::filesystem::path nextTemporaryName(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    return folderOf(target) / (temporaryPrefix(target) + std::to_string(::getpid()) + '_' +
                               std::to_string(counter.fetch_add(1)));
}

// A temporary file beside target, created with O_EXCL so that it is ours.
// Mode 0666 lets the umask decide the permissions, as for any new file.
int createTemporary(const std::filesystem::path& target, std::filesystem::path& tmpPath, int& err) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath = nextTemporaryName(target);
        const int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    err = errno;
    return -1;
}

// A file without a name in target's folder, where the system offers them.
// It gets a name only once it is complete, so a save killed while writing
// leaves nothing behind. -1 when the system or file system has none.
int createAnonymous(const std::filesystem::path& target) {
#ifdef O_TMPFILE
    return ::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#else
    (void)target;
    return -1;
#endif
}

// Gives the anonymous file fd the name path; fails with EEXIST when the name
// is taken. The link through /proc needs no privilege, the empty path does.
bool linkAnonymous(int fd, const std::filesystem::path& path, int& err) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    err = errno;
#ifdef AT_EMPTY_PATH
    if (err != EEXIST && ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (err != EEXIST) err = errno;
#endif
    return false;
}

void syncFolder(const std::filesystem::path& file) {
    const int fd = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself already happened
    ::close(fd);
}

// Fills fd with bytes, gives it keepModeOf's permissions and flushes it to
// disk; closes fd. "" on success.
std::string fillAndClose(int fd, Parts bytes, const struct stat* keepModeOf) {
    bool ok = writeAll(fd, bytes);
    if (ok && keepModeOf) ok = ::fchmod(fd, keepModeOf->st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    return ok ? std::string() : errnoText(err);
}

// Writes bytes into an anonymous file beside target and links it as `as`
// (or, when `as` is empty, under a fresh temporary name, set into tmpPath).
// Returns "" on success, "-" when the system offers no anonymous files (the
// caller then writes a named one), else the reason. On failure no name is
// left behind.
std::string writeAnonymous(const std::filesystem::path& target, Parts bytes, const struct stat* keepModeOf,
                           const std::filesystem::path& as, std::filesystem::path& tmpPath, int& linkErr) {
    linkErr = 0;
    const int fd = createAnonymous(target);
    if (fd < 0) return "-";
    // The descriptor must stay open for the link, so it is filled first and
    // only closed after linking.
    bool ok = writeAll(fd, bytes);
    if (ok && keepModeOf) ok = ::fchmod(fd, keepModeOf->st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (!ok) {
        const int err = errno;
        ::close(fd);
        return errnoText(err);
    }
    bool linked = false;
    if (!as.empty()) {
        linked = linkAnonymous(fd, as, linkErr);
    } else {
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
            tmpPath = nextTemporaryName(target);
            linked = linkAnonymous(fd, tmpPath, linkErr);
            if (!linked && linkErr != EEXIST) break;
        }
    }
    ::close(fd);
    if (linked) return {};
    // No /proc and no privilege for the empty path: a named file will do.
    if (linkErr == ENOENT || linkErr == EPERM || linkErr == EOPNOTSUPP || linkErr == EXDEV) return "-";
    return errnoText(linkErr);
}

// Writes bytes into a fresh temporary file beside target; "" on success.
std::string writeTemporary(const std::filesystem::path& target, Parts bytes, std::filesystem::path& tmpPath,
                           const struct stat* keepModeOf) {
    int linkErr = 0;
    if (std::string err = writeAnonymous(target, bytes, keepModeOf, {}, tmpPath, linkErr); err != "-")
        return err;
    int err = 0;
    const int fd = createTemporary(target, tmpPath, err);
    if (fd < 0) return errnoText(err);
    if (std::string failed = fillAndClose(fd, bytes, keepModeOf); !failed.empty()) {
        ::unlink(tmpPath.c_str());
        return failed;
    }
    return {};
}

// "123" as a process id, or 0 when text is not only digits.
pid_t processIdIn(std::string_view text) {
    if (text.empty() || text.size() > 9) return 0;
    pid_t pid = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// The file a chain of symbolic links ends at, also when that file does not
// exist: the new contents belong there, and the links stay as they are.
// Empty with err set when the chain cannot be followed.
std::filesystem::path followLinks(std::filesystem::path path, int& err) {
    // The system gives up after 40 links as well.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(path, ec)) return path;
        const std::filesystem::path to = std::filesystem::read_symlink(path, ec);
        if (ec) {
            err = ec.value();
            return {};
        }
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    err = ELOOP;
    return {};
}

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::string& error,
                                         bool* notRegular) {
    if (notRegular) *notRegular = false;
    // Without O_NONBLOCK, opening a pipe waits until some writer comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errnoText(errno);
        return std::nullopt;
    }
    auto failWith = [&](int err) -> std::optional<std::string> {
        error = errnoText(err);
        ::close(fd);
        return std::nullopt;
    };
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return failWith(errno);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        error = kNotRegularFile;
        if (notRegular) *notRegular = true;
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxReadBytes) return failWith(EFBIG);
    // Read straight into the string, one byte more than the size told, so
    // that a file that grew meanwhile is noticed and read on.
    std::size_t have = 0;
    const std::size_t told = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 1;
    bytes.reserve(told);
    prefault(bytes.data(), told);
    bytes.resize(told);
    for (;;) {
        if (have == bytes.size()) {
            // A file that grows while it is read is held to the same limit.
            if (have > kMaxReadBytes) return failWith(EFBIG);
            bytes.resize(std::min(kMaxReadBytes + 1, std::max<std::size_t>(have * 2, 65536)));
        }
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failWith(errno);
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (have > kMaxReadBytes) {
        error = errnoText(EFBIG);
        return std::nullopt;
    }
    bytes.resize(have);
    return bytes;
}

std::string writeFileAtomically(const std::filesystem::path& requested, Parts bytes) {
    int linkErr = 0;
    const std::filesystem::path target = followLinks(requested, linkErr);
    if (target.empty()) return errnoText(linkErr);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode)) return errnoText(EISDIR);
        if (!S_ISREG(old.st_mode)) return std::string(kNotRegularFile);
        // Renaming over a write-protected file would succeed, because only
        // the folder's permission counts for a rename; honour the file's.
        if (::access(target.c_str(), W_OK) != 0) return errnoText(errno);
    }

    std::filesystem::path tmp;
    if (auto err = writeTemporary(target, bytes, tmp, exists ? &old : nullptr); !err.empty()) return err;
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return errnoText(err);
    }
    syncFolder(target);
    return {};
}

std::string writeFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    return writeFileAtomically(target, Parts(&bytes, 1));
}

std::string createFileExclusively(const std::filesystem::path& target, std::string_view whole,
                                  bool& alreadyExists) {
    const Parts bytes(&whole, 1);
    alreadyExists = false;
    std::filesystem::path tmp;
    // An anonymous file linked straight to the target never has another
    // name, and link() refuses an existing target.
    int linkErr = 0;
    if (std::string err = writeAnonymous(target, bytes, nullptr, target, tmp, linkErr); err != "-") {
        if (err.empty()) {
            syncFolder(target);
            return {};
        }
        if (linkErr == EEXIST) {
            alreadyExists = true;
            return {};
        }
        return err;
    }
    if (auto err = writeTemporary(target, bytes, tmp, nullptr); !err.empty()) return err;
    // link() refuses an existing target, which is exactly "never overwrite".
    int rc = ::link(tmp.c_str(), target.c_str());
    int err = errno;
    if (rc != 0 && err != EEXIST && (err == EPERM || err == EOPNOTSUPP || err == EXDEV || err == EMLINK)) {
        // Some file systems have no hard links; fall back to a rename after
        // checking that nothing is there yet.
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) {
            err = EEXIST;
        } else {
            rc = ::rename(tmp.c_str(), target.c_str());
            err = errno;
        }
    }
    ::unlink(tmp.c_str());
    if (rc != 0) {
        if (err == EEXIST) {
            alreadyExists = true;
            return {};
        }
        return errnoText(err);
    }
    syncFolder(target);
    return {};
}

void removeStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folderOf(target), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const auto underscore = rest.find('_');
        if (underscore == std::string_view::npos) continue;
        const pid_t pid = processIdIn(rest.substr(0, underscore));
        const std::string_view counter = rest.substr(underscore + 1);
        if (pid <= 0 || counter.empty() || counter.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        // Our own process may be saving on another thread; a process that
        // still exists (or belongs to another user) may be saving too.
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        ::unlink(it->path().c_str());
    }
}

std::optional<FileStamp> fileStamp(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = static_cast<unsigned long long>(st.st_dev);
    stamp.inode = static_cast<unsigned long long>(st.st_ino);
    stamp.size = static_cast<long long>(st.st_size);
    stamp.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

}  // namespace korvane::detail
