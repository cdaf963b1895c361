#include "marketdata/vendor/VendorListeners.h"

#include <algorithm>

#include "marketdata/vendor/VendorField.h"

namespace tarnwell {

std::string VendorTableName(int table) {
  if (table == vtLiveQuote) return "LIVEQUOTE";
  if (table == vtRegional) return "REGIONAL";
  AssertionFailure("Invalid table type: " + std::to_string(table));
}

// --- TVendorConvListenerDataNode -------------------------------------------------------------------------

TVendorConvListenerDataNode::TVendorConvListenerDataNode(const TParamList& params) : TGenericDataNode(true) {
  CheckParamCount(params, 3, "Expecting Query, Table, Conversation");
  query_ = params[0].AsString();
  tableType_ = static_cast<std::uint8_t>(params[1].AsInteger());
  VendorTableName(tableType_);  // an unknown table fails here, not at the first request
  const TFactoryRef* factory = params[2].Factory();
  Assert(factory && *factory);
  auto [node, link] = (*factory)->GetNode(TW_METHOD(this, OnConversationChanged));
  conversation_ = dynamic_cast<TVendorConversationDataNode*>(node);
  Assert(conversation_ != nullptr);
  AddAutoLink(link);
}

TVendorConvListenerDataNode::~TVendorConvListenerDataNode() {
  for (auto it = pending_.CreateIterator(); it->IsValid(); it->Next()) delete it->Value();
}

std::string TVendorConvListenerDataNode::Address() const {
  return std::to_string(static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(this)));
}

std::string TVendorConvListenerDataNode::SymbolItem(const std::string& symbol) const {
  return VendorTableName(tableType_) + ";1003," + query_ + "1003='" + symbol + "'";
}

std::string TVendorConvListenerDataNode::ListName(int list) const {
  return "List_" + Address() + "_" + std::to_string(list);
}

std::string TVendorConvListenerDataNode::ListItem(int list) const {
  return VendorTableName(tableType_) + ";1003," + query_ + "9034='" + ListName(list) + "'";
}

std::string TVendorConvListenerDataNode::SymbolChannel(const std::string& symbol) const {
  return "TVendorConvListenerDataNode." + Address() + "." + symbol;
}

TVendorConvListenerDataNode::TPendingRequest& TVendorConvListenerDataNode::Pending(const std::string& symbol) {
  TPendingRequest* request = pending_.Get(symbol);
  Assert(request != nullptr);
  return *request;
}

int TVendorConvListenerDataNode::ListIndexOf(const std::string& symbol) const {
  TPendingRequest* request = pending_.Get(symbol);
  return request ? request->ListIndex : -1;
}

int TVendorConvListenerDataNode::ListCount(int list) const {
  return list >= 0 && list < static_cast<int>(watchLists_.size()) ? watchLists_[list].Count : 0;
}

bool TVendorConvListenerDataNode::ListAdvised(int list) const {
  return list >= 0 && list < static_cast<int>(watchLists_.size()) && !watchLists_[list].ListChannel.empty();
}

std::string TVendorConvListenerDataNode::AddSymbol(const std::string& symbol, bool requestOnly) {
  if (pending_.ContainsKey(symbol)) throw std::runtime_error("Duplicate symbol, " + symbol + ", for " + query_);
  auto request = std::make_unique<TPendingRequest>();
  request->Channel = TBroadcastChannel(SymbolChannel(symbol));
  if (!requestOnly) {
    int list = 0;
    while (list < static_cast<int>(watchLists_.size()) && watchLists_[list].Count > 199) ++list;
    if (list >= static_cast<int>(watchLists_.size())) {
      watchLists_.resize(std::max<std::size_t>(list + 10, 2 * watchLists_.size()));
    }
    ++watchLists_[list].Count;
    if (watchLists_[list].ListChannel.empty()) StartList(list);
    request->ListIndex = list;
  }
  request->RequestChannel = conversation_->RegisterRequest(SymbolItem(symbol));
  ListenForBroadcast(request->RequestChannel, TW_HANDLER(this, OnConversationMessage));
  std::string channel = request->Channel.Name();
  pending_.Put(symbol, request.release());
  return channel;
}

void TVendorConvListenerDataNode::StartSymbol(const std::string& symbol) {
  SendRequest(symbol);
  AddWatch(symbol);
}

void TVendorConvListenerDataNode::SendRequest(const std::string& symbol) {
  Pending(symbol);
  conversation_->Request(SymbolItem(symbol), "VB4");
}

void TVendorConvListenerDataNode::AddWatch(const std::string& symbol) {
  int list = Pending(symbol).ListIndex;
  if (list == -1) return;
  conversation_->ExecuteCommand("[AddWatch(" + VendorTableName(tableType_) + "," + ListName(list) + "," + symbol +
                                ")]");
}

void TVendorConvListenerDataNode::RefreshSymbol(const std::string& symbol) {
  if (pending_.ContainsKey(symbol)) conversation_->Request(SymbolItem(symbol), "VB4");
}

void TVendorConvListenerDataNode::RemoveSymbol(const std::string& symbol) {
  std::unique_ptr<TPendingRequest> request(pending_.Get(symbol));
  if (!request) return;
  conversation_->UnregisterRequest(SymbolItem(symbol));
  StopListening(request->RequestChannel);
  if (request->ListIndex != -1) {
    int list = request->ListIndex;
    conversation_->ExecuteCommand("[DeleteWatch(" + VendorTableName(tableType_) + "," + ListName(list) + "," +
                                  symbol + ")]");
    if (--watchLists_[list].Count == 0) StopList(list);
  }
  pending_.Remove(symbol);
}

void TVendorConvListenerDataNode::StartList(int list) {
  TWatchList& watch = watchLists_[list];
  if (watch.ListChannel.empty()) {
    watch.ListChannel = conversation_->RegisterRequest(ListItem(list));
    ListenForBroadcast(watch.ListChannel, TW_HANDLER(this, OnConversationMessage));
  }
  conversation_->Advise(ListItem(list), "VB4");
}

void TVendorConvListenerDataNode::StopList(int list) {
  if (list < 0 || list >= static_cast<int>(watchLists_.size())) return;
  TWatchList& watch = watchLists_[list];
  if (watch.ListChannel.empty()) return;
  conversation_->Unadvise(ListItem(list), "VB4");
  conversation_->UnregisterRequest(ListItem(list));
  StopListening(watch.ListChannel);
  watch.ListChannel.clear();
}

void TVendorConvListenerDataNode::OnConversationMessage(TBroadcastMessage& message, TDataNode&) {
  auto* info = dynamic_cast<TVendorMessageInfo*>(&message);
  Assert(info != nullptr);
  const VConvMessage* vendorMessage = info->Message();
  if (!vendorMessage) return;
  DeliverBlock(VConvDataGetData(vendorMessage), vendorMessage->Type == 4 ? rkReply : rkUpdate);
}

void TVendorConvListenerDataNode::DeliverBlock(const void* block, TRecordKind kind) {
  VB4Cursor cursor;
  if (VB4_Open(block, &cursor, 0) != 0) return;
  do {
    const void* field = nullptr;
    if (VB4_FindField(&cursor, vf::DISP_NAME, &field) != 0) continue;
    TVendorField symbolField(field);
    if (!symbolField.HasValue()) continue;
    std::string symbol = symbolField.AsString();
    TPendingRequest* request = pending_.Get(symbol);
    if (!request) continue;  // not ours, or no longer wanted
    VB4_GotoField(&cursor, 0);
    // Decoded in place: the record is a cursor into the block, handed over on this stack.
    TVendorRecordInfo record(&cursor, kind);
    TBroadcastMessage::DeliverNow(record, request->Channel);
    // A one-time request ends with its first reply. The request may be gone already: a front node can
    // unsubscribe from inside its callback.
    request = pending_.Get(symbol);
    if (request && request->ListIndex == -1) RemoveSymbol(symbol);
  } while (VB4_NextRecord(&cursor) == 0);
}

void TVendorConvListenerDataNode::OnConversationChanged() {
  if (!conversation_->Connected()) {
    NotifyListeners();  // every front node hears about it, without a record
    return;
  }
  std::vector<std::string> symbols;
  pending_.CopyKeys(symbols);
  for (const std::string& symbol : symbols) SendRequest(symbol);
  for (int list = 0; list < static_cast<int>(watchLists_.size()); ++list) {
    if (watchLists_[list].Count > 0) StartList(list);
  }
  for (const std::string& symbol : symbols) AddWatch(symbol);
}

// --- TVendorMsgListenerDataNode --------------------------------------------------------------------------

std::pair<TVendorMsgListenerDataNode*, TDataNodeLink*> TVendorMsgListenerDataNode::Subscribe(
    const std::string& query, TVendorTable table, bool requestOnly, const std::string& symbol, TCallback callback) {
  auto* node = Create<TVendorMsgListenerDataNode>(query, table, requestOnly, ToVendorSymbol(symbol));
  return {node, node->CreateLink(std::move(callback))};
}

TVendorMsgListenerDataNode::TVendorMsgListenerDataNode(std::string query, TVendorTable table, bool requestOnly,
                                                       std::string symbol)
    : query_(std::move(query)), symbol_(std::move(symbol)), table_(table), requestOnly_(requestOnly) {
  RunOnDataNodeThread(1, TW_METHOD(this, Start));
}

TVendorMsgListenerDataNode::~TVendorMsgListenerDataNode() {
  if (listener_) listener_->RemoveSymbol(symbol_);
}

void TVendorMsgListenerDataNode::Start() {
  TFactoryRef factory = TGenericDataNodeFactory::Make<TVendorConvListenerDataNode>(
      query_, static_cast<int>(table_), VendorConversationFactory());
  auto [node, link] = factory->GetNode(TW_METHOD(this, OnListenerChanged));
  link->SetReceiveInput(true);
  AddAutoLink(link);
  listener_ = static_cast<TVendorConvListenerDataNode*>(node);
  std::string channel = listener_->AddSymbol(symbol_, requestOnly_);
  ListenForBroadcast(channel, TW_HANDLER(this, OnRecord));
  listener_->StartSymbol(symbol_);
}

void TVendorMsgListenerDataNode::Refresh() {
  if (listener_) listener_->RefreshSymbol(symbol_);
}

void TVendorMsgListenerDataNode::OnRecord(TBroadcastMessage& message, TDataNode&) {
  auto& record = static_cast<TVendorRecordInfo&>(message);
  cursor_ = record.Cursor;
  kind_ = record.Kind;
  // Clear the record even when a listener fails: the cursor dies with this delivery.
  struct TClear {
    TVendorMsgListenerDataNode* node;
    ~TClear() {
      node->cursor_ = nullptr;
      node->kind_ = rkNone;
    }
  } clear{this};
  NotifyListeners();
}

}  // namespace tarnwell
