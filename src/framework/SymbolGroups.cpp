#include "framework/SymbolGroups.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "framework/Errors.h"

namespace tarnwell {

namespace {
thread_local bool ownerThread = false;

}  // namespace

std::string TrimBlanks(std::string_view text) {
  const auto blank = [](unsigned char c) { return c <= ' '; };
  auto begin = std::find_if_not(text.begin(), text.end(), blank);
  auto end = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return begin < end ? std::string(begin, end) : std::string();
}

std::string NormalisedSymbol(std::string_view text) {
  std::string symbol = TrimBlanks(text);
  for (char& c : symbol) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return symbol;
}

TGroupList& TGroupList::Instance() {
  static TGroupList list;
  return list;
}

void TGroupList::MarkOwnerThread() {
  ownerThread = true;
}

std::string TGroupList::MemberKey(const std::string& windowClass, const void* window) {
  char address[32];
  std::snprintf(address, sizeof address, "%llX", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
  return windowClass + " : " + address;
}

void TGroupList::CheckThread(const char* operation) const {
  if (!ownerThread) AssertionFailure(std::string("TGroupList.") + operation + " called from wrong thread.");
}

void TGroupList::AddToGroup(const std::string& name, const std::string& windowClass, const void* window,
                            const std::string& symbol, TSetSymbol setSymbol) {
  CheckThread("AddToGroup");
  if (name.empty()) return;
  TGroup& group = groups_[name];
  const bool hadOthers = !group.Members.empty();
  TSetSymbol& member = group.Members[MemberKey(windowClass, window)];
  member = std::move(setSymbol);
  if (hadOthers && !group.Symbol.empty()) {
    const TSetSymbol tell = member;  // the call may change the group
    if (tell) tell(group.Symbol);
    return;
  }
  SetGroupSymbol(group, symbol);
}

void TGroupList::RemoveFromGroup(const std::string& name, const std::string& windowClass, const void* window) {
  CheckThread("RemoveFromGroup");
  if (name.empty()) return;
  auto group = groups_.find(name);
  if (group == groups_.end()) return;
  group->second.Members.erase(MemberKey(windowClass, window));
  if (group->second.Members.empty()) groups_.erase(group);
}

void TGroupList::SetSymbol(const std::string& name, const std::string& symbol) {
  CheckThread("SetSymbol");
  if (name.empty()) return;
  auto group = groups_.find(name);
  if (group != groups_.end()) SetGroupSymbol(group->second, symbol);
}

std::string TGroupList::GetSymbol(const std::string& name) const {
  CheckThread("GetSymbol");
  auto group = groups_.find(name);
  return group == groups_.end() ? std::string() : group->second.Symbol;
}

std::string TGroupList::NewGroupName() {
  for (;;) {
    const std::string name = "Untitled #" + std::to_string(++counter_);
    if (!groups_.count(name)) return name;
  }
}

std::vector<std::string> TGroupList::GroupNames() const {
  std::vector<std::string> names;
  for (const auto& [name, group] : groups_) names.push_back(name);
  return names;
}

void TGroupList::SetGroupSymbol(TGroup& group, const std::string& symbol) {
  group.Symbol = NormalisedSymbol(symbol);
  // A member may leave, or close other windows, while it is told: tell a copy, in key order.
  const std::string told = group.Symbol;
  std::vector<TSetSymbol> members;
  for (const auto& [key, setSymbol] : group.Members) members.push_back(setSymbol);
  for (const TSetSymbol& setSymbol : members) {
    if (setSymbol) setSymbol(told);
  }
}

}  // namespace tarnwell
