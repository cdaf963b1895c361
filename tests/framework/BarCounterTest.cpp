#include "framework/BarCounter.h"
