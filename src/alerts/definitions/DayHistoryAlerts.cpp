#include "alerts/definitions/DayHistoryAlerts.h"

#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

TNewDayAlert::TNewDayAlert(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  auto [newDay, link] = TNewDay::Find(params[0].AsString(), TW_METHOD(this, NewDay));
  AddAutoLink(link);
}

void TNewDayAlert::NewDay() {
  ++count_;
  ReportAlert("New Day!", count_);
}

void RegisterDayHistoryAlerts() {
  RegisterClass<TNewDayAlert>("NewDay");
}

}  // namespace tarnwell
