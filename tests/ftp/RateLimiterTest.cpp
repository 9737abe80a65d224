#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ftp/RateLimiter.h"
#include "ftp/RateShare.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kSecond = 1'000'000;

// Drives limiters as the data path does: a step moves StepSize bytes when DelayUs is 0, else the
// clock moves on by the delay. Returns the bytes each limiter moved until endUs.
std::vector<int64_t> Drive(std::vector<RateLimiter*> limiters, int64_t& nowUs, int64_t endUs,
                           int64_t maxStep = 128 * 1024) {
  std::vector<int64_t> moved(limiters.size(), 0);
  std::vector<int64_t> readyAt(limiters.size(), nowUs);
  while (true) {
    size_t next = 0;
    for (size_t i = 1; i < limiters.size(); ++i) {
      if (readyAt[i] < readyAt[next]) next = i;
    }
    nowUs = readyAt[next];
    if (nowUs >= endUs) break;
    RateLimiter& l = *limiters[next];
    const int64_t wait = l.DelayUs(nowUs);
    if (wait > 0) {
      readyAt[next] = nowUs + wait;
      continue;
    }
    const int64_t step = l.StepSize(maxStep);
    l.Consume(step, nowUs);
    moved[next] += step;
    readyAt[next] = nowUs + 50;  // the time a step takes on the wire
  }
  return moved;
}

TEST(RateLimiterTest, HoldsTheRateWithinOnePercentAtLowAndHighRates) {
  for (const int64_t rate : {int64_t{1} * kMiB, int64_t{50} * kMiB, int64_t{10'000}}) {
    int64_t now = 5 * kSecond;
    RateLimiter limiter(rate, now);
    const int64_t moved = Drive({&limiter}, now, now + 10 * kSecond)[0];
    // Steps are whole: the first burst and the step under way at the end are the slack.
    EXPECT_NEAR(
        static_cast<double>(moved), 10.0 * static_cast<double>(rate),
        0.01 * 10.0 * static_cast<double>(rate) + 2.0 * static_cast<double>(limiter.Burst()))
        << "rate " << rate;
  }
}

TEST(RateLimiterTest, BurstIsOneStepAndIdleTimeDoesNotBankMore) {
  int64_t now = 0;
  RateLimiter limiter(kMiB, now);
  EXPECT_EQ(limiter.Burst(), kMiB / RateLimiter::kStepsPerSecond);
  EXPECT_EQ(limiter.StepSize(128 * 1024), limiter.Burst());
  EXPECT_EQ(limiter.StepSize(1000), 1000);
  // The first step goes at once; the second waits for its share of a second.
  EXPECT_EQ(limiter.DelayUs(now), 0);
  limiter.Consume(limiter.Burst(), now);
  limiter.Consume(limiter.Burst(), now);
  EXPECT_NEAR(static_cast<double>(limiter.DelayUs(now)), kSecond / 20.0, 2.0);
  // A minute idle earns one burst, not a minute's worth.
  now += 60 * kSecond;
  EXPECT_EQ(limiter.DelayUs(now), 0);
  EXPECT_DOUBLE_EQ(limiter.Balance(), static_cast<double>(limiter.Burst()));
  // Small rates still step in whole kMinStep pieces.
  EXPECT_EQ(RateLimiter(100, 0).Burst(), RateLimiter::kMinStep);
}

TEST(RateLimiterTest, ZeroIsNoLimitAndHugeRatesNeverWaitOrOverflow) {
  RateLimiter none(0, 0);
  EXPECT_FALSE(none.Limited());
  none.Consume(INT64_MAX / 2, 0);
  EXPECT_EQ(none.DelayUs(0), 0);
  EXPECT_EQ(none.StepSize(128 * 1024), 128 * 1024);
  RateLimiter negative(-5, 0);
  EXPECT_FALSE(negative.Limited());

  RateLimiter huge(INT64_MAX, 0);
  EXPECT_TRUE(huge.Limited());
  EXPECT_EQ(huge.StepSize(128 * 1024), 128 * 1024);
  huge.Consume(128 * 1024, 0);
  EXPECT_EQ(huge.DelayUs(1), 0);
  // A debt far beyond the rate waits at most a second at a time.
  RateLimiter slow(1, 0);
  slow.Consume(INT64_MAX / 4, 0);
  EXPECT_EQ(slow.DelayUs(0), 1'000'000);
}

TEST(RateLimiterTest, ChangesOfTheRateCountFromTheirMoment) {
  int64_t now = 0;
  RateLimiter limiter(kMiB, now);
  Drive({&limiter}, now, 2 * kSecond);
  limiter.SetRate(4 * kMiB, now);
  const int64_t fast = Drive({&limiter}, now, now + 2 * kSecond)[0];
  EXPECT_NEAR(static_cast<double>(fast), 8.0 * kMiB, 0.02 * 8 * kMiB);
  limiter.SetRate(0, now);
  EXPECT_EQ(limiter.DelayUs(now), 0);
  // From none to limited: the first step goes at once again.
  limiter.SetRate(kMiB, now);
  EXPECT_EQ(limiter.DelayUs(now), 0);
}

TEST(RateLimiterTest, ClockStepsGiveNoExtraBytes) {
  int64_t now = 100 * kSecond;
  RateLimiter limiter(kMiB, now);
  limiter.Consume(kMiB, now);  // a second of debt
  const int64_t wait = limiter.DelayUs(now);
  EXPECT_GT(wait, 900'000);
  // Back by an hour: no time passed, the debt stands and is paid from the new reading on.
  now -= 3600 * kSecond;
  EXPECT_EQ(limiter.DelayUs(now), wait);
  now += wait;
  EXPECT_EQ(limiter.DelayUs(now), 0);
  // Ahead by a day: one burst, no more.
  now += 86400 * kSecond;
  limiter.DelayUs(now);
  EXPECT_DOUBLE_EQ(limiter.Balance(), static_cast<double>(limiter.Burst()));
}

TEST(RateShareTest, FairRatesShareEquallyAndPassOnWhatLowLimitsLeave) {
  EXPECT_EQ(RateShare::FairRates(900, {0, 0, 0}), (std::vector<int64_t>{300, 300, 300}));
  // A member limited to 100 leaves 800 to the other two.
  EXPECT_EQ(RateShare::FairRates(900, {0, 100, 0}), (std::vector<int64_t>{400, 100, 400}));
  // Own limits above the part are cut to it.
  EXPECT_EQ(RateShare::FairRates(900, {1000, 2000, 50}), (std::vector<int64_t>{425, 425, 50}));
  // No total: own limits stand, 0 stays none.
  EXPECT_EQ(RateShare::FairRates(0, {0, 100}), (std::vector<int64_t>{0, 100}));
  // More members than bytes: nobody gets 0 (which would be no limit).
  for (int64_t r : RateShare::FairRates(2, {0, 0, 0, 0})) EXPECT_GE(r, 1);
  EXPECT_EQ(RateShare::FairRates(INT64_MAX, {0, 7}), (std::vector<int64_t>{INT64_MAX - 7, 7}));
}

TEST(RateShareTest, RunningTransfersSplitTheTotalAndTakeOverTheShareOfOneThatLeaves) {
  int64_t now = 0;
  RateShare share;
  share.SetTotal(2 * kMiB, now);
  RateLimiter a, b, c;
  share.Join(a, 0, now);
  share.Join(b, 0, now);
  share.Join(c, kMiB / 4, now);
  EXPECT_EQ(share.Members(), 3);
  std::vector<int64_t> moved = Drive({&a, &b, &c}, now, 10 * kSecond);
  EXPECT_NEAR(static_cast<double>(moved[0]), 8.75 * kMiB, 0.02 * 8.75 * kMiB);
  EXPECT_NEAR(static_cast<double>(moved[1]), 8.75 * kMiB, 0.02 * 8.75 * kMiB);
  EXPECT_NEAR(static_cast<double>(moved[2]), 2.5 * kMiB, 0.02 * 2.5 * kMiB);
  share.Leave(b, now);
  share.Leave(b, now);  // twice is harmless
  EXPECT_EQ(a.Rate(), 2 * kMiB - kMiB / 4);
  // The total lowered on a reload reaches the running transfers; 0 leaves their own limits.
  share.SetTotal(kMiB, now);
  EXPECT_EQ(a.Rate(), kMiB - kMiB / 4);
  share.SetTotal(0, now);
  EXPECT_FALSE(a.Limited());
  EXPECT_EQ(c.Rate(), kMiB / 4);
  EXPECT_TRUE(share.Limits(1));
  EXPECT_FALSE(share.Limits(0));
}

}  // namespace
}  // namespace orvane
