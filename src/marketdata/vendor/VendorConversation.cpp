#include "marketdata/vendor/VendorConversation.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

std::atomic<bool> libraryReady{false};
std::atomic<std::uint64_t> messagesTaken{0};
std::atomic<std::uint64_t> messagesReleased{0};
// Set before any conversation thread starts and never changed afterwards, so the threads read it unlocked.
TVendorConversationDataNode::TMessageObserver* messageObserver = nullptr;

void ReleaseVendorMessage(VConvMessage* message) {
  VConvFreeData(message);
  ++messagesReleased;
}

// The free list of message objects, with a lock of its own.
struct TMessagePool {
  std::mutex lock;
  std::vector<TVendorMessageInfo*> free;  // guarded by lock
};

TMessagePool& Pool() {
  static auto* pool = new TMessagePool;
  return *pool;
}

std::string SignedLowByte(int value) {
  return std::to_string(static_cast<int>(static_cast<std::int8_t>(value)));
}

}  // namespace

// --- Library and message pool ----------------------------------------------------------------------------

bool InitializeVendorLibrary() {
  TVendorMessageInfo::FillPool();
  libraryReady = VConvInitialize() == 1;
  return libraryReady;
}

void ShutdownVendorLibrary() {
  libraryReady = false;
  VConvShutdown();
}

bool VendorLibraryReady() {
  return libraryReady;
}

void TVendorMessageInfo::FillPool() {
  std::lock_guard guard(Pool().lock);
  if (!Pool().free.empty()) return;
  Pool().free.reserve(kPoolSize);
  for (int i = 0; i < kPoolSize; ++i) {
    auto* info = new TVendorMessageInfo;
    info->pooled_ = true;
    Pool().free.push_back(info);
  }
}

std::unique_ptr<TVendorMessageInfo> TVendorMessageInfo::Make(VConvMessage* message) {
  TVendorMessageInfo* info = nullptr;
  {
    std::lock_guard guard(Pool().lock);
    if (!Pool().free.empty()) {
      info = Pool().free.back();
      Pool().free.pop_back();
    }
  }
  if (!info) info = new TVendorMessageInfo;
  info->message_ = message;
  return std::unique_ptr<TVendorMessageInfo>(info);
}

void TVendorMessageInfo::Finished() {
  if (message_) ReleaseVendorMessage(message_);
  message_ = nullptr;
  if (!pooled_) {
    delete this;
    return;
  }
  std::lock_guard guard(Pool().lock);
  Pool().free.push_back(this);
}

std::size_t TVendorMessageInfo::PoolFree() {
  std::lock_guard guard(Pool().lock);
  return Pool().free.size();
}

// --- Wake event ------------------------------------------------------------------------------------------

TWakeFd::TWakeFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  Assert(fd_ >= 0);
}

TWakeFd::~TWakeFd() {
  ::close(fd_);
}

void TWakeFd::Set() {
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(fd_, &one, sizeof one);
}

void TWakeFd::Wait(int timeoutMs, int otherFd) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {otherFd, POLLIN, 0}};
  if (::poll(fds, otherFd >= 0 ? 2 : 1, timeoutMs) <= 0) return;
  if (fds[0].revents & POLLIN) {
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);  // auto-reset
  }
}

// --- Conversation ----------------------------------------------------------------------------------------

TVendorConversationDataNode::TVendorConversationDataNode(const TParamList& params) {
  CheckParamCount(params, 4, "Expected params: (Name, Machine, Service, Topic)");
  name_ = params[0].AsString();
  machine_ = params[1].AsString();
  service_ = params[2].AsString();
  topic_ = params[3].AsString();
  // Without the vendor library there is nothing to converse with: no thread, rather than one that ends at
  // once and waits to be joined for as long as the node lives.
  if (VendorLibraryReady()) thread_ = std::thread([this] { Execute(); });
}

TVendorConversationDataNode::~TVendorConversationDataNode() {
  stopping_ = true;
  wake_.Set();
  if (thread_.joinable()) thread_.join();
  std::lock_guard guard(handleLock_);
  if (handleAllocated_) VConvFree(handle_);
  handleAllocated_ = false;
}

void TVendorConversationDataNode::Log(const std::string& text) {
  AddLine(text);
}

void TVendorConversationDataNode::Execute() {
  while (!stopping_) {
    switch (state_.load()) {
      case csNotConnected:
        ConnectStep();
        break;
      case csConnected:
        ConnectedStep();
        break;
      case csTerminated:
        wake_.Wait(2000);
        break;
    }
  }
}

void TVendorConversationDataNode::ConnectStep() {
  Log("Attempting to connect (" + machine_ + ", " + service_ + ", " + topic_ + ")");
  VConvHandle handle = 0;
  int result = VConvConnect(machine_.c_str(), service_.c_str(), topic_.c_str(), &handle);
  if (result == 1) {
    std::lock_guard guard(handleLock_);
    handle_ = handle;
    handleAllocated_ = true;
    state_ = csConnected;
    return;
  }
  Log("VConvConnect failed:  " + SignedLowByte(result));
  int freed = VConvFree(handle);
  Log("VConvFree(" + std::to_string(handle) + ") -> " + SignedLowByte(freed));
  wake_.Wait(2000);
}

void TVendorConversationDataNode::ReportStatistics() {
  TDateTime now = clock::Now();
  if (now < nextReport_) return;
  nextReport_ = now + kOneMinute;
  if (messagesThisMinute_ == 0) return;
  char text[160];
  std::snprintf(text, sizeof text, "MessageCount=%d, MaxLiveCount=%d, MaxLiveTime=%.04f", messagesThisMinute_,
                maxLiveCount_, maxLiveTime_);
  Log(text);
  messagesThisMinute_ = 0;
  maxLiveCount_ = 0;  // the longest time is kept for the whole run
}

void TVendorConversationDataNode::ConnectedStep() {
  ReportStatistics();
  VConvMessage* message = nullptr;
  {
    std::lock_guard guard(handleLock_);
    if (handleAllocated_) message = VConvGetData(handle_);
  }
  if (message) {
    ++messagesTaken;
    ++messagesThisMinute_;
    ++liveCount_;
    Dispatch(message);
    return;
  }
  auto now = std::chrono::steady_clock::now();
  if (woken_) maxLiveTime_ = std::max(maxLiveTime_, std::chrono::duration<double>(now - wokeAt_).count());
  int libraryFd = -1;
  {
    std::lock_guard guard(handleLock_);
    if (handleAllocated_ && VConvGetEventHandle(handle_, &libraryFd) != 1) libraryFd = -1;
  }
  wake_.Wait(100, libraryFd);
  maxLiveCount_ = std::max(maxLiveCount_, liveCount_);
  liveCount_ = 0;
  woken_ = true;
  wokeAt_ = std::chrono::steady_clock::now();
}

void TVendorConversationDataNode::SetMessageObserver(TMessageObserver observer) {
  delete messageObserver;
  messageObserver = observer ? new TMessageObserver(std::move(observer)) : nullptr;
}

void TVendorConversationDataNode::Dispatch(VConvMessage* message) {
  if (messageObserver && (*messageObserver)(*message)) {
    ReleaseVendorMessage(message);
    return;
  }
  switch (message->Type) {
    case 0:
      Log("VCONV_INIT_ACK");
      QueueCallback(1, TW_METHOD(this, MarkConnected));
      break;
    case 1:
      Log("VCONV_INIT_NACK");
      wake_.Wait(2000);
      QueueCallback(1, TW_METHOD(this, Disconnect));
      break;
    case 2:
    case 5:
      break;
    case 4:
    case 7: {
      TBroadcastChannel channel = LookupRequest(message->Text ? message->Text : "");
      if (!channel) break;  // nobody listens for this item any more
      TBroadcastMessage::Send(TVendorMessageInfo::Make(message), std::move(channel), false, 1);
      return;  // the message belongs to the broadcast now
    }
    case 6:
      Log(std::string("VCONV_OTHER_NACK:  ") + (message->Text ? message->Text : ""));
      break;
    case 8:
      Log("VCONV_TERMINATE");
      state_ = csTerminated;
      QueueCallback(1, TW_METHOD(this, Disconnect));
      break;
    default:
      Log("Unexpected:  " + SignedLowByte(message->Type));
      break;
  }
  ReleaseVendorMessage(message);
}

void TVendorConversationDataNode::SetConnected(bool connected) {
  if (connected_ == connected) return;
  connected_ = connected;
  NotifyListeners();
}

void TVendorConversationDataNode::Disconnect() {
  SetConnected(false);
  {
    std::lock_guard guard(handleLock_);
    if (handleAllocated_) VConvFree(handle_);
    handleAllocated_ = false;
    state_ = csNotConnected;
  }
  wake_.Set();  // connect again at once
}

void TVendorConversationDataNode::Request(const std::string& item, const std::string& format) {
  if (!connected_) return;
  std::lock_guard guard(handleLock_);
  if (!handleAllocated_) return;
  VConvRequest(handle_, item.c_str(), format.c_str());
  outgoing_.fetch_add(1, std::memory_order_release);
}

void TVendorConversationDataNode::Advise(const std::string& item, const std::string& format) {
  if (!connected_) return;
  std::lock_guard guard(handleLock_);
  if (!handleAllocated_) return;
  VConvAdvise(handle_, item.c_str(), format.c_str());
  outgoing_.fetch_add(1, std::memory_order_release);
}

void TVendorConversationDataNode::Unadvise(const std::string& item, const std::string& format) {
  if (!connected_) return;
  std::lock_guard guard(handleLock_);
  if (!handleAllocated_) return;
  VConvUnadvise(handle_, item.c_str(), format.c_str());
  outgoing_.fetch_add(1, std::memory_order_release);
}

void TVendorConversationDataNode::ExecuteCommand(const std::string& command) {
  if (!connected_) return;
  std::lock_guard guard(handleLock_);
  if (!handleAllocated_) return;
  VConvExecute(handle_, command.c_str());
  outgoing_.fetch_add(1, std::memory_order_release);
}

std::string TVendorConversationDataNode::RegisterRequest(const std::string& item) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "TVendorConversationDataNode.%llx.",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)));
  std::string channel = prefix + item;
  std::lock_guard guard(requestLock_);
  if (requests_.ContainsKey(item)) AssertionFailure("Duplicate vendor request:  " + item);
  requests_.Put(item, TBroadcastChannel(channel));
  return channel;
}

TBroadcastChannel TVendorConversationDataNode::LookupRequest(const std::string& item) {
  std::lock_guard guard(requestLock_);
  return requests_.Get(item);
}

void TVendorConversationDataNode::UnregisterRequest(const std::string& item) {
  std::lock_guard guard(requestLock_);
  requests_.Remove(item);
}

std::uint64_t TVendorConversationDataNode::MessagesTaken() {
  return messagesTaken;
}
std::uint64_t TVendorConversationDataNode::MessagesReleased() {
  return messagesReleased;
}

const TFactoryRef& VendorConversationFactory() {
  static const TFactoryRef* factory = new TFactoryRef(
      TGenericDataNodeFactory::Make<TVendorConversationDataNode>("TosL1", "&QUOTES&", "MD_SRV", "LIVEQUOTE"));
  return *factory;
}

}  // namespace tarnwell
