#include "alerts/Alert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FrameworkTestSupport.h"

namespace tarnwell {
namespace {

TEST(Alert, DescribeTimeSpanWording) {
  const double second = kOneSecond, minute = kOneMinute, hour = kOneHour;
  struct Case {
    double span;
    const char* text;
  } cases[] = {
      {0.4 * second, "Less than 1 second"},
      {1.2 * second, "1 second"},
      {85 * second, "85 seconds"},
      {95 * second, "1 minute 35 seconds"},
      {121 * second, "2 minutes 1 second"},
      {61 * minute + 20 * second, "61 minutes 20 seconds"},
      {89 * minute, "89 minutes"},
      {91 * minute, "1 hour 31 minutes"},
      {24.5 * hour, "24 hours 30 minutes"},
      {26 * hour, "1 day 2 hours"},
      {48.2 * hour, "2 days"},
      {50 * hour, "2 days 2 hours"},
      {49 * hour, "2 days 1 hour"},
      {-5 * second, "Less than 1 second"},
  };
  const TDateTime earlier = EncodeDateTime(2026, 5, 4, 9, 0);
  for (const Case& c : cases)
    EXPECT_EQ(TAlert::DescribeTimeSpan(earlier + c.span, earlier), c.text) << c.text;
}

TEST(Alert, FormatPriceShowsTwoToFourDecimals) {
  struct Case {
    bool plus;
    double value;
    const char* text;
  } cases[] = {
      {false, 12.5, "12.50"},
      {false, 12.125, "12.125"},
      {false, 0.0001, "0.0001"},
      {false, -3, "-3.00"},
      {true, 3, "+3.00"},
      {true, 0, "+0.00"},
      {false, 1.23456, "1.2346"},
      {false, 1234567.1, "1234567.10"},
      {true, -0.25, "-0.25"},
      {false, std::numeric_limits<double>::quiet_NaN(), "***.**"},
      {false, std::numeric_limits<double>::infinity(), "***.**"},
  };
  for (const Case& c : cases) EXPECT_EQ(TAlert::FormatPrice(c.plus, c.value), c.text) << c.value;
}

TEST(Alert, FormatWholeGroupsThousands) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {12500.4, "12,500"},
      {-1234567, "-1,234,567"},
      {999999.5, "1,000,000"},
      {std::numeric_limits<double>::quiet_NaN(), "***"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(TAlert::FormatWhole(value), text) << value;
}

class TTestAlert : public TAlert {
 public:
  static constexpr const char* kClassName = "TTestAlert";
  explicit TTestAlert(const TParamList& params) { CheckParamCount(params, 1, "Expected params: (Symbol)"); }
};

TEST(Alert, ReportsCarryTextQualityAndOneSharedCount) {
  TFactoryRef factory = TGenericDataNodeFactory::Make<TTestAlert>("XYZ");
  std::vector<std::int32_t> seenA, seenB;
  struct TListener {
    void Hit() { seen->push_back(alert->Count()); }
    TAlert* alert;
    std::vector<std::int32_t>* seen;
  };
  auto [nodeA, linkA] = factory->GetNode();
  auto [nodeB, linkB] = TGenericDataNodeFactory::Make<TTestAlert>("XYZ")->GetNode();
  ASSERT_EQ(nodeA, nodeB);  // one alert node per type and symbol
  auto* alert = static_cast<TAlert*>(nodeA);
  TListener a{alert, &seenA}, b{alert, &seenB};
  TOwnedLink holdA(linkA), holdB(linkB);
  TOwnedLink listenA(alert->CreateLink(TW_METHOD(&a, Hit))), listenB(alert->CreateLink(TW_METHOD(&b, Hit)));
  listenA->SetReceiveInput(true);
  listenB->SetReceiveInput(true);

  double quality = -1;
  EXPECT_FALSE(alert->GetQuality(quality));
  EXPECT_EQ(alert->GetString(), "");
  testing::RunOnDataNodeThread([&] { alert->ReportAlert("Up 5", 5); });
  EXPECT_TRUE(alert->GetQuality(quality));
  EXPECT_EQ(quality, 5);
  testing::RunOnDataNodeThread([&] { alert->ReportAlert("Down"); });
  quality = -1;
  EXPECT_FALSE(alert->GetQuality(quality));
  EXPECT_EQ(quality, -1);  // not written when not valid
  EXPECT_EQ(alert->GetString(), "Down");
  EXPECT_EQ(alert->Count(), 2);
  EXPECT_EQ(seenA, (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(seenB, seenA);
  EXPECT_TRUE(alert->IsValid());
  EXPECT_EQ(TGenericDataNodeFactory::Make<TTestAlert>("XYZ")->GetThreadSafe()->GetKey(),
            "TThreadSafeStringDataNode;(13 : TTestAlert;(256 : XYZ))");  // the description is the value
}

TEST(AlertEventData, ValidBitsFollowTheColumnOrder) {
  TAlertEventData data;
  data.Mark(aefBidSize);
  data.Mark(aefVUp30);
  EXPECT_TRUE(data.Has(aefBidSize));
  EXPECT_FALSE(data.Has(aefAskSize));  // independent bits
  EXPECT_EQ(data.Valid, (1u << 2) | (1u << 26));
  EXPECT_EQ(aefSaleCondition, 15);
  EXPECT_EQ(aefPutCall, 16);
  EXPECT_EQ(aefCount, 27);
}

}  // namespace
}  // namespace tarnwell
