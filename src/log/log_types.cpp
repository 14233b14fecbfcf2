#include "log_types.h"

#include <cstdlib>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <shlobj.h>
#include <windows.h>
#else
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace korvane {

std::string_view levelTag(TVerboseLevel level) {
    static constexpr std::string_view kTags[] = {"[debug]  ", "[verbose]", "[success]", "[info]   ",
                                                 "[imprtnt]", "[warning]", "[error]  ", "[critcal]"};
    auto i = static_cast<unsigned>(level);
    return i < std::size(kTags) ? kTags[i] : std::string_view();
}

TThreadID currentThreadId() {
    // The id is asked once per thread; the system call is not free and the
    // logging path asks for it on every line.
#ifdef _WIN32
    thread_local const TThreadID id = static_cast<TThreadID>(GetCurrentThreadId());
#elif defined(__linux__)
    thread_local const TThreadID id = static_cast<TThreadID>(::syscall(SYS_gettid));
#else
    thread_local const TThreadID id = [] {
        std::uint64_t tid = 0;
        pthread_threadid_np(nullptr, &tid);
        return static_cast<TThreadID>(tid);
    }();
#endif
    return id;
}

void setCurrentThreadName(const char* name) {
#ifdef _WIN32
    wchar_t wide[64] = {};
    MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 63);
    SetThreadDescription(GetCurrentThread(), wide);
#elif defined(__linux__)
    char shortName[16] = {};
    for (int i = 0; i < 15 && name[i]; ++i) shortName[i] = name[i];
    pthread_setname_np(pthread_self(), shortName);
#else
    pthread_setname_np(name);
#endif
}

std::int64_t perfCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t perfFrequency() { return 1000000000; }

std::filesystem::path utf8Path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string pathUtf8(const std::filesystem::path& path) {
    std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::filesystem::path destinationFolder(TLogfileDestination destination) {
#ifdef _WIN32
    wchar_t buf[MAX_PATH] = {};
    int id = destination == ldUserFolder ? CSIDL_APPDATA : CSIDL_COMMON_APPDATA;
    if (SHGetFolderPathW(nullptr, id, nullptr, 0, buf) != S_OK) return {};
    return std::filesystem::path(buf);
#else
    // Per-machine and per-user data fall together on a desktop Linux: the
    // program's data lives in the user's data home either way.
    (void)destination;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // Any non-empty value counts, a relative one too: that is what Qt's
    // GenericDataLocation does, and the window side of the program finds its
    // documents there, so the log must land beside them.
    if (xdg && *xdg) return std::filesystem::path(xdg);
    const char* home = std::getenv("HOME");
    std::filesystem::path base = home && *home ? std::filesystem::path(home) : std::filesystem::path("/tmp");
    return base / ".local" / "share";
#endif
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::string ansiToUtf8(std::string_view text) {
    // Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unused
    // positions there become U+FFFD.
    static constexpr char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                           0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (unsigned char c : text) {
        char32_t cp = c;
        if (c >= 0x80 && c < 0xA0) cp = kHigh[c - 0x80];
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace korvane
