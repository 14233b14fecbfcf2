// The writer thread: contents handed over land in order, a burst ends in its
// newest state, a file another program changed is left alone, and a failed
// write is told. Run under ThreadSanitizer in CI.

#include "document_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "temp_folder.h"

namespace korvane {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

SharedBytes bytes(std::string text) { return sharedText(std::move(text)); }

TEST(DocumentWriter, ABurstEndsInItsNewestStateAndEveryStateOnDiskIsWhole) {
    TempFolder tmp;
    const auto file = tmp / "d.xml";
    writeFile(file, "state 0");
    DocumentWriter writer;
    writer.bind(file, bytes("state 0"), detail::fileStamp(file));
    // A reader beside the writer only ever sees one of the states, never a
    // mix, and the states it sees never go back.
    std::atomic<bool> done{false};
    std::atomic<int> wrongs{0};
    std::thread reader([&] {
        long seen = 0;
        while (!done.load()) {
            const std::string now = readFile(file);
            if (now.rfind("state ", 0) != 0) {
                ++wrongs;
                continue;
            }
            const long state = std::stol(now.substr(6));
            if (state < seen) ++wrongs;
            seen = state;
        }
    });
    for (int i = 1; i <= 300; ++i) writer.submit(bytes("state " + std::to_string(i)));
    writer.wait();
    done = true;
    reader.join();
    EXPECT_EQ(readFile(file), "state 300");
    EXPECT_EQ(wrongs.load(), 0);
    EXPECT_FALSE(writer.busy());
    EXPECT_TRUE(writer.takeFailures().empty());
    EXPECT_EQ(writer.stamp(), detail::fileStamp(file));
}

TEST(DocumentWriter, AFileChangedByAnotherProgramIsLeftAloneUntilBoundAgain) {
    TempFolder tmp;
    const auto file = tmp / "d.xml";
    writeFile(file, "mine");
    DocumentWriter writer;
    std::atomic<int> notices{0};
    writer.setFailureNotice([&notices] { ++notices; });
    writer.bind(file, bytes("mine"), detail::fileStamp(file));
    writeFile(file, "theirs");
    writer.submit(bytes("mine 2"));
    writer.wait();
    writer.submit(bytes("mine 3"));  // built on the lost file: dropped
    writer.wait();
    EXPECT_EQ(readFile(file), "theirs");
    EXPECT_TRUE(writer.conflicted());
    const auto failures = writer.takeFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].changedOnDisk);
    EXPECT_EQ(notices.load(), 1);

    writer.bind(file, bytes("theirs"), detail::fileStamp(file));
    writer.submit(bytes("mine 4"));
    writer.wait();
    EXPECT_EQ(readFile(file), "mine 4");
    EXPECT_FALSE(writer.conflicted());
}

TEST(DocumentWriter, AFailedWriteIsToldAndTheNextOneStillLands) {
    TempFolder tmp;
    const auto file = tmp / "d.xml";
    writeFile(file, "old");
    DocumentWriter writer;
    writer.bind(file, bytes("old"), detail::fileStamp(file));
    // A folder where the file was: nothing can replace it.
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    writer.submit(bytes("new"));
    writer.wait();
    const auto failures = writer.takeFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_FALSE(failures[0].changedOnDisk);
    EXPECT_FALSE(failures[0].reason.empty());
    EXPECT_EQ(failures[0].file, file);

    std::filesystem::remove(file);
    writer.submit(bytes("newer"));
    writer.wait();
    EXPECT_EQ(readFile(file), "newer");
    EXPECT_TRUE(writer.takeFailures().empty());
}

TEST(DocumentWriter, EndingWaitsForWhatWasHandedOver) {
    TempFolder tmp;
    const auto file = tmp / "d.xml";
    writeFile(file, "0");
    {
        DocumentWriter writer;
        writer.bind(file, bytes("0"), detail::fileStamp(file));
        writer.submit(bytes(std::string(1 << 20, 'x')));
    }
    EXPECT_EQ(readFile(file), std::string(1 << 20, 'x'));
}

}  // namespace
}  // namespace korvane
