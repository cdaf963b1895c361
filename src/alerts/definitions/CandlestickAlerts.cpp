#include "alerts/definitions/CandlestickAlerts.h"
