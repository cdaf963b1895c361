#include "alerts/Registration.h"

#include "alerts/definitions/BasicAlerts.h"
#include "alerts/definitions/CandlestickAlerts.h"
#include "alerts/definitions/ConsolidationAlerts.h"
#include "alerts/definitions/CorrelationAlerts.h"
#include "alerts/definitions/CrossingAlerts.h"
#include "alerts/definitions/DayHistoryAlerts.h"
#include "alerts/definitions/FibonacciAlerts.h"
#include "alerts/definitions/GeometricPatterns.h"
#include "alerts/definitions/HeartbeatAlert.h"
#include "alerts/definitions/IndicatorAlerts.h"
#include "alerts/definitions/LockedCrossedAlerts.h"
#include "alerts/definitions/NewHighLowAlerts.h"
#include "alerts/definitions/PullbackAlerts.h"
#include "alerts/definitions/QuotePatternAlerts.h"
#include "alerts/definitions/RunningAlerts.h"
#include "alerts/definitions/SupportResistanceAlerts.h"
#include "alerts/definitions/TrailingStopAlerts.h"
#include "analytics/Indicators.h"
#include "marketdata/FileData.h"
#include "marketdata/NamedValues.h"
#include "marketdata/vendor/RegionalQuotes.h"
#include "marketdata/vendor/VendorFeedNodes.h"

namespace tarnwell {

void RegisterStandardFactories() {
  // Values first: overnight files, the vendor's own values, then the named values built on them.
  RegisterFileDataValues();
  RegisterVendorValues();
  RegisterRegionalValues();
  RegisterNamedValues();
  RegisterIndicators();
  // Alert types and the values that come with them.
  RegisterDayHistoryAlerts();
  RegisterNewHighLowAlerts();
  RegisterBasicAlerts();
  RegisterRunningAlerts();
  RegisterPullbackAlerts();
  RegisterCrossingAlerts(TGenericDataNodeFactory::MakeForSymbol<TVWAP>());
  RegisterCandlestickAlerts();
  RegisterSupportResistanceAlerts();
  RegisterGeometricPatternAlerts();
  RegisterFibonacciAlerts();
  RegisterConsolidationAlerts();
  RegisterLockedCrossedAlerts();
  RegisterTrailingStopAlerts();
  RegisterCorrelationAlerts();
  RegisterQuotePatternAlerts();
  RegisterIndicatorAlerts();
  RegisterHeartbeatAlert();
}

}  // namespace tarnwell
