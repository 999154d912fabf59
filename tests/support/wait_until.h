#pragma once
// Waiting in a test for another thread or process to reach a point.
#include <chrono>
#include <functional>
#include <thread>

namespace velmora::testing {

// Polls `done` every few milliseconds until it holds or `seconds` have passed;
// false when the deadline came first.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace velmora::testing
