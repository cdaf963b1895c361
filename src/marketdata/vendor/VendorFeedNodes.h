#pragma once
// The vendor's quote, print and fundamental nodes: each subscribes one record stream per symbol and decodes
// its records into the shared record of its kind. The print decoder decides which of the vendor's two field
// groups (regular trade, sale-condition print) a message describes, drops condition codes that must not
// count, repairs early prints that lack the form T mark, and feeds the market-minute clock.

#include <optional>
#include <string>

#include "framework/GenericNode.h"
#include "framework/Timers.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/vendor/VendorListeners.h"

namespace tarnwell {

inline constexpr const char* kVendorTosQuery = "1032,6040,1006,1018,6041,6043,1016,1178,1044,6042,6044,3001,6208,9002,1374;";
inline constexpr const char* kVendorL1Query = "1025,1046,1031,1022,1045,1030,1012,1013,1021,1019,3946,3947;";
inline constexpr const char* kVendorFundamentalQuery = "6002,6023,1352,1096,1353,1097;";

class TVendorTosDataNode : public TGenericTosDataNode {
 public:
  static constexpr const char* kKeyClass = "TVendorTosDataNode";
  static TVendorTosDataNode* CreateFromKey(const std::string& symbol) { return Create<TVendorTosDataNode>(symbol); }
  explicit TVendorTosDataNode(const std::string& symbol);

  bool IsValid() override { return valid_; }
  const TTosData* GetData() override { return &data_; }

 private:
  struct TFields;
  void Update();
  void Dump(const std::string& reason, const TFields& fields, int mode) const;

  std::string symbol_;
  TTosData data_;
  bool valid_ = false;
  TVendorMsgListenerDataNode* tosListener_;
};

class TVendorL1DataNode : public TGenericL1DataNode {
 public:
  static constexpr const char* kKeyClass = "TVendorL1DataNode";
  static TVendorL1DataNode* CreateFromKey(const std::string& symbol) { return Create<TVendorL1DataNode>(symbol); }
  explicit TVendorL1DataNode(const std::string& symbol);
  ~TVendorL1DataNode() override;

  bool IsValid() override { return valid_; }
  const TL1Data* GetData() override { return &data_; }
  /// The quote lacks an opening price although the day has traded.
  bool NeedsRefresh() const { return data_.Open == 0 && (data_.High > 0 || data_.Low > 0); }
  /// Requests the quote again.
  void Refresh() { l1Listener_->Refresh(); }

 private:
  void Update();

  TL1Data data_;
  bool valid_ = false;
  TVendorMsgListenerDataNode* l1Listener_;
};

class TVendorFundamentalDataNode : public TGenericFundamentalDataNode {
 public:
  static constexpr const char* kKeyClass = "TVendorFundamentalDataNode";
  static TVendorFundamentalDataNode* CreateFromKey(const std::string& symbol) {
    return Create<TVendorFundamentalDataNode>(symbol);
  }
  explicit TVendorFundamentalDataNode(const std::string& symbol);

  bool IsValid() override { return valid_; }
  const TFundamentalData* GetData() override { return &data_; }

 private:
  void Update();

  TFundamentalData data_;
  bool valid_ = false;
  TVendorMsgListenerDataNode* fundamentalListener_;
};

/// Quotes that lack an opening price are requested again at every hh:m5, at most 99 a run. One per
/// process, never destroyed. Data node thread.
class TVendorL1Refresh {
 public:
  static TVendorL1Refresh& Instance();
  /// The instance when it was made already, else null.
  static TVendorL1Refresh* Existing();
  void Flag(TVendorL1DataNode* node) { flagged_.Put(TIntegerKey::FromPointer(node), node); }
  void Unflag(TVendorL1DataNode* node) { flagged_.Remove(TIntegerKey::FromPointer(node)); }
  bool IsFlagged(TVendorL1DataNode* node) const { return flagged_.ContainsKey(TIntegerKey::FromPointer(node)); }
  /// The timer's work: refresh what still needs it.
  void TimerEvent();
  /// The first run: the next time of day whose minutes end in 5, at or after `now`.
  static TDateTime FirstRun(TDateTime now);

 private:
  TVendorL1Refresh();
  tIntegerHashTable<TVendorL1DataNode*> flagged_;
  TTimerEventRef timer_;
};

/// "MostRecentClose": the close that the gap is measured from.
class TMostRecentCloseVendor : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TMostRecentCloseVendor";
  explicit TMostRecentCloseVendor(const TParamList& params);
  double GetDouble() override;
  bool IsValid() override { return tosNode_->IsValid() && l1Node_->IsValid(); }

 private:
  TGenericTosDataNode* tosNode_;
  TGenericL1DataNode* l1Node_;
  bool slashSymbol_;
};

/// Installs the vendor classes behind the generic feed nodes: prints, fundamentals, quotes.
void InstallVendorFeed();
/// Registers "MostRecentClose".
void RegisterVendorValues();

}  // namespace tarnwell
