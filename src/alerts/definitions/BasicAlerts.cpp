#include "alerts/definitions/BasicAlerts.h"
