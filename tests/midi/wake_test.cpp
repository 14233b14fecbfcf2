// Notifications posted from a driver thread while the window thread takes
// them: every one must arrive, however the two threads interleave.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <chrono>
#include <thread>

#include "midi_types.h"

using namespace korvane;

namespace {

TEST(NotificationWakeUp, NoneIsLostWhilePostsAndDeliveriesInterleave) {
    TMidiWindow window;
    std::uint64_t delivered = 0;
    window.WndProc = [&](unsigned msg, std::uintptr_t, std::uintptr_t) {
        if (msg == MM_MIM_DATA) ++delivered;
    };
    constexpr std::uint64_t kPosts = 300000;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        // Small bursts with a yield between them, so that posts keep landing
        // while the window thread is in the middle of a delivery.
        for (std::uint64_t i = 0; i < kPosts; ++i) {
            window.post(MM_MIM_DATA, 0, 0);
            if (i % 7 == 0) std::this_thread::yield();
        }
        done = true;
    });
    // A lost wake-up leaves the rest undelivered for good; the guard only
    // keeps a failure from hanging the suite.
    auto lastProgress = std::chrono::steady_clock::now();
    std::uint64_t seen = 0;
    while (!(done && delivered == kPosts)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (delivered != seen) {
            seen = delivered;
            lastProgress = std::chrono::steady_clock::now();
        } else if (done && std::chrono::steady_clock::now() - lastProgress > std::chrono::seconds(10)) {
            break;
        }
    }
    driver.join();
    EXPECT_EQ(delivered, kPosts);
}

}  // namespace
