// The conversation half of the C API: a registry of open conversations keyed by handle.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Conversation.h"
#include "common/Wire.h"
#include "vconv.h"

namespace tarnwell::vendor {
namespace {

constexpr const char* kQuotesMachine = "&QUOTES&";
constexpr const char* kDefaultServer = "127.0.0.1:7071";

struct Registry {
  std::mutex mutex;  // guards everything below
  bool initialized = false;
  VConvHandle next_handle = 1;
  // Shared so that a call in flight keeps its conversation alive while another thread frees the handle.
  std::map<VConvHandle, std::shared_ptr<Conversation>> conversations;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::shared_ptr<Conversation> Find(VConvHandle handle) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto it = registry.conversations.find(handle);
  return it == registry.conversations.end() ? nullptr : it->second;
}

std::string ServerAddress(const char* machine) {
  if (std::strcmp(machine, kQuotesMachine) != 0) return machine;
  const char* configured = std::getenv("VCONV_SERVER");
  return configured != nullptr && *configured != '\0' ? configured : kDefaultServer;
}

int SendItem(VConvHandle handle, wire::Kind kind, const char* item, const char* format) {
  if (item == nullptr || format == nullptr) return 0;
  const auto conversation = Find(handle);
  if (!conversation) return 0;
  std::string frame;
  wire::FrameWriter(frame, kind).Str(item).Str(format).End();
  return conversation->Send(frame) ? 1 : 0;
}

}  // namespace
}  // namespace tarnwell::vendor

using namespace tarnwell::vendor;

extern "C" int VConvInitialize(void) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.initialized = true;
  return 1;
}

extern "C" void VConvShutdown(void) {
  Registry& registry = TheRegistry();
  std::map<VConvHandle, std::shared_ptr<Conversation>> closing;
  {
    std::lock_guard lock(registry.mutex);
    registry.initialized = false;
    closing.swap(registry.conversations);
  }
  closing.clear();
}

extern "C" int VConvConnect(const char* machine, const char* service, const char* topic,
                            VConvHandle* handle) {
  if (handle == nullptr) return 0;
  *handle = 0;
  if (machine == nullptr || service == nullptr || topic == nullptr) return 0;
  Registry& registry = TheRegistry();
  {
    std::lock_guard lock(registry.mutex);
    if (!registry.initialized) return 0;
  }
  std::shared_ptr<Conversation> conversation;
  try {
    conversation = std::make_shared<Conversation>(ServerAddress(machine), service, topic);
  } catch (const std::exception&) {
    return 0;
  }
  std::lock_guard lock(registry.mutex);
  *handle = registry.next_handle++;
  if (registry.next_handle == 0) registry.next_handle = 1;
  registry.conversations.emplace(*handle, std::move(conversation));
  return 1;
}

extern "C" int VConvFree(VConvHandle handle) {
  Registry& registry = TheRegistry();
  std::shared_ptr<Conversation> closing;
  {
    std::lock_guard lock(registry.mutex);
    const auto it = registry.conversations.find(handle);
    if (it == registry.conversations.end()) return 0;
    closing = std::move(it->second);
    registry.conversations.erase(it);
  }
  return 1;
}

extern "C" int VConvGetEventHandle(VConvHandle handle, int* fd) {
  const auto conversation = Find(handle);
  if (!conversation || fd == nullptr) return 0;
  *fd = conversation->EventFd();
  return 1;
}

extern "C" VConvMessage* VConvGetData(VConvHandle handle) {
  const auto conversation = Find(handle);
  return conversation ? conversation->Take() : nullptr;
}

extern "C" int VConvRequest(VConvHandle handle, const char* item, const char* format) {
  return SendItem(handle, wire::Kind::kRequest, item, format);
}

extern "C" int VConvAdvise(VConvHandle handle, const char* item, const char* format) {
  return SendItem(handle, wire::Kind::kAdvise, item, format);
}

extern "C" int VConvUnadvise(VConvHandle handle, const char* item, const char* format) {
  return SendItem(handle, wire::Kind::kUnadvise, item, format);
}

extern "C" int VConvExecute(VConvHandle handle, const char* command) {
  if (command == nullptr) return 0;
  const auto conversation = Find(handle);
  if (!conversation) return 0;
  std::string frame;
  wire::FrameWriter(frame, wire::Kind::kExecute).Str(command).End();
  return conversation->Send(frame) ? 1 : 0;
}
