// Saves killed at random moments: a process saves the library again and
// again and is killed with SIGKILL while it does. After every kill the file
// must hold one whole state, the last one the saver reported or the one it
// was writing, byte for byte; and once the library is opened again no
// temporary file of the killed saves may be left.
//
// The same runs against saves through the writer thread, as the editor makes
// them: the saver hands over state after state without waiting, the writer
// writes the newest; the file must hold one whole state the saver passed
// through, never one older than the file held when the saver started.
//
// KORVANE_SOAK_KILLS sets the number of kills (scripts/soak.sh runs more).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config_document.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// A library large enough that a kill often lands inside a write.
std::string library() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<korvane>\n  <sets>\n"
        "    <set name=\"soak\" description=\"state 0\"/>\n  </sets>\n  <messagegroups>\n"
        "    <messagegroup name=\"G\">\n";
    for (int i = 0; i < 600; ++i) {
        xml += "      <message name=\"M" + std::to_string(i) +
               "\"><left>B0,07,7F</left><right>80,3C,00</right><mode>7</mode><range>absolute</range>"
               "<min>0</min><max>16383</max></message>\n";
    }
    return xml + "    </messagegroup>\n  </messagegroups>\n</korvane>\n";
}

pugi::xml_node setState(ConfigDocument& doc, long state) {
    pugi::xml_node set = doc.Finde_XML_SetByName("soak");
    set.attribute("description") = ("state " + std::to_string(state)).c_str();
    return set;
}

long stateOf(const ConfigDocument& doc) {
    const std::string d = doc.Finde_XML_SetByName("soak").attribute("description").value();
    return d.rfind("state ", 0) == 0 ? std::strtol(d.c_str() + 6, nullptr, 10) : -1;
}

// The saver: from state first on, sets each state, saves it and reports it;
// in the background, it reports each state once it is handed to the writer.
[[noreturn]] void saveForEver(const std::filesystem::path& file, long first, int report, bool background) {
    ConfigDocument doc;
    if (!doc.load(file).ok()) ::_exit(2);
    for (long state = first;; ++state) {
        const pugi::xml_node set = setState(doc, state);
        if (!(background ? doc.commit({set}, false).status : doc.save()).ok()) ::_exit(3);
        if (::write(report, &state, sizeof state) != sizeof state) ::_exit(4);
        if (background && doc.takeWriteFailures().size() > 0) ::_exit(5);
    }
}

std::vector<std::string> temporaries(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name != "korvane.xml") found.push_back(name);
    }
    return found;
}

int killsWanted(int inSuite) {
    const char* wanted = std::getenv("KORVANE_SOAK_KILLS");
    const int n = wanted ? std::atoi(wanted) : 0;
    return n > 0 ? n : inSuite;
}

void soak(bool background, int kills) {
    TempFolder live;
    TempFolder scratch;
    const std::filesystem::path file = live / "korvane.xml";
    writeFile(file, library());
    writeFile(scratch / "korvane.xml", library());
    // The bytes a save of each state writes, made by a document of its own.
    ConfigDocument reference;
    ASSERT_TRUE(reference.load(scratch / "korvane.xml").ok());
    auto bytesOf = [&](long state) {
        setState(reference, state);
        EXPECT_TRUE(reference.save().ok());
        return readFile(scratch / "korvane.xml");
    };

    std::mt19937 rng(std::random_device{}());
    long state = 0;
    int landedInWrite = 0;    // the file held the state being written
    int leftTemporaries = 0;  // kills after which a temporary file was there
    for (int k = 0; k < kills; ++k) {
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t saver = ::fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            ::close(report[0]);
            saveForEver(file, state + 1, report[1], background);
        }
        ::close(report[1]);
        // Waits for a few reported saves, timing them, then lets a random
        // part of one more save's time pass, so the kill lands anywhere in
        // a save: serialising, writing, syncing, renaming or reporting.
        long reported = state;
        auto last = std::chrono::steady_clock::now();
        auto longest = std::chrono::steady_clock::duration::zero();
        for (int acks = std::uniform_int_distribution<int>(2, 6)(rng); acks > 0; --acks) {
            ASSERT_EQ(::read(report[0], &reported, sizeof reported), static_cast<ssize_t>(sizeof reported))
                << "the saver ended early";
            const auto now = std::chrono::steady_clock::now();
            longest = std::max(longest, now - last);
            last = now;
        }
        // Handing over takes far less than a write: in the background the
        // kill lands anywhere within a few writes instead.
        if (background)
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 8000)(rng)));
        else
            std::this_thread::sleep_for(longest * std::uniform_real_distribution<double>(0.0, 1.2)(rng));
        ::kill(saver, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(saver, &status, 0), saver);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        for (long more; ::read(report[0], &more, sizeof more) == static_cast<ssize_t>(sizeof more);)
            reported = more;
        ::close(report[0]);

        if (!temporaries(live.path()).empty()) ++leftTemporaries;
        // Opening the library, as the next start does.
        ConfigDocument doc;
        const DocumentStatus loaded = doc.load(file);
        ASSERT_TRUE(loaded.ok()) << "after kill " << k << ": " << loaded.message("en");
        const long found = stateOf(doc);
        if (background) {
            // Any state from the one the saver began with to the one it was
            // handing over.
            ASSERT_TRUE(found >= state && found <= reported + 1)
                << "after kill " << k << " the file holds state " << found << ", the saver began at " << state
                << " and reported " << reported;
        } else {
            ASSERT_TRUE(found == reported || found == reported + 1)
                << "after kill " << k << " the file holds state " << found << ", the saver reported "
                << reported;
        }
        if (found == reported + 1) ++landedInWrite;
        ASSERT_EQ(readFile(file), bytesOf(found)) << "after kill " << k;
        ASSERT_EQ(temporaries(live.path()), std::vector<std::string>{}) << "after kill " << k;
        state = found;
    }
    std::printf(
        "[ soak ] %s: %d kills, %d with the state being written already in place, %d left a temporary file "
        "that opening removed\n",
        background ? "background" : "waiting", kills, landedInWrite, leftTemporaries);
}

TEST(SaveSoak, KilledSavesLeaveOneWholeStateAndNoTemporaryFiles) { soak(false, killsWanted(50)); }

TEST(SaveSoak, KilledBackgroundSavesLeaveOneWholeStateTheySavedAndNoTemporaryFiles) {
    soak(true, killsWanted(200));
}

}  // namespace
}  // namespace korvane
