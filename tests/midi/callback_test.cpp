#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>
#include <vector>

#include "midi_types.h"

using namespace korvane;

namespace {

// A control block with a queue and a receiver that records what reached it.
struct Fixture {
    TCircularBuffer* queue = BufferCreate(2);
    TMidiCtlInfo* ctl = CtlInfoCreate();
    TMidiWindow window;
    std::vector<std::pair<unsigned, std::uintptr_t>> received;

    Fixture() {
        ctl->PBuffer = queue;
        ctl->hWindow = &window;
        window.WndProc = [this](unsigned msg, std::uintptr_t, std::uintptr_t l) {
            received.emplace_back(msg, l);
        };
    }
    ~Fixture() {
        CtlInfoFree(ctl);
        BufferDispose(queue);
    }
};

struct CallbackCase {
    const char* name;
    unsigned msg;
    std::uintptr_t param1;
    bool sysexOnly;
    bool queued;
};

TEST(PortCallback, FiltersAndQueuesByMessageKind) {
    MIDIHDR hdr;
    const auto hdrParam = reinterpret_cast<std::uintptr_t>(&hdr);
    const CallbackCase cases[] = {
        {"note on", MM_MIM_DATA, packShort(0x90, 0x3C, 0x64), false, true},
        {"active sensing", MM_MIM_DATA, 0xFE, false, false},
        {"timing clock", MM_MIM_DATA, 0xF8, false, false},
        {"start (real-time, kept)", MM_MIM_DATA, 0xFA, false, true},
        {"note on with SysexOnly", MM_MIM_DATA, packShort(0x90, 0x3C, 0x64), true, false},
        {"sysex", MM_MIM_LONGDATA, hdrParam, false, true},
        {"sysex with SysexOnly", MM_MIM_LONGDATA, hdrParam, true, true},
        {"sysex error buffer", MM_MIM_LONGERROR, hdrParam, false, true},
        {"short error", MM_MIM_ERROR, packShort(0x90, 1, 2), false, false},
        {"open notice", 0x3C1, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.ctl->SysexOnly = c.sysexOnly;
        PortCallback(1, c.msg, f.ctl, c.param1, 1234);
        f.window.dispatchPending();
        EXPECT_EQ(f.queue->EventCount.load(), c.queued ? 1 : 0);
        if (!c.queued) {
            EXPECT_TRUE(f.received.empty());
            continue;
        }
        ASSERT_EQ(f.received.size(), 1u);
        EXPECT_EQ(f.received[0].first, MM_MIM_DATA);
        TMidiBufferItem slot;
        ASSERT_TRUE(BufferPeek(f.queue, slot));
        EXPECT_EQ(slot.timestamp, 1234u);
        if (c.msg == MM_MIM_DATA) {
            EXPECT_EQ(slot.data, c.param1);
            EXPECT_EQ(slot.sysex, nullptr);
        } else {
            EXPECT_EQ(slot.data, 0u);
            EXPECT_EQ(slot.sysex, &hdr);
        }
    }
}

TEST(PortCallback, FullQueuePostsOverflowAndOneNotificationPerEvent) {
    Fixture f;
    for (int i = 0; i < 3; ++i) PortCallback(1, MM_MIM_DATA, f.ctl, packShort(0x90, std::uint8_t(i), 1), 0);
    f.window.dispatchPending();
    EXPECT_EQ(f.queue->EventCount.load(), 2);
    int data = 0, overflow = 0;
    for (auto& [msg, l] : f.received) {
        if (msg == MM_MIM_DATA) ++data;
        if (msg == WM_USER) ++overflow;
    }
    EXPECT_EQ(data, 2);
    EXPECT_EQ(overflow, 1);
}

TEST(PortCallback, WithoutQueueOrControlBlockNothingHappens) {
    Fixture f;
    f.ctl->PBuffer = nullptr;
    PortCallback(1, MM_MIM_DATA, f.ctl, packShort(0x90, 1, 1), 0);
    PortCallback(1, MM_MIM_DATA, nullptr, packShort(0x90, 1, 1), 0);
    f.window.dispatchPending();
    EXPECT_TRUE(f.received.empty());
}

TEST(PortCallback, OutputCompletionIsPostedWithTheHeader) {
    Fixture f;
    f.ctl->PBuffer = nullptr;
    MIDIHDR hdr;
    PortCallback(1, MM_MOM_DONE, f.ctl, reinterpret_cast<std::uintptr_t>(&hdr), 0);
    EXPECT_TRUE(f.received.empty());  // posted, not called
    QCoreApplication::processEvents();
    ASSERT_EQ(f.received.size(), 1u);
    EXPECT_EQ(f.received[0].first, MM_MOM_DONE);
    EXPECT_EQ(f.received[0].second, reinterpret_cast<std::uintptr_t>(&hdr));
}

TEST(PortCallback, NotificationsPostedFromAnotherThreadArriveThroughTheEventLoop) {
    Fixture f;
    std::thread driver([&] { PortCallback(1, MM_MIM_DATA, f.ctl, packShort(0xB0, 7, 0x7F), 0); });
    driver.join();
    for (int i = 0; i < 10 && f.received.empty(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(f.received.size(), 1u);
    EXPECT_EQ(f.received[0].first, MM_MIM_DATA);
}

}  // namespace
