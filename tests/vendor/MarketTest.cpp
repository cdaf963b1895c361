// One day of the synthetic market, in process: it must exercise what the alerts look for.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "server/Fields.h"
#include "server/Market.h"

namespace tarnwell::vendor {
namespace {

const FieldValue* Field(const Update& update, uint16_t number) {
  for (const FieldValue& field : update.fields) {
    if (field.number == number) return &field;
  }
  return nullptr;
}

int SecondOfDay(const Update& update) {
  return static_cast<int>(update.time_ms % kMsPerDay / 1000);
}

TEST(MarketTest, OneDayExercisesWhatTheAlertsLookFor) {
  const Universe universe(80, 5);
  const int64_t day = DaysFromCivil(2026, 12, 9);
  Market market(universe, day, day * kMsPerDay + kMsPerDay - 1);
  std::map<std::string, SymbolKind> kinds;
  for (const SymbolInfo& info : universe.Symbols()) kinds[info.symbol] = info.kind;

  RecordStore records;
  std::map<std::string, std::pair<int, int>> quote;  // symbol -> bid, ask in cents
  int form_t_before_open = 0, form_t_after_close = 0, regular_outside_session = 0, irregular = 0, blocks = 0;
  int locked = 0, crossed = 0, regional_equal = 0, regional_different = 0, time_prints = 0, big_gaps = 0;
  int last_time_second = 0;
  int64_t volume_by_half_hour[13] = {};
  int64_t previous_time = 0;
  while (const Update* update = market.Peek()) {
    ASSERT_GE(update->time_ms, previous_time) << "updates come in time order";
    previous_time = update->time_ms;
    records.Apply(*update);
    const int second = SecondOfDay(*update);
    const SymbolKind kind = kinds.at(update->symbol);
    if (update->symbol == "$TIME" && Field(*update, fid::kTrdTim1) != nullptr) {
      EXPECT_EQ(second - last_time_second, 10);
      EXPECT_EQ(Field(*update, fid::kTrdTim1)->integer, second) << "the time print carries the server's time";
      last_time_second = second;
      ++time_prints;
    }
    if (kind != SymbolKind::kStock || Field(*update, fid::kHstClose) != nullptr) {
      market.Pop();
      continue;
    }
    if (const FieldValue* condition = Field(*update, fid::kSaleCondition)) {
      form_t_before_open += second < kOpenSecond && condition->integer == 20;
      form_t_after_close += second >= kCloseSecond && condition->integer == 21;
    }
    if (Field(*update, fid::kTrdPrc1) != nullptr) {
      regular_outside_session += second < kOpenSecond || second >= kCloseSecond;
      const FieldValue* condition = Field(*update, fid::kIrgCond);
      irregular += condition != nullptr && condition->integer != 0;
      const int size = Field(*update, fid::kTrdVol1)->integer;
      blocks += size >= 10000;
      volume_by_half_hour[std::clamp((second - kOpenSecond) / 1800, 0, 12)] += size;
      if (const FieldValue* open = Field(*update, fid::kOpenPrc)) {
        double close = 0;
        for (const FieldValue& field : *records.Find(Table::kLiveQuote, update->symbol, "")) {
          if (field.number == fid::kHstClose) close = field.AsDouble();
        }
        big_gaps += std::abs(open->AsDouble() / close - 1) > 0.02;
      }
    }
    if (Field(*update, fid::kBid) != nullptr || Field(*update, fid::kAsk) != nullptr) {
      int bid = 0, ask = 0;
      for (const FieldValue& field : *records.Find(Table::kLiveQuote, update->symbol, "")) {
        if (field.number == fid::kBid) bid = field.integer;
        if (field.number == fid::kAsk) ask = field.integer;
      }
      locked += bid == ask;
      crossed += bid > ask;
      quote[update->symbol] = {bid, ask};
    }
    if (update->table == Table::kRegional && Field(*update, fid::kRegionalBid) != nullptr) {
      const bool same = Field(*update, fid::kRegionalBid)->integer == quote[update->symbol].first;
      regional_equal += same;
      regional_different += !same;
    }
    market.Pop();
  }
  EXPECT_GT(form_t_before_open, 0);
  EXPECT_GT(form_t_after_close, 0);
  EXPECT_EQ(regular_outside_session, 0) << "extended-hours stock prints are all form T";
  EXPECT_GT(irregular, 0);
  EXPECT_GT(blocks, 0);
  EXPECT_GT(locked, 0);
  EXPECT_GT(crossed, 0);
  EXPECT_GT(regional_equal, regional_different);
  EXPECT_GT(regional_different, 0);
  EXPECT_GT(big_gaps, 0);
  EXPECT_EQ(time_prints, 8639);
  // Intraday volume is U-shaped: the first and last half hours trade more than the middle of the day.
  EXPECT_GT(volume_by_half_hour[0], 2 * volume_by_half_hour[6]);
  EXPECT_GT(volume_by_half_hour[12], 2 * volume_by_half_hour[6]);
}

TEST(MarketTest, TheSessionEndsAtTheCloseTheDailyHistoryContinuesFrom) {
  const Universe universe(30, 9);
  const int64_t day = DaysFromCivil(2026, 3, 4);
  Market market(universe, day, day * kMsPerDay + kCloseSecond * 1000LL);
  std::map<std::string, double> last_regular;
  while (const Update* update = market.Peek()) {
    if (const FieldValue* price = Field(*update, fid::kTrdPrc1);
        price != nullptr && update->symbol != "$TIME") {
      last_regular[update->symbol] = price->AsDouble();
    }
    market.Pop();
  }
  for (size_t i = 0; i < universe.Symbols().size(); ++i) {
    const SymbolInfo& info = universe.Symbols()[i];
    if (info.kind != SymbolKind::kStock) continue;
    SCOPED_TRACE(info.symbol);
    EXPECT_NEAR(last_regular[info.symbol], universe.CloseOn(i, day), 0.005);
  }
}

}  // namespace
}  // namespace tarnwell::vendor
