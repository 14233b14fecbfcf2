// One writer thread and one reader thread through the input queue: nothing
// lost, nothing duplicated, order kept. Built into its own executable so it
// can run under ThreadSanitizer (label "tsan").
#include <gtest/gtest.h>

#include <thread>

#include "midi_types.h"

using namespace korvane;

TEST(InputQueueConcurrency, MillionEventsArriveInOrder) {
    constexpr std::uint32_t kEvents = 1'000'000;
    TCircularBuffer* q = BufferCreate(64);  // small, so the writer often finds it full
    ASSERT_NE(q, nullptr);

    std::thread writer([q] {
        for (std::uint32_t i = 0; i < kEvents;) {
            if (BufferPut(q, TMidiBufferItem{i, ~i, nullptr})) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::uint32_t expected = 0;
    bool orderKept = true;
    while (expected < kEvents) {
        TMidiBufferItem out;
        if (!BufferPeek(q, out)) {
            std::this_thread::yield();
            continue;
        }
        if (out.timestamp != expected || out.data != ~expected) orderKept = false;
        ASSERT_TRUE(BufferRemove(q));
        ++expected;
    }
    writer.join();
    EXPECT_TRUE(orderKept);
    EXPECT_EQ(expected, kEvents);
    EXPECT_EQ(q->EventCount.load(), 0);
    BufferDispose(q);
}
