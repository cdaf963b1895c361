#include "alerts/Alert.h"

#include <charconv>
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
  std::string text;
  AppendPrice(text, showPlus, value);
  return text;
}

void TAlert::AppendPrice(std::string& text, bool showPlus, double value) {
  const double scaled = std::fabs(value) * 10000;
  if (!std::isfinite(scaled) || scaled >= 9.2e18) {
    text += "***.**";
    return;
  }
  const std::int64_t n = RoundHalfEven(scaled);
  const std::int64_t whole = n / 10000;
  const int d1 = static_cast<int>(n / 1000 % 10), d2 = static_cast<int>(n / 100 % 10),
            d3 = static_cast<int>(n / 10 % 10), d4 = static_cast<int>(n % 10);
  // Written digit by digit into the caller's text: prices are formatted for every statistic of every alert
  // event.
  char buffer[32];
  char* at = buffer;
  if (value < 0) {
    *at++ = '-';
  } else if (showPlus) {
    *at++ = '+';
  }
  at = std::to_chars(at, buffer + sizeof buffer, whole).ptr;
  *at++ = '.';
  *at++ = static_cast<char>('0' + d1);
  *at++ = static_cast<char>('0' + d2);
  if (d4 > 0) {
    *at++ = static_cast<char>('0' + d3);
    *at++ = static_cast<char>('0' + d4);
  } else if (d3 != 0) {
    *at++ = static_cast<char>('0' + d3);
  }
  text.append(buffer, at);
}

std::string TAlert::FormatWhole(double value) {
  const double rounded = std::nearbyint(value);
  if (!std::isfinite(rounded) || std::abs(rounded) >= 1e18) return "***";
  const long long whole = static_cast<long long>(rounded);
  std::string digits = std::to_string(whole < 0 ? -whole : whole);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<std::size_t>(at), ",");
  return whole < 0 ? "-" + digits : digits;
}

namespace {

// Each statistic in column order: written as a price, or as a whole number.
struct TStatisticColumn {
  bool price;
  double (*value)(const TAlertEventData&);
};
constexpr TStatisticColumn kStatisticColumns[aefCount] = {
    {true, [](const TAlertEventData& d) { return d.Price; }},
    {true, [](const TAlertEventData& d) { return d.Spread; }},
    {false, [](const TAlertEventData& d) { return double(d.BidSize); }},
    {false, [](const TAlertEventData& d) { return double(d.AskSize); }},
    {true, [](const TAlertEventData& d) { return d.RelVol; }},
    {true, [](const TAlertEventData& d) { return d.Quality; }},
    {true, [](const TAlertEventData& d) { return d.MostRecentClose; }},
    {true, [](const TAlertEventData& d) { return d.ExpectedOpen; }},
    {true, [](const TAlertEventData& d) { return d.DayRange; }},
    {true, [](const TAlertEventData& d) { return d.Rsi15; }},
    {false, [](const TAlertEventData& d) { return double(d.TVol); }},
    {false, [](const TAlertEventData& d) { return double(d.Up5); }},
    {false, [](const TAlertEventData& d) { return double(d.Up10); }},
    {false, [](const TAlertEventData& d) { return double(d.Up15); }},
    {false, [](const TAlertEventData& d) { return double(d.Up30); }},
    {false, [](const TAlertEventData& d) { return double(d.SaleCondition); }},
    {true, [](const TAlertEventData& d) { return d.PutCall; }},
    {true, [](const TAlertEventData& d) { return d.DistanceFromNbbo; }},
    {true, [](const TAlertEventData& d) { return d.TodaysRange; }},
    {true, [](const TAlertEventData& d) { return d.PUp5; }},
    {true, [](const TAlertEventData& d) { return d.PUp10; }},
    {true, [](const TAlertEventData& d) { return d.PUp15; }},
    {true, [](const TAlertEventData& d) { return d.PUp30; }},
    {false, [](const TAlertEventData& d) { return double(d.VUp5); }},
    {false, [](const TAlertEventData& d) { return double(d.VUp10); }},
    {false, [](const TAlertEventData& d) { return double(d.VUp15); }},
    {false, [](const TAlertEventData& d) { return double(d.VUp30); }},
};

}  // namespace

std::optional<std::string> TAlertEventData::StatisticText(TAlertEventField field) const {
  std::string text;
  if (!AppendStatisticText(field, text)) return std::nullopt;
  return text;
}

bool TAlertEventData::AppendStatisticText(TAlertEventField field, std::string& text) const {
  if (field < 0 || field >= aefCount || !Has(field)) return false;
  const TStatisticColumn& column = kStatisticColumns[field];
  const double value = column.value(*this);
  if (column.price) {
    TAlert::AppendPrice(text, false, value);
    return true;
  }
  // Whole numbers are 32-bit or smaller, so the double holds them exactly.
  char buffer[24];
  text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(value)).ptr);
  return true;
}

}  // namespace tarnwell
