#include <gtest/gtest.h>

#include "midi_types.h"

using namespace korvane;

namespace {

TMidiBufferItem item(std::uint32_t n) { return TMidiBufferItem{n, n * 3, nullptr}; }

struct BufferDeleter {
    void operator()(TCircularBuffer* b) const { BufferDispose(b); }
};
using BufferPtr = std::unique_ptr<TCircularBuffer, BufferDeleter>;

TEST(InputQueue, CapacityTwoFillsWrapsAndKeepsOrder) {
    BufferPtr q(BufferCreate(2));
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Capacity, 2);
    EXPECT_TRUE(BufferPut(q.get(), item(1)));
    EXPECT_TRUE(BufferPut(q.get(), item(2)));
    EXPECT_FALSE(BufferPut(q.get(), item(3)));
    EXPECT_EQ(q->EventCount.load(), 2);
    EXPECT_EQ(q->pNextPut, q->pNextGet);  // full: both at the same slot

    TMidiBufferItem out;
    ASSERT_TRUE(BufferPeek(q.get(), out));
    EXPECT_EQ(out.timestamp, 1u);
    ASSERT_TRUE(BufferRemove(q.get()));

    // After one remove a put succeeds and lands in the first slot again.
    EXPECT_TRUE(BufferPut(q.get(), item(4)));
    EXPECT_EQ(q->pStart->timestamp, 4u);
    EXPECT_EQ(q->pStart->data, 12u);

    for (std::uint32_t expected : {2u, 4u}) {
        ASSERT_TRUE(BufferPeek(q.get(), out));
        EXPECT_EQ(out.timestamp, expected);
        ASSERT_TRUE(BufferRemove(q.get()));
    }
    EXPECT_EQ(q->EventCount.load(), 0);
}

TEST(InputQueue, PeekAndRemoveOnEmptyChangeNothing) {
    BufferPtr q(BufferCreate(4));
    ASSERT_TRUE(q);
    TMidiBufferItem out{77, 88, nullptr};
    EXPECT_FALSE(BufferPeek(q.get(), out));
    EXPECT_EQ(out.timestamp, 77u);
    EXPECT_EQ(out.data, 88u);
    auto* getBefore = q->pNextGet;
    EXPECT_FALSE(BufferRemove(q.get()));
    EXPECT_EQ(q->pNextGet, getBefore);
    EXPECT_EQ(q->EventCount.load(), 0);

    // Emptied again after use: still refuses and stays consistent.
    ASSERT_TRUE(BufferPut(q.get(), item(5)));
    ASSERT_TRUE(BufferRemove(q.get()));
    EXPECT_FALSE(BufferRemove(q.get()));
    EXPECT_FALSE(BufferPeek(q.get(), out));
}

TEST(MidiHeader, ZeroSizeOwnsNothingOtherSizesOwnTheirBuffer) {
    TMyMidiHdr none(0);
    EXPECT_EQ(none.hdrPointer, nullptr);
    EXPECT_EQ(none.sysexPointer, nullptr);

    TMyMidiHdr some(9);
    ASSERT_NE(some.hdrPointer, nullptr);
    EXPECT_EQ(some.hdrPointer->lpData, some.sysexPointer);
    EXPECT_EQ(some.hdrPointer->dwBufferLength, 9u);
}

}  // namespace
