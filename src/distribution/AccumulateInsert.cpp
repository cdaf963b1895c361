#include "distribution/AccumulateInsert.h"

#include <algorithm>
#include <cassert>

namespace tarnwell {

void TAccumulateInsert::Add(std::string_view row) {
  const std::size_t needed = FText.size() + 1 + row.size();
  if (needed > FText.capacity()) FText.reserve(std::max(2 * FText.size(), needed));
  if (!FText.empty()) FText += ',';
  FText += row;
}

std::string TAccumulateInsert::TakeStatement() {
  assert(!FText.empty() && "TakeStatement on an empty insert");
  std::string statement;
  statement.reserve(FPrefix.size() + 8 + FText.size());
  statement += FPrefix;
  statement += " VALUES ";
  statement += FText;
  FText.clear();
  return statement;
}

}  // namespace tarnwell
