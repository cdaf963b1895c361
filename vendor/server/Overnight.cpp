#include "server/Overnight.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdexcept>

#include "server/Fields.h"
#include "server/Market.h"

namespace tarnwell::vendor {
namespace {

// The share of the day's prints before the open and after the close, as the market's event rates give them.
constexpr double kExtendedShare = 0.035;

std::string Number(double value, int decimals = 4) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, value);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

std::string Cell(const std::string& text) {
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

class CsvFile {
 public:
  CsvFile(const std::filesystem::path& path, const std::vector<std::string>& header)
      : path_(path), temporary_(path.string() + ".tmp"), out_(temporary_) {
    if (!out_) throw std::runtime_error("cannot write " + temporary_.string() + ": " + std::strerror(errno));
    Row(header);
  }
  void Row(const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) out_ << (i ? "," : "") << Cell(cells[i]);
    out_ << '\n';
  }
  void Commit() {
    out_.close();
    if (!out_) throw std::runtime_error("writing " + temporary_.string() + " failed");
    std::filesystem::rename(temporary_, path_);
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::ofstream out_;
};

double Mean(const std::vector<double>& values) {
  return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

double Sma(const std::vector<DailyBar>& bars, size_t days) {
  std::vector<double> closes;
  for (size_t i = bars.size() - std::min(days, bars.size()); i < bars.size(); ++i)
    closes.push_back(bars[i].close);
  return Mean(closes);
}

// Earlier levels, newest first: each entry is a day whose high beats every later day's (or low undercuts it),
// so the list rises in price (falls for lows) as it goes back in time.
std::string Levels(const std::vector<DailyBar>& bars, bool highs) {
  std::string text;
  double extreme = highs ? -1e300 : 1e300;
  for (size_t i = bars.size(); i-- > 0;) {
    // Levels are compared in cents, as they are written, so that no level repeats the one before it.
    const double value = std::round((highs ? bars[i].high : bars[i].low) * 100) / 100;
    if (highs ? value <= extreme : value >= extreme) continue;
    extreme = value;
    if (!text.empty()) text += ',';
    text += Number(value, 2) + "," + Number(SystemDate(bars[i].day), 0);
  }
  return text;
}

int RunLength(const std::vector<DailyBar>& bars, bool (*holds)(const DailyBar&, const DailyBar&)) {
  int count = 0;
  for (size_t i = bars.size(); i-- > 1 && holds(bars[i], bars[i - 1]);) ++count;
  return count;
}

// Share of the regular session's volume in the quarter hour `period` (1 to 26): the integral of the market's
// U-shaped intensity over that slice.
double PeriodShare(int period) {
  auto integral = [](double u) { return (u + std::pow(2 * u - 1, 3) / 2) / 2; };
  return integral(period / 26.0) - integral((period - 1) / 26.0);
}

// Volume blocks of one day's prints, closed exactly as the engine closes them, as cell text.
std::string VolumeBlocks(const std::vector<SimulatedPrint>& prints, int64_t block_size, int64_t day) {
  std::string cell;
  std::vector<std::pair<double, int64_t>> prices;  // ascending by price
  int64_t filled = 0;
  double first = 1.7e308, last = 0;
  for (const SimulatedPrint& print : prints) {
    int64_t shares = print.size;
    // The system's clock is three hours behind the vendor's.
    const double time = SystemDate(day) + (print.second - kVendorLeadMs / 1000) / 86400.0;
    while (shares > 0) {
      const int64_t n = std::min(shares, block_size - filled);
      first = std::min(first, time);
      last = std::max(last, time);
      auto at = std::lower_bound(prices.begin(), prices.end(), print.price,
                                 [](const auto& entry, double price) { return entry.first < price; });
      if (at != prices.end() && at->first == print.price) {
        at->second += n;
      } else {
        prices.insert(at, {print.price, n});
      }
      filled += n;
      shares -= n;
      if (filled < block_size) continue;
      double marks[3];
      const int64_t targets[3] = {block_size / 4, block_size / 2, 3 * block_size / 4};
      int64_t total = 0;
      size_t k = 0;
      for (int t = 0; t < 3; ++t) {
        while (total + prices[k].second < targets[t]) total += prices[k++].second;
        marks[t] = prices[k].first;
      }
      if (!cell.empty()) cell += ';';
      cell += Number(prices.back().first, 2) + ":" + Number(marks[2], 2) + ":" + Number(marks[1], 2) + ":" +
              Number(marks[0], 2) + ":" + Number(prices.front().first, 2) + ":" + Number(first, 8) + ":" +
              Number(last, 8);
      prices.clear();
      filled = 0;
      first = 1.7e308;
      last = 0;
    }
  }
  return cell;
}

// Candles of the regular session, aligned to its start, as cell text; minutes without prints make no candle.
std::string Candles(const std::vector<SimulatedPrint>& prints, int width) {
  struct Candle {
    double open = 0, high = 0, low = 0, close = 0;
    int64_t volume = 0;
  };
  std::vector<Candle> candles(390 / width + 1);
  for (const SimulatedPrint& print : prints) {
    if (!print.regular_session) continue;
    Candle& c = candles[static_cast<size_t>((print.second - kOpenSecond) / 60 / width)];
    if (c.volume == 0) {
      c = {print.price, print.price, print.price, print.price, 0};
    }
    c.high = std::max(c.high, print.price);
    c.low = std::min(c.low, print.price);
    c.close = print.price;
    c.volume += print.size;
  }
  std::string cell;
  for (const Candle& c : candles) {
    if (c.volume == 0) continue;
    if (!cell.empty()) cell += ';';
    cell += Number(c.open, 2) + ":" + Number(c.high, 2) + ":" + Number(c.low, 2) + ":" + Number(c.close, 2) +
            ":" + std::to_string(c.volume);
  }
  return cell;
}

int64_t NthWeekday(int year, int month, int weekday, int n) {  // weekday 0 = Monday
  int64_t day = DaysFromCivil(year, month, 1);
  while (((day % 7) + 7 + 3) % 7 != weekday) ++day;
  return day + 7 * (n - 1);
}

std::string DateKey(int64_t day) {
  int y, m, d;
  CivilFromDays(day, y, m, d);
  return std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
}

void WriteHolidays(const std::filesystem::path& folder, int64_t day) {
  int year, month, date;
  CivilFromDays(day, year, month, date);
  CsvFile file(folder / "Holidays.csv", {"Date", "Closed", "Name", "Start Late", "End Early"});
  file.Row({"1/1", "1", "New Year's Day", "", ""});
  file.Row({"7/4", "1", "Independence Day", "", ""});
  file.Row({"12/25", "1", "Christmas", "", ""});
  const int64_t thanksgiving = NthWeekday(year, 11, 3, 4);
  file.Row({DateKey(thanksgiving), "1", "Thanksgiving", "", ""});
  file.Row({DateKey(thanksgiving + 1), "", "Day after Thanksgiving", "", "180"});
  file.Row({DateKey(NthWeekday(year, 9, 0, 1)), "1", "Labor Day", "", ""});
  file.Row({DateKey(DaysFromCivil(year, 12, 24)), "", "Christmas Eve", "", "180"});
  file.Commit();
}

}  // namespace

void WriteOvernightFiles(const Universe& universe, int64_t day, const std::string& folder_name) {
  const std::filesystem::path folder(folder_name);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw std::runtime_error("cannot create " + folder_name + ": " + error.message());

  std::vector<std::string> widths;
  for (int width : kCandleWidths) widths.push_back(std::to_string(width));
  std::vector<std::string> periods{"Symbol", "Pre"};
  for (int p = 1; p <= 27; ++p) periods.push_back(std::to_string(p));
  std::vector<std::string> candle_header{"Symbol"};
  candle_header.insert(candle_header.end(), widths.begin(), widths.end());

  CsvFile overnight(folder / "OvernightData.csv",
                    {"Symbol", "Volume Break", "Avg Daily Volume", "Tick Volatility", "Correlation Symbol",
                     "Correlation M", "F Correlation M", "Bright Volatility", "Shares per Print"});
  CsvFile technical(folder / "TC_OvernightData.csv",
                    {"Symbol", "Up Days", "Range Contraction", "200 Day SMA", "50 Day SMA", "20 Day SMA",
                     "Highs", "Lows", "EarliestDate"});
  CsvFile blocks(folder / "VB_OvernightData.csv", {"Symbol", "Vol"});
  CsvFile volumes(folder / "V_OvernightData.csv", periods);
  CsvFile candles(folder / "SC_OvernightData.csv", candle_header);
  std::ofstream symbols_file(folder / "symbols.txt.tmp");

  const DayFactors previous_factors(universe, PreviousWeekday(day));
  for (size_t i = 0; i < universe.Symbols().size(); ++i) {
    const SymbolInfo& info = universe.Symbols()[i];
    symbols_file << info.symbol << '\n';
    if (info.kind == SymbolKind::kTime || info.kind == SymbolKind::kIndex) continue;
    std::vector<SimulatedPrint> prints;
    const std::vector<DailyBar> history = SimulatedHistory(universe, i, day, previous_factors, &prints);
    const size_t n = history.size();
    std::vector<double> volumes20, changes;
    for (size_t k = n - 20; k < n; ++k) {
      volumes20.push_back(static_cast<double>(history[k].volume));
      changes.push_back(history[k].close - history[k - 1].close);
    }
    const double adv = std::round(Mean(volumes20));
    const double mean_change = Mean(changes);
    double variance = 0;
    for (double c : changes) variance += (c - mean_change) * (c - mean_change);
    const double tick_volatility = std::sqrt(variance / (changes.size() - 1));
    const bool slash = info.kind == SymbolKind::kSlash;
    const double volume_break =
        slash ? std::max(1.0, std::round(adv / 44)) : std::max(100.0, std::round(adv / 4400) * 100);
    const int64_t day_volume =
        std::accumulate(prints.begin(), prints.end(), int64_t{0},
                        [](int64_t sum, const SimulatedPrint& p) { return sum + p.size; });
    const double shares_per_print = prints.empty() ? 0 : static_cast<double>(day_volume) / prints.size();
    const bool stock = info.kind == SymbolKind::kStock;
    const std::string correlation_symbol = stock ? info.correlation_symbol : "QQQQ";
    const double correlation = stock ? info.beta : info.factor == 0 ? 1.0 : 0.8;
    const double market_correlation = info.factor == 0 ? info.beta : info.beta * 0.8;
    overnight.Row({info.symbol, Number(volume_break, 0), Number(adv, 0), Number(tick_volatility),
                   correlation_symbol, Number(correlation), Number(market_correlation),
                   Number(tick_volatility / std::sqrt(26.0)), Number(shares_per_print, 1)});

    technical.Row(
        {info.symbol,
         std::to_string(
             RunLength(history, [](const DailyBar& d, const DailyBar& p) { return d.close > p.close; })),
         std::to_string(RunLength(
             history, [](const DailyBar& d, const DailyBar& p) { return d.high - d.low < p.high - p.low; })),
         Number(Sma(history, 200)), Number(Sma(history, 50)), Number(Sma(history, 20)), Levels(history, true),
         Levels(history, false), Number(SystemDate(history.front().day), 0)});

    blocks.Row({info.symbol + "_" + Number(volume_break, 0),
                VolumeBlocks(prints, static_cast<int64_t>(volume_break), PreviousWeekday(day))});

    std::vector<std::string> row{info.symbol, Number(std::round(adv * kExtendedShare), 0)};
    for (int p = 1; p <= 26; ++p)
      row.push_back(Number(std::round(adv * (1 - 2 * kExtendedShare) * PeriodShare(p)), 0));
    row.push_back(Number(std::round(adv * kExtendedShare), 0));
    volumes.Row(row);

    std::vector<std::string> candle_row{info.symbol};
    for (int width : kCandleWidths) candle_row.push_back(Candles(prints, width));
    candles.Row(candle_row);
  }
  overnight.Commit();
  technical.Commit();
  blocks.Commit();
  volumes.Commit();
  candles.Commit();
  symbols_file.close();
  if (!symbols_file) throw std::runtime_error("writing " + (folder / "symbols.txt").string() + " failed");
  std::filesystem::rename(folder / "symbols.txt.tmp", folder / "symbols.txt");
  WriteHolidays(folder, day);
}

}  // namespace tarnwell::vendor
