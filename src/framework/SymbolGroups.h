#pragma once
// Named symbol groups: every window of a group shows the group's symbol, and setting it in one switches them
// all. Windows join with their own "set symbol" method and leave when they close or change group. The
// registry belongs to the user interface thread, and says so when called from another.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwell {

/// The text without the blanks and control characters around it.
std::string TrimBlanks(std::string_view text);
/// A symbol as the system keeps it, wherever it was typed or read: trimmed and upper case.
std::string NormalisedSymbol(std::string_view text);

class TGroupList {
 public:
  using TSetSymbol = std::function<void(const std::string& symbol)>;

  /// The process's registry, created on first use.
  static TGroupList& Instance();
  /// Marks the calling thread as the one the registry belongs to (the user interface thread, at start-up).
  static void MarkOwnerThread();

  /// Adds the window (its class name and address make its key) to the group, made when missing. A group
  /// that already had members and a symbol tells only the new member its symbol; otherwise the group takes
  /// `symbol` and tells every member. An empty name does nothing.
  void AddToGroup(const std::string& name, const std::string& windowClass, const void* window,
                  const std::string& symbol, TSetSymbol setSymbol);
  /// Removes the window; a group left without members is deleted. An empty name does nothing.
  void RemoveFromGroup(const std::string& name, const std::string& windowClass, const void* window);
  /// Stores the symbol (upper case, without surrounding blanks) and tells every member, in key order.
  void SetSymbol(const std::string& name, const std::string& symbol);
  /// The group's symbol; empty when there is no such group.
  std::string GetSymbol(const std::string& name) const;
  /// "Untitled #N" with the next N (from 1, never going back) that no group has. Any thread.
  std::string NewGroupName();
  /// The names of the groups, sorted.
  std::vector<std::string> GroupNames() const;

  /// "TClass : 1A2B": the key of a window in a group.
  static std::string MemberKey(const std::string& windowClass, const void* window);

 private:
  struct TGroup {
    std::string Symbol;
    std::map<std::string, TSetSymbol> Members;  // by member key, compared exactly
  };
  void CheckThread(const char* operation) const;
  void SetGroupSymbol(TGroup& group, const std::string& symbol);

  std::map<std::string, TGroup> groups_;  // by name, compared exactly
  int counter_ = 0;
};

}  // namespace tarnwell
