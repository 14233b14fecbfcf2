#include "file_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_io.h"
#include "file_size_limit.h"
#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

FileText::Part part(std::string s) { return std::make_shared<const std::string>(std::move(s)); }

TEST(FileText, EqualityFollowsTheBytesWhereverThePartsEnd) {
    const FileText::Part shared = part("<set name=\"A\"/>");
    struct Case {
        const char* what;
        FileText a;
        FileText b;
        bool equal;
    };
    const Case cases[] = {
        {"same parts", FileText({part("ab"), shared}), FileText({part("ab"), shared}), true},
        {"other boundaries", FileText({part("a"), part("bc"), part("d")}), FileText({part("abc"), part("d")}),
         true},
        {"empty parts ignored", FileText({part(""), part("ab"), nullptr, part("")}), FileText("ab"), true},
        {"shared part, other text beside it", FileText({part("x"), shared}), FileText({part("y"), shared}),
         false},
        {"difference in the last byte", FileText({part("abc"), part("d")}),
         FileText({part("ab"), part("ce")}), false},
        {"longer", FileText("abc"), FileText("ab"), false},
        {"both empty", FileText(), FileText(std::vector<FileText::Part>{part("")}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.a == c.b, c.equal);
        EXPECT_EQ(c.b == c.a, c.equal);
        EXPECT_EQ(c.a == c.b.joined(), c.equal);
        EXPECT_EQ(c.a.size(), c.a.joined().size());
    }
}

TEST(FileText, WrittenInPartsTheFileHoldsTheJoinedText) {
    TempFolder tmp;
    // More parts than one system call takes, some empty, some large.
    std::vector<FileText::Part> parts;
    for (int i = 0; i < 700; ++i)
        parts.push_back(
            part(i % 7 == 0 ? std::string() : std::string(i % 50 == 0 ? 70000 : 3, char('a' + i % 26))));
    const FileText text(parts);
    const auto views = text.views();
    ASSERT_EQ(detail::writeFileAtomically(tmp / "f.xml", views), "");
    EXPECT_EQ(readFile(tmp / "f.xml"), text.joined());

    // A disk that fills up half way leaves the old file as it was.
    writeFile(tmp / "g.xml", "old");
    {
        const test::FileSizeLimit full(100000);
        EXPECT_NE(detail::writeFileAtomically(tmp / "g.xml", views), "");
    }
    EXPECT_EQ(readFile(tmp / "g.xml"), "old");
}

}  // namespace
}  // namespace korvane
