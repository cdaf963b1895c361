#include "alerts/definitions/GeometricPatterns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/Errors.h"

namespace tarnwell {
namespace {

bool Above(const TVolumeBlock& b, const TVolumeBlock& c) {
  return b.Upper > c.Upper && b.Lower > c.Lower;
}
bool Below(const TVolumeBlock& b, const TVolumeBlock& c) {
  return b.Upper < c.Upper && b.Lower < c.Lower;
}

}  // namespace

// --- Turning points ----------------------------------------------------------------------------------------

void TVolumeBlockMinAndMaxAccumulator::Append(const TVolumeBlock& block) {
  if (!candidates_.empty()) {
    const TVolumeBlock& last = candidates_.back().Block;
    if (last.Upper == block.Upper && last.Lower == block.Lower) return;
  }
  candidates_.push_back({block, count_});
}

void TVolumeBlockMinAndMaxAccumulator::Reset(const TVolumeBlock& block) {
  candidates_.assign(1, {block, count_});
}

void TVolumeBlockMinAndMaxAccumulator::MaxAt() {
  turningPoints_.push_back({candidates_.front().Block.Upper, candidates_.front().Index, false});
}

void TVolumeBlockMinAndMaxAccumulator::MinAt() {
  turningPoints_.push_back({candidates_.front().Block.Lower, candidates_.front().Index, true});
}

void TVolumeBlockMinAndMaxAccumulator::Add(const TVolumeBlock& b) {
  // The newest candidate that b is above (+1) or below (-1), looking back from the newest; 0 when none.
  auto direction = [&]() -> int {
    for (auto c = candidates_.rbegin(); c != candidates_.rend(); ++c) {
      if (Above(b, c->Block)) return 1;
      if (Below(b, c->Block)) return -1;
    }
    return 0;
  };
  switch (state_) {
    case 0: {
      const int d = direction();
      if (d == 0) {
        Append(b);
        break;
      }
      firstDirection_ = d > 0 ? 1 : 2;
      state_ = firstDirection_;
      Reset(b);
      break;
    }
    case 1: {
      Assert(candidates_.size() == 1);
      const TVolumeBlock& c0 = candidates_.front().Block;
      if (b.Upper >= c0.Upper) {
        Reset(b);
      } else if (b.Lower >= c0.Lower) {
        state_ = 4;
        Append(b);
      } else {
        MaxAt();
        state_ = 2;
        Reset(b);
      }
      break;
    }
    case 2: {
      Assert(candidates_.size() == 1);
      const TVolumeBlock& c0 = candidates_.front().Block;
      if (b.Lower <= c0.Lower) {
        Reset(b);
      } else if (b.Upper <= c0.Upper) {
        state_ = 3;
        Append(b);
      } else {
        MinAt();
        state_ = 1;
        Reset(b);
      }
      break;
    }
    case 4: {
      Assert(!candidates_.empty());
      if (b.Upper >= candidates_.front().Block.Upper) {
        state_ = 1;
        Reset(b);
        break;
      }
      const int d = direction();
      if (d > 0) {
        MaxAt();
        MinAt();
        state_ = 1;
        Reset(b);
      } else if (d < 0) {
        MaxAt();
        state_ = 2;
        Reset(b);
      } else {
        Append(b);
      }
      break;
    }
    case 3: {
      Assert(!candidates_.empty());
      if (b.Lower <= candidates_.front().Block.Lower) {
        state_ = 2;
        Reset(b);
        break;
      }
      const int d = direction();
      if (d < 0) {
        MinAt();
        MaxAt();
        state_ = 2;
        Reset(b);
      } else if (d > 0) {
        MinAt();
        state_ = 1;
        Reset(b);
      } else {
        Append(b);
      }
      break;
    }
  }
  ++count_;
}

TVolumeBlockMinAndMax::TVolumeBlockMinAndMax(const std::string& symbol) : symbol_(symbol) {
  RunOnDataNodeThread(1, TW_METHOD(this, Init));
}

void TVolumeBlockMinAndMax::Init() {
  auto [bars, link] = TNormalVolumeBreakBars::Find(symbol_, TW_METHOD(this, Update));
  bars_ = bars;
  AddAutoLink(link);
  Update();
  link->SetReceiveInput(true);
}

void TVolumeBlockMinAndMax::Update() {
  const TVolumeBlocks& blocks = bars_->GetBlocks();
  if (blocks.empty()) {
    accumulator_.reset();
  } else {
    if (!accumulator_) accumulator_ = std::make_unique<TVolumeBlockMinAndMaxAccumulator>();
    for (std::size_t i = static_cast<std::size_t>(accumulator_->Count()); i < blocks.size(); ++i) {
      accumulator_->Add(blocks[i]);
    }
  }
  NotifyListeners();
}

const TVBMMTurningPoints& TVolumeBlockMinAndMax::GetTurningPoints() const {
  static const TVBMMTurningPoints kNone;
  return accumulator_ ? accumulator_->TurningPoints() : kNone;
}

const TVolumeBlocks& TVolumeBlockMinAndMax::GetVolumeBlocks() const {
  static const TVolumeBlocks kNone;
  return bars_ ? bars_->GetBlocks() : kNone;
}

// --- Examiners ---------------------------------------------------------------------------------------------

namespace {

std::vector<double> PricesFrom(const TVBMMTurningPoints& points, std::size_t s, std::size_t n) {
  std::vector<double> prices;
  for (std::size_t i = s; i <= n; ++i) prices.push_back(points[i].Price);
  return prices;
}

// Triangles: walking back from the newest point, each older maximum must lie beyond the maxima after it (and
// each older minimum beyond the minima), higher and lower for a narrowing one, inside for a broadening one.
std::optional<TPatternMatch> ExamineTriangle(const TVBMMTurningPoints& p, std::size_t n, bool narrowing) {
  if (n < 4) return std::nullopt;
  double high = p[n].IsMin ? p[n - 1].Price : p[n].Price;
  double low = p[n].IsMin ? p[n].Price : p[n - 1].Price;
  std::size_t s = n;
  for (std::size_t i = n - 1; i-- > 0;) {
    const double price = p[i].Price;
    const bool extends =
        p[i].IsMin ? (narrowing ? price < low : price > low) : (narrowing ? price > high : price < high);
    if (!extends) break;
    (p[i].IsMin ? low : high) = price;
    s = i;
  }
  if (n - s <= 3) return std::nullopt;
  return TPatternMatch{s, narrowing ? p[s].IsMin : p[n].IsMin, PricesFrom(p, s, n)};
}

}  // namespace

std::optional<TPatternMatch> ExamineNarrowingTriangle(const TVBMMTurningPoints& points, std::size_t n) {
  return ExamineTriangle(points, n, true);
}

std::optional<TPatternMatch> ExamineBroadeningTriangle(const TVBMMTurningPoints& points, std::size_t n) {
  return ExamineTriangle(points, n, false);
}

std::optional<TPatternMatch> ExamineRectangle(const TVBMMTurningPoints& p, std::size_t n,
                                              const TTolerance& tolerance) {
  if (n < 4) return std::nullopt;
  struct TBand {
    double bottom, top;
  };
  const std::size_t newestMax = p[n].IsMin ? n - 1 : n;
  const std::size_t newestMin = p[n].IsMin ? n : n - 1;
  TBand maxima{p[newestMax].Price, p[newestMax].Price};
  TBand minima{p[newestMin].Price, p[newestMin].Price};
  std::size_t s = n;
  for (std::size_t i = n - 1; i-- > 0;) {
    const double price = p[i].Price;
    const double t = tolerance(p[n].BlockIndex - p[i].BlockIndex);
    TBand newMaxima = maxima, newMinima = minima;
    if (p[i].IsMin) {
      if (!(price < maxima.bottom && price - minima.bottom <= t && minima.top - price <= t)) break;
      newMinima = {std::min(minima.bottom, price), std::max(minima.top, price)};
    } else {
      if (!(price > minima.top && price - maxima.bottom <= t && maxima.top - price <= t)) break;
      newMaxima = {std::min(maxima.bottom, price), std::max(maxima.top, price)};
    }
    // The bands must stay apart by more than either is wide, or it is a channel of noise, not a rectangle.
    const double widest = std::max(newMaxima.top - newMaxima.bottom, newMinima.top - newMinima.bottom);
    if (widest > newMaxima.bottom - newMinima.top) break;
    maxima = newMaxima;
    minima = newMinima;
    s = i;
  }
  if (n - s <= 3) return std::nullopt;
  return TPatternMatch{s, p[n].IsMin, PricesFrom(p, s, n)};
}

std::optional<TPatternMatch> ExamineHeadAndShoulders(const TVBMMTurningPoints& p, std::size_t n,
                                                     const TTolerance& tolerance) {
  if (n < 4) return std::nullopt;
  const double t = tolerance(p[n].BlockIndex - p[n - 4].BlockIndex);
  if (!(std::abs(p[n].Price - p[n - 4].Price) < t && std::abs(p[n - 1].Price - p[n - 3].Price) < t)) {
    return std::nullopt;
  }
  const double head = p[n - 2].Price;
  const bool found = p[n].IsMin ? head < std::min(p[n - 4].Price, p[n].Price) - t
                                : head > std::max(p[n - 4].Price, p[n].Price) + t;
  if (!found) return std::nullopt;
  return TPatternMatch{n - 4, !p[n].IsMin, PricesFrom(p, n - 4, n)};
}

std::optional<TPatternMatch> ExamineDoubleTop(const TVBMMTurningPoints& p, std::size_t n,
                                              const TTolerance& tolerance, bool top) {
  // Written for tops; d mirrors every comparison for bottoms.
  const double d = top ? 1 : -1;
  if (n < 3 || p[n].IsMin == top) return std::nullopt;
  bool inZone = false;
  int count = 0;
  std::size_t s = 0;
  double low = 0, high = 0;  // the band around the newest extreme
  auto inBand = [&](double price) { return price >= low && price <= high; };
  for (std::size_t i = 0; i < n; ++i) {
    const double price = p[i].Price;
    if (p[i].IsMin != top) {  // an extreme of the pattern's own kind
      if (!inZone) {
        const double t = tolerance(p[n].BlockIndex - p[i].BlockIndex);
        low = p[n].Price - t / 2;
        high = p[n].Price + t / 2;
      }
      if (d * price > d * (top ? high : low)) {
        inZone = false;
      } else if (inBand(price)) {
        if (inZone) {
          ++count;
        } else {
          inZone = true;
          count = 2;
          s = i;
        }
      }
    } else if (inZone && d * price >= d * (top ? low : high)) {
      inZone = false;  // the dip between tops (the rally between bottoms) must leave the band
    }
  }
  if (!inZone || p[n].BlockIndex - p[s].BlockIndex <= 20) return std::nullopt;
  std::vector<double> prices;
  for (std::size_t i = s; i <= n; ++i) {
    if (p[i].IsMin != top && inBand(p[i].Price)) prices.push_back(p[i].Price);
  }
  Assert(static_cast<int>(prices.size()) == count);
  return TPatternMatch{s, top, std::move(prices)};
}

// --- Pattern nodes -----------------------------------------------------------------------------------------

TGeometricPattern::TGeometricPattern(const std::string& symbol) : symbol_(symbol) {
  turningPoints_ = Adopt(TVolumeBlockMinAndMax::Find(symbol, TW_METHOD(this, Update)));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

void TGeometricPattern::Update() {
  const TVBMMTurningPoints& points = turningPoints_->GetTurningPoints();
  if (points.size() < examined_) {
    // The blocks started again: whatever was found is gone with them.
    description_.Valid = false;
    examined_ = 0;
  } else {
    for (; examined_ < points.size(); ++examined_) {
      description_.Current = false;
      std::optional<TPatternMatch> match = Examine(points, examined_);
      if (!match) continue;
      const TVolumeBlocks& blocks = turningPoints_->GetVolumeBlocks();
      const std::int32_t first = points[match->Start].BlockIndex, last = points[examined_].BlockIndex;
      description_.Id = ++counter_;
      description_.Valid = description_.Current = true;
      description_.Up = match->Up;
      description_.Prices = std::move(match->Prices);
      description_.StartTime = static_cast<std::size_t>(first) < blocks.size() ? blocks[first].StartTime : 0;
      description_.EndTime = static_cast<std::size_t>(last) < blocks.size() ? blocks[last].EndTime : 0;
      description_.Quality = (last - first + 1) / 4.0;
    }
  }
  NotifyListeners();
}

TPatternWithEquals::TPatternWithEquals(const std::string& symbol) : TGeometricPattern(symbol) {
  volatility_ = Adopt(FindForSymbol("TickVolatility", symbol));
}

double TPatternWithEquals::Tolerance(std::int32_t blocks) {
  if (!volatility_->IsValid()) return 0;
  return std::sqrt(static_cast<double>(blocks)) * volatility_->GetDouble() / std::sqrt(44.0);
}

// --- Alerts ------------------------------------------------------------------------------------------------

std::string DescribePatternPrices(const std::vector<double>& prices) {
  if (prices.size() > 10) {
    const auto [low, high] = std::minmax_element(prices.begin(), prices.end());
    return TAlert::FormatPrice(false, *low) + " - " + TAlert::FormatPrice(false, *high);
  }
  std::string text;
  for (double price : prices) text += (text.empty() ? "" : ", ") + TAlert::FormatPrice(false, price);
  return text;
}

void TPatternAlert::OnPattern() {
  const TPatternDescription& pattern = pattern_->Description();
  if (initialized_ && pattern.Id != lastId_ && pattern.Valid && Wanted(pattern)) {
    const TDateTime now = CurrentTime();
    ReportAlert(Name(pattern) + ".  Prices:  " + DescribePatternPrices(pattern.Prices) + ".  Started " +
                    DescribeTimeSpan(now, pattern.StartTime) + " ago.  Last turn " +
                    DescribeTimeSpan(now, pattern.EndTime) + " ago.",
                pattern.Quality);
  }
  initialized_ = true;
  lastId_ = pattern.Id;
}

TSimpleGeometricPatternAlert::TSimpleGeometricPatternAlert(const TParamList& params) {
  CheckParamCount(params, 3, "Expected args: Symbol, type, up)");
  const std::string symbol = params[0].AsString();
  const std::int32_t type = params[1].AsInteger();
  up_ = params[2].AsBoolean();
  struct TKind {
    const char* up;
    const char* down;
    void (TSimpleGeometricPatternAlert::*watch)(const std::string&);
  };
  static const TKind kKinds[] = {
      {"Triangle bottom", "Triangle top", &TSimpleGeometricPatternAlert::Watch<TNarrowingTrianglePattern>},
      {"Broadening bottom", "Broadening top",
       &TSimpleGeometricPatternAlert::Watch<TBroadeningTrianglePattern>},
      {"Rectangle bottom", "Rectangle top", &TSimpleGeometricPatternAlert::Watch<TRectanglePattern>},
      {"Head and shoulders", "Inverted head and shoulders",
       &TSimpleGeometricPatternAlert::Watch<THeadAndShouldersPattern>},
  };
  if (type < 0 || type >= static_cast<std::int32_t>(std::size(kKinds))) {
    throw std::runtime_error("Invalid pattern type:  " + std::to_string(type));
  }
  name_ = up_ ? kKinds[type].up : kKinds[type].down;
  (this->*kKinds[type].watch)(symbol);
}

TDoubleTopAlert::TDoubleTopAlert(const TParamList& params) {
  CheckParamCount(params, 2, "Expected args: Symbol, up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  if (up_) {
    Watch<TDoubleTopResistance>(symbol);
  } else {
    Watch<TDoubleBottomSupport>(symbol);
  }
}

std::string TDoubleTopAlert::Name(const TPatternDescription& pattern) const {
  static const char* const kCounts[] = {"Double", "Triple", "Quadruple"};
  const std::size_t n = pattern.Prices.size();
  const std::string count = n >= 2 && n <= 4 ? kCounts[n - 2] : std::to_string(n);
  return count + (pattern.Up ? " top" : " bottom");
}

void RegisterGeometricPatternAlerts() {
  RegisterClass<TSimpleGeometricPatternAlert>("TriangleBottom", 0, true);
  RegisterClass<TSimpleGeometricPatternAlert>("TriangleTop", 0, false);
  RegisterClass<TSimpleGeometricPatternAlert>("BroadeningBottom", 1, true);
  RegisterClass<TSimpleGeometricPatternAlert>("BroadeningTop", 1, false);
  RegisterClass<TSimpleGeometricPatternAlert>("RectangleBottom", 2, true);
  RegisterClass<TSimpleGeometricPatternAlert>("RectangleTop", 2, false);
  RegisterClass<TSimpleGeometricPatternAlert>("HeadAndShoulders", 3, true);
  RegisterClass<TSimpleGeometricPatternAlert>("InvertedHeadAndShoulders", 3, false);
  RegisterClass<TDoubleTopAlert>("DoubleTop", true);
  RegisterClass<TDoubleTopAlert>("DoubleBottom", false);
}

}  // namespace tarnwell
