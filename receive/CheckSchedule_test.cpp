#include "receive/CheckSchedule.h"

#include <gtest/gtest.h>

namespace qf::receive {
namespace {

using namespace std::chrono_literals;
using Clock = CheckSchedule::Clock;

const Clock::time_point kStart = Clock::time_point() + 1000h;

TEST(CheckScheduleTest, OffUntilAnIntervalIsSetAndTheFirstCheckIsOneIntervalLater) {
    CheckSchedule schedule;
    EXPECT_FALSE(schedule.enabled());
    schedule.setInterval(5min, kStart);
    EXPECT_TRUE(schedule.enabled());
    EXPECT_EQ(schedule.nextCheck(), kStart + 5min);
    // A new interval counts from the last run, not from the change.
    schedule.setInterval(2min, kStart + 1min);
    EXPECT_EQ(schedule.nextCheck(), kStart + 2min);
    schedule.setInterval(0min, kStart + 1min);
    EXPECT_FALSE(schedule.enabled());
}

TEST(CheckScheduleTest, EveryRunRestartsTheIntervalAndTheServersDelayIsNeverCut) {
    CheckSchedule schedule;
    schedule.setInterval(1min, kStart);
    // The Receive button's run at 30 s: the next check a minute after it.
    schedule.noteRun(kStart + 30s, 0);
    EXPECT_EQ(schedule.nextCheck(), kStart + 90s);
    // A server that wants 15 minutes between logins gets them.
    schedule.noteRun(kStart + 2min, 900);
    EXPECT_EQ(schedule.nextCheck(), kStart + 17min);
    // A run that did not reach the server keeps the delay it said last.
    schedule.noteRun(kStart + 20min, std::nullopt);
    EXPECT_EQ(schedule.nextCheck(), kStart + 35min);
    // A delay shorter than the interval changes nothing.
    schedule.noteRun(kStart + 40min, 10);
    EXPECT_EQ(schedule.nextCheck(), kStart + 41min);
}

}  // namespace
}  // namespace qf::receive
