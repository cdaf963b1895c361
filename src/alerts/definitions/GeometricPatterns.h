#pragma once
// Chart patterns on volume blocks: the blocks are reduced to alternating turning points (local maxima and
// minima), pattern nodes examine each new turning point and describe the most recent pattern found
// (triangles, broadening formations, rectangles, head and shoulders, double and multiple tops and bottoms),
// and the alerts report each new pattern once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

struct TVBMMTurningPoint {
  double Price;  ///< the block's upper price for a maximum, its lower price for a minimum
  std::int32_t BlockIndex;
  bool IsMin;
  bool operator==(const TVBMMTurningPoint&) const = default;
};
using TVBMMTurningPoints = std::vector<TVBMMTurningPoint>;

/// Turns a sequence of blocks into turning points, one block at a time. A block's hi is its Upper and its lo
/// its Lower.
class TVolumeBlockMinAndMaxAccumulator {
 public:
  void Add(const TVolumeBlock& block);
  std::int32_t Count() const { return count_; }
  const TVBMMTurningPoints& TurningPoints() const { return turningPoints_; }

 private:
  struct TCandidate {
    TVolumeBlock Block;
    std::int32_t Index;
  };
  void Append(const TVolumeBlock& block);
  void Reset(const TVolumeBlock& block);
  void MaxAt();
  void MinAt();

  std::int32_t count_ = 0;
  std::uint8_t firstDirection_ = 0;  // 0 none yet, 1 up, 2 down
  std::uint8_t state_ = 0;  // 0 undecided, 1 rising, 2 falling, 3 falling then inside, 4 rising then inside
  std::vector<TCandidate> candidates_;
  TVBMMTurningPoints turningPoints_;
};

/// The turning points of a symbol's volume blocks.
class TVolumeBlockMinAndMax : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TVolumeBlockMinAndMax";
  static TVolumeBlockMinAndMax* CreateFromKey(const std::string& symbol) {
    return Create<TVolumeBlockMinAndMax>(symbol);
  }
  static std::pair<TVolumeBlockMinAndMax*, TDataNodeLink*> Find(const std::string& symbol,
                                                                TCallback callback = {}) {
    return FindOrCreate<TVolumeBlockMinAndMax>(symbol, std::move(callback));
  }
  explicit TVolumeBlockMinAndMax(const std::string& symbol);

  /// Empty while there are no blocks.
  const TVBMMTurningPoints& GetTurningPoints() const;
  const TVolumeBlocks& GetVolumeBlocks() const;

 private:
  void Init();
  void Update();

  std::string symbol_;
  TNormalVolumeBreakBars* bars_ = nullptr;
  std::unique_ptr<TVolumeBlockMinAndMaxAccumulator> accumulator_;
};

/// The most recent pattern a pattern node found.
struct TPatternDescription {
  std::int32_t Id = 0;   ///< changes with every pattern found
  bool Valid = false;    ///< a pattern was found and not invalidated
  bool Current = false;  ///< the turning point examined last completed it
  bool Up = false;
  std::vector<double> Prices;  ///< its turning points' prices, oldest first
  TDateTime StartTime = 0;
  TDateTime EndTime = 0;
  double Quality = 0;  ///< (last block - first block + 1) / 4
};

/// A found pattern: from turning point Start to the examined one, with its direction and prices.
struct TPatternMatch {
  std::size_t Start;
  bool Up;
  std::vector<double> Prices;
};

/// Tolerance of two prices n blocks apart, or 0 without a volatility.
using TTolerance = std::function<double(std::int32_t blocks)>;

/// The examiners: whether turning point n completes a pattern.
std::optional<TPatternMatch> ExamineNarrowingTriangle(const TVBMMTurningPoints& points, std::size_t n);
std::optional<TPatternMatch> ExamineBroadeningTriangle(const TVBMMTurningPoints& points, std::size_t n);
std::optional<TPatternMatch> ExamineRectangle(const TVBMMTurningPoints& points, std::size_t n,
                                              const TTolerance& tolerance);
std::optional<TPatternMatch> ExamineHeadAndShoulders(const TVBMMTurningPoints& points, std::size_t n,
                                                     const TTolerance& tolerance);
std::optional<TPatternMatch> ExamineDoubleTop(const TVBMMTurningPoints& points, std::size_t n,
                                              const TTolerance& tolerance, bool top);

/// One pattern kind on one symbol's turning points.
class TGeometricPattern : public TDataNodeWithStringKey {
 public:
  const TPatternDescription& Description() const { return description_; }

 protected:
  explicit TGeometricPattern(const std::string& symbol);
  virtual std::optional<TPatternMatch> Examine(const TVBMMTurningPoints& points, std::size_t n) = 0;

  std::string symbol_;

 private:
  void Update();

  TVolumeBlockMinAndMax* turningPoints_ = nullptr;
  std::int32_t counter_ = 0;
  std::size_t examined_ = 0;
  TPatternDescription description_;
};

/// A pattern kind whose turning prices must agree within a tolerance scaled by the symbol's volatility.
class TPatternWithEquals : public TGeometricPattern {
 protected:
  explicit TPatternWithEquals(const std::string& symbol);
  /// √n × TickVolatility / √44, or 0 without a volatility.
  double Tolerance(std::int32_t blocks);

 private:
  TGenericDataNode* volatility_;
};

#define TW_PATTERN_CLASS(Name, Base, ExamineCall)                                                    \
  class Name : public Base {                                                                         \
   public:                                                                                           \
    static constexpr const char* kKeyClass = #Name;                                                  \
    static Name* CreateFromKey(const std::string& symbol) { return Create<Name>(symbol); }           \
    explicit Name(const std::string& symbol) : Base(symbol) {}                                       \
                                                                                                     \
   private:                                                                                          \
    std::optional<TPatternMatch> Examine(const TVBMMTurningPoints& points, std::size_t n) override { \
      return ExamineCall;                                                                            \
    }                                                                                                \
  };

TW_PATTERN_CLASS(TNarrowingTrianglePattern, TGeometricPattern, ExamineNarrowingTriangle(points, n))
TW_PATTERN_CLASS(TBroadeningTrianglePattern, TGeometricPattern, ExamineBroadeningTriangle(points, n))
TW_PATTERN_CLASS(TRectanglePattern, TPatternWithEquals,
                 ExamineRectangle(points, n, [this](std::int32_t b) { return Tolerance(b); }))
TW_PATTERN_CLASS(THeadAndShouldersPattern, TPatternWithEquals,
                 ExamineHeadAndShoulders(points, n, [this](std::int32_t b) { return Tolerance(b); }))
TW_PATTERN_CLASS(TDoubleTopResistance, TPatternWithEquals,
                 ExamineDoubleTop(
                     points, n, [this](std::int32_t b) { return Tolerance(b); }, true))
TW_PATTERN_CLASS(TDoubleBottomSupport, TPatternWithEquals,
                 ExamineDoubleTop(
                     points, n, [this](std::int32_t b) { return Tolerance(b); }, false))
#undef TW_PATTERN_CLASS

/// Up to ten prices joined by ", "; more: the lowest and the highest joined by " - ".
std::string DescribePatternPrices(const std::vector<double>& prices);

/// Reports each new pattern of its node once; a pattern already there when the alert is made is not news.
class TPatternAlert : public TAlert {
 protected:
  /// Follows the symbol's pattern node of class P.
  template <class P>
  void Watch(const std::string& symbol) {
    auto [pattern, link] = TDataNodeWithStringKey::FindOrCreate<P>(symbol, TW_METHOD(this, OnPattern));
    pattern_ = pattern;
    AddAutoLink(link);
    RunOnDataNodeThread(1, TW_METHOD(this, OnPattern));
  }
  void OnPattern();
  virtual bool Wanted(const TPatternDescription& pattern) const = 0;
  /// "Triangle top", "Double top": the start of the description.
  virtual std::string Name(const TPatternDescription& pattern) const = 0;

  TGeometricPattern* pattern_ = nullptr;
  bool up_ = false;

 private:
  bool initialized_ = false;
  std::int32_t lastId_ = 0;
};

/// (Symbol, type, up): triangles (0), broadening formations (1), rectangles (2), head and shoulders (3).
class TSimpleGeometricPatternAlert : public TPatternAlert {
 public:
  static constexpr const char* kClassName = "TSimpleGeometricPatternAlert";
  explicit TSimpleGeometricPatternAlert(const TParamList& params);

 private:
  bool Wanted(const TPatternDescription& pattern) const override { return pattern.Up == up_; }
  std::string Name(const TPatternDescription&) const override { return name_; }
  std::string name_;
};

/// (Symbol, up): double, triple and more tops (up) or bottoms.
class TDoubleTopAlert : public TPatternAlert {
 public:
  static constexpr const char* kClassName = "TDoubleTopAlert";
  explicit TDoubleTopAlert(const TParamList& params);

 private:
  bool Wanted(const TPatternDescription&) const override { return true; }
  std::string Name(const TPatternDescription& pattern) const override;
};

/// Registers the ten pattern alert types. Start-up.
void RegisterGeometricPatternAlerts();

}  // namespace tarnwell
