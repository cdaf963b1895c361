// Turning points, the pattern examiners and the Fibonacci goals, driven by hand-made blocks and points.
#include <gtest/gtest.h>

#include "alerts/definitions/FibonacciAlerts.h"
#include "alerts/definitions/GeometricPatterns.h"

namespace tarnwell {
namespace {

TVolumeBlock Block(double hi, double lo, TDateTime start = 0) {
  return {hi, hi, (hi + lo) / 2, lo, lo, start, start};
}

TVBMMTurningPoints Alternating(std::vector<double> prices, bool firstIsMin, std::int32_t blockStep = 1) {
  TVBMMTurningPoints points;
  for (std::size_t i = 0; i < prices.size(); ++i) {
    points.push_back({prices[i], static_cast<std::int32_t>(i) * blockStep, (i % 2 == 0) == firstIsMin});
  }
  return points;
}

TEST(TurningPoints, FollowTheBlocksBetweenHighsAndLows) {
  struct TCase {
    const char* what;
    std::vector<std::pair<double, double>> blocks;  // hi, lo
    TVBMMTurningPoints points;
  } cases[] = {
      {"rising blocks make no turn", {{10, 9}, {11, 10}, {12, 11}, {13, 12}}, {}},
      {"a block below the highest makes a maximum at its upper price",
       {{10, 9}, {11, 10}, {12, 11}, {11.5, 10.5}},
       {{12, 2, false}}},
      {"then a block above the lowest since makes a minimum",
       {{10, 9}, {11, 10}, {12, 11}, {11.5, 10.5}, {11, 10}, {11.2, 10.2}},
       {{12, 2, false}, {10, 4, true}}},
      {"an inside block waits; one above it after a rise gives a maximum and a minimum on the extreme",
       {{10, 9}, {12, 11}, {11.8, 11.2}, {11.9, 11.3}},
       {{12, 1, false}, {11, 1, true}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TVolumeBlockMinAndMaxAccumulator accumulator;
    for (const auto& [hi, lo] : c.blocks) accumulator.Add(Block(hi, lo));
    EXPECT_EQ(accumulator.TurningPoints(), c.points);
    EXPECT_EQ(accumulator.Count(), static_cast<std::int32_t>(c.blocks.size()));
  }
}

TEST(PatternExaminers, FindTheShapesOfTheirKind) {
  const TTolerance none = [](std::int32_t) { return 0.0; };
  const TTolerance half = [](std::int32_t) { return 0.5; };

  auto triangle = ExamineNarrowingTriangle(Alternating({10, 5, 9, 6, 8}, false), 4);
  ASSERT_TRUE(triangle);
  EXPECT_FALSE(triangle->Up) << "its oldest point is a maximum: a top";
  EXPECT_EQ(triangle->Prices, (std::vector<double>{10, 5, 9, 6, 8}));
  EXPECT_FALSE(ExamineNarrowingTriangle(Alternating({5, 9, 6, 8}, true), 3)) << "four points are no triangle";
  EXPECT_FALSE(ExamineNarrowingTriangle(Alternating({10, 5, 11, 6, 8}, false), 4))
      << "a higher middle maximum";

  auto broadening = ExamineBroadeningTriangle(Alternating({8, 6, 9, 5, 10}, false), 4);
  ASSERT_TRUE(broadening);
  EXPECT_FALSE(broadening->Up) << "its newest point is a maximum";

  const auto flat = Alternating({10, 8, 10.2, 8.1, 10.1}, false);
  auto rectangle = ExamineRectangle(flat, 4, half);
  ASSERT_TRUE(rectangle);
  EXPECT_EQ(rectangle->Start, 0u);
  EXPECT_FALSE(ExamineRectangle(flat, 4, none)) << "without a volatility the prices must be equal";
  EXPECT_TRUE(ExamineRectangle(Alternating({10, 8, 10, 8, 10}, false), 4, none));

  const auto shoulders = Alternating({10, 9, 11, 9.1, 10.1}, false);
  auto top = ExamineHeadAndShoulders(shoulders, 4, half);
  ASSERT_TRUE(top);
  EXPECT_TRUE(top->Up) << "a head and shoulders top";
  EXPECT_FALSE(ExamineHeadAndShoulders(shoulders, 4, none));
  EXPECT_FALSE(ExamineHeadAndShoulders(Alternating({10, 9, 10.4, 9.1, 10.1}, false), 4, half))
      << "head too low";
}

TEST(PatternExaminers, DoubleTopsNeedMoreThanTwentyBlocksAndADipBetween) {
  const TTolerance none = [](std::int32_t) { return 0.0; };
  TVBMMTurningPoints points = {{9, 0, true}, {12, 5, false}, {10, 15, true}, {12, 25, false}};
  EXPECT_FALSE(ExamineDoubleTop(points, 3, none, true)) << "20 blocks apart";
  points[3].BlockIndex = 26;
  auto found = ExamineDoubleTop(points, 3, none, true);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Prices, (std::vector<double>{12, 12}));
  points[2].Price = 12;  // no dip below the band between the tops
  EXPECT_FALSE(ExamineDoubleTop(points, 3, none, true));
  TVBMMTurningPoints bottoms = {{13, 0, false}, {10, 5, true},   {12, 15, false},
                                {10, 20, true}, {12, 25, false}, {10, 30, true}};
  auto triple = ExamineDoubleTop(bottoms, 5, none, false);
  ASSERT_TRUE(triple);
  EXPECT_EQ(triple->Prices.size(), 3u);
  EXPECT_FALSE(triple->Up);
}

TEST(PatternPrices, ElevenAreShownAsARange) {
  EXPECT_EQ(DescribePatternPrices({10, 9.5, 10.25}), "10.00, 9.50, 10.25");
  EXPECT_EQ(DescribePatternPrices({10, 9, 11, 8, 12, 7, 13, 6, 14, 5, 15}), "5.00 - 15.00");
}

TEST(FibonacciGoals, BuildAndCheckTheRetracements) {
  // A minimum at 10 (block 0), a maximum at 20 (block 5), and blocks since whose lowest lower price is 17.
  TVolumeBlocks blocks(8, Block(19, 18));
  blocks[0] = Block(11, 10);
  blocks[5] = Block(20, 19);
  blocks[7] = Block(18, 17);
  const TVBMMTurningPoints points = {{10, 0, true}, {20, 5, false}};
  TGoalSet goals = BuildFibGoals(points, blocks, 0.381966, true);
  ASSERT_EQ(goals.size(), 1u);
  EXPECT_NEAR(goals[0].Level, 16.18034, 1e-9);
  EXPECT_TRUE(CheckFibGoals(goals, 16.19, true).empty());
  ASSERT_EQ(goals.size(), 1u);
  TGoalSet broken = goals;
  EXPECT_TRUE(CheckFibGoals(broken, 20.01, true).empty());
  EXPECT_TRUE(broken.empty()) << "a print past the swing's top ends it silently";
  ASSERT_EQ(CheckFibGoals(goals, 16.18, true).size(), 1u);
  EXPECT_TRUE(goals.empty());

  blocks[7] = Block(18, 16);  // it has retraced already
  EXPECT_TRUE(BuildFibGoals(points, blocks, 0.381966, true).empty());

  // The last turn a minimum: the swing from it ends provisionally at the highest upper price since.
  TVolumeBlocks rising(4, Block(12, 11));
  rising[0] = Block(11, 10);
  rising[2] = Block(14, 13);
  rising[3] = Block(13.5, 12.5);  // not yet back to the middle of 10 to 14
  TGoalSet provisional = BuildFibGoals({{10, 0, true}}, rising, 0.5, true);
  ASSERT_EQ(provisional.size(), 1u);
  EXPECT_EQ(provisional[0].Extreme, 14);
  EXPECT_EQ(provisional[0].Origin, 10);

  // Two goals of one top: a print past both reports the most recent swing start only.
  TGoalSet pair = {{3, 12, 20, 15}, {1, 10, 20, 13}};
  const std::vector<TGoal> reported = CheckFibGoals(pair, 12, true);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].BlockIndex, 3);
  EXPECT_TRUE(pair.empty());
}

TEST(FibonacciGoals, SellGoalsMirrorBuyGoals) {
  TVolumeBlocks blocks(8, Block(12, 11));
  blocks[0] = Block(20, 19);
  blocks[5] = Block(11, 10);
  const TVBMMTurningPoints points = {{20, 0, false}, {10, 5, true}};
  TGoalSet goals = BuildFibGoals(points, blocks, 0.5, false);
  ASSERT_EQ(goals.size(), 1u);
  EXPECT_EQ(goals[0].Level, 15);
  EXPECT_TRUE(CheckFibGoals(goals, 14.99, false).empty());
  EXPECT_EQ(CheckFibGoals(goals, 15, false).size(), 1u);
}

}  // namespace
}  // namespace tarnwell

namespace tarnwell {
namespace {

TEST(PatternAlerts, AnUnknownPatternTypeIsRefused) {
  TFactoryRef factory = TGenericDataNodeFactory::Make<TSimpleGeometricPatternAlert>("IBM", 4, true);
  try {
    factory->GetNode();
    ADD_FAILURE() << "type 4 made a node";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Invalid pattern type:  4"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tarnwell
