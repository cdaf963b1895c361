#include "alerts/definitions/RunningAlerts.h"
