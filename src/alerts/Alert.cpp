#include "alerts/Alert.h"

#include <cmath>
#include <cstdio>

namespace tarnwell {
namespace {

// Rounding to the nearest integer, halves to even.
std::int64_t RoundHalfEven(double value) {
  return static_cast<std::int64_t>(std::nearbyint(value));
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  if (n == 1) return one;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, many, static_cast<long long>(n));
  return buffer;
}

// "<big> <small>": the larger unit, then the smaller one when there is any.
std::string TwoUnits(std::int64_t n, std::int64_t per, const char* bigOne, const char* bigMany,
                     const char* smallOne, const char* smallMany) {
  std::string text = Plural(n / per, bigOne, bigMany);
  std::int64_t rest = n % per;
  if (rest == 0) return text;
  return text + " " + Plural(rest, smallOne, smallMany);
}

}  // namespace

void TAlert::ReportAlert(const std::string& description, double quality) {
  ++count_;
  description_ = description;
  quality_ = quality;
  qualityValid_ = true;
  NotifyListeners();
}

void TAlert::ReportAlert(const std::string& description) {
  ++count_;
  description_ = description;
  qualityValid_ = false;
  NotifyListeners();
}

bool TAlert::GetQuality(double& quality) const {
  if (qualityValid_) quality = quality_;
  return qualityValid_;
}

std::string TAlert::DescribeTimeSpan(TDateTime later, TDateTime earlier) {
  const double hours = (later - earlier) * 24;
  if (hours >= 25) return TwoUnits(RoundHalfEven(hours), 24, "1 day", "%lld days", "1 hour", "%lld hours");
  const double minutes = hours * 60;
  if (minutes >= 90) {
    return TwoUnits(RoundHalfEven(minutes), 60, "1 hour", "%lld hours", "1 minute", "%lld minutes");
  }
  const double seconds = minutes * 60;
  if (seconds >= 90) {
    return TwoUnits(RoundHalfEven(seconds), 60, "1 minute", "%lld minutes", "1 second", "%lld seconds");
  }
  const std::int64_t n = RoundHalfEven(seconds);
  if (n >= 2) return Plural(n, "1 second", "%lld seconds");
  if (n == 1) return "1 second";
  return "Less than 1 second";
}

std::string TAlert::FormatPrice(bool showPlus, double value) {
  const double scaled = std::fabs(value) * 10000;
  if (!std::isfinite(scaled) || scaled >= 9.2e18) return "***.**";
  const std::int64_t n = RoundHalfEven(scaled);
  const std::int64_t whole = n / 10000;
  const int d1 = static_cast<int>(n / 1000 % 10), d2 = static_cast<int>(n / 100 % 10),
            d3 = static_cast<int>(n / 10 % 10), d4 = static_cast<int>(n % 10);
  // Written digit by digit: prices are formatted for every statistic of every alert event.
  std::string text = value < 0 ? "-" : showPlus ? "+" : "";
  text += std::to_string(whole);
  text += '.';
  text += static_cast<char>('0' + d1);
  text += static_cast<char>('0' + d2);
  if (d4 > 0) {
    text += static_cast<char>('0' + d3);
    text += static_cast<char>('0' + d4);
  } else if (d3 != 0) {
    text += static_cast<char>('0' + d3);
  }
  return text;
}

std::optional<std::string> TAlertEventData::StatisticText(TAlertEventField field) const {
  if (!Has(field)) return std::nullopt;
  auto price = [](double value) { return TAlert::FormatPrice(false, value); };
  switch (field) {
    case aefPrice:
      return price(Price);
    case aefSpread:
      return price(Spread);
    case aefBidSize:
      return std::to_string(BidSize);
    case aefAskSize:
      return std::to_string(AskSize);
    case aefRelVol:
      return price(RelVol);
    case aefQuality:
      return price(Quality);
    case aefMostRecentClose:
      return price(MostRecentClose);
    case aefExpectedOpen:
      return price(ExpectedOpen);
    case aefDayRange:
      return price(DayRange);
    case aefRsi15:
      return price(Rsi15);
    case aefTVol:
      return std::to_string(TVol);
    case aefUp5:
      return std::to_string(Up5);
    case aefUp10:
      return std::to_string(Up10);
    case aefUp15:
      return std::to_string(Up15);
    case aefUp30:
      return std::to_string(Up30);
    case aefSaleCondition:
      return std::to_string(SaleCondition);
    case aefPutCall:
      return price(PutCall);
    case aefDistanceFromNbbo:
      return price(DistanceFromNbbo);
    case aefTodaysRange:
      return price(TodaysRange);
    case aefPUp5:
      return price(PUp5);
    case aefPUp10:
      return price(PUp10);
    case aefPUp15:
      return price(PUp15);
    case aefPUp30:
      return price(PUp30);
    case aefVUp5:
      return std::to_string(VUp5);
    case aefVUp10:
      return std::to_string(VUp10);
    case aefVUp15:
      return std::to_string(VUp15);
    case aefVUp30:
      return std::to_string(VUp30);
    case aefCount:
      break;
  }
  return std::nullopt;
}

}  // namespace tarnwell
