#include "alerts/definitions/HeartbeatAlert.h"

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

TEST(Heartbeat, BeatsSpreadEveryChannelOverFiveMinutes) {
  struct TCase {
    std::int32_t channels;
    std::vector<std::int32_t> beats;  // the first seconds' beats
  } cases[] = {
      {150, {0, 1, 0, 1, 0, 1}},  // 0.5 rounds to 0 (halves to even), 1.0 to 1
      {600, {2, 2, 2, 2}},
      {3000, {10, 10, 10}},
  };
  for (const TCase& c : cases) {
    double carry = 0;
    std::vector<std::int32_t> beats;
    for (std::size_t i = 0; i < c.beats.size(); ++i)
      beats.push_back(THeartbeatDispatch::BeatsDue(carry, c.channels));
    EXPECT_EQ(beats, c.beats) << c.channels;
  }
  double carry = 0;
  std::int32_t total = 0;
  for (int second = 0; second < 3000; ++second) total += THeartbeatDispatch::BeatsDue(carry, 1);
  EXPECT_EQ(total, 10) << "one channel: a beat every 300 seconds";
}

TEST(Heartbeat, WeightsDoubleWithEachTrailingOneBit) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 5},  {1, 10}, {2, 5},     {3, 20},
                                                         {7, 40}, {8, 5},  {127, 640}, {128, 5}};
  for (const auto& [phase, weight] : cases) EXPECT_EQ(THeartbeat::Weight(phase), weight) << phase;
}

}  // namespace
}  // namespace tarnwell
