#include "server/Universe.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include "server/Random.h"

namespace tarnwell::vendor {
namespace {

constexpr double kReversion = 0.003;  // pull of the log price back toward the symbol's level, per day

const char* const kSyllables[] = {"ar",   "bel", "cor", "dan", "el",  "fen", "gar", "hol",
                                  "is",   "jor", "kel", "lin", "mar", "nor", "or",  "pel",
                                  "quin", "ros", "sel", "tor", "ul",  "ven", "wes", "xan",
                                  "yor",  "zel", "ba",  "ce",  "di",  "mo",  "ru",  "ta"};
const char* const kSuffixes[] = {"Inc",     "Corp",         "Holdings", "Group",     "Industries",
                                 "Systems", "Therapeutics", "Energy",   "Financial", "Technologies"};
const char* const kSectorNames[] = {"Technology",  "Financials", "Health Care", "Energy",
                                    "Industrials", "Consumer",   "Utilities",   "Materials"};

std::string CompanyName(Rng& rng) {
  std::string name;
  const int syllables = 2 + rng.Below(2);
  for (int i = 0; i < syllables; ++i) name += kSyllables[rng.Below(std::size(kSyllables))];
  name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name + " " + kSuffixes[rng.Below(std::size(kSuffixes))];
}

std::string Ticker(Rng& rng) {
  const double u = rng.Uniform();
  const int length = u < 0.02 ? 1 : u < 0.10 ? 2 : u < 0.55 ? 3 : 4;
  std::string ticker;
  for (int i = 0; i < length; ++i) ticker += static_cast<char>('A' + rng.Below(26));
  return ticker;
}

}  // namespace

bool IsWeekday(int64_t day) {
  const int64_t weekday = ((day % 7) + 7 + 3) % 7;  // 0 = Monday; 1970-01-01 was a Thursday
  return weekday < 5;
}

int64_t PreviousWeekday(int64_t day) {
  do {
    --day;
  } while (!IsWeekday(day));
  return day;
}

Universe::Universe(int count, uint64_t seed) : seed_(seed) {
  if (count < 20 || count > 10000) throw std::invalid_argument("the universe holds 20 to 10000 symbols");
  auto special = [&](std::string symbol, std::string name, std::string listing, SymbolKind kind, int factor,
                     double price, double adv, double vol) {
    SymbolInfo info;
    info.symbol = std::move(symbol);
    info.name = std::move(name);
    info.listing = std::move(listing);
    info.kind = kind;
    info.factor = factor;
    info.base_price = price;
    info.adv = adv;
    info.daily_vol = vol;
    info.prints_per_day = kind == SymbolKind::kIndex ? 1560 : std::clamp(adv / 2000, 100.0, 3000.0);
    info.optionable = kind == SymbolKind::kFund;
    symbols_.push_back(std::move(info));
  };
  special("$TIME", "Feed Server Time", "IND", SymbolKind::kTime, 0, 1, 0, 0);
  special("QQQQ", "Tarn Broad Market Trust", "NAS", SymbolKind::kFund, 0, 95, 40e6, 0.002);
  for (int k = 0; k < kSectorCount; ++k) {
    special(std::string("XS") + static_cast<char>('A' + k),
            std::string("Tarn Select ") + kSectorNames[k] + " Fund", "NYS", SymbolKind::kFund, k + 1,
            40 + 5 * k, 8e6, 0.003);
  }
  special("$MKT", "Tarn Market Index", "IND", SymbolKind::kIndex, 0, 2500, 0, 0.001);
  special("$TECH", "Tarn Technology Index", "IND", SymbolKind::kIndex, 1, 900, 0, 0.001);
  special("$FIN", "Tarn Financials Index", "IND", SymbolKind::kIndex, 2, 600, 0, 0.001);
  special("/MKF", "Market Index Future", "CME", SymbolKind::kSlash, 0, 2500, 300000, 0.001);
  special("/ENF", "Energy Future", "CME", SymbolKind::kSlash, 4, 80, 150000, 0.004);

  std::set<std::string> taken;
  for (const SymbolInfo& info : symbols_) taken.insert(info.symbol);
  Rng rng(Mix(seed, 0x5eed));
  while (static_cast<int>(symbols_.size()) < count) {
    std::string ticker = Ticker(rng);
    if (!taken.insert(ticker).second) continue;
    SymbolInfo info;
    info.symbol = std::move(ticker);
    info.name = CompanyName(rng);
    const double venue = rng.Uniform();
    info.listing = venue < 0.45 ? "NYS" : venue < 0.9 ? "NAS" : "ASE";
    info.kind = SymbolKind::kStock;
    info.factor = 1 + rng.Below(kSectorCount);
    info.beta = 0.5 + rng.Uniform();
    info.base_price = std::clamp(std::exp(std::log(30.0) + rng.Normal()), 2.0, 900.0);
    info.adv = std::round(std::clamp(std::exp(std::log(600000.0) + 1.3 * rng.Normal()), 20000.0, 60e6));
    info.daily_vol = std::clamp(0.022 * std::exp(0.4 * rng.Normal()), 0.006, 0.08);
    info.prints_per_day = std::clamp(info.adv / 2000, 20.0, 1500.0);
    info.optionable = info.adv > 300000;
    info.correlation_symbol = std::string("XS") + static_cast<char>('A' + info.factor - 1);
    symbols_.push_back(std::move(info));
  }
}

double Universe::FactorMove(int factor, int64_t day) const {
  auto [it, added] = factor_moves_.try_emplace(day);
  if (added) {
    Rng market(Mix(seed_, static_cast<uint64_t>(day) * 16));
    const double m = 0.011 * market.Normal();
    it->second[0] = m;
    for (int k = 1; k <= kSectorCount; ++k) {
      Rng sector(Mix(seed_, static_cast<uint64_t>(day) * 16 + static_cast<uint64_t>(k)));
      it->second[static_cast<size_t>(k)] = 0.8 * m + 0.008 * sector.Normal();
    }
  }
  return it->second[static_cast<size_t>(factor)];
}

DayDraw Universe::Draw(size_t symbol, int64_t day) const {
  const SymbolInfo& info = symbols_[symbol];
  Rng rng(Mix(Mix(seed_, 1000 + symbol), static_cast<uint64_t>(day)));
  DayDraw draw;
  draw.gap = 0.3 * info.daily_vol * rng.Normal();
  if (info.kind == SymbolKind::kStock && rng.Chance(0.05)) {
    draw.gap += (rng.Chance(0.5) ? 1 : -1) * (0.02 + 0.06 * rng.Uniform());
  }
  draw.factor_move = info.beta * FactorMove(info.factor, day);
  draw.own_move = info.daily_vol * rng.Normal();
  draw.volume_factor = std::exp(0.3 * rng.Normal() + 4 * std::abs(draw.gap));
  return draw;
}

double Universe::NextClose(size_t symbol, int64_t day, double previous_close) const {
  const SymbolInfo& info = symbols_[symbol];
  if (info.kind == SymbolKind::kTime) return 1;
  const DayDraw draw = Draw(symbol, day);
  const double log_close = std::log(previous_close);
  return std::exp(log_close + draw.gap + draw.factor_move + draw.own_move +
                  kReversion * (std::log(info.base_price) - log_close));
}

double Universe::CloseOn(size_t symbol, int64_t day) const {
  double close = symbols_[symbol].kind == SymbolKind::kTime ? 1 : symbols_[symbol].base_price;
  for (int64_t d = kEpochDay; d <= day; ++d) {
    if (IsWeekday(d) || d == day) close = NextClose(symbol, d, close);
  }
  return close;
}

std::vector<DailyBar> Universe::History(size_t symbol, int64_t day) const {
  const SymbolInfo& info = symbols_[symbol];
  std::vector<DailyBar> bars;
  double close = info.kind == SymbolKind::kTime ? 1 : info.base_price;
  for (int64_t d = kEpochDay; d < day; ++d) {
    if (!IsWeekday(d)) continue;
    const double previous = close;
    close = NextClose(symbol, d, previous);
    if (day - d > kHistoryDays * 7 / 5 + 10) continue;
    const DayDraw draw = Draw(symbol, d);
    Rng rng(Mix(Mix(seed_, 2000 + symbol), static_cast<uint64_t>(d)));
    DailyBar bar;
    bar.day = d;
    bar.open = previous * std::exp(draw.gap);
    bar.close = close;
    const double range = std::max(info.daily_vol, 0.002);
    bar.high = std::max(bar.open, bar.close) * std::exp(0.5 * range * std::abs(rng.Normal()));
    bar.low = std::min(bar.open, bar.close) * std::exp(-0.5 * range * std::abs(rng.Normal()));
    bar.volume = static_cast<int64_t>(info.adv * draw.volume_factor);
    bars.push_back(bar);
  }
  if (bars.size() > static_cast<size_t>(kHistoryDays)) bars.erase(bars.begin(), bars.end() - kHistoryDays);
  return bars;
}

}  // namespace tarnwell::vendor
