#include "file_io.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config_document.h"
#include "memory_pages.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// A process id that belonged to a process that has ended.
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

std::vector<std::string> entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileIo, OnlyOurOwnLeftoversOfEndedSavesAreRemoved) {
    const std::string dead = std::to_string(endedProcess());
    const std::string alive = std::to_string(::getpid());
    struct Case {
        std::string name;
        bool removed;
    };
    const std::vector<Case> cases = {
        {".korvane.xml.tmp" + dead + "_0", true},
        {".korvane.xml.tmp" + dead + "_123456", true},
        // A save still running in a live process must keep its file.
        {".korvane.xml.tmp" + alive + "_7", false},
        {".korvane.xml.tmp1_7", false},  // process 1 is always there
        // Look-alikes that we never make.
        {"korvane.xml.tmp" + dead + "_0", false},
        {".korvane.xml.tmp" + dead + "_", false},
        {".korvane.xml.tmp" + dead + "_0.bak", false},
        {".korvane.xml.tmp_" + dead + "_0", false},
        {".korvane.xml.tmpx_0", false},
        {".other.xml.tmp" + dead + "_0", false},
        {".korvane.xml.TMP" + dead + "_0", false},
    };
    TempFolder tmp;
    writeFile(tmp / "korvane.xml", "<lib/>");
    std::vector<std::string> kept = {"korvane.xml"};
    for (const Case& c : cases) {
        writeFile(tmp / c.name, "partial");
        if (!c.removed) kept.push_back(c.name);
    }
    // A folder of that name is nothing we made either.
    std::filesystem::create_directory(tmp / (".korvane.xml.tmp" + dead + "_9"));
    kept.push_back(".korvane.xml.tmp" + dead + "_9");
    std::sort(kept.begin(), kept.end());

    detail::removeStaleTemporaries(tmp / "korvane.xml");
    EXPECT_EQ(entries(tmp.path()), kept);
    EXPECT_EQ(readFile(tmp / "korvane.xml"), "<lib/>");
}

TEST(FileIo, OpeningADocumentClearsLeftoversOfSavesThatWereKilled) {
    TempFolder tmp;
    writeFile(tmp / "korvane.xml", "<lib/>");
    const std::string dead = std::to_string(endedProcess());
    writeFile(tmp / (".korvane.xml.tmp" + dead + "_0"), "<li");
    writeFile(tmp / (".korvane.xml.tmp" + dead + "_1"), "<lib/>");
    ConfigDocument doc;
    ASSERT_TRUE(doc.load(tmp / "korvane.xml").ok());
    EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"korvane.xml"});
}

TEST(FileIo, ReadingGivesEveryByteWhateverTheSizeSaid) {
    TempFolder tmp;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{200001}}) {
        SCOPED_TRACE(size);
        std::string text(size, 'x');
        for (std::size_t i = 0; i < size; i += 97) text[i] = static_cast<char>('a' + i % 26);
        writeFile(tmp / "f.xml", text);
        std::string error;
        const auto read = detail::readWholeFile(tmp / "f.xml", error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(*read, text);
    }
    // A file whose size says 0 but that has content (as those the system
    // makes up) is read to its end.
    std::string error;
    const auto status = detail::readWholeFile("/proc/self/status", error);
    ASSERT_TRUE(status) << error;
    EXPECT_NE(status->find("Name:"), std::string::npos);
}

TEST(FileIo, WritesLeaveOnlyTheirTarget) {
    TempFolder tmp;
    struct Case {
        const char* what;
        std::string (*write)(const std::filesystem::path& target);
        std::string content;
    };
    const std::vector<Case> cases = {
        {"replace", [](const std::filesystem::path& t) { return detail::writeFileAtomically(t, "new"); },
         "new"},
        {"create",
         [](const std::filesystem::path& t) {
             bool existed = false;
             std::filesystem::remove(t);
             return detail::createFileExclusively(t, "made", existed);
         },
         "made"},
        {"create refused",
         [](const std::filesystem::path& t) {
             bool existed = false;
             std::string err = detail::createFileExclusively(t, "other", existed);
             return existed ? err : std::string("created over an existing file");
         },
         "made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.write(tmp / "f.xml"), "");
        EXPECT_EQ(readFile(tmp / "f.xml"), c.content);
        EXPECT_EQ(entries(tmp.path()), std::vector<std::string>{"f.xml"});
    }
}

// Bringing pages in ahead must leave every byte as it was, wherever the
// range starts and ends; the parser, taking its memory that way, reads a
// document as it always did.
TEST(MemoryPages, BringingPagesInChangesNoByte) {
    std::vector<unsigned char> block(300000);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7 + 3);
    const std::vector<unsigned char> before = block;
    const std::pair<std::size_t, std::size_t> ranges[] = {{0, 0}, {1, 100}, {4095, 5000}, {100, 299900}};
    for (const auto& [from, size] : ranges) {
        prefault(block.data() + from, size);
        ASSERT_EQ(block, before) << from << "+" << size;
    }
    prefault(nullptr, 4096);

    prefaultXmlMemory();
    std::string xml = "<lib>";
    for (int i = 0; i < 5000; ++i) xml += "<set name=\"S" + std::to_string(i) + "\"><element/></set>";
    xml += "</lib>";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    EXPECT_STREQ(doc.child("lib").last_child().attribute("name").value(), "S4999");
    std::ostringstream written;
    doc.save(written, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(written.str(), xml);
}

}  // namespace
}  // namespace korvane
