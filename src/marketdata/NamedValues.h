#pragma once
// Named market values: the per-symbol values that windows, alerts and the alert row ask the factory
// registry for by name ("BidPrice", "Gap", "YearRange" ...), each a generic node with one typed getter and a
// validity flag. Most of them read one field of a feed record; a few compute. Every field below belongs to
// the data node thread (or to the user interface thread while the data node thread waits for a screen beat).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/GenericNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// Fills the factory registry with every named value, in the order windows list them. Module
/// initialisation, before any lookup; a second call changes nothing. "Gap" needs "MostRecentClose" only when
/// its node is built, so the registration order against the vendor's values does not matter.
void RegisterNamedValues();

/// A class name as a template argument, for the one-field readers below.
template <std::size_t N>
struct TClassName {
  constexpr TClassName(const char (&text)[N]) { std::copy_n(text, N, value); }
  char value[N];
};

/// (Symbol): holds the symbol's level-1 node; valid while it is.
class TL1User : public TGenericDataNode {
 public:
  explicit TL1User(const TParamList& params);
  bool IsValid() override { return l1_->IsValid(); }

 protected:
  /// The quote, or null while the level-1 node is not valid.
  const TL1Data* Record() { return l1_->Current(); }
  virtual void Changed() { NotifyListeners(); }

  TGenericL1DataNode* l1_;
};

/// (Symbol): holds the symbol's print node; valid while it is.
class TTosUser : public TGenericDataNode {
 public:
  explicit TTosUser(const TParamList& params);
  bool IsValid() override { return tos_->IsValid(); }

 protected:
  /// The last print, or null while the print node is not valid.
  const TTosData* Record() { return tos_->Current(); }
  virtual void Changed() { NotifyListeners(); }

  TGenericTosDataNode* tos_;
};

/// (Symbol): holds the symbol's level-1 and print nodes, and notifies on a change of either; valid while
/// both are. `expected` is the text of a wrong parameter count.
class TQuoteAndPrintUser : public TGenericDataNode {
 public:
  TQuoteAndPrintUser(const TParamList& params, const char* expected);
  bool IsValid() override { return l1_->IsValid() && tos_->IsValid(); }

 protected:
  TGenericL1DataNode* l1_;
  TGenericTosDataNode* tos_;
};

/// (Symbol): holds the symbol's fundamental node and the symbol; valid while the node is.
class TFundamentalUser : public TGenericDataNode {
 public:
  explicit TFundamentalUser(const TParamList& params);
  bool IsValid() override { return fundamental_->IsValid(); }

 protected:
  /// The fundamentals, or null while the fundamental node is not valid.
  const TFundamentalData* Record() { return fundamental_->Current(); }
  virtual void Changed() { NotifyListeners(); }

  TGenericFundamentalDataNode* fundamental_;
  std::string symbol_;
};

// One field of a user's record through one getter; the type's default while the record is not valid.
template <class User, TClassName Name, auto Field>
class TIntegerField final : public User {
 public:
  static constexpr const char* kClassName = Name.value;
  using User::User;
  std::int32_t GetInteger() override {
    const auto* record = this->Record();
    return record ? record->*Field : 0;
  }
};

template <class User, TClassName Name, auto Field>
class TDoubleField final : public User {
 public:
  static constexpr const char* kClassName = Name.value;
  using User::User;
  double GetDouble() override {
    const auto* record = this->Record();
    return record ? record->*Field : 0;
  }
};

template <class User, TClassName Name, auto Field>
class TBooleanField final : public User {
 public:
  static constexpr const char* kClassName = Name.value;
  using User::User;
  bool GetBoolean() override {
    const auto* record = this->Record();
    return record ? record->*Field : false;
  }
};

template <class User, TClassName Name, auto Field>
class TStringField final : public User {
 public:
  static constexpr const char* kClassName = Name.value;
  using User::User;
  std::string GetString() override {
    const auto* record = this->Record();
    return record ? record->*Field : std::string();
  }
};

using TBidSize = TIntegerField<TL1User, "TBidSize", &TL1Data::BidSize>;
using TBidPrice = TDoubleField<TL1User, "TBidPrice", &TL1Data::BidPrice>;
using TAskSize = TIntegerField<TL1User, "TAskSize", &TL1Data::AskSize>;
using TAskPrice = TDoubleField<TL1User, "TAskPrice", &TL1Data::AskPrice>;
using TClosePrice = TDoubleField<TL1User, "TClosePrice", &TL1Data::PrevClose>;
using TBidExchange = TStringField<TL1User, "TBidExchange", &TL1Data::BidExchange>;
using TAskExchange = TStringField<TL1User, "TAskExchange", &TL1Data::AskExchange>;
using THighPrice = TDoubleField<TL1User, "THighPrice", &TL1Data::High>;
using TLowPrice = TDoubleField<TL1User, "TLowPrice", &TL1Data::Low>;

using TVolume = TIntegerField<TTosUser, "TVolume", &TTosData::TotalVolume>;
using TTodaysClosePrice = TDoubleField<TTosUser, "TTodaysClosePrice", &TTosData::TodaysClose>;
using TLastPrintExchange = TStringField<TTosUser, "TLastPrintExchange", &TTosData::Exchange>;
using TLastPrintFormT = TBooleanField<TTosUser, "TLastPrintFormT", &TTosData::FormT>;
using TLastPrintPrice = TDoubleField<TTosUser, "TLastPrintPrice", &TTosData::Price>;
using TLastPrintTime = TDoubleField<TTosUser, "TLastPrintTime", &TTosData::Time>;
using TLastPrintSize = TIntegerField<TTosUser, "TLastPrintSize", &TTosData::Size>;

using TCompanyName = TStringField<TFundamentalUser, "TCompanyName", &TFundamentalData::CompanyName>;
using T52WeekHigh = TDoubleField<TFundamentalUser, "T52WeekHigh", &TFundamentalData::High52>;
using T52WeekLow = TDoubleField<TFundamentalUser, "T52WeekLow", &TFundamentalData::Low52>;
using T52HighDate = TDoubleField<TFundamentalUser, "T52HighDate", &TFundamentalData::High52Date>;
using T52LowDate = TDoubleField<TFundamentalUser, "T52LowDate", &TFundamentalData::Low52Date>;

/// "$NDX" for an index ("$" symbol), whose fundamentals never say; else the fundamentals' listing exchange.
class TListedExchange final : public TFundamentalUser {
 public:
  static constexpr const char* kClassName = "TListedExchange";
  using TFundamentalUser::TFundamentalUser;
  std::string GetString() override;
  /// Always for an index.
  bool IsValid() override;
};

/// The company name when known, else the symbol. Always valid.
class TPrintableName final : public TFundamentalUser {
 public:
  static constexpr const char* kClassName = "TPrintableName";
  using TFundamentalUser::TFundamentalUser;
  std::string GetString() override;
  bool IsValid() override { return true; }
};

/// (Source): the direction of the last change of a double source, such as the bid. Valid once the source
/// has changed after its first value; the source going invalid clears the direction.
class TDoubleUpTick final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TDoubleUpTick";
  explicit TDoubleUpTick(const TParamList& params);
  /// True when the last change was upwards.
  bool GetBoolean() override { return up_; }
  bool IsValid() override { return hasDirection_; }

 private:
  void Update();

  TGenericDataNode* source_;
  double last_ = 0;
  bool up_ = false;
  bool hasDirection_ = false;
  bool started_ = false;
};

/// (Symbol): today's opening price: the quote's open once the feed reports one; before that, the first
/// regular print of the day (neither form T nor a snapshot), kept until the midnight that ends the print's
/// day. Slash symbols take the quote's open only. Valid when not 0.
class TOpenPrice final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TOpenPrice";
  explicit TOpenPrice(const TParamList& params);
  double GetDouble() override;
  bool IsValid() override { return GetDouble() != 0; }

 private:
  void OnPrint();
  /// A first price is held and its day has not ended at the current data time.
  bool HoldsFirstPrice() const;

  double firstPrice_ = 0;
  TDateTime firstPriceUntil_ = 0;
  TGenericL1DataNode* l1_;
  TGenericTosDataNode* tos_ = nullptr;  // null for slash symbols
};

/// (Symbol): the price the symbol is expected to open at: "OpenPrice" once there is one, unless the last
/// print is an extended-hours one, whose price then stands for the next open. Slash symbols: "OpenPrice".
/// Valid when not 0.
class TExpectedOpen final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TExpectedOpen";
  explicit TExpectedOpen(const TParamList& params);
  double GetDouble() override;
  bool IsValid() override { return GetDouble() != 0; }

 private:
  TGenericTosDataNode* tos_;
  TGenericDataNode* open_;
  bool slashSymbol_;
};

/// (Symbol): put volume ÷ call volume. With calls 0 and puts above 0 the value is puts + 2^31, so that such
/// symbols sort above every real ratio. Not valid without volume or with a negative count.
class TPutCallRatio final : public TL1User {
 public:
  static constexpr const char* kClassName = "TPutCallRatio";
  using TL1User::TL1User;
  double GetDouble() override;
  bool IsValid() override;
};

/// (Symbol): how far, in percent, the last print lies outside the best bid and ask; 0 inside them.
/// Valid with a quote whose bid and ask are both above 0 and a print.
class TDistanceFromNbbo final : public TQuoteAndPrintUser {
 public:
  static constexpr const char* kClassName = "TDistanceFromNbbo";
  explicit TDistanceFromNbbo(const TParamList& params)
      : TQuoteAndPrintUser(params, "Expected params: (Symbol)") {}
  double GetDouble() override;
  bool IsValid() override;
};

/// (Symbol): high − low of the day; valid when both are above 0.
class TTodaysRange final : public TL1User {
 public:
  static constexpr const char* kClassName = "TTodaysRange";
  using TL1User::TL1User;
  double GetDouble() override;
  bool IsValid() override;
};

/// (Name, Symbol): a registered double value looked up by name when the node is built, so that a formula
/// may use a value that another module registers later. A name still missing then fails "Cannot find
/// factory".
class TNamedDoubleValue final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TNamedDoubleValue";
  explicit TNamedDoubleValue(const TParamList& params);
  double GetDouble() override { return source_->IsValid() ? source_->GetDouble() : 0; }
  bool IsValid() override { return source_->IsValid(); }

 private:
  TGenericDataNode* source_;
};

}  // namespace tarnwell
