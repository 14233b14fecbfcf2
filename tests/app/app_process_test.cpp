// The editor as a process: what its entry sets up for the whole run.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace {

struct TempFolder {
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-app-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path operator/(const char* name) const { return path / name; }
    std::filesystem::path path;
};

// Everything the editor's log files in folder hold.
std::string logText(const std::filesystem::path& folder) {
    std::string all;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::ifstream in(it->path(), std::ios::binary);
        all.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return all;
}

// Under a file size limit (a quota, `ulimit -f`) a write past it must fail
// like any other write and be reported, not end the program: here the first
// copy of the shipped library into the data folder is too large for it.
TEST(EditorProcess, FileSizeLimitFailsTheWriteInsteadOfKillingTheEditor) {
    TempFolder tmp;
    const std::vector<std::string> argv = {
        "env",
        "QT_QPA_PLATFORM=offscreen",
        "XDG_DATA_HOME=" + (tmp / "data").string(),
        "XDG_CONFIG_HOME=" + (tmp / "config").string(),
        "XDG_RUNTIME_DIR=" + tmp.path.string(),
        "sh",
        "-c",
        // 8 blocks of 512 bytes: room for the log, not for the library.
        "ulimit -f 8 && exec \"$0\"",
        KORVANE_EDITOR_PATH,
    };
    const std::filesystem::path folder = tmp / "data" / "Pellux3";
    const std::string tooLarge = std::strerror(EFBIG);
    korvane::testing::BackgroundProcess editor(argv);
    ASSERT_TRUE(editor.started());
    // The failed copy is logged before its box is shown; the box then waits
    // for a click that never comes, so the editor is stopped from here.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (editor.running() && logText(folder).find(tooLarge) == std::string::npos &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(editor.running()) << editor.errors();
    EXPECT_NE(logText(folder).find(tooLarge), std::string::npos) << logText(folder);
    editor.stop();

    EXPECT_FALSE(std::filesystem::exists(folder / "korvane.xml"));
    // Nothing half-written is left behind either.
    std::vector<std::string> leftovers;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find("korvane.xml") != std::string::npos) leftovers.push_back(name);
    }
    EXPECT_EQ(leftovers, std::vector<std::string>{});
}

}  // namespace
