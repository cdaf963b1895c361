#include "analytics/Indicators.h"
