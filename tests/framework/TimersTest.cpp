#include "framework/Timers.h"
