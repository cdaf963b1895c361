#pragma once
// The one conversation with the vendor's server that carries all market data. Its node value is
// "connected"; its thread connects, reconnects after failures and hands every reply and update to the data
// node thread as a broadcast on the channel registered for the message's item.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "framework/GenericNode.h"
#include "vconv.h"

namespace tarnwell {

/// Fills the message pool and initialises the vendor library; false when the library is not ready (then
/// every conversation stays idle). Once, at start-up.
bool InitializeVendorLibrary();
/// Shuts the vendor library down. Once, at exit.
void ShutdownVendorLibrary();
bool VendorLibraryReady();

/// A vendor message on its way to the listeners of its item. Finished gives the message back to the
/// library and the object back to the pool.
class TVendorMessageInfo final : public TBroadcastMessage {
 public:
  static constexpr int kPoolSize = 10000;
  /// From the pool when it has one; takes over `message`.
  static std::unique_ptr<TVendorMessageInfo> Make(VConvMessage* message);
  void Finished() override;
  const VConvMessage* Message() const { return message_; }

  /// Objects waiting in the pool (diagnostics and tests).
  static std::size_t PoolFree();
  /// Makes the pool's objects once, at start-up.
  static void FillPool();

 private:
  TVendorMessageInfo() = default;
  bool pooled_ = false;
  VConvMessage* message_ = nullptr;
};

/// An event whose file descriptor can be polled together with the vendor library's (auto-reset).
class TWakeFd {
 public:
  TWakeFd();
  ~TWakeFd();
  void Set();
  /// Waits for this event, or for `otherFd` (when not -1) to become readable, at most `timeoutMs`.
  void Wait(int timeoutMs, int otherFd = -1);

 private:
  int fd_;
};

class TVendorConversationDataNode : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TVendorConversationDataNode";
  enum TState : std::uint8_t { csNotConnected = 0, csConnected = 1, csTerminated = 2 };

  /// (Name, Machine, Service, Topic).
  explicit TVendorConversationDataNode(const TParamList& params);
  ~TVendorConversationDataNode() override;

  bool GetBoolean() override { return connected_; }
  bool IsValid() override { return true; }
  bool Connected() const { return connected_; }

  // Data node thread; while not connected they do nothing.
  void Request(const std::string& item, const std::string& format = "VB4");
  void Advise(const std::string& item, const std::string& format = "VB4");
  void Unadvise(const std::string& item, const std::string& format = "VB4");
  void ExecuteCommand(const std::string& command);
  /// Requests, advises, unadvises and commands sent so far: a caller that saw the same count before knows
  /// that nothing was asked of the server since. Any thread.
  std::uint64_t OutgoingCount() const { return outgoing_.load(std::memory_order_acquire); }

  /// The channel on which the item's messages arrive; an item registered twice fails
  /// "Duplicate vendor request:  <item>".
  std::string RegisterRequest(const std::string& item);
  /// The item's channel, or an empty handle.
  TBroadcastChannel LookupRequest(const std::string& item);
  void UnregisterRequest(const std::string& item);

  TState State() const { return state_.load(); }

  /// Sees every message the conversation takes from the library, on the conversation thread, before it is
  /// dispatched; returning true keeps the message from the listeners (it is released at once). A replay
  /// drives its clock from here. Set it before the conversation is created; it stays for the process.
  using TMessageObserver = std::function<bool(const VConvMessage&)>;
  static void SetMessageObserver(TMessageObserver observer);
  /// Messages taken from the library and released, for leak checks.
  static std::uint64_t MessagesTaken();
  static std::uint64_t MessagesReleased();

 private:
  void Execute();
  void ConnectStep();
  void ConnectedStep();
  void Dispatch(VConvMessage* message);
  void ReportStatistics();
  void SetConnected(bool connected);
  void MarkConnected() { SetConnected(true); }
  /// A job: drop the handle and connect again at once.
  void Disconnect();
  void Log(const std::string& text);

  bool connected_ = false;  // data node thread
  std::atomic<std::uint64_t> outgoing_{0};
  std::string name_, machine_, service_, topic_;
  // The handle is used by the conversation thread while polling and freed by the disconnect job on the
  // data node thread: handleLock_ serialises the two, so no call ever sees a freed handle.
  std::mutex handleLock_;
  VConvHandle handle_ = 0;        // guarded by handleLock_
  bool handleAllocated_ = false;  // guarded by handleLock_
  TWakeFd wake_;
  std::atomic<bool> stopping_{false};
  std::atomic<TState> state_{csNotConnected};
  std::mutex requestLock_;
  tStringHashTable<TBroadcastChannel> requests_;  // guarded by requestLock_
  std::thread thread_;

  // Statistics, conversation thread only.
  TDateTime nextReport_ = 0;
  int messagesThisMinute_ = 0;
  int maxLiveCount_ = 0;
  int liveCount_ = 0;
  double maxLiveTime_ = 0;
  bool woken_ = false;
  std::chrono::steady_clock::time_point wokeAt_;
};

/// The factory of the system's conversation: ("TosL1", "&QUOTES&", "MD_SRV", "LIVEQUOTE").
const TFactoryRef& VendorConversationFactory();

}  // namespace tarnwell
