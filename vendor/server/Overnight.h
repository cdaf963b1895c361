// The overnight files of the synthetic universe for one trading day: what the statistics tools would have
// computed the night before, from the same daily history and the same simulated previous session the feed
// serves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/Universe.h"

namespace tarnwell::vendor {

/// Bar widths, in minutes, of the candle file's columns.
inline const std::vector<int> kCandleWidths = {1, 2, 3, 5, 10, 15, 30, 60};

/// Writes OvernightData.csv, TC_OvernightData.csv, VB_OvernightData.csv, V_OvernightData.csv,
/// SC_OvernightData.csv, Holidays.csv and symbols.txt for `day` into `folder` (created when missing). Each
/// file is written beside its final name and renamed into place, so a reader never sees half a file. Throws
/// std::runtime_error naming the file on failure.
void WriteOvernightFiles(const Universe& universe, int64_t day, const std::string& folder);

/// A date as the system counts it: days since 1899-12-30.
inline double SystemDate(int64_t day) {
  return static_cast<double>(day + 25569);
}

}  // namespace tarnwell::vendor
