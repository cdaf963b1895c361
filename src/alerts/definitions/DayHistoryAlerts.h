#pragma once
// Alerts on the day's history: the start of a new trading day.

#include "alerts/Alert.h"

namespace tarnwell {

/// "New Day!" once a day, when the symbol's quote first carries an open price; the quality counts them.
class TNewDayAlert : public TAlert {
 public:
  static constexpr const char* kClassName = "TNewDayAlert";
  explicit TNewDayAlert(const TParamList& params);

 private:
  void NewDay();
};

/// Registers "NewDay".
void RegisterDayHistoryAlerts();

}  // namespace tarnwell
