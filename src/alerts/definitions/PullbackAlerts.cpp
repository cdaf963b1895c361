#include "alerts/definitions/PullbackAlerts.h"
