// The monitor's stop signals: one request, even when delivered twice, stops it cleanly; a later
// one ends the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/MonitorCommand.h"

namespace vellum {
namespace {

TEST(MonitorSignalsDeathTest, RequestDeliveredTwiceStopsOnceLaterOneEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atomic<bool> stop{false};
        Waker waker;
        InstallMonitorStopSignals(stop, waker);
        // As `timeout` does: the process, then its group.
        raise(SIGINT);
        raise(SIGTERM);
        if (!stop.load()) _exit(3);
        fprintf(stderr, "still running\n");
        std::this_thread::sleep_for(std::chrono::nanoseconds(kRepeatedStopSignalNs) +
                                    std::chrono::milliseconds(100));
        raise(SIGINT);
        _exit(4);
      },
      ::testing::ExitedWithCode(130), "still running");
}

}  // namespace
}  // namespace vellum
