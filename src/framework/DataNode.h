#pragma once
// Data nodes: shared, reference-counted pieces of state wired into a graph by links. A node finds or creates
// its inputs, links one of its methods to each, and recomputes when they notify. Users never free nodes:
// they release their links, and a node whose last link goes is freed on the data node thread, which
// releases the node's own input links in turn.
//
// Locks: callbacks run under their source's NodeLock, and a callback may release links or find nodes, which
// takes the registry lock. So nothing that holds the registry lock may wait for a NodeLock held on another
// thread: the link tables have a short lock (never held while anything else is taken, so nodes share a few
// of them), and finding or linking a node takes only that one. Removing a link does take NodeLock (so a
// link is never freed while its source notifies on another thread), and lets go of it before the node may
// be freed; a node is freed outside the registry lock, as its destructor releases links of other nodes.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/Callback.h"
#include "framework/Clock.h"
#include "framework/HashTable.h"

static_assert(sizeof(std::intptr_t) == sizeof(std::int64_t), "node ids serve as integer keys");

namespace tarnwell {

class TDataNode;
class TDataNodeLink;
class TBroadcastMessage;

/// A broadcast handler: (message, listening node).
using THandler = TBoundMethod<TBroadcastMessage&, TDataNode&>;

/// Binds a published handler method: TW_HANDLER(this, OnReply).
#define TW_HANDLER(object, Method) \
  ::tarnwell::THandler::Bind<&std::remove_cvref_t<decltype(*(object))>::Method>((object), #Method)

/// The lock over the keyed registry and every node release.
std::recursive_mutex& RegistryLock();

/// A shared node's key in a registry table of string keys (under the registry lock): the table's stored
/// copy while the node is registered, the node's own copy once it has left the table, so that the key still
/// answers in the destructors.
class TRegisteredKey {
 public:
  TRegisteredKey() = default;
  TRegisteredKey(const TRegisteredKey&) = delete;
  TRegisteredKey& operator=(const TRegisteredKey&) = delete;
  ~TRegisteredKey() {
    if (owned_) delete key_;
  }

  /// The key; empty for a node that was never registered.
  const std::string& Text() const;
  bool InTable() const { return key_ != nullptr && !owned_; }
  void Registered(const std::string* stored) { key_ = stored; }

  /// Takes the entry out of the table. A table without an entry of the key is an inconsistency, reported
  /// in the debug log naming `what` (a destructor must not throw).
  template <class Table>
  void Leave(Table& table, const char* what) {
    if (!InTable()) return;
    auto* own = new std::string(*key_);  // the table's copy goes with the entry
    const bool found = table.Remove(*own) != nullptr;
    key_ = own;
    owned_ = true;
    if (!found) ReportMissing(what);
  }

 private:
  void ReportMissing(const char* what) const;

  const std::string* key_ = nullptr;
  bool owned_ = false;
};

/// One subscription to a node. Whoever asked for it owns it and releases it exactly once.
class TDataNodeLink {
 public:
  /// True: starts firing (only when a callback is assigned; no lock). False: stops, under the source's
  /// NodeLock, so that when it returns no thread is inside this link's callback.
  void SetReceiveInput(bool value);
  /// As the member, failing "Calling SetReceiveInput(True|False) on Nil" for a null link.
  static void SetReceiveInput(TDataNodeLink* link, bool value);

  /// Calls the callback when assigned and receiving; a failure is rethrown as ECallbackFailure.
  void Fire();

  /// Stops the link, removes it from its source and frees it. A null link fails "Assertion failure".
  static void Release(TDataNodeLink* link);
  void Release() { Release(this); }

  bool ReceiveInput() const { return receiveInput_.load(std::memory_order_acquire); }
  TDataNode* Source() const { return source_; }
  const TCallback& Callback() const { return callback_; }

 private:
  friend class TDataNode;
  /// Re-raises the failure of this link's callback as ECallbackFailure naming it.
  [[noreturn]] void Failed(std::exception_ptr failure) const;
  TDataNodeLink(std::intptr_t id, TDataNode* source, TCallback callback)
      : id_(id), source_(source), callback_(std::move(callback)) {}
  ~TDataNodeLink() = default;

  const std::intptr_t id_;  // the link's key in its source's link tables
  std::atomic<bool> receiveInput_{false};
  TDataNode* source_;
  TCallback callback_;
};

/// Releases the link it holds when it goes: for owners that are not nodes (windows, tests).
class TOwnedLink {
 public:
  TOwnedLink() = default;
  explicit TOwnedLink(TDataNodeLink* link) : link_(link) {}
  TOwnedLink(TOwnedLink&& other) noexcept : link_(std::exchange(other.link_, nullptr)) {}
  TOwnedLink& operator=(TOwnedLink&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.link_, nullptr));
    return *this;
  }
  ~TOwnedLink() { Reset(); }
  void Reset(TDataNodeLink* link = nullptr) {
    if (link_) TDataNodeLink::Release(link_);
    link_ = link;
  }
  TDataNodeLink* Get() const { return link_; }
  TDataNodeLink* operator->() const { return link_; }
  explicit operator bool() const { return link_ != nullptr; }

 private:
  TDataNodeLink* link_ = nullptr;
};

/// Raised by TDataNodeLink::Fire in place of a callback's failure; the message names the callback.
class ECallbackFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDataNode {
 public:
  explicit TDataNode(bool permanent = false);
  TDataNode(const TDataNode&) = delete;
  TDataNode& operator=(const TDataNode&) = delete;
  virtual ~TDataNode();

  /// Constructs a node and activates its auto links once the whole constructor chain has run.
  template <class T, class... A>
  static T* Create(A&&... args) {
    T* node = new T(std::forward<A>(args)...);
    node->AfterConstruction();
    return node;
  }
  virtual void AfterConstruction();

  /// Takes ownership of a link on one of this node's inputs; null fails "AddAutoLink(Nil)".
  void AddAutoLink(TDataNodeLink* link);
  /// AddAutoLink for what a Find returned; the node found.
  template <class T>
  T* Adopt(std::pair<T*, TDataNodeLink*> found) {
    AddAutoLink(found.second);
    return found.first;
  }
  void SetAutoLinksReceiveInput(bool value);
  void ReleaseAutoLinks();

  /// A new, inactive link on this node; the caller owns it. Without a callback it only holds the node.
  TDataNodeLink* CreateLink(TCallback callback = {});
  void InsertLink(TDataNodeLink* link);
  /// Uses up `count` link numbers without making links. A listener table fires in an order that follows the
  /// numbers, so an owner that holds one link on behalf of many users skips the numbers their own links
  /// would take, and every later link is numbered (and fires) as if each user held its own.
  static void SkipLinkNumbers(int count);
  void RemoveLink(TDataNodeLink* link);
  bool IsUnreferenced();

  /// Fires every active listener link, in the link table's order, under NodeLock. Links added meanwhile
  /// wait for the next notification; links removed meanwhile do not fire.
  void NotifyListeners();

  /// Queues a job for this node; it is dropped if the node is gone when it reaches the head of the queue.
  void QueueCallback(int priority, TCallback callback);
  /// On the data node thread: calls at once. Elsewhere: QueueCallback. During construction the call waits
  /// for AfterConstruction, so that it never meets a half-built node (a queued job could otherwise run
  /// while another thread is still in the constructor, and a call at once would reach a base class).
  void RunOnDataNodeThread(int priority, TCallback callback);

  /// Listens on a channel; a second call for the same channel keeps the first handler.
  void ListenForBroadcast(const std::string& channel, THandler handler);
  void StopListening(const std::string& channel);

  /// The queue time of the running job (0 between jobs): "now" for market logic. Data node thread.
  static TDateTime CurrentTime();
  /// Overrides CurrentTime for the rest of the running job (playback, fake data).
  static void SetCurrentTime(TDateTime time);
  /// From the data node thread: runs the method on the user interface thread and waits for it.
  static void SynchronizeWithGui(const std::function<void()>& method);

  std::int64_t NodeId() const { return nodeId_; }
  bool Permanent() const { return permanent_; }
  std::recursive_mutex& NodeLock() { return nodeLock_; }
  int ListenerCount();
  int HolderCount();

  /// Number of nodes alive in the process (diagnostics and tests).
  static std::int32_t LiveNodeCount();
  /// True while the node with that id exists (ids are never reused).
  static bool IsAlive(std::int64_t nodeId);

 protected:
  /// A job: frees the node if it is still unreferenced (a FindOrCreate may have linked it meanwhile).
  void FreeIfUnreferenced();
  /// Takes the node out of whatever registry finds it by key, so that nobody links it again. Under the
  /// registry lock, before a free; the default has no registry to leave.
  virtual void LeaveRegistry() {}

 private:
  friend class TDataNodeLink;  // counts receive changes
  /// The short lock over this node's link tables. Never held while anything else is taken, so nodes share a
  /// few of them (picked by node id) rather than each carrying its own.
  std::mutex& TableLock() const;
  /// Under TableLock().
  std::int32_t HolderLinkCount() const { return holderLinks_ ? holderLinks_->Count() : 0; }

  // What few nodes need: broadcast channels listened to, and calls made during construction.
  struct TRarelyUsed {
    std::vector<std::string> channels;
    std::vector<std::pair<int, TCallback>> deferred;  // RunOnDataNodeThread calls made during construction
  };
  TRarelyUsed& RarelyUsed();

  std::recursive_mutex nodeLock_;
  tIntegerHashTable<TDataNodeLink*> listenerLinks_;  // guarded by TableLock(); removal also under nodeLock_
  // Guarded by TableLock(); made with the first holder link (most nodes only ever have listeners).
  std::unique_ptr<tIntegerHashTable<TDataNodeLink*>> holderLinks_;
  // Counts every change of the receiving listeners: a listener link added or removed, or a link of the node
  // starting or stopping to receive input. Readable without the lock.
  std::atomic<std::uint32_t> listenersChanged_{0};
  // Guarded by nodeLock_: listenersChanged_ when the snapshot was taken. A new node's empty snapshot is right
  // for its count 0, as every link added or starting to receive counts.
  std::uint32_t snapshotChanges_ = 0;
  // The receiving listener links as of one count of changes, reused by every notification until the next
  // change. Each entry carries its callback's parts, so that a notification calls them without touching the
  // link. Rebuilt in place only by an outermost notification (a nested one, a callback notifying the same
  // node, walks a copy of its own), so no walk ever sees its list change.
  struct TListenerEntry {
    std::intptr_t id;
    TDataNodeLink* link;
    void* target;
    TCallback::Thunk thunk;
  };
  std::vector<TListenerEntry> listenerSnapshot_;  // guarded by nodeLock_
  std::int64_t nodeId_ = 0;
  std::vector<TDataNodeLink*> autoLinks_;  // guarded by the auto-link lock
  std::unique_ptr<TRarelyUsed> rarelyUsed_;
  std::int32_t notifyDepth_ = 0;  // guarded by nodeLock_
  bool permanent_ = false;
  bool constructed_ = false;  // set by AfterConstruction
};

/// A node shared by key: class name, ";", key text. Each keyed class T provides
///   static constexpr const char* kKeyClass;              the class part of its keys
///   static T* CreateFromKey(const std::string& keyText); parses the key text and builds the node
class TDataNodeWithStringKey : public TDataNode {
 public:
  using TDataNode::TDataNode;
  ~TDataNodeWithStringKey() override;

  /// The full key it is registered under; empty when it is not registered.
  const std::string& Key() const;
  static std::string MakeKey(std::string_view keyClass, std::string_view keyText);

  /// The shared node of that key, created on first use, and a new inactive link on it that the caller
  /// activates (or hands to AddAutoLink) and releases exactly once.
  template <class T>
  static std::pair<T*, TDataNodeLink*> FindOrCreate(const std::string& keyText, TCallback callback = {}) {
    auto [node, link] = FindOrCreateKeyed(
        MakeKey(T::kKeyClass, keyText), keyText,
        [](const std::string& text) -> TDataNodeWithStringKey* { return T::CreateFromKey(text); },
        std::move(callback));
    return {static_cast<T*>(node), link};
  }

 private:
  static std::pair<TDataNodeWithStringKey*, TDataNodeLink*> FindOrCreateKeyed(
      const std::string& key, const std::string& keyText,
      TDataNodeWithStringKey* (*create)(const std::string&), TCallback callback);
  void LeaveRegistry() override;

  TRegisteredKey key_;
};

/// A broadcast channel found by name once and kept: a message sent through the handle needs neither a copy
/// of the name nor its hash. The channel's listener table lives while a handle or a listener does, so a
/// handle always reaches whoever listens by that name. Copies are cheap (a count); any thread.
class TBroadcastChannel {
 public:
  TBroadcastChannel() = default;
  /// The channel of that name, made when nobody has it yet.
  explicit TBroadcastChannel(const std::string& name);
  TBroadcastChannel(const TBroadcastChannel& other);
  TBroadcastChannel(TBroadcastChannel&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  TBroadcastChannel& operator=(TBroadcastChannel other) noexcept {
    std::swap(state_, other.state_);
    return *this;
  }
  ~TBroadcastChannel();

  /// The name; empty for an empty handle.
  const std::string& Name() const;
  explicit operator bool() const { return state_ != nullptr; }
  bool operator==(const TBroadcastChannel& other) const { return state_ == other.state_; }

  struct TState;  // the registry's entry of a channel

 private:
  friend class TBroadcastMessage;
  TState* state_ = nullptr;
};

/// A message to every node listening on a channel, delivered on the data node thread. Descendants add
/// their payload.
class TBroadcastMessage {
 public:
  virtual ~TBroadcastMessage() = default;

  /// Called once after delivery (also after a failing handler); the default frees the message.
  virtual void Finished();
  /// Runs at the start of delivery.
  virtual void BeforeDelivery() {}
  virtual void DeliverTo(TDataNode& node, const THandler& handler) { handler(*this, node); }

  /// Hands the message to the framework. Immediate and on the data node thread: delivered in the call;
  /// otherwise queued at the priority.
  static void Send(std::unique_ptr<TBroadcastMessage> message, const std::string& channel, bool immediate,
                   int priority);
  static void Send(std::unique_ptr<TBroadcastMessage> message, TBroadcastChannel channel, bool immediate,
                   int priority);
  /// Delivers a message the caller keeps (one on its stack, say) to every listener of the channel, now,
  /// without Finished. Data node thread.
  static void DeliverNow(TBroadcastMessage& message, TBroadcastChannel channel);
  /// Delivers to every listener of the channel, then Finished. Data node thread.
  void Deliver();

  const std::string& Channel() const { return channel_.Name(); }

  static void AddListener(const std::string& channel, TDataNode* node, THandler handler);
  static void RemoveListener(const std::string& channel, TDataNode* node);
  /// Listeners on a channel (diagnostics and tests).
  static std::int32_t ListenerCount(const std::string& channel);

 private:
  void DeliverToListeners();

  TBroadcastChannel channel_;
};

}  // namespace tarnwell
