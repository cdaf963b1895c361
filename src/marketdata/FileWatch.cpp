#include "marketdata/FileWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

std::string ErrorText(int error) {
  return std::strerror(error);
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

TFileAge TFileAge::Of(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) return {};
  TFileAge age;
  age.exists = true;
  age.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  age.changedNs = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  age.size = static_cast<std::int64_t>(info.st_size);
  age.inode = static_cast<std::uint64_t>(info.st_ino);
  return age;
}

TFileChangedDataNode* TFileChangedDataNode::CreateFromKey(const std::string& keyText) {
  return TDataNode::Create<TFileChangedDataNode>(keyText);
}

std::pair<TFileChangedDataNode*, TDataNodeLink*> TFileChangedDataNode::Find(const std::string& fileName,
                                                                            TCallback callback) {
  const std::string full = std::filesystem::absolute(fileName).lexically_normal().string();
  return FindOrCreate<TFileChangedDataNode>(full, std::move(callback));
}

TFileChangedDataNode::TFileChangedDataNode(std::string fileName)
    : fileName_(std::move(fileName)), baseName_(std::filesystem::path(fileName_).filename().string()) {
  lastAge_ = TFileAge::Of(fileName_);
  // Find made the name absolute, so it always has a folder.
  const std::string folder = std::filesystem::path(fileName_).parent_path().string();
  // Without a watch the file keeps the table it has; say so, since nothing else will.
  auto giveUp = [&](const std::string& what, int error) {
    AddLine("File data: cannot watch " + folder + " for changes of " + fileName_ + " (" + what + ": " +
            ErrorText(error) + "); the file will not be reloaded");
    CloseIfOpen(changeHandle_);
    CloseIfOpen(stopEvent_);
  };
  changeHandle_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (changeHandle_ < 0) {
    giveUp("inotify_init1", errno);
    return;
  }
  // Writers rewrite in place (modify, close) or replace by renaming; touch only changes attributes.
  const std::uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_ONLYDIR;
  if (::inotify_add_watch(changeHandle_, folder.c_str(), mask) < 0) {
    giveUp("inotify_add_watch", errno);
    return;
  }
  stopEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopEvent_ < 0) {
    giveUp("eventfd", errno);
    return;
  }
  try {
    watchThread_ = std::thread([this] { Watch(); });
  } catch (const std::system_error& e) {
    giveUp("thread", e.code().value());
  }
}

TFileChangedDataNode::~TFileChangedDataNode() {
  if (watchThread_.joinable()) {
    const std::uint64_t one = 1;
    while (::write(stopEvent_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    watchThread_.join();
  }
  CloseIfOpen(changeHandle_);
  CloseIfOpen(stopEvent_);
}

void TFileChangedDataNode::Watch() {
  for (;;) {
    pollfd fds[2] = {{stopEvent_, POLLIN, 0}, {changeHandle_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, kLongestWaitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      AddLine("File data: watching " + fileName_ + " failed (poll: " + ErrorText(errno) + ")");
      return;
    }
    if (fds[0].revents != 0) return;
    // A quiet folder still gets a check now and then, in case a change went unreported.
    const bool check = ready == 0 || DrainEvents();
    if (!check) continue;
    QueueCallback(1, TW_METHOD(this, CheckFile));
    pollfd stop{stopEvent_, POLLIN, 0};
    if (::poll(&stop, 1, kSettleMs) > 0) return;
  }
}

bool TFileChangedDataNode::DrainEvents() {
  // The events are read before the check is queued: whatever happens to the file after this read makes the
  // descriptor readable again and so brings another check, and no change can fall between two checks.
  alignas(inotify_event) char buffer[8192];
  bool relevant = false;
  for (;;) {
    const ssize_t length = ::read(changeHandle_, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) return relevant;  // EAGAIN: nothing left
    for (const char* p = buffer; p < buffer + length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      if (event->mask & IN_Q_OVERFLOW) {
        touched_.store(true, std::memory_order_relaxed);  // events were lost: ours may be among them
        relevant = true;
      }
      if (event->mask & IN_IGNORED) {
        AddLine("File data: the folder of " + fileName_ + " is no longer watched; checking every " +
                std::to_string(kLongestWaitMs / 60000) + " minutes");
        relevant = true;
      }
      if (event->len > 0 && baseName_ == event->name) {
        touched_.store(true, std::memory_order_relaxed);
        relevant = true;
      }
      p += sizeof(inotify_event) + event->len;
    }
  }
}

void TFileChangedDataNode::CheckFile() {
  const bool touched = touched_.exchange(false, std::memory_order_relaxed);
  const TFileAge age = TFileAge::Of(fileName_);
  const bool changed = age.exists && (touched || age != lastAge_);
  lastAge_ = age;
  if (changed) NotifyListeners();
}

}  // namespace tarnwell
