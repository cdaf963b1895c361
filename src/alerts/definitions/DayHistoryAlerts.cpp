#include "alerts/definitions/DayHistoryAlerts.h"

#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

TNewDayAlert::TNewDayAlert(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  auto [newDay, link] = TNewDay::Find(params[0].AsString(), TW_METHOD(this, NewDay));
  AddAutoLink(link);
}

void TNewDayAlert::NewDay() {
  ReportAlert("New Day!", Count() + 1);  // every report is a new day, so the count after it is the quality
}

void RegisterDayHistoryAlerts() {
  RegisterClass<TNewDayAlert>("NewDay");
}

}  // namespace tarnwell
