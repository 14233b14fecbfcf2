#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace korvane::detail {
namespace {

std::string errnoText(int err) { return std::strerror(err); }

// Writes all bytes, retrying short writes and interrupted calls.
bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// A temporary file beside target, created with O_EXCL so that it is ours.
// Mode 0666 lets the umask decide the permissions, as for any new file.
int createTemporary(const std::filesystem::path& target, std::filesystem::path& tmpPath, int& err) {
    static std::atomic<unsigned> counter{0};
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // A name near the system's limit of 255 bytes leaves no room for the
    // additions below; a fixed stem stands in for it then.
    std::string stem = target.filename().string();
    if (stem.size() > 200) stem = "korvane";
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Hidden and unmistakable: a dot, the target's name, the process and
        // a counter, so parallel savers never pick the same name.
        std::string name(1, '.');
        name.append(stem);
        name.append(".tmp");
        name.append(std::to_string(::getpid()));
        name.push_back('_');
        name.append(std::to_string(counter.fetch_add(1)));
        tmpPath = folder / name;
        const int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    err = errno;
    return -1;
}

void syncFolder(const std::filesystem::path& file) {
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself already happened
    ::close(fd);
}

// Writes bytes into a fresh temporary file beside target; "" on success.
std::string writeTemporary(const std::filesystem::path& target, std::string_view bytes,
                           std::filesystem::path& tmpPath, const struct stat* keepModeOf) {
    int err = 0;
    const int fd = createTemporary(target, tmpPath, err);
    if (fd < 0) return errnoText(err);
    bool ok = writeAll(fd, bytes);
    if (ok && keepModeOf) ok = ::fchmod(fd, keepModeOf->st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmpPath.c_str());
        return errnoText(err);
    }
    return {};
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
    if (st.st_size > 0) {
        if (static_cast<std::uintmax_t>(st.st_size) > kMaxReadBytes) return failWith(EFBIG);
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failWith(errno);
        }
        if (n == 0) break;
        // A file that grows while it is read is held to the same limit.
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxReadBytes) return failWith(EFBIG);
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

std::string writeFileAtomically(const std::filesystem::path& requested, std::string_view bytes) {
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

std::string createFileExclusively(const std::filesystem::path& target, std::string_view bytes,
                                  bool& alreadyExists) {
    alreadyExists = false;
    std::filesystem::path tmp;
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

}  // namespace korvane::detail
