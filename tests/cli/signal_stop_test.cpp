// SIGINT and SIGTERM from the program's first moment: kept for the job, and the
// end of a start that waits.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/signal_stop.h"
#include "support/wait_until.h"

namespace velmora::cli {
namespace {

// A step before or after the job that never ends (a read that blocks): the
// signal still ends the program, with the status of a stop, once the grace time
// has passed.
void WaitForever() {
    int fds[2];
    [[maybe_unused]] const int piped = pipe(fds);
    char byte = 0;
    [[maybe_unused]] const ssize_t n = read(fds[0], &byte, 1);
}

TEST(SignalStopDeathTest, EndsAStepThatWaitsOutsideTheJob) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SignalStop signals;
            kill(getpid(), SIGTERM);
            WaitForever();
        },
        ::testing::ExitedWithCode(130), "stopped before the job started");
    EXPECT_EXIT(
        {
            SignalStop signals;
            signals.Watch([] {});
            signals.Unwatch();
            kill(getpid(), SIGINT);
            WaitForever();
        },
        ::testing::ExitedWithCode(130), "stopped after the job ended");
}

// A signal before the job exists is passed to it when it is watched.
TEST(SignalStop, KeepsAStopForTheJob) {
    SignalStop signals;
    kill(getpid(), SIGINT);
    ASSERT_TRUE(testing::WaitUntil([&] { return signals.signalled(); }, 5));
    std::atomic<int> stops{0};
    signals.Watch([&] { ++stops; });
    EXPECT_EQ(stops.load(), 1);
    signals.Unwatch();
}

}  // namespace
}  // namespace velmora::cli
