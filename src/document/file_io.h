#pragma once
// Small POSIX file helpers shared by the document and the provisioning.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvane::detail {

// A file's contents in parts, written one after another.
using Parts = std::span<const std::string_view>;

// No document the program reads comes near this size (a library of a
// thousand configurations is about 11 MB); a larger file is refused before it
// is read, instead of taking all memory (a stray disk image, /dev/zero).
inline constexpr std::size_t kMaxReadBytes = std::size_t{256} << 20;

// Error text for a path that holds something other than a regular file.
inline constexpr std::string_view kNotRegularFile = "not a regular file";

// The whole file as bytes; nullopt with the system's error text in error,
// also for a file larger than kMaxReadBytes. Only regular files are read: a
// pipe would wait for a writer for ever and a device may never end, so
// anything else is refused at once with kNotRegularFile (and notRegular set
// when given).
std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::string& error,
                                         bool* notRegular = nullptr);

// What identifies one version of a file without reading it: which file it
// is and its size and time of last change. Replacing the file (a rename over
// it) changes the identity, and so does writing into it, as far as the clock
// of the file system can tell.
struct FileStamp {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = -1;
    long long modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file path names (after symbolic links); nullopt when it
// cannot be found out.
std::optional<FileStamp> fileStamp(const std::filesystem::path& path);

// Replaces target with bytes so that readers only ever see the old or the new
// contents: a temporary file in the same folder is written, flushed to disk
// and renamed over the target. A symbolic link is followed, so the file it
// points to is replaced and the link stays. A target that exists but may not
// be written, or that is no regular file (a pipe, a device), is refused
// instead of being replaced behind the user's back.
// Returns an empty text on success, else the reason; the target is then
// untouched and no temporary file is left behind.
std::string writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);
std::string writeFileAtomically(const std::filesystem::path& target, Parts bytes);

// Creates target with bytes only if it does not exist yet, never replacing
// anything, even when another process creates it at the same moment. The
// bytes land in a temporary file first, so target is either absent or whole.
// Returns "" on success; alreadyExists tells the caller it was left alone.
std::string createFileExclusively(const std::filesystem::path& target, std::string_view bytes,
                                  bool& alreadyExists);

// Removes what saves of target that were killed half-way left beside it:
// only regular files named as this program names its temporary files for
// target, and only those of processes that have ended. Anything else, and
// the file of a save still running in another process, is left alone.
void removeStaleTemporaries(const std::filesystem::path& target);

}  // namespace korvane::detail
