#include "framework/DataNode.h"

#include <algorithm>

#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell {

// A channel's listeners by node id, and how many handles keep it. It leaves the registry when it has
// neither.
struct TBroadcastChannel::TState {
  struct TListener {
    TDataNode* node;
    THandler handler;
  };
  explicit TState(const std::string& n) : name(n) {}
  std::string name;
  tIntegerHashTable<TListener*> listeners;  // guarded by the channel lock
  std::atomic<std::int32_t> handles{0};
};

namespace {

// Process-wide state. Allocated once and never freed: the data node thread may still run while the
// process exits, and must never meet a destroyed registry.
struct TRegistries {
  std::recursive_mutex registryLock;
  std::recursive_mutex autoLinkLock;
  tStringHashTable<TDataNodeWithStringKey*> keyed;  // guarded by registryLock

  std::recursive_mutex nodeRegistryLock;
  tInt64HashTable<TDataNode*> nodes;  // guarded by nodeRegistryLock
  std::int64_t nextNodeId = 1;        // guarded by nodeRegistryLock

  // Listening nodes may be built on the user interface thread while the data node thread delivers, so the
  // channel registry has a lock of its own. It is never held while a handler runs.
  std::recursive_mutex channelLock;
  tStringHashTable<TBroadcastChannel::TState*> channels;  // guarded by channelLock
};

TRegistries& Registries() {
  static TRegistries* registries = new TRegistries;
  return *registries;
}

// Snapshots of a table's entries for loops that call out while the table may change. Kept per thread and
// per nesting depth, so a notification costs no allocation once warm.
template <class Entry>
class TSnapshot {
 public:
  TSnapshot() : entries_(Acquire()) { entries_.clear(); }
  ~TSnapshot() { --Depth(); }
  std::vector<Entry>& Entries() { return entries_; }

 private:
  static int& Depth() {
    thread_local int depth = 0;
    return depth;
  }
  static std::vector<Entry>& Acquire() {
    thread_local std::vector<std::unique_ptr<std::vector<Entry>>> stack;
    int depth = Depth()++;
    if (static_cast<std::size_t>(depth) == stack.size())
      stack.push_back(std::make_unique<std::vector<Entry>>());
    return *stack[static_cast<std::size_t>(depth)];
  }
  std::vector<Entry>& entries_;
};

// Link identities are serial numbers, never addresses: a link made during a notification must not pass for
// a released one whose memory it happens to reuse.
std::atomic<std::intptr_t> nextLinkId{1};

}  // namespace

std::recursive_mutex& RegistryLock() {
  return Registries().registryLock;
}

// --- TDataNodeLink ---------------------------------------------------------------------------------------

void TDataNodeLink::SetReceiveInput(bool value) {
  if (value) {
    if (callback_.IsAssigned() && !receiveInput_.exchange(true, std::memory_order_acq_rel)) {
      source_->listenersChanged_.fetch_add(1, std::memory_order_release);
    }
    return;
  }
  std::lock_guard guard(source_->NodeLock());
  if (receiveInput_.exchange(false, std::memory_order_acq_rel)) {
    source_->listenersChanged_.fetch_add(1, std::memory_order_release);
  }
}

void TDataNodeLink::SetReceiveInput(TDataNodeLink* link, bool value) {
  if (!link) {
    AssertionFailure(value ? "Calling SetReceiveInput(True) on Nil"
                           : "Calling SetReceiveInput(False) on Nil");
  }
  link->SetReceiveInput(value);
}

void TDataNodeLink::Fire() {
  if (!callback_.IsAssigned() || !ReceiveInput()) return;
  try {
    callback_();
  } catch (...) {
    Failed(std::current_exception());
  }
}

void TDataNodeLink::Failed(std::exception_ptr failure) const {
  throw ECallbackFailure(DescribeCallbackFailure(callback_, failure));
}

void TDataNodeLink::Release(TDataNodeLink* link) {
  Assert(link != nullptr);
  link->source_->RemoveLink(link);  // stops the link first, under the same NodeLock
  delete link;
}

// --- TDataNode -------------------------------------------------------------------------------------------

std::mutex& TDataNode::TableLock() const {
  struct alignas(64) TStripe {
    std::mutex lock;
  };
  static constexpr std::size_t kStripes = 64;
  static auto* stripes = new TStripe[kStripes];  // never freed: nodes may go while the process exits
  return stripes[static_cast<std::uint64_t>(nodeId_) % kStripes].lock;
}

TDataNode::TRarelyUsed& TDataNode::RarelyUsed() {
  if (!rarelyUsed_) rarelyUsed_ = std::make_unique<TRarelyUsed>();
  return *rarelyUsed_;
}

TDataNode::TDataNode(bool permanent) {
  TRegistries& r = Registries();
  {
    std::lock_guard guard(r.nodeRegistryLock);
    nodeId_ = r.nextNodeId++;
    r.nodes.Put(nodeId_, this);
  }
  permanent_ = permanent;
}

TDataNode::~TDataNode() {
  TRegistries& r = Registries();
  {
    std::lock_guard guard(r.nodeRegistryLock);
    r.nodes.Remove(nodeId_);
  }
  if (rarelyUsed_) {
    for (const std::string& channel : rarelyUsed_->channels) TBroadcastMessage::RemoveListener(channel, this);
    rarelyUsed_->channels.clear();
  }
  ReleaseAutoLinks();
}

void TDataNode::AfterConstruction() {
  SetAutoLinksReceiveInput(true);
  constructed_ = true;
  std::vector<std::pair<int, TCallback>> deferred;
  if (rarelyUsed_) deferred.swap(rarelyUsed_->deferred);
  for (auto& [priority, callback] : deferred) RunOnDataNodeThread(priority, std::move(callback));
}

void TDataNode::AddAutoLink(TDataNodeLink* link) {
  Assert(link != nullptr, "AddAutoLink(Nil)");
  std::lock_guard guard(Registries().autoLinkLock);
  autoLinks_.push_back(link);
}

void TDataNode::SetAutoLinksReceiveInput(bool value) {
  std::vector<TDataNodeLink*> copy;
  {
    std::lock_guard guard(Registries().autoLinkLock);
    copy = autoLinks_;
  }
  for (TDataNodeLink* link : copy) link->SetReceiveInput(value);
}

void TDataNode::ReleaseAutoLinks() {
  std::vector<TDataNodeLink*> links;
  {
    std::lock_guard guard(Registries().autoLinkLock);
    links.swap(autoLinks_);
  }
  for (TDataNodeLink* link : links) TDataNodeLink::Release(link);
}

TDataNodeLink* TDataNode::CreateLink(TCallback callback) {
  auto* link =
      new TDataNodeLink(nextLinkId.fetch_add(1, std::memory_order_relaxed), this, std::move(callback));
  InsertLink(link);
  return link;
}

void TDataNode::SkipLinkNumbers(int count) {
  nextLinkId.fetch_add(count, std::memory_order_relaxed);
}

void TDataNode::InsertLink(TDataNodeLink* link) {
  std::lock_guard guard(TableLock());
  if (!link->Callback().IsAssigned()) {
    if (!holderLinks_) holderLinks_ = std::make_unique<tIntegerHashTable<TDataNodeLink*>>();
    holderLinks_->Put(link->id_, link);
    return;
  }
  listenerLinks_.Put(link->id_, link);
  listenersChanged_.fetch_add(1, std::memory_order_release);
}

bool TDataNode::IsUnreferenced() {
  std::lock_guard guard(TableLock());
  return !permanent_ && listenerLinks_.Count() == 0 && HolderLinkCount() == 0;
}

void TDataNode::RemoveLink(TDataNodeLink* link) {
  std::int64_t id;
  bool queue;
  {
    // Waits out a notification running on another thread; on this thread (a callback releasing a link of
    // the node that calls it) the lock is already ours and the notification skips the removed link.
    std::lock_guard notifyGuard(nodeLock_);
    link->receiveInput_.store(false, std::memory_order_release);
    std::lock_guard guard(TableLock());
    if (link->Callback().IsAssigned()) {
      listenerLinks_.Remove(link->id_);
      listenersChanged_.fetch_add(1, std::memory_order_release);
    } else {
      if (holderLinks_) holderLinks_->Remove(link->id_);
    }
    if (permanent_ || listenerLinks_.Count() > 0 || HolderLinkCount() > 0) return;  // still in use
    // Read while the table lock still keeps the node: once it goes, a freeing already queued on the data
    // node thread may find the node unreferenced and free it.
    id = nodeId_;
    queue = constructed_ && !TDataNodeThread::IsCurrentThread();
  }
  // No lock held here: on the data node thread the node may be freed at once, and its destructor takes
  // other nodes' locks. A link made meanwhile keeps the node, as the freeing looks again.
  if (queue) {
    TDataNodeThread::Instance().Enqueue(1, id, TW_METHOD(this, FreeIfUnreferenced));
  } else {
    RunOnDataNodeThread(1, TW_METHOD(this, FreeIfUnreferenced));
  }
}

void TDataNode::FreeIfUnreferenced() {
  {
    std::lock_guard guard(RegistryLock());
    if (!IsUnreferenced()) return;
    LeaveRegistry();
  }
  // Freed outside the registry lock: the destructor releases links of other nodes, taking their node
  // locks, while a notification holding such a lock may be waiting for the registry lock (a callback that
  // finds or creates a node). Out of the registry, nobody can link the node meanwhile.
  delete this;
}

int TDataNode::ListenerCount() {
  std::lock_guard guard(TableLock());
  return listenerLinks_.Count();
}

int TDataNode::HolderCount() {
  std::lock_guard guard(TableLock());
  return HolderLinkCount();
}

void TDataNode::NotifyListeners() {
  std::lock_guard guard(nodeLock_);
  std::vector<TListenerEntry> nested;
  const std::vector<TListenerEntry>* snapshot = &listenerSnapshot_;
  std::uint32_t changes = snapshotChanges_;
  if (changes != listenersChanged_.load(std::memory_order_acquire)) {
    std::vector<TListenerEntry>& fresh = notifyDepth_ == 0 ? listenerSnapshot_ : nested;
    fresh.clear();
    std::lock_guard tableGuard(TableLock());
    // The count first: a link that starts receiving after this read counts again.
    changes = listenersChanged_.load(std::memory_order_acquire);
    fresh.reserve(static_cast<std::size_t>(listenerLinks_.Count()));
    listenerLinks_.ForEach([&fresh](std::intptr_t id, TDataNodeLink* link) {
      const TCallback& callback = link->Callback();
      if (!callback.IsAssigned() || !link->ReceiveInput()) return;
      fresh.push_back({id, link, callback.Target(), callback.GetThunk()});
    });
    if (notifyDepth_ == 0) snapshotChanges_ = changes;
    snapshot = &fresh;
  }
  struct TDepth {
    int& depth;
    explicit TDepth(int& d) : depth(d) { ++depth; }
    ~TDepth() { --depth; }
  } depth(notifyDepth_);
  // While no change is counted, every entry of the snapshot is still present and receiving (removals and
  // stops need NodeLock, which this thread holds); after a change during the round each key is looked up
  // again and its link asked.
  for (const TListenerEntry& entry : *snapshot) {
    if (listenersChanged_.load(std::memory_order_acquire) != changes) {
      TDataNodeLink* link;
      {
        std::lock_guard tableGuard(TableLock());
        link = listenerLinks_.Get(entry.id);
      }
      if (link) link->Fire();
      continue;
    }
    try {
      entry.thunk(entry.target);
    } catch (...) {
      entry.link->Failed(std::current_exception());
    }
  }
}

void TDataNode::QueueCallback(int priority, TCallback callback) {
  if (nodeId_ == 0) AssertionFailure("Not initialized:  " + ClassNameOf(typeid(*this)));
  TDataNodeThread::Instance().Enqueue(priority, nodeId_, std::move(callback));
}

void TDataNode::RunOnDataNodeThread(int priority, TCallback callback) {
  if (!constructed_) {
    RarelyUsed().deferred.emplace_back(priority, std::move(callback));
    return;
  }
  if (TDataNodeThread::IsCurrentThread()) {
    callback();
    return;
  }
  QueueCallback(priority, std::move(callback));
}

void TDataNode::ListenForBroadcast(const std::string& channel, THandler handler) {
  std::vector<std::string>& channels = RarelyUsed().channels;
  if (std::find(channels.begin(), channels.end(), channel) != channels.end()) return;
  channels.push_back(channel);
  TBroadcastMessage::AddListener(channel, this, std::move(handler));
}

void TDataNode::StopListening(const std::string& channel) {
  if (!rarelyUsed_) return;
  std::vector<std::string>& channels = rarelyUsed_->channels;
  auto it = std::find(channels.begin(), channels.end(), channel);
  if (it == channels.end()) return;
  channels.erase(it);
  TBroadcastMessage::RemoveListener(channel, this);
}

TDateTime TDataNode::CurrentTime() {
  return TDataNodeThread::Instance().CurrentDataTime();
}

void TDataNode::SetCurrentTime(TDateTime time) {
  TDataNodeThread::Instance().SetCurrentDataTime(time);
}

void TDataNode::SynchronizeWithGui(const std::function<void()>& method) {
  IUserInterfaceThread* ui = UserInterfaceThread();
  if (!ui) {
    method();  // no user interface: nothing else reads node state
    return;
  }
  ui->RunAndWait(method);
}

std::int32_t TDataNode::LiveNodeCount() {
  std::lock_guard guard(Registries().nodeRegistryLock);
  return Registries().nodes.Count();
}

bool TDataNode::IsAlive(std::int64_t nodeId) {
  std::lock_guard guard(Registries().nodeRegistryLock);
  return Registries().nodes.ContainsKey(nodeId);
}

// --- TRegisteredKey ---------------------------------------------------------------------------------------

const std::string& TRegisteredKey::Text() const {
  static const std::string none;
  return key_ ? *key_ : none;
}

void TRegisteredKey::ReportMissing(const char* what) const {
  AddLine(std::string("Assertion failure:  ") + what + " missing from the registry: " + *key_);
}

// --- TDataNodeWithStringKey ------------------------------------------------------------------------------

TDataNodeWithStringKey::~TDataNodeWithStringKey() {
  // A node without a key was never registered (its construction failed, or it was made outside
  // FindOrCreate); a freed one has left the registry already.
  if (!key_.InTable()) return;
  std::lock_guard guard(RegistryLock());
  LeaveRegistry();
}

void TDataNodeWithStringKey::LeaveRegistry() { key_.Leave(Registries().keyed, "keyed node"); }

const std::string& TDataNodeWithStringKey::Key() const { return key_.Text(); }

std::string TDataNodeWithStringKey::MakeKey(std::string_view keyClass, std::string_view keyText) {
  std::string key;
  key.reserve(keyClass.size() + 1 + keyText.size());
  key.append(keyClass).append(";").append(keyText);
  return key;
}

std::pair<TDataNodeWithStringKey*, TDataNodeLink*> TDataNodeWithStringKey::FindOrCreateKeyed(
    const std::string& key, const std::string& keyText, TDataNodeWithStringKey* (*create)(const std::string&),
    TCallback callback) {
  std::lock_guard guard(RegistryLock());
  TDataNodeWithStringKey* node = Registries().keyed.Get(key);
  if (!node) {
    node = create(keyText);
    Registries().keyed.Put(key, node);
    node->key_.Registered(Registries().keyed.StoredKey(key));
  }
  return {node, node->CreateLink(std::move(callback))};
}

// --- TBroadcastChannel -----------------------------------------------------------------------------------

namespace {

// Under the channel lock: takes the channel out of the registry and frees it when nothing keeps it.
void DropIfUnused(TBroadcastChannel::TState* state) {
  if (state->handles.load(std::memory_order_acquire) != 0 || state->listeners.Count() != 0) return;
  Registries().channels.Remove(state->name);
  delete state;
}

// Under the channel lock: the channel of the name, made when missing.
TBroadcastChannel::TState* FindOrMakeChannel(const std::string& name) {
  TRegistries& r = Registries();
  TBroadcastChannel::TState* state = r.channels.Get(name);
  if (!state) {
    state = new TBroadcastChannel::TState(name);
    r.channels.Put(name, state);
  }
  return state;
}

}  // namespace

TBroadcastChannel::TBroadcastChannel(const std::string& name) {
  std::lock_guard guard(Registries().channelLock);
  state_ = FindOrMakeChannel(name);
  state_->handles.fetch_add(1, std::memory_order_relaxed);
}

TBroadcastChannel::TBroadcastChannel(const TBroadcastChannel& other) : state_(other.state_) {
  // The other handle keeps the channel meanwhile, so no lock is needed to count one more.
  if (state_) state_->handles.fetch_add(1, std::memory_order_relaxed);
}

TBroadcastChannel::~TBroadcastChannel() {
  if (!state_ || state_->handles.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  // The last handle: the channel goes unless it has listeners (or a new handle was made by name meanwhile).
  std::lock_guard guard(Registries().channelLock);
  DropIfUnused(state_);
}

const std::string& TBroadcastChannel::Name() const {
  static const std::string* const none = new std::string;
  return state_ ? state_->name : *none;
}

// --- TBroadcastMessage -----------------------------------------------------------------------------------

void TBroadcastMessage::Finished() {
  delete this;
}

void TBroadcastMessage::Send(std::unique_ptr<TBroadcastMessage> message, const std::string& channel,
                             bool immediate, int priority) {
  Send(std::move(message), TBroadcastChannel(channel), immediate, priority);
}

void TBroadcastMessage::Send(std::unique_ptr<TBroadcastMessage> message, TBroadcastChannel channel,
                             bool immediate, int priority) {
  message->channel_ = std::move(channel);
  TBroadcastMessage* raw = message.release();
  if (immediate && TDataNodeThread::IsCurrentThread()) {
    raw->Deliver();
    return;
  }
  TDataNodeThread::Instance().Enqueue(priority, -1, TW_METHOD(raw, Deliver));
}

void TBroadcastMessage::DeliverNow(TBroadcastMessage& message, TBroadcastChannel channel) {
  Assert(TDataNodeThread::IsCurrentThread(), "A broadcast is delivered on the data node thread");
  message.channel_ = std::move(channel);
  message.BeforeDelivery();
  message.DeliverToListeners();
}

void TBroadcastMessage::Deliver() {
  // Finished runs however delivery ends, so a failing handler does not leak the message (or the vendor
  // buffer behind it).
  struct TFinish {
    TBroadcastMessage* message;
    ~TFinish() { message->Finished(); }
  } finish{this};
  BeforeDelivery();
  DeliverToListeners();
}

void TBroadcastMessage::DeliverToListeners() {
  TBroadcastChannel::TState* state = channel_.state_;
  if (!state) return;
  TRegistries& r = Registries();
  TSnapshot<std::intptr_t> snapshot;
  std::vector<std::intptr_t>& keys = snapshot.Entries();
  TDataNode* node = nullptr;
  THandler handler;
  {
    std::lock_guard guard(r.channelLock);
    if (state->listeners.Count() == 0) return;
    state->listeners.CopyKeys(keys);
    // The first listener's entry is taken at once: no handler runs before it, so it needs no second look.
    TBroadcastChannel::TState::TListener* first = state->listeners.Get(keys.front());
    node = first->node;
    handler = first->handler;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (i > 0) {
      // A handler may have removed listeners: each later one is looked up again.
      std::lock_guard guard(r.channelLock);
      TBroadcastChannel::TState::TListener* listener = state->listeners.Get(keys[i]);
      if (!listener) continue;
      node = listener->node;
      handler = listener->handler;
    }
    DeliverTo(*node, handler);
  }
}

void TBroadcastMessage::AddListener(const std::string& channel, TDataNode* node, THandler handler) {
  std::lock_guard guard(Registries().channelLock);
  TBroadcastChannel::TState* state = FindOrMakeChannel(channel);
  auto* listener = new TBroadcastChannel::TState::TListener{node, std::move(handler)};
  const auto id = static_cast<std::intptr_t>(node->NodeId());
  TBroadcastChannel::TState::TListener* replaced = state->listeners.Get(id);
  state->listeners.Put(id, listener);
  delete replaced;
}

void TBroadcastMessage::RemoveListener(const std::string& channel, TDataNode* node) {
  std::lock_guard guard(Registries().channelLock);
  TBroadcastChannel::TState* state = Registries().channels.Get(channel);
  if (!state) return;
  delete state->listeners.Remove(static_cast<std::intptr_t>(node->NodeId()));
  DropIfUnused(state);
}

std::int32_t TBroadcastMessage::ListenerCount(const std::string& channel) {
  std::lock_guard guard(Registries().channelLock);
  TBroadcastChannel::TState* state = Registries().channels.Get(channel);
  return state ? state->listeners.Count() : 0;
}

}  // namespace tarnwell
