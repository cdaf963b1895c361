#pragma once
// Between the one vendor conversation and the per-symbol vendor nodes. A TVendorConvListenerDataNode serves
// one table and field list: it turns symbols into request items, groups streamed symbols into server-side
// watch lists of at most 200, re-issues everything after a reconnection and splits each data block into
// per-symbol records. A TVendorMsgListenerDataNode is one vendor node's private front for one symbol.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/GenericNode.h"
#include "marketdata/vendor/VendorConversation.h"

namespace tarnwell {

enum TVendorTable : std::uint8_t { vtLiveQuote = 1, vtRegional = 2 };
/// "LIVEQUOTE" or "REGIONAL"; any other value fails "Invalid table type: <n>".
std::string VendorTableName(int table);

enum TRecordKind : std::uint8_t { rkNone = 0, rkReply = 1, rkUpdate = 2 };

/// One record of a data block on its way to its symbol's front node; delivered before Send returns, while
/// the cursor is valid.
class TVendorRecordInfo final : public TBroadcastMessage {
 public:
  TVendorRecordInfo(VB4Cursor* cursor, TRecordKind kind) : Cursor(cursor), Kind(kind) {}
  VB4Cursor* Cursor;
  TRecordKind Kind;
};

class TVendorConvListenerDataNode : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TVendorConvListenerDataNode";

  /// (Query, Table, Conversation factory); permanent.
  explicit TVendorConvListenerDataNode(const TParamList& params);
  ~TVendorConvListenerDataNode() override;
  bool IsValid() override { return true; }

  // Data node thread.
  /// Makes the symbol pending and returns the channel its records come on; a symbol pending already
  /// fails "Duplicate symbol, <symbol>, for <query>".
  std::string AddSymbol(const std::string& symbol, bool requestOnly);
  /// Splits a data block into records and hands each pending symbol's record to its front, at once.
  void DeliverBlock(const void* block, TRecordKind kind);
  void StartSymbol(const std::string& symbol);
  void SendRequest(const std::string& symbol);
  void AddWatch(const std::string& symbol);
  void RefreshSymbol(const std::string& symbol);
  void RemoveSymbol(const std::string& symbol);

  /// Text forms, for the conversation and the server.
  std::string SymbolItem(const std::string& symbol) const;
  std::string ListName(int list) const;
  std::string ListItem(int list) const;
  std::string SymbolChannel(const std::string& symbol) const;

  bool IsPending(const std::string& symbol) const { return pending_.ContainsKey(symbol); }
  /// The watch list of a pending symbol, -1 for a one-time request or a symbol not pending.
  int ListIndexOf(const std::string& symbol) const;
  /// (Count, advised) of a watch list.
  int ListCount(int list) const;
  bool ListAdvised(int list) const;
  TVendorConversationDataNode& Conversation() const { return *conversation_; }

 private:
  struct TPendingRequest {
    int ListIndex = -1;
    TBroadcastChannel Channel;
    std::string RequestChannel;
  };
  struct TWatchList {
    int Count = 0;
    std::string ListChannel;  // empty while not advised
  };

  void StartList(int list);
  void StopList(int list);
  void OnConversationMessage(TBroadcastMessage& message, TDataNode& self);
  void OnConversationChanged();
  TPendingRequest& Pending(const std::string& symbol);
  std::string Address() const;

  std::uint8_t tableType_;
  tStringHashTable<TPendingRequest*> pending_;
  std::vector<TWatchList> watchLists_;
  std::string query_;
  TVendorConversationDataNode* conversation_;
};

class TVendorMsgListenerDataNode : public TDataNode {
 public:
  /// A new front node for one symbol (converted to the vendor's spelling) and a link to `callback`; it
  /// starts listening on the data node thread.
  static std::pair<TVendorMsgListenerDataNode*, TDataNodeLink*> Subscribe(const std::string& query,
                                                                         TVendorTable table, bool requestOnly,
                                                                         const std::string& symbol,
                                                                         TCallback callback);
  TVendorMsgListenerDataNode(std::string query, TVendorTable table, bool requestOnly, std::string symbol);
  ~TVendorMsgListenerDataNode() override;

  /// Requests the symbol's record again.
  void Refresh();
  /// During the owner's callback: the record being delivered; null when the connection went down.
  VB4Cursor* Cursor() const { return cursor_; }
  TRecordKind Kind() const { return kind_; }
  const std::string& Symbol() const { return symbol_; }

 private:
  void Start();
  void OnRecord(TBroadcastMessage& message, TDataNode& self);
  void OnListenerChanged() { NotifyListeners(); }

  TVendorConvListenerDataNode* listener_ = nullptr;
  std::string query_;
  std::string symbol_;
  TVendorTable table_;
  bool requestOnly_;
  VB4Cursor* cursor_ = nullptr;
  TRecordKind kind_ = rkNone;
};

}  // namespace tarnwell
