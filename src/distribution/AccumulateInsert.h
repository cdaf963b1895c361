#pragma once
// Joins row texts into one multi-row INSERT, so a burst of alerts costs one exchange with the database.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace tarnwell {

class TAccumulateInsert {
 public:
  /// Row text stops being collected once this much is waiting, so a statement stays near 1 MiB.
  static constexpr std::size_t kFullLength = 1048576;

  /// Prefix is the statement head up to, not including, " VALUES ".
  explicit TAccumulateInsert(std::string prefix) : FPrefix(std::move(prefix)) {}

  /// Appends one "(...)" row, comma-separated from the previous one.
  void Add(std::string_view row);
  bool IsEmpty() const { return FText.empty(); }
  bool IsFull() const { return FText.size() >= kFullLength; }
  /// The whole statement; empties the buffer but keeps its capacity for the next one.
  std::string TakeStatement();

 private:
  std::string FPrefix;
  std::string FText;
};

}  // namespace tarnwell
