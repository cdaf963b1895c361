#pragma once
// Watching one file for changes. Overnight files are rewritten in place or replaced while the program runs;
// the node that watches a file tells its listeners when the file's stamp changes, and the owners of the
// file's table reload on that. One watch thread per file waits on an inotify watch of the file's folder and
// only queues a check job; the check itself runs on the data node thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "framework/DataNode.h"

namespace tarnwell {

/// What tells one version of a file from the next when no event said so: size, inode (a replacing rename)
/// and change time join the modification time.
struct TFileAge {
  bool exists = false;
  std::int64_t modifiedNs = -1;
  std::int64_t changedNs = -1;
  std::int64_t size = -1;
  std::uint64_t inode = 0;

  /// The file's age now; a missing or unreadable file gives the missing age.
  static TFileAge Of(const std::string& fileName);
  bool operator==(const TFileAge&) const = default;
};

/// Notifies its listeners when the file it watches has changed and exists. Keyed by the full file name.
class TFileChangedDataNode : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TFileChangedDataNode";
  static TFileChangedDataNode* CreateFromKey(const std::string& keyText);

  /// The watch node of a file (the name is made absolute) and a new inactive link on it that the caller
  /// owns. Any thread.
  static std::pair<TFileChangedDataNode*, TDataNodeLink*> Find(const std::string& fileName,
                                                               TCallback callback = {});

  ~TFileChangedDataNode() override;

  const std::string& FileName() const { return fileName_; }
  /// False when the folder could not be watched: the file is then never checked again.
  bool Watching() const { return watchThread_.joinable(); }

  /// Longest wait without a folder event before the file is checked anyway.
  static constexpr int kLongestWaitMs = 600000;
  /// Pause after queuing a check, so that a burst of writes costs one check every this many ms.
  static constexpr int kSettleMs = 100;

 private:
  explicit TFileChangedDataNode(std::string fileName);
  friend class TDataNode;  // Create

  void Watch();
  /// True when an event names the file (or events were lost); reads every queued event.
  bool DrainEvents();
  /// Data node thread: compares the stamp, notifies when the file changed and exists.
  void CheckFile();

  const std::string fileName_;
  const std::string baseName_;  // the name inotify reports for the file
  int changeHandle_ = -1;       // inotify descriptor; set in the constructor, closed in the destructor
  int stopEvent_ = -1;          // eventfd, readable once the node is going; as changeHandle_
  TFileAge lastAge_;            // the constructor, then the data node thread only
  // An event named the file since the last check. Two writes within one tick of the file system's clock
  // can leave every stamp as it was, but not unreported.
  std::atomic<bool> touched_{false};
  std::thread watchThread_;
};

}  // namespace tarnwell
